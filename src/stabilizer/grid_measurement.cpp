// The grid of templates through a stream.
#include "grid_measurement.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

#include "frame_planes.h"
#include "kernels.h"

namespace regviafft {
GridGeometry gridFor(const Settings& s)
{
    const int divisor = *s.divisor;
    GridGeometry g{};
    g.width = s.width / divisor;
    g.height = s.height / divisor;
    g.columns = *s.gridColumns;
    g.rows = *s.gridRows;
    g.templateWidth = std::min(g.width, *s.templateWidth / divisor);
    g.templateHeight = std::min(g.height, *s.templateHeight / divisor);
    g.marginX = std::min(*s.marginX / divisor, (g.width - g.templateWidth) / 2);
    g.marginY = std::min(*s.marginY / divisor, (g.height - g.templateHeight) / 2);
    return g;
}

GridMeasurement::GridMeasurement(const Settings& resolved)
    : settings_(resolved), grid_(gridFor(resolved)), divisor_(*resolved.divisor),
      grey_(static_cast<size_t>(resolved.width) * resolved.height),
      gradX_(static_cast<size_t>(grid_.width) * grid_.height),
      gradY_(gradX_.size()), correlator_(grid_.templateHeight, grid_.templateWidth),
      spectrum_(static_cast<size_t>(correlator_.area())), surface_(spectrum_.size())
{
}

void GridMeasurement::load(const FrameView& frame)
{
    const Plane& first = frame.planes[0];
    const int pixelBytes = planeLayout(frame.format, 0, frame.width, frame.height, false).bytesPerPixel;
    grayFromPixels(first.data, first.stride, pixelBytes, frame.width, frame.height, grey_.data(),
                   frame.width);
    const cv::Mat grey(frame.height, frame.width, CV_8UC1, grey_.data());
    cv::resize(grey, reduced_, cv::Size(grid_.width, grid_.height), 0.0, 0.0, cv::INTER_LINEAR);
    centralGradient(reduced_.ptr<std::uint8_t>(), grid_.width, grid_.height, gradX_.data(),
                    gradY_.data());
}

void GridMeasurement::seed(Template& t)
{
    t.previous.resize(spectrum_.size());
    correlator_.spectrum(gradX_.data(), gradY_.data(), grid_.width, t.spot.top, t.spot.left,
                         t.previous.data());
}

TemplateObservation GridMeasurement::unmeasured(const Template& t) const
{
    // Analysed pixel i covers frame pixels i d to i d + d - 1.
    const double inFrame = (divisor_ - 1) / 2.0;
    TemplateObservation o;
    o.x = (t.spot.left + (grid_.templateWidth - 1) / 2.0) * divisor_ + inFrame;
    o.y = (t.spot.top + (grid_.templateHeight - 1) / 2.0) * divisor_ + inFrame;
    return o;
}

bool GridMeasurement::place()
{
    const TextureMap texture(gradX_.data(), gradY_.data(), grid_);
    const std::vector<GridSpot> spots = placeOnGrid(texture, grid_);
    templates_.clear();
    observations_.clear();
    for (int cell = 0; cell < static_cast<int>(spots.size()); ++cell) {
        if (spots[cell].texture <= 0.0)
            continue;
        templates_.push_back({cell, spots[cell], {}});
        seed(templates_.back());
        observations_.push_back(unmeasured(templates_.back()));
    }
    return !templates_.empty();
}

const std::vector<TemplateObservation>& GridMeasurement::measure()
{
    for (size_t k = 0; k < templates_.size(); ++k) {
        Template& t = templates_[k];
        correlator_.spectrum(gradX_.data(), gradY_.data(), grid_.width, t.spot.top, t.spot.left,
                             spectrum_.data());
        correlator_.surface(spectrum_.data(), t.previous.data(), surface_.data());
        const SurfaceShift shift = refinedSurfaceShift(surface_.data(), grid_.templateHeight, grid_.templateWidth);
        TemplateObservation& o = observations_[k];
        o = unmeasured(t);
        if (shift.peak > 0.0) {
            o.shiftX = shift.shiftX * divisor_;
            o.shiftY = shift.shiftY * divisor_;
            o.peak = shift.peak;
            o.measured = true;
        }
        t.previous.swap(spectrum_);
    }
    return observations_;
}

bool GridMeasurement::respot(int k)
{
    Template& t = templates_[k];
    const TextureMap texture(gradX_.data(), gradY_.data(), grid_);
    const GridSpot spot = respotInCell(texture, grid_, t.cell, t.spot);
    if (spot.texture <= 0.0)
        return false;
    t.spot = spot;
    seed(t);
    observations_[k] = unmeasured(t);
    return true;
}

}  // namespace regviafft
