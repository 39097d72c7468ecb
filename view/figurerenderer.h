#pragma once

#include "engine/interpreter.h"
#include "view/figurecamera.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Draws a figure into whichever GL context is current: viewport, opaque clear, line colour,
// the camera of FigureCamera and the figure's line strips. The geometry comes from a cache
// built once per (string, angle, step) and is drawn from buffer objects every frame.
// Holds GL objects of the context it first draws in: call releaseGL() with that context
// current before the context goes away.
class FigureRenderer
{
public:
    FigureRenderer();
    ~FigureRenderer();
    FigureRenderer(const FigureRenderer &) = delete;
    FigureRenderer &operator=(const FigureRenderer &) = delete;

    // The figure to draw (uploaded at the next draw); null draws the background only.
    void setGeometry(std::shared_ptr<const lsGeometry> geometry);
    // The geometry set last, null once released.
    const std::shared_ptr<const lsGeometry> &geometry() const { return mGeometry; }

    // RGBA in 0-1. The background always clears opaque.
    void setLineColor(const std::array<double, 4> &color) { mLineColor = color; }
    void setBackgroundColor(const std::array<double, 4> &color) { mBackgroundColor = color; }
    const std::array<double, 4> &lineColor() const { return mLineColor; }
    const std::array<double, 4> &backgroundColor() const { return mBackgroundColor; }

    // Smoothed lines (the default), or plain ones: a software rasteriser draws those in
    // half the time, for frames of a figure in motion.
    void setSmoothLines(bool smooth) { mSmoothLines = smooth; }

    // Whether the figure drawn last turns: its box has depth.
    bool figureSpins() const { return mUploaded && mBox[lsMaxZ] > mBox[lsMinZ]; }

    // One frame of width x height pixels (viewport at the origin) at the given spin angle,
    // as the view shows it. With a part, only that part of the picture, into a viewport of
    // its size at the origin: the pixels the whole picture has there, so that a picture too
    // large for one framebuffer can be drawn a part at a time. The figure's strips are drawn
    // partVertices at a time; `abandon` (may be empty) is asked between them
    // whether the frame is still wanted: returns false when it stopped the frame.
    // Vertices the figure's strips are drawn at a time, at most.
    static constexpr std::int32_t partVertices = 16384;
    bool draw(int width,
              int height,
              double spinDegrees,
              const FigureView &view = {},
              const std::optional<PicturePart> &part = {},
              const std::function<bool()> &abandon = {});

    // The same frame drawn the per-frame way: measure, then the interpreter's immediate-mode
    // draw of the string. The reference the cached drawing is checked against.
    void drawImmediate(const lsRuleSet &rules,
                       const char *string,
                       int width,
                       int height,
                       double spinDegrees) const;

    // Frees the GL objects; the context they were made in must be current.
    void releaseGL();

private:
    void beginFrame(int width, int height) const;
    void uploadGeometry();
    bool drawInParts(const std::function<bool()> &abandon) const;

    std::shared_ptr<const lsGeometry> mGeometry;
    std::array<double, 4> mLineColor{ 1.0, 1.0, 1.0, 1.0 };
    std::array<double, 4> mBackgroundColor{ 0.0, 0.0, 0.0, 0.0 };
    bool mSmoothLines = true;
    // The uploaded figure: its vertices in the buffer object, a copy of its box and strips.
    bool mUploaded = false;
    unsigned mBuffer = 0;
    std::ptrdiff_t mBufferBytes = -1; // the size of the buffer's storage
    std::array<double, 6> mBox{};
    std::vector<std::int32_t> mStripFirst;
    std::vector<std::int32_t> mStripCount;
};
