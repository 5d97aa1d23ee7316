// 128-bit kernels: one complex double per register. Later SSE levels add
// nothing that complex double arithmetic with split roots can use, so every
// SSE class runs these.
#include "kernel_unit.h"

namespace regviafft::dft {
namespace {
#include "kernels.inl"
constexpr KernelSet kSet = makeKernelSet<ComplexVec<1>>("sse2", KernelRequirement::Sse2);
}  // namespace

extern const KernelSet sse2KernelSet = kSet;

}  // namespace regviafft::dft
