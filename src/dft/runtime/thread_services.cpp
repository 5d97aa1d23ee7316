// The thread-services table shared by every descriptor, and its sequential
// defaults: one thread, every parallel region run once on the calling thread.
#include <atomic>

#include "runtime.h"

namespace regviafft::dft {

namespace {

DftThreadServices sharedTable{};

// Set once the shared table's slots are filled, so later creates skip the lock.
std::atomic<bool> sequentialFilled{false};
std::atomic<bool> cacheSizeFilled{false};

int32_t noThreadLimiting()
{
    return 0;
}

int32_t oneThreadPerTransform()
{
    return 1;
}

int64_t lastLevelCacheBytes()
{
    return lastLevelCacheSize(0);
}

int32_t runOnCallingThread(int32_t, int32_t (*worker)(int32_t, int32_t, void*), void* context)
{
    return worker(0, 1, context);
}

}  // namespace

DftThreadServices* sharedThreadServices()
{
    return &sharedTable;
}

void fillSequentialThreadServices(DftThreadServices* services)
{
    const bool shared = services == &sharedTable;
    if (shared && sequentialFilled.load(std::memory_order_acquire))
        return;
    engineLock();
    if (services->threadLimitingActive == nullptr) {
        if (services->maxThreadsForTransform == nullptr)
            services->maxThreadsForTransform = oneThreadPerTransform;
        if (services->threadsPerCore == nullptr)
            services->threadsPerCore = dft::threadsPerCore;
        if (services->threadsAvailable == nullptr)
            services->threadsAvailable = dft::threadsAvailable;
        if (services->parallelRegion == nullptr)
            services->parallelRegion = runOnCallingThread;
        services->threadLimitingActive = noThreadLimiting;
    }
    if (shared)
        sequentialFilled.store(true, std::memory_order_release);
    engineUnlock();
}

void fillCacheSizeService(DftThreadServices* services)
{
    const bool shared = services == &sharedTable;
    if (shared && cacheSizeFilled.load(std::memory_order_acquire))
        return;
    engineLock();
    if (services->lastLevelCacheSize == nullptr)
        services->lastLevelCacheSize = lastLevelCacheBytes;
    if (shared)
        cacheSizeFilled.store(true, std::memory_order_release);
    engineUnlock();
}

}  // namespace regviafft::dft
