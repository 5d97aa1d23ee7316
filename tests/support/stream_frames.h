// Streams for the stabiliser tests: windows of a large textured scene seen by
// a camera at known whole-pixel positions, in every pixel format the
// stabiliser takes.
#ifndef REGVIAFFT_TEST_STREAM_FRAMES_H
#define REGVIAFFT_TEST_STREAM_FRAMES_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "regviafft/stabilizer.h"
#include "synthetic_frames.h"

namespace streams {

using Bytes = std::vector<std::uint8_t>;

// A grey scene the camera looks at; its window at (x, y) is a frame.
struct Scene {
    int width, height;
    Bytes grey;
    Scene(int w, int h, std::uint32_t seed) : width(w), height(h), grey(synthetic::texturedFrame(w, h, seed)) {}

    // The width x height window whose top-left corner is at (x, y).
    Bytes window(int x, int y, int w, int h) const
    {
        Bytes out(static_cast<size_t>(w) * h);
        for (int r = 0; r < h; ++r)
            std::memcpy(&out[static_cast<size_t>(r) * w], &grey[static_cast<size_t>(y + r) * width + x],
                        static_cast<size_t>(w));
        return out;
    }
};

// One frame held in every format, each plane in its own buffer.
struct Frame {
    int width = 0, height = 0;
    Bytes packed;   // grey in the colour bytes, the row number in the fourth
    Bytes packed3;  // grey, a little colour on the second byte
    Bytes y, u, v;  // I420
    Bytes uv;       // NV12

    Frame(const Bytes& grey, int w, int h) : width(w), height(h)
    {
        const int cw = (w + 1) / 2, ch = (h + 1) / 2;
        packed.resize(static_cast<size_t>(w) * h * 4);
        packed3.resize(static_cast<size_t>(w) * h * 3);
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                const std::uint8_t g = grey[static_cast<size_t>(r) * w + c];
                std::uint8_t* p = &packed[(static_cast<size_t>(r) * w + c) * 4];
                p[0] = p[1] = p[2] = g;
                p[3] = static_cast<std::uint8_t>(r);
                // The mean of the three bytes is still the grey value.
                std::uint8_t* q = &packed3[(static_cast<size_t>(r) * w + c) * 3];
                const int tint = g >= 3 && g <= 252 ? 3 : 0;
                q[0] = static_cast<std::uint8_t>(g - tint);
                q[1] = static_cast<std::uint8_t>(g + tint);
                q[2] = g;
            }
        y = grey;
        u.resize(static_cast<size_t>(cw) * ch);
        v.resize(u.size());
        uv.resize(u.size() * 2);
        for (int r = 0; r < ch; ++r)
            for (int c = 0; c < cw; ++c) {
                const size_t i = static_cast<size_t>(r) * cw + c;
                u[i] = uv[2 * i] = static_cast<std::uint8_t>(64 + (7 * r + 3 * c) % 128);
                v[i] = uv[2 * i + 1] = static_cast<std::uint8_t>(192 - (5 * r + 11 * c) % 128);
            }
    }

    regviafft::FrameView view(regviafft::PixelFormat format)
    {
        using regviafft::FrameView;
        const int cw = (width + 1) / 2;
        switch (format) {
        case regviafft::PixelFormat::I420:
            return FrameView::i420(width, height, {y.data(), width}, {u.data(), cw}, {v.data(), cw});
        case regviafft::PixelFormat::NV12:
            return FrameView::nv12(width, height, {y.data(), width}, {uv.data(), 2 * cw});
        case regviafft::PixelFormat::Packed3:
            return FrameView::packed3(packed3.data(), width, height);
        default:
            return FrameView::packed(packed.data(), width, height);
        }
    }
};

// Frames of the scene along a camera path of whole-pixel corner positions.
inline std::vector<Frame> along(const Scene& scene, const std::vector<int>& xs,
                                const std::vector<int>& ys, int w, int h)
{
    std::vector<Frame> frames;
    for (size_t t = 0; t < xs.size(); ++t)
        frames.emplace_back(scene.window(xs[t], ys[t], w, h), w, h);
    return frames;
}

// A camera whose corner moves by (dx, dy) per frame from (x0, y0).
inline std::vector<Frame> panning(const Scene& scene, int frames, int x0, int y0, int dx, int dy, int w, int h)
{
    std::vector<int> xs(frames), ys(frames);
    for (int t = 0; t < frames; ++t)
        xs[t] = x0 + dx * t, ys[t] = y0 + dy * t;
    return along(scene, xs, ys, w, h);
}

// Every record of the stream, pulled as soon as it is out, then the rest once
// the stream is finished.
inline std::vector<regviafft::MotionRecord> stabilise(regviafft::Stabilizer& stabilizer, std::vector<Frame>& frames,
                                                      regviafft::PixelFormat format)
{
    std::vector<regviafft::MotionRecord> records;
    regviafft::MotionRecord record;
    for (size_t t = 0; t < frames.size(); ++t) {
        stabilizer.push(frames[t].view(format), static_cast<std::int64_t>(t));
        while (stabilizer.pull(record) == regviafft::Pull::Ready)
            records.push_back(record);
    }
    stabilizer.finish();
    while (stabilizer.pull(record) == regviafft::Pull::Ready)
        records.push_back(record);
    return records;
}

// Planar 4:2:0 unless told otherwise: the command line's input.
inline std::vector<regviafft::MotionRecord> stabilise(const regviafft::Settings& settings, std::vector<Frame>& frames,
                                                      regviafft::PixelFormat format = regviafft::PixelFormat::I420)
{
    regviafft::Stabilizer stabilizer(settings);
    return stabilise(stabilizer, frames, format);
}

}  // namespace streams

#endif
