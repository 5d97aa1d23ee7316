// The scalar kernels: plain doubles, no vector types. The reference the
// vector sets are tested against, and what the generic class runs.
#define REGVIAFFT_SCALAR_KERNELS
#include "kernel_unit.h"

namespace regviafft::dft {
namespace {
#include "kernels.inl"
constexpr KernelSet kSet = makeKernelSet<ComplexVec<1>>("scalar", KernelRequirement::None);
}  // namespace

extern const KernelSet scalarKernelSet = kSet;

}  // namespace regviafft::dft
