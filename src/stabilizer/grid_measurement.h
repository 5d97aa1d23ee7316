// The stabiliser's measurement: templates on a grid over the whole frame
// (template_grid.h), each registered against the previous frame by phase
// correlation of its gradient magnitude with a sub-pixel peak.
#ifndef REGVIAFFT_STABILIZER_GRID_MEASUREMENT_H
#define REGVIAFFT_STABILIZER_GRID_MEASUREMENT_H

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

#include "patch_correlator.h"
#include "regviafft/stabilizer.h"
#include "template_grid.h"

namespace regviafft {

// One template's measurement on a frame, in full-resolution pixels.
struct TemplateObservation {
    double x = 0.0;       // its centre in frame pixels (0 is the middle of the first)
    double y = 0.0;
    double shiftX = 0.0;  // the shift that brings this frame back onto the previous one
    double shiftY = 0.0;
    double peak = 0.0;    // its correlation peak; 0 when it had none
    bool measured = false;  // false on the frame it was (re)placed on
};

// The grid for resolved settings, in analysed pixels.
GridGeometry gridFor(const Settings& resolved);

class GridMeasurement {
public:
    explicit GridMeasurement(const Settings& resolved);

    // The frame becomes the current one: grey (luma as it is), reduced, and
    // its gradients.
    void load(const FrameView& frame);
    // Places templates on the current frame; false when no cell has texture.
    bool place();
    // Registers every template against the previous frame and keeps the
    // current frame's spectra for the next.
    const std::vector<TemplateObservation>& measure();
    // Moves template k to another spot of its cell on the current frame; it
    // is measured again from the next frame on. False when its cell has no
    // other spot worth measuring (the template then stays where it is).
    bool respot(int k);

    const std::vector<TemplateObservation>& observations() const { return observations_; }
    int count() const { return static_cast<int>(templates_.size()); }
    // The current frame, grey and reduced to the analysed size.
    const cv::Mat& picture() const { return reduced_; }

private:
    struct Template {
        int cell;
        GridSpot spot;
        std::vector<_DFT_Complex16> previous;  // the last frame's spectrum
    };
    void seed(Template& t);
    TemplateObservation unmeasured(const Template& t) const;

    Settings settings_;
    GridGeometry grid_;
    int divisor_;
    std::vector<std::uint8_t> grey_;  // full resolution
    cv::Mat reduced_;
    std::vector<float> gradX_;
    std::vector<float> gradY_;
    PatchCorrelator correlator_;
    std::vector<Template> templates_;
    std::vector<_DFT_Complex16> spectrum_;
    std::vector<double> surface_;
    std::vector<TemplateObservation> observations_;
};

}  // namespace regviafft

#endif
