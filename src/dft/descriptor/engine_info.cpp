// The engine's decisions about this machine, through the public info header.
#include "descriptor.h"
#include "dft_info.h"

namespace dft = regviafft::dft;

int32_t DftGetEngineInfo(DftEngineInfo* info)
{
    if (info == nullptr)
        return DFT_INCONSISTENT_CONFIGURATION;
    *info = DftEngineInfo{};
    info->effectiveClass = dft::classifyProcessor();
    info->detectedClass = dft::detectedProcessorClass();
    info->classForced = dft::processorClassForced() ? 1 : 0;
    info->effectiveClassName = dft::processorClassName(info->effectiveClass);
    info->detectedClassName = dft::processorClassName(info->detectedClass);
    const dft::ProcessorVariant* variant = dft::activeVariant();
    const dft::KernelSet* kernels = dft::variantKernels(variant);
    info->variantName = variant->name;
    info->kernelName = kernels->name;
    info->kernelLanes = kernels->widestLanes;
    info->cacheLevelCount = dft::cacheLevelCount();
    for (int32_t level = 1; level <= info->cacheLevelCount && level <= DFT_INFO_MAX_CACHE_LEVELS;
         ++level)
        info->cacheLevelBytes[level - 1] = dft::lastLevelCacheSize(level);
    const int64_t last = dft::lastLevelCacheSize(0);
    info->lastLevelCacheBytes = last > 0 ? last : 0;
    info->bufferCacheEnabled = dft::bufferCacheEnabled() ? 1 : 0;
    return DFT_NO_ERROR;
}
