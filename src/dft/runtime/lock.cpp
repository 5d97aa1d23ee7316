// The process-wide spin lock that guards the engine's one-time initialisations.
#include <atomic>
#include <cstdint>

#include "runtime.h"

namespace regviafft::dft {

namespace {

std::atomic<int32_t> lockWord{0};  // 0 free, 1 held

}  // namespace

// Held only for a few loads and stores, so spinning beats any kernel wait.
void engineLock()
{
    for (;;) {
        int32_t expected = 0;
        if (lockWord.compare_exchange_weak(expected, 1, std::memory_order_acquire,
                                           std::memory_order_relaxed))
            return;
        // Wait on a plain load so the cache line is not stolen on every try.
        while (lockWord.load(std::memory_order_relaxed) != 0) {
        }
    }
}

void engineUnlock()
{
    lockWord.store(0, std::memory_order_release);
}

}  // namespace regviafft::dft
