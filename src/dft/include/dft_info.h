/* What the transform engine decided about this machine: processor class,
 * variant and kernels, cache levels and the buffer-cache switch. For tools and
 * diagnostics; REGVIAFFT_DEBUG_CPU_TYPE and the buffer-cache variables apply
 * as in any host, and the answers are fixed for the life of the process. */
#ifndef REGVIAFFT_DFT_INFO_H
#define REGVIAFFT_DFT_INFO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { DFT_INFO_MAX_CACHE_LEVELS = 8 };

typedef struct DftEngineInfo {
    int32_t detectedClass;          /* processor class the processor supports, 0 to 6 */
    int32_t effectiveClass;         /* the class in force: forced or detected */
    int32_t classForced;            /* 1 when REGVIAFFT_DEBUG_CPU_TYPE named the class */
    const char* detectedClassName;  /* "generic", "SSE2", ... "AVX" */
    const char* effectiveClassName;
    const char* variantName;        /* the variant serving descriptors */
    const char* kernelName;         /* the kernels it runs on this processor: a forced
                                       class's own, else the widest the processor runs */
    int32_t kernelLanes;            /* complex doubles in its widest vector */
    int32_t cacheLevelCount;        /* data and unified levels found */
    int64_t cacheLevelBytes[DFT_INFO_MAX_CACHE_LEVELS];
    int64_t lastLevelCacheBytes;    /* 0 when unknown */
    int32_t bufferCacheEnabled;
} DftEngineInfo;

/* Fills *info; 3 (inconsistent configuration) for a null pointer. */
int32_t DftGetEngineInfo(DftEngineInfo* info);

#ifdef __cplusplus
}
#endif

#endif
