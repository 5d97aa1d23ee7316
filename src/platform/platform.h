// The one seam between the engine (and the registration object) and the
// operating system or processor. Nothing else uses OS or CPU facilities.
#ifndef REGVIAFFT_PLATFORM_H
#define REGVIAFFT_PLATFORM_H

#include <cstddef>
#include <cstdint>

namespace regviafft::platform {

// Pauses the calling thread for about one millisecond.
void pauseOneMillisecond();

// Copies the variable's value, terminated, into buffer (truncated to fit).
// Returns false when the variable is not set; an empty value is set.
bool readEnvironment(const char* name, char* buffer, size_t bufferSize);

uint32_t currentThreadId();

// One process-wide thread-local slot of pointer size; every thread starts
// with 0. allocateThreadSlot returns false when none is available.
bool allocateThreadSlot(uint32_t* slot);
uintptr_t threadSlotValue(uint32_t slot);
void setThreadSlotValue(uint32_t slot, uintptr_t value);

// Calls hook(context) when the calling thread exits. At most one hook per
// thread; a later call replaces the earlier one.
void onThreadExit(void (*hook)(void*), void* context);

struct CpuidRegisters {
    uint32_t a, b, c, d;
};
bool cpuidAvailable();
CpuidRegisters cpuid(uint32_t leaf, uint32_t subLeaf);
// Extended control register 0; only valid when the processor reports OSXSAVE.
uint64_t readXcr0();

// Processors the system reports online, at least 1.
int32_t processorCount();

}  // namespace regviafft::platform

#endif
