#include "view/viewgeometry.h"

#include "view/figurecamera.h"

bool buildViewGeometry(const lsRuleSet &rules,
                       std::string_view commands,
                       int width,
                       int height,
                       lsGeometry &geometry)
{
    if (width <= 0 || height <= 0)
        return lsBuildGeometry(rules, commands, geometry);
    // One walk for a flat figure, whose scale follows the box as it grows; a figure with
    // depth is built again with the bound for its whole box at every spin angle.
    lsGeometryReduction reduction;
    reduction.framingPixels = FigureCamera::framingPixels(width, height);
    if (!lsBuildGeometry(rules, commands, geometry, reduction))
        return false;
    if (geometry.box[lsMaxZ] == geometry.box[lsMinZ])
        return true;
    reduction.framingPixels = 0.0;
    reduction.pixelsPerUnit = FigureCamera::make(geometry.box, width, height, 0.0).pixelsPerUnit;
    return lsBuildGeometry(rules, commands, geometry, reduction);
}
