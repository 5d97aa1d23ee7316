#include "platform.h"

#include <cpuid.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace regviafft::platform {

void pauseOneMillisecond()
{
    timespec request{0, 1000000};
    while (nanosleep(&request, &request) != 0) {
    }
}

bool readEnvironment(const char* name, char* buffer, size_t bufferSize)
{
    const char* value = std::getenv(name);
    if (value == nullptr)
        return false;
    if (bufferSize > 0) {
        size_t length = std::strlen(value);
        if (length >= bufferSize)
            length = bufferSize - 1;
        std::memcpy(buffer, value, length);
        buffer[length] = '\0';
    }
    return true;
}

uint32_t currentThreadId()
{
    // Asked once per thread: the buffer cache looks the id up on every
    // allocation, and a system call each time would cost more than the cache
    // saves. A thread's id never changes while it runs.
    thread_local uint32_t id = static_cast<uint32_t>(syscall(SYS_gettid));
    return id;
}

namespace {

// Slots are handed out from a fixed thread_local array, which keeps the slot
// free of pthread key destructor ordering concerns.
constexpr uint32_t kSlotCount = 8;
std::atomic<uint32_t> slotsInUse{0};
thread_local uintptr_t slotValues[kSlotCount];

struct ExitHook {
    void (*hook)(void*) = nullptr;
    void* context = nullptr;
    ~ExitHook()
    {
        if (hook != nullptr)
            hook(context);
    }
};
thread_local ExitHook exitHook;

}  // namespace

bool allocateThreadSlot(uint32_t* slot)
{
    uint32_t index = slotsInUse.fetch_add(1);
    if (index >= kSlotCount) {
        slotsInUse.fetch_sub(1);
        return false;
    }
    *slot = index;
    return true;
}

uintptr_t threadSlotValue(uint32_t slot)
{
    return slot < kSlotCount ? slotValues[slot] : 0;
}

void setThreadSlotValue(uint32_t slot, uintptr_t value)
{
    if (slot < kSlotCount)
        slotValues[slot] = value;
}

void onThreadExit(void (*hook)(void*), void* context)
{
    exitHook.hook = hook;
    exitHook.context = context;
}

bool cpuidAvailable()
{
    // The instruction exists exactly when the identification flag (bit 21)
    // of the flags register can be toggled. The 128-byte step keeps the
    // pushes clear of the compiler's red zone.
    constexpr uintptr_t kIdFlag = uintptr_t{1} << 21;
    uintptr_t original = 0;
    uintptr_t toggled = 0;
#if defined(__x86_64__)
    __asm__ volatile(
        "subq $128, %%rsp\n\t"
        "pushfq\n\t"
        "popq %0\n\t"
        "movq %0, %1\n\t"
        "xorq %2, %1\n\t"
        "pushq %1\n\t"
        "popfq\n\t"
        "pushfq\n\t"
        "popq %1\n\t"
        "pushq %0\n\t"
        "popfq\n\t"
        "addq $128, %%rsp"
        : "=&r"(original), "=&r"(toggled)
        : "r"(kIdFlag)
        : "cc", "memory");
#else
    __asm__ volatile(
        "pushfl\n\t"
        "popl %0\n\t"
        "movl %0, %1\n\t"
        "xorl %2, %1\n\t"
        "pushl %1\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "popl %1\n\t"
        "pushl %0\n\t"
        "popfl"
        : "=&r"(original), "=&r"(toggled)
        : "r"(kIdFlag)
        : "cc", "memory");
#endif
    return ((original ^ toggled) & kIdFlag) != 0;
}

CpuidRegisters cpuid(uint32_t leaf, uint32_t subLeaf)
{
    CpuidRegisters r{};
    __cpuid_count(leaf, subLeaf, r.a, r.b, r.c, r.d);
    return r;
}

uint64_t readXcr0()
{
    uint32_t low = 0;
    uint32_t high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (static_cast<uint64_t>(high) << 32) | low;
}

int32_t processorCount()
{
    long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<int32_t>(count) : 1;
}

}  // namespace regviafft::platform
