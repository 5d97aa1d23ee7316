#include "../engine.h"

// Placeholder until the per-thread cache lands: straight to the plain allocator.
void* bufferAllocate(size_t size, size_t alignment)
{
    return plainAllocate(size, alignment);
}

void bufferRelease(void* p)
{
    plainRelease(p);
}
