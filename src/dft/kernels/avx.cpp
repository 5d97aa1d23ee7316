// 256-bit kernels without FMA, for the first AVX processors: two complex
// doubles per register, and 128-bit ones for a lane left over.
#include "kernel_unit.h"

namespace regviafft::dft {
namespace {
#include "kernels.inl"
constexpr KernelSet kSet =
    makeKernelSet<ComplexVec<1>, ComplexVec<2>>("avx", KernelRequirement::Avx);
}  // namespace

extern const KernelSet avxKernelSet = kSet;

}  // namespace regviafft::dft
