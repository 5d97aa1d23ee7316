// 256-bit kernels with fused multiply-add: two complex doubles per register,
// and 128-bit ones for a lane left over.
#include "kernel_unit.h"

namespace regviafft::dft {
namespace {
#include "kernels.inl"
constexpr KernelSet kSet =
    makeKernelSet<ComplexVec<1>, ComplexVec<2>>("avx2+fma", KernelRequirement::Avx2Fma);
}  // namespace

extern const KernelSet avx2FmaKernelSet = kSet;

}  // namespace regviafft::dft
