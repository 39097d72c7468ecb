#pragma once

#include <array>
#include <optional>

// Where the user looks within a framed figure. The window, its exports and sprig-render
// all pass one of these to FigureCamera, so the same numbers give the same pixels.
struct FigureView
{
    static constexpr double minZoom = 1.0 / 64.0;
    // Vertices are floats: beyond this, neighbouring ones land pixels apart.
    static constexpr double maxZoom = 65536.0;

    double zoom = 1.0; // magnification of the framed picture
    // The figure point shown at the middle of the picture (for a figure with depth, as it
    // stands at spin 0); none: the box centre.
    std::optional<std::array<double, 3>> centre;
    double tiltDegrees = 0.0; // a figure with depth turns this much about the horizontal axis
    // A flat figure turns as well (by the spin and the tilt), about the vertical axis through
    // its box centre, seen from far enough that its whole turn stays in the picture: an
    // animation of a full turn.
    bool turnsFlat = false;

    bool isFramed() const { return zoom == 1.0 && !centre && tiltDegrees == 0.0 && !turnsFlat; }
    bool operator==(const FigureView &) const = default;
};

// A part of a picture, in pixels from its top-left corner.
struct PicturePart
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The camera that frames a figure: a perspective projection from the figure's bounding box
// and the viewport, and a model-view that turns figures with depth about the vertical line
// through their box centre, from far enough that no spin angle leaves the picture.
// A view magnifies that picture (a narrower field of view from the same eye), moves its
// middle to another point and tilts a figure with depth about the horizontal axis through
// that point. No GL here: the renderer hands the parameters to GLU, and vector exports
// project points with the same matrices, so both show the same picture.
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
    // narrowed to float as GL receives it) applies only when the box has depth or the view
    // turns a flat figure.
    std::array<double, 3> centre{ 0.0, 0.0, 0.0 };
    bool spins = false;
    float spinDegrees = 0.0f;
    // x and z of the vertical line the spin turns about: the box centre's.
    std::array<double, 2> spinAxis{ 0.0, 0.0 };
    // How far the box reaches from that line (when it spins).
    double spinReach = 0.0;
    float tiltDegrees = 0.0f; // about the x axis, before the translation; 0 for flat figures

    int width = 0;
    int height = 0;

    // The most device pixels one figure unit can span in the picture, at every spin angle:
    // exact for a flat figure, a bound from the figure's reach about the spin axis for one
    // with depth. What lies nearer the eye than zNear is clipped and does not count.
    double pixelsPerUnit = 0.0;
    // Device pixels per figure unit at the depth of the picture's middle point.
    double centrePixelsPerUnit = 0.0;

    // Column-major 4x4 matrices, as GL stores them, equal to what the GLU calls and the
    // translate/rotate above produce.
    std::array<double, 16> projection{};
    std::array<double, 16> modelview{};

    // box: minimum x, maximum x, minimum y, maximum y, minimum z, maximum z.
    static FigureCamera make(const double box[6],
                             int width,
                             int height,
                             double spinDegrees,
                             const FigureView &view = {});

    // Whether a picture can show a figure of this box: every side finite and within a
    // float's range, as the vertices are floats (a factor after '@' can make either
    // infinite, or not a number).
    static bool canFrame(const double box[6]);

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

    // The view that moves the picture made with `view` by dx, dy device pixels (right, down).
    FigureView panned(const FigureView &view, double dx, double dy) const;
    // The view magnified `factor` times more about the window point x, y, which stays put.
    FigureView zoomedAbout(const FigureView &view, double factor, double x, double y) const;

    // For a flat figure, the part of the plane z = 0 the picture shows, grown by `margin`
    // of its width and height on every side: minimum x, maximum x, minimum y, maximum y.
    std::array<double, 4> visibleRegion(double margin) const;
    // The same for the picture's pixels from (left, top) to (right, bottom), which may lie
    // outside it.
    std::array<double, 4> regionOf(double left, double top, double right, double bottom) const;
};
