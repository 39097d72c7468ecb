#pragma once

#include "engine/commandsource.h"
#include "engine/interpreter.h"
#include "figure/figurepass.h"
#include "view/figurecamera.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

// Of a figure seen through a view, the part built around what the picture shows, in
// picture sizes on every side, so that panning a little shows built segments at once.
inline constexpr double viewRegionMargin = 0.5;

// What a picture of width x height device pixels showing the figure of `box` through
// `view` can tell apart: the scale at its pixels, and through a view other than the framed
// one, the region worth building: for a flat figure, around what the picture shows; for one
// that turns, the heights that some spin angle brings into the picture, unless it is tilted
// (then all of it), so that a zoomed picture costs what it can show at any angle. A
// picture that stays at one spin angle (stillDegrees) is placed on its pixels, as a flat
// figure's always is.
lsGeometryReduction viewReduction(const double box[6],
                                  int width,
                                  int height,
                                  const FigureView &view,
                                  std::optional<double> stillDegrees = std::nullopt);

// The geometry of a figure as a picture of width x height device pixels shows it through
// `view`, with the vertices that picture cannot tell apart merged. The window and the
// headless renderer both build through here, so that they draw the same segments. A
// picture without pixels keeps every vertex. `box`, when the figure's box is known,
// saves the walk that finds it for a view other than the framed one. Each walk starts
// from the first command. Returns false as lsBuildGeometry does, and when the picture
// would keep more than maxVertices.
[[nodiscard]] bool buildViewGeometry(const lsRuleSet &rules,
                                     lsCommandSource &commands,
                                     int width,
                                     int height,
                                     lsGeometry &geometry,
                                     const FigureView &view = {},
                                     const double *box = nullptr,
                                     std::uint64_t maxVertices = UINT64_MAX);

// The same for the pass a figure shows, turning by `angle` (radians) from a first step
// `step`: drawn from its expansion units when they can stand for its symbols (FigurePass::
// units, lsBuildUnitGeometry), which needs no walk and no box, else walked as above.
// cancel (may be null) stops it; progress (may be empty) hears how far each walk got; a
// walk fails past maxVertices as above. A picture drawn only at the spin angle stillDegrees
// (an export of a figure with depth) can leave out what that angle hides under solid pixels.
// Throws std::bad_alloc when a stream's small tables cannot be had.
[[nodiscard]] bool buildViewGeometry(const FigurePass &pass,
                                     double angle,
                                     double step,
                                     int width,
                                     int height,
                                     lsGeometry &geometry,
                                     const FigureView &view = {},
                                     const double *box = nullptr,
                                     const std::atomic<bool> *cancel = nullptr,
                                     lsCommandSource::Progress progress = {},
                                     std::uint64_t maxVertices = UINT64_MAX,
                                     std::optional<double> stillDegrees = std::nullopt);

// The same for the pass a figure shows, turned by `degrees`, into new storage (a picture
// built before may still be drawn elsewhere): the one way the window builds what it draws
// and exports. Polls cancel (may be null) between chunks; progress (may be empty) hears
// how far each walk got. Null when cancel was seen set or the memory could not be had.
std::shared_ptr<lsGeometry> buildPassGeometry(const FigurePass &pass,
                                              double degrees,
                                              int width,
                                              int height,
                                              const FigureView &view,
                                              const double *box,
                                              const std::atomic<bool> *cancel,
                                              lsCommandSource::Progress progress);

// Whether a figure of `box` built for a picture of `builtPixels` through `builtView` must be
// built again for one of `pixels` through `view`: it would be too coarse for the new scale,
// needlessly fine, or would not reach the edges of the picture.
bool viewNeedsBuild(const double box[6],
                    int builtWidth,
                    int builtHeight,
                    const FigureView &builtView,
                    int width,
                    int height,
                    const FigureView &view);
