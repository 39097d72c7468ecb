#include "view/viewgeometry.h"

lsGeometryReduction
viewReduction(const double box[6], int width, int height, const FigureView &view)
{
    const FigureCamera camera = FigureCamera::make(box, width, height, 0.0, view);
    lsGeometryReduction reduction;
    reduction.pixelsPerUnit = camera.pixelsPerUnit;
    if (!camera.spins && !view.isFramed())
        reduction.region = camera.visibleRegion(viewRegionMargin);
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
