#include "view/viewgeometry.h"

#include "engine/unitdrawing.h"

lsGeometryReduction
viewReduction(const double box[6], int width, int height, const FigureView &view)
{
    const FigureCamera camera = FigureCamera::make(box, width, height, 0.0, view);
    lsGeometryReduction reduction;
    reduction.pixelsPerUnit = camera.pixelsPerUnit;
    if (!camera.spins && !view.isFramed())
        reduction.region = camera.visibleRegion(viewRegionMargin);
    if (!camera.spins)
        reduction.picture = { width, height, camera.centre[0], camera.centre[1] };
    return reduction;
}

bool buildViewGeometry(const lsRuleSet &rules,
                       lsCommandSource &commands,
                       int width,
                       int height,
                       lsGeometry &geometry,
                       const FigureView &view,
                       const double *box)
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
        if (!lsBuildGeometry(rules, commands, geometry, reduction))
            return false;
        if (geometry.box[lsMaxZ] == geometry.box[lsMinZ] && view.isFramed())
            return true;
        std::copy(geometry.box, geometry.box + 6, found.begin());
        box = found.data();
        commands.rewind();
    }
    return lsBuildGeometry(rules, commands, geometry, viewReduction(box, width, height, view));
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
                       lsCommandSource::Progress progress)
{
    if (width > 0 && height > 0) {
        const lsUnitTable::Made units = pass.units(angle, step, cancel);
        if (units.cancelled)
            return false;
        if (units.table) {
            const lsGeometryReduction reduction =
                    viewReduction(units.table->box(), width, height, view);
            return lsBuildUnitGeometry(*units.table, geometry, reduction, cancel);
        }
    }
    // The walk reads only the angle and the step: a rule set of its own holds them.
    lsRuleSet rules;
    rules.angle = angle;
    rules.step = step;
    const std::unique_ptr<lsCommandSource> source = pass.source();
    source->watch(cancel, std::move(progress));
    return buildViewGeometry(rules, *source, width, height, geometry, view, box);
}
