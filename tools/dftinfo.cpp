// Prints what the transform engine decided about this machine: the detected
// and effective processor class, the variant and kernels in force and the
// cache levels. REGVIAFFT_DEBUG_CPU_TYPE and the buffer-cache switches apply
// as in any host.
#include <cstdio>

#include "dft_info.h"

int main()
{
    DftEngineInfo info;
    if (DftGetEngineInfo(&info) != 0)
        return 1;
    std::printf("detected class:   %d (%s)\n", info.detectedClass, info.detectedClassName);
    std::printf("effective class:  %d (%s)%s\n", info.effectiveClass, info.effectiveClassName,
                info.classForced ? ", forced" : "");
    std::printf("active variant:   %s\n", info.variantName);
    std::printf("kernels:          %s, %d complex per vector (%s)\n", info.kernelName,
                info.kernelLanes,
                info.classForced ? "the forced class's own" : "the widest this processor runs");
    std::printf("cache levels:     %d (data and unified)\n", info.cacheLevelCount);
    for (int32_t level = 1; level <= info.cacheLevelCount && level <= DFT_INFO_MAX_CACHE_LEVELS;
         ++level)
        std::printf("  level %d:        %lld bytes\n", level,
                    static_cast<long long>(info.cacheLevelBytes[level - 1]));
    std::printf("last-level cache: %lld bytes\n", static_cast<long long>(info.lastLevelCacheBytes));
    std::printf("buffer cache:     %s\n", info.bufferCacheEnabled ? "on" : "off");
    return 0;
}
