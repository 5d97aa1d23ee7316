// The engine's decisions about this machine, through the public info header.
#include "descriptor.h"
#include "dft_info.h"

int32_t DftGetEngineInfo(DftEngineInfo* info)
{
    if (info == nullptr)
        return DFT_INCONSISTENT_CONFIGURATION;
    *info = DftEngineInfo{};
    info->effectiveClass = classifyProcessor();
    info->detectedClass = detectedProcessorClass();
    info->effectiveClassName = processorClassName(info->effectiveClass);
    info->detectedClassName = processorClassName(info->detectedClass);
    const ProcessorVariant* variant = activeVariant();
    const KernelSet* kernels = variantKernels(variant);
    info->variantName = variant->name;
    info->kernelName = kernels->name;
    info->kernelLanes = kernels->widestLanes;
    info->cacheLevelCount = cacheLevelCount();
    for (int32_t level = 1; level <= info->cacheLevelCount && level <= DFT_INFO_MAX_CACHE_LEVELS;
         ++level)
        info->cacheLevelBytes[level - 1] = lastLevelCacheSize(level);
    const int64_t last = lastLevelCacheSize(0);
    info->lastLevelCacheBytes = last > 0 ? last : 0;
    info->bufferCacheEnabled = bufferCacheEnabled() ? 1 : 0;
    return DFT_NO_ERROR;
}
