// Phase correlation of one patch size with the registration object's own
// building blocks: the gradient magnitude of a patch, the engine's forward
// transform, the normalised cross-power spectrum and the backward transform
// into a correlation surface.
#ifndef REGVIAFFT_STABILIZER_PATCH_CORRELATOR_H
#define REGVIAFFT_STABILIZER_PATCH_CORRELATOR_H

#include <vector>

#include "dft.h"

namespace regviafft {

class PatchCorrelator {
public:
    // Commits the two transforms of a height x width patch; throws
    // std::bad_alloc when the engine cannot have their memory.
    PatchCorrelator(int height, int width);
    PatchCorrelator(const PatchCorrelator& other);
    PatchCorrelator& operator=(const PatchCorrelator& other);
    ~PatchCorrelator();

    int height() const { return height_; }
    int width() const { return width_; }
    int area() const { return height_ * width_; }

    // The spectrum of the windowed gradient magnitude of the patch whose
    // top-left corner is at (top, left) of gradient images `stride` floats wide.
    void spectrum(const float* gradX, const float* gradY, int stride, int top, int left,
                  _DFT_Complex16* out);
    // The correlation surface of two spectra (height x width, row-major): its
    // peak sits at the shift from `previous` to `current`.
    void surface(const _DFT_Complex16* current, const _DFT_Complex16* previous, double* out);

private:
    void commit();
    void release();

    int height_;
    int width_;
    DFT_DESCRIPTOR_HANDLE forward_ = nullptr;
    DFT_DESCRIPTOR_HANDLE backward_ = nullptr;
    std::vector<double> window_;  // separable raised cosine, row-major
    std::vector<float> patchX_;
    std::vector<float> patchY_;
    std::vector<_DFT_Complex16> input_;
    std::vector<_DFT_Complex16> cross_;
    std::vector<_DFT_Complex16> output_;
};

}  // namespace regviafft

#endif
