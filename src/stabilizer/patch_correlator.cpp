// Transforms and surfaces of one patch size.
#include "patch_correlator.h"

#include <new>

#include "kernels.h"

namespace regviafft {
namespace {

// A Hann window over the patch: content entering and leaving at the patch's
// edges would otherwise add a peak at no shift and bias the sub-pixel
// refinement towards whole pixels.
std::vector<double> hannWindow(int height, int width)
{
    std::vector<double> window(static_cast<size_t>(height) * width);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            window[static_cast<size_t>(r) * width + c] =
                hanningCoefficient(r, height + 1) * hanningCoefficient(c, width + 1);
    return window;
}

}  // namespace

PatchCorrelator::PatchCorrelator(int height, int width)
    : height_(height), width_(width), window_(hannWindow(height, width)),
      patchX_(window_.size()), patchY_(window_.size()), input_(window_.size()),
      cross_(window_.size()), output_(window_.size())
{
    commit();
}

PatchCorrelator::PatchCorrelator(const PatchCorrelator& other)
    : PatchCorrelator(other.height_, other.width_)
{
}

PatchCorrelator& PatchCorrelator::operator=(const PatchCorrelator& other)
{
    if (this != &other) {
        PatchCorrelator copy(other);
        std::swap(height_, copy.height_);
        std::swap(width_, copy.width_);
        std::swap(forward_, copy.forward_);
        std::swap(backward_, copy.backward_);
        window_.swap(copy.window_);
        patchX_.swap(copy.patchX_);
        patchY_.swap(copy.patchY_);
        input_.swap(copy.input_);
        cross_.swap(copy.cross_);
        output_.swap(copy.output_);
    }
    return *this;
}

PatchCorrelator::~PatchCorrelator()
{
    release();
}

void PatchCorrelator::commit()
{
    const int32_t lengths[2] = {height_, width_};
    const int32_t strides[3] = {0, width_, 1};
    const int32_t status = buildPlan(&forward_, DFT_DOUBLE, lengths, strides, strides) +
                           buildPlan(&backward_, DFT_DOUBLE, lengths, strides, strides);
    if (status != DFT_NO_ERROR) {
        release();
        throw std::bad_alloc();
    }
}

void PatchCorrelator::release()
{
    freePlan(forward_);
    freePlan(backward_);
}

void PatchCorrelator::spectrum(const float* gradX, const float* gradY, int stride, int top,
                               int left, _DFT_Complex16* out)
{
    cutPatch(gradX, stride, top, left, height_, width_, patchX_.data());
    cutPatch(gradY, stride, top, left, height_, width_, patchY_.data());
    gradientMagnitudeInput(patchX_.data(), patchY_.data(), area(), input_.data());
    for (int i = 0; i < area(); ++i)
        input_[i].real *= window_[i];
    DftComputeForward(forward_, input_.data(), out);
}

void PatchCorrelator::surface(const _DFT_Complex16* current, const _DFT_Complex16* previous,
                              double* out)
{
    normalisedCrossPower(current, previous, area(), cross_.data());
    DftComputeBackward(backward_, cross_.data(), output_.data());
    // The backward transform is unscaled.
    scaleRealParts(output_.data(), area(), static_cast<double>(area()));
    copyRealParts(output_.data(), area(), out);
}

}  // namespace regviafft
