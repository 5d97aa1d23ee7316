// Prints what the transform engine decided about this machine: the detected
// and effective processor class, the variant in force and the cache levels.
// REGVIAFFT_DEBUG_CPU_TYPE and the buffer-cache switches apply as in any host.
#include <cstdio>

#include "engine.h"
#include "variant/variant.h"

namespace {

const char* className(int32_t processorClass)
{
    static const char* const kNames[] = {"generic", "unused", "SSE2", "SSE3", "SSSE3", "SSE4.2", "AVX"};
    if (processorClass < 0 || processorClass > kClassAvx)
        return "unknown";
    return kNames[processorClass];
}

}  // namespace

int main()
{
    const int32_t effective = classifyProcessor();
    const int32_t detected = detectedProcessorClass();
    std::printf("detected class:   %d (%s)\n", detected, className(detected));
    std::printf("effective class:  %d (%s)%s\n", effective, className(effective),
                effective != detected ? ", forced" : "");
    std::printf("active variant:   %s\n", activeVariantName());
    const int32_t levels = cacheLevelCount();
    std::printf("cache levels:     %d (data and unified)\n", levels);
    for (int32_t level = 1; level <= levels; ++level)
        std::printf("  level %d:        %lld bytes\n", level,
                    static_cast<long long>(lastLevelCacheSize(level)));
    std::printf("last-level cache: %lld bytes\n", static_cast<long long>(lastLevelCacheSize(0)));
    std::printf("buffer cache:     %s\n", bufferCacheEnabled() ? "on" : "off");
    return 0;
}
