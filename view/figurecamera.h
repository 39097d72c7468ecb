#pragma once

#include <array>

// The camera that frames a figure: a perspective projection from the figure's bounding box
// and the viewport, and a model-view that turns figures with depth about the vertical axis.
// No GL here: the renderer hands the parameters to GLU, and vector exports project points
// with the same matrices, so both show the same picture.
struct FigureCamera
{
    // gluPerspective parameters.
    double fovy = 40.0; // degrees, vertical
    double aspect = 1.0;
    double zNear = 0.1;
    double zFar = 0.0;
    // gluLookAt: eye at (0, 0, eyeDistance) looking at the origin, up +y.
    double eyeDistance = 0.0;
    // The box centre, moved to the origin; the spin (degrees, reduced modulo 360 and
    // narrowed to float as GL receives it) applies only when the box has depth.
    std::array<double, 3> centre{ 0.0, 0.0, 0.0 };
    bool spins = false;
    float spinDegrees = 0.0f;

    int width = 0;
    int height = 0;

    // The most device pixels one figure unit can span in the picture, at every spin angle:
    // exact for a flat figure, a bound from the figure's reach about the spin axis for one
    // with depth. What lies nearer the eye than zNear is clipped and does not count.
    double pixelsPerUnit = 0.0;

    // Column-major 4x4 matrices, as GL stores them, equal to what the GLU calls and the
    // translate/rotate above produce.
    std::array<double, 16> projection{};
    std::array<double, 16> modelview{};

    // box: minimum x, maximum x, minimum y, maximum y, minimum z, maximum z.
    static FigureCamera make(const double box[6], int width, int height, double spinDegrees);

    // For flat figures, pixelsPerUnit times the largest half side of the box: it depends
    // on the picture's size only (lsGeometryReduction::framingPixels).
    static double framingPixels(int width, int height);

    struct WindowPoint
    {
        double x = 0.0;     // pixels from the left edge
        double y = 0.0;     // pixels from the top edge
        bool valid = false; // false when the point is at or behind the eye plane
    };
    // Window coordinates of a figure point, origin at the top-left corner of the viewport.
    WindowPoint project(double x, double y, double z) const;
};
