#include "view/viewgeometry.h"

#include "view/figurecamera.h"

bool buildViewGeometry(const lsRuleSet &rules,
                       std::string_view commands,
                       int width,
                       int height,
                       lsGeometry &geometry)
{
    lsGeometryReduction reduction;
    if (width > 0 && height > 0) {
        double box[6];
        lsMeasureString(rules, commands, box);
        reduction.pixelsPerUnit = FigureCamera::make(box, width, height, 0.0).pixelsPerUnit;
    }
    return lsBuildGeometry(rules, commands, geometry, reduction);
}
