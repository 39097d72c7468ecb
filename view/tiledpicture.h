#pragma once

#include "engine/ruleset.h"
#include "figure/figurepass.h"
#include "view/figurecamera.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class FigureRenderer;
struct lsGeometry;
class OffscreenContext;
class PictureWriter;

// A picture of a figure as the window's view shows it, at any size a file format holds.
struct PictureRequest
{
    const lsRuleSet *rules = nullptr;         // the turning angle and step
    const FigurePass *commands = nullptr;     // null: the background only
    std::optional<std::array<double, 6>> box; // the figure's, when known: saves a walk
    // The geometry of the whole picture when it is built already (the window's, at the
    // view's size; an animation's frames): drawn as it is, its box framing the picture.
    std::shared_ptr<const lsGeometry> geometry;
    std::array<double, 4> lineColor{ 1.0, 1.0, 1.0, 1.0 };
    // None: a transparent background, the picture's rows then RGBA.
    std::optional<std::array<double, 4>> background;
    int width = 0;
    int height = 0;
    double spinDegrees = 0.0;
    FigureView view;
    const std::atomic<bool> *cancel = nullptr; // may be null
    lsCommandSource::Progress progress;        // may be empty: hears how far each walk got

    // Drawn in tiles of at most this many pixels (beside a few of margin), and built and
    // written a band of at most bandRows rows at a time (fewer for wide pictures, so that a
    // band takes about kPictureBandBytes).
    int tileWidth = 8192;
    int bandRows = 2048;
    // The most vertices the geometry of the whole picture may keep; beyond, each band of a
    // flat figure builds what reaches it (a figure with depth is built whole regardless).
    std::uint64_t maxVertices = std::uint64_t(16) << 20;
};

// The pixels a band of rows holds at most, beside a tile's framebuffer and the geometry.
inline constexpr std::uint64_t kPictureBandBytes = std::uint64_t(96) << 20;

// Draws the picture in the context, which must be current, with the renderer (whose GL
// objects belong to that context; its geometry and colours are replaced), and hands its
// rows to the writer, top row first (RGB over an opaque background, RGBA over a transparent
// one). The picture is drawn in tiles, each with the projection of its part of the one
// camera and a margin toward its neighbours, so that the pixels are those a single
// framebuffer of the whole picture would hold: memory follows a band and a tile, not the
// picture. The geometry is the one the window builds for the picture (buildViewGeometry)
// when it keeps no more than request.maxVertices; beyond, a flat figure builds each band
// from what reaches it, at the whole picture's scale.
//
// On failure returns false and says why in *error (when not null), a clause about the
// picture or the writer's sentence. *box (when not null) gets the figure's box, of zeros
// without one.
[[nodiscard]] bool drawTiledPicture(OffscreenContext &context,
                                    FigureRenderer &renderer,
                                    const PictureRequest &request,
                                    PictureWriter &writer,
                                    std::string *error,
                                    std::array<double, 6> *box = nullptr);
