// 512-bit kernels with fused multiply-add: four complex doubles per register,
// and 256- and 128-bit ones for the lanes left over.
#include "kernel_unit.h"

namespace regviafft::dft {
namespace {
#include "kernels.inl"
constexpr KernelSet kSet = makeKernelSet<ComplexVec<1>, ComplexVec<2>, ComplexVec<4>>(
    "avx512", KernelRequirement::Avx512);
}  // namespace

extern const KernelSet avx512KernelSet = kSet;

}  // namespace regviafft::dft
