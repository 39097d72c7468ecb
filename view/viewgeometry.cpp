#include "view/viewgeometry.h"

#include "engine/unitdrawing.h"
#include "figure/figurerules.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <optional>

namespace {

constexpr double pi = 3.14159265358979323846;

// What a picture through `camera` can show (minimum x, maximum x, minimum y, maximum y of
// the figure as it stands), grown by `margin` of the picture's size on every side. For a
// flat figure, the part of its plane. For one that turns untilted about the vertical axis,
// the heights any spin angle can bring into the picture: a point keeps its height as it
// turns, and the picture's rows span the most height at the farthest a point can be from
// the eye, the box's reach about the axis beyond it. None when tilted: a turn may then
// show any part.
std::optional<std::array<double, 4>> shownReach(const FigureCamera &camera, double margin)
{
    if (!camera.spins)
        return camera.visibleRegion(margin);
    if (camera.tiltDegrees != 0.0f)
        return std::nullopt;
    const double farthest =
            camera.eyeDistance + camera.spinReach + (camera.centre[2] - camera.spinAxis[1]);
    const double half = std::max(farthest, 0.0) * std::tan(camera.fovy / 2.0 * pi / 180.0)
                        * (1.0 + 2.0 * margin);
    const double all = std::numeric_limits<double>::infinity();
    return std::array<double, 4>{ -all, all, camera.centre[1] - half, camera.centre[1] + half };
}

// The picture a camera takes: its projection and viewport as one map to pixels, and rows
// drawn on the plane through the point it looks at.
lsGeometryReduction::Picture pictureOf(const FigureCamera &camera)
{
    lsGeometryReduction::Picture picture;
    picture.width = camera.width;
    picture.height = camera.height;
    // Rows 0, 1 and 3 of projection x modelview (column-major), then the viewport.
    std::array<double, 12> clip{};
    const int rows[3] = { 0, 1, 3 };
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 4; ++j)
                clip[r * 4 + k] += camera.projection[j * 4 + rows[r]] * camera.modelview[k * 4 + j];
    for (int k = 0; k < 4; ++k) {
        picture.toPixels[k] = (clip[k] + clip[8 + k]) * 0.5 * camera.width;
        picture.toPixels[4 + k] = (clip[4 + k] + clip[8 + k]) * 0.5 * camera.height;
        picture.toPixels[8 + k] = clip[8 + k];
    }
    picture.rowDepth = camera.eyeDistance;
    return picture;
}

} // namespace

lsGeometryReduction viewReduction(const double box[6],
                                  int width,
                                  int height,
                                  const FigureView &view,
                                  std::optional<double> stillDegrees)
{
    const FigureCamera camera = FigureCamera::make(box, width, height, 0.0, view);
    lsGeometryReduction reduction;
    reduction.pixelsPerUnit = camera.pixelsPerUnit;
    if (!view.isFramed())
        reduction.region = shownReach(camera, viewRegionMargin);
    if (!camera.spins)
        reduction.picture = pictureOf(camera);
    else if (stillDegrees)
        reduction.picture = pictureOf(FigureCamera::make(box, width, height, *stillDegrees, view));
    return reduction;
}

bool buildViewGeometry(const lsRuleSet &rules,
                       lsCommandSource &commands,
                       int width,
                       int height,
                       lsGeometry &geometry,
                       const FigureView &view,
                       const double *box,
                       std::uint64_t maxVertices)
{
    commands.rewind();
    if (width <= 0 || height <= 0)
        return lsBuildGeometry(rules, commands, geometry);
    std::array<double, 6> found{};
    // The framed picture is always built the one way, known box or not, so that it is
    // the same wherever it is built.
    if (!box || view.isFramed()) {
        // One walk for a flat framed figure, whose scale follows the box as it grows; any
        // other is built again for its whole box.
        lsGeometryReduction reduction;
        reduction.framingPixels = FigureCamera::framingPixels(width, height);
        reduction.maxVertices = maxVertices;
        if (!lsBuildGeometry(rules, commands, geometry, reduction))
            return false;
        if (geometry.box[lsMaxZ] == geometry.box[lsMinZ] && view.isFramed())
            return true;
        std::copy(geometry.box, geometry.box + 6, found.begin());
        box = found.data();
        commands.rewind();
    }
    lsGeometryReduction reduction = viewReduction(box, width, height, view);
    reduction.maxVertices = maxVertices;
    return lsBuildGeometry(rules, commands, geometry, reduction);
}

std::shared_ptr<lsGeometry> buildPassGeometry(const FigurePass &pass,
                                              double degrees,
                                              int width,
                                              int height,
                                              const FigureView &view,
                                              const double *box,
                                              const std::atomic<bool> *cancel,
                                              lsCommandSource::Progress progress)
{
    try {
        auto geometry = std::make_shared<lsGeometry>();
        if (!buildViewGeometry(pass, radiansFromDegrees(degrees), lsRuleSet().step, width, height,
                               *geometry, view, box, cancel, std::move(progress)))
            return nullptr;
        return geometry;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

bool viewNeedsBuild(const double box[6],
                    int builtWidth,
                    int builtHeight,
                    const FigureView &builtView,
                    int width,
                    int height,
                    const FigureView &view)
{
    if (builtWidth != width || builtHeight != height)
        return true;
    const lsGeometryReduction built = viewReduction(box, builtWidth, builtHeight, builtView);
    const lsGeometryReduction wanted = viewReduction(box, width, height, view);
    // A little coarser than the pixels is not seen; turning a figure with depth changes
    // its bound a little at every step.
    if (wanted.pixelsPerUnit > built.pixelsPerUnit * 1.1
        || wanted.pixelsPerUnit * 2.0 < built.pixelsPerUnit)
        return true;
    if (!built.region)
        return false;
    if (!wanted.region)
        return true;
    const std::array<double, 4> shown =
            *shownReach(FigureCamera::make(box, width, height, 0.0, view), 0.0);
    const std::array<double, 4> &reach = *built.region;
    return shown[0] < reach[0] || shown[1] > reach[1] || shown[2] < reach[2] || shown[3] > reach[3];
}

bool buildViewGeometry(const FigurePass &pass,
                       double angle,
                       double step,
                       int width,
                       int height,
                       lsGeometry &geometry,
                       const FigureView &view,
                       const double *box,
                       const std::atomic<bool> *cancel,
                       lsCommandSource::Progress progress,
                       std::uint64_t maxVertices,
                       std::optional<double> stillDegrees)
{
    if (width > 0 && height > 0) {
        const lsUnitTable::Made units = pass.units(angle, step, cancel);
        if (units.cancelled)
            return false;
        if (units.table) {
            lsGeometryReduction reduction =
                    viewReduction(units.table->box(), width, height, view, stillDegrees);
            reduction.maxVertices = maxVertices;
            return lsBuildUnitGeometry(*units.table, geometry, reduction, cancel);
        }
    }
    // The walk reads only the angle and the step: a rule set of its own holds them.
    lsRuleSet rules;
    rules.angle = angle;
    rules.step = step;
    const std::unique_ptr<lsCommandSource> source = pass.source();
    source->watch(cancel, std::move(progress));
    return buildViewGeometry(rules, *source, width, height, geometry, view, box, maxVertices);
}
