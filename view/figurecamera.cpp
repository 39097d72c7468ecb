#include "view/figurecamera.h"

#include "engine/turtle.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using Matrix = std::array<double, 16>; // column-major

constexpr double pi = 3.141592653589793;
constexpr double baseFovy = 40.0;

Matrix identity()
{
    Matrix m{};
    m[0] = m[5] = m[10] = m[15] = 1.0;
    return m;
}

Matrix multiply(const Matrix &a, const Matrix &b)
{
    Matrix r{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k)
                r[col * 4 + row] += a[k * 4 + row] * b[col * 4 + k];
    return r;
}

Matrix translation(double x, double y, double z)
{
    Matrix m = identity();
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return m;
}

// As gluPerspective builds it; GLU leaves the matrix alone for degenerate parameters.
Matrix perspective(double fovy, double aspect, double zNear, double zFar)
{
    const double radians = fovy / 2.0 * pi / 180.0;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    if (deltaZ == 0.0 || sine == 0.0 || aspect == 0.0)
        return identity();
    const double cotangent = std::cos(radians) / sine;
    Matrix m = identity();
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(zFar + zNear) / deltaZ;
    m[11] = -1.0;
    m[14] = -2.0 * zNear * zFar / deltaZ;
    m[15] = 0.0;
    return m;
}

// As gluLookAt builds it for an eye at (0, 0, distance) looking at the origin, up +y: the
// forward vector is normalised only when it has a length, as GLU does.
Matrix lookAlongZ(double distance)
{
    const double forward = distance > 0.0 ? -1.0 : (distance < 0.0 ? 1.0 : 0.0);
    Matrix m = identity();
    // side = forward x up, up' = side x forward, rows side, up', -forward.
    m[0] = -forward;
    m[5] = forward * forward;
    m[10] = -forward;
    return multiply(m, translation(0.0, 0.0, -distance));
}

// The focal length in pixels, equal along both axes (the aspect divides it out).
double focalPixels(double fovy, int height)
{
    return height * 0.5 / std::tan(fovy / 2.0 * pi / 180.0);
}

Matrix rotationAboutY(double degrees)
{
    const double r = degrees * pi / 180.0;
    Matrix m = identity();
    m[0] = std::cos(r);
    m[2] = -std::sin(r);
    m[8] = std::sin(r);
    m[10] = std::cos(r);
    return m;
}

Matrix rotationAboutX(double degrees)
{
    const double r = degrees * pi / 180.0;
    Matrix m = identity();
    m[5] = std::cos(r);
    m[6] = std::sin(r);
    m[9] = -std::sin(r);
    m[10] = std::cos(r);
    return m;
}

// How far the eye must be from the middle of a figure that turns about the vertical line
// through it for the whole turn to stay in the picture: the turn sweeps a cylinder of
// `radius` about that line, `rise` above and below the middle, which the tilt turns about
// the horizontal axis. Every point of it is then seen at most a third of its depth away
// from the middle, across and up, as the edges of an unturned box are at three times its
// largest half side.
double turnDistance(double radius, double rise, double tiltDegrees)
{
    const double tilt = tiltDegrees * pi / 180.0;
    const double sine = std::sin(tilt), cosine = std::cos(tilt);
    // Across: seen from the eye, the cylinder reaches farthest out along its silhouette,
    // whose nearest point comes rise * |sine| nearer when tilted.
    double distance = rise * std::abs(sine) + radius * std::sqrt(cosine * cosine + 9.0);
    // Up: the outline of the tilted cylinder is highest at a corner of its section through
    // the middle, the nearer corners seen larger.
    for (const double y : { rise, -rise }) {
        for (const double z : { radius, -radius }) {
            const double up = y * cosine - z * sine;
            const double toward = y * sine + z * cosine;
            distance = std::max(distance, toward + 3.0 * std::abs(up));
        }
    }
    return distance;
}

} // namespace

FigureCamera FigureCamera::make(const double box[6],
                                int width,
                                int height,
                                double spinDegrees,
                                const FigureView &view)
{
    FigureCamera c;
    c.width = width;
    c.height = height;
    const double hx = (box[lsMaxX] - box[lsMinX]) * 0.5;
    const double hy = (box[lsMaxY] - box[lsMinY]) * 0.5;
    const double hz = (box[lsMaxZ] - box[lsMinZ]) * 0.5;
    c.centre = view.centre.value_or(
            std::array<double, 3>{ box[lsMinX] + hx, box[lsMinY] + hy, box[lsMinZ] + hz });
    // A figure with depth, or a flat one the view turns, turns about the vertical line
    // through its box centre, seen from far enough for every spin angle at its tilt.
    const bool turns = hz > 0.0 || view.turnsFlat;
    const float tilt = turns ? static_cast<float>(std::fmod(view.tiltDegrees, 360.0)) : 0.0f;
    if (turns) {
        c.spinAxis = { box[lsMinX] + hx, box[lsMinZ] + hz };
        c.eyeDistance = turnDistance(std::hypot(hx, hz), hy, tilt);
    } else {
        c.eyeDistance = 3.0 * std::max(hx, hy);
    }
    c.zFar = 4.0 * c.eyeDistance;

    // A square view sees 40 degrees both ways. Other shapes keep the figure's proportions
    // and keep at least those 40 degrees along the shorter side, so the box stays framed.
    if (width > 0 && height > 0) {
        c.aspect = double(width) / double(height);
        if (c.aspect < 1.0) {
            const double half = std::tan(baseFovy / 2.0 * pi / 180.0) / c.aspect;
            c.fovy = 2.0 * std::atan(half) * 180.0 / pi;
        }
    }
    // Magnified from the same eye: the picture scales about its middle, nothing else moves.
    const double zoom = std::clamp(view.zoom, FigureView::minZoom, FigureView::maxZoom);
    if (zoom != 1.0)
        c.fovy = 2.0 * std::atan(std::tan(c.fovy / 2.0 * pi / 180.0) / zoom) * 180.0 / pi;

    c.spins = turns && c.eyeDistance > 0.0;
    // Reduced in double first: a float holding a large angle would turn in coarse steps.
    c.spinDegrees = static_cast<float>(std::fmod(spinDegrees, 360.0));
    if (c.spins)
        c.tiltDegrees = tilt;

    const double focal = focalPixels(c.fovy, height);
    c.centrePixelsPerUnit = c.eyeDistance > 0.0 ? focal / c.eyeDistance : 0.0;
    if (!c.spins) {
        const double depth = c.eyeDistance + c.centre[2]; // of the plane z = 0
        c.pixelsPerUnit = c.eyeDistance > 0.0 ? focal / std::max(depth, c.zNear) : 0.0;
    } else {
        // Turning about the vertical axis keeps a point within `reach` of it; the tilt
        // turns it about the middle point, toward the eye by at most `toward`. A point at
        // depth d (from the eye) and a lateral offset of at most tan * d moves on screen by
        // at most focal / d * sqrt(1 + tanX^2 + tanY^2) per unit it moves in space.
        const auto [ax, az] = c.spinAxis;
        c.spinReach = std::hypot(std::max(ax - box[lsMinX], box[lsMaxX] - ax),
                                 std::max(az - box[lsMinZ], box[lsMaxZ] - az));
        const double reach = c.spinReach;
        const double tilt = c.tiltDegrees * pi / 180.0;
        const double rise = std::max(box[lsMaxY] - c.centre[1], c.centre[1] - box[lsMinY]);
        const double cosine = std::cos(tilt);
        const double offset = c.centre[2] - az; // of the middle point from the axis
        const double toward =
                std::abs(std::sin(tilt)) * rise
                + (cosine >= 0.0 ? cosine * (reach - offset) : -cosine * (reach + offset));
        const double nearest = std::max(c.eyeDistance - toward, c.zNear);
        const double tanY = std::tan(c.fovy / 2.0 * pi / 180.0);
        const double tanX = tanY * c.aspect;
        c.pixelsPerUnit = focal / nearest * std::sqrt(1.0 + tanX * tanX + tanY * tanY);
    }

    c.projection = perspective(c.fovy, c.aspect, c.zNear, c.zFar);
    Matrix mv = lookAlongZ(c.eyeDistance);
    if (c.tiltDegrees != 0.0f)
        mv = multiply(mv, rotationAboutX(c.tiltDegrees));
    mv = multiply(mv,
                  translation(static_cast<float>(-c.centre[0]), static_cast<float>(-c.centre[1]),
                              static_cast<float>(-c.centre[2])));
    if (c.spins) {
        const auto [ax, az] = c.spinAxis;
        mv = multiply(
                multiply(multiply(mv, translation(ax, 0.0, az)), rotationAboutY(c.spinDegrees)),
                translation(-ax, 0.0, -az));
    }
    c.modelview = mv;
    return c;
}

bool FigureCamera::canFrame(const double box[6])
{
    return std::all_of(box, box + 6, [](double side) {
        return std::abs(side) <= std::numeric_limits<float>::max();
    });
}

double FigureCamera::framingPixels(int width, int height)
{
    const double box[6] = { -1.0, 1.0, -1.0, 1.0, 0.0, 0.0 };
    return make(box, width, height, 0.0).pixelsPerUnit;
}

FigureCamera::WindowPoint FigureCamera::project(double x, double y, double z) const
{
    const std::array<double, 4> v{ x, y, z, 1.0 };
    std::array<double, 4> eye{};
    std::array<double, 4> clip{};
    for (int row = 0; row < 4; ++row)
        for (int k = 0; k < 4; ++k)
            eye[row] += modelview[k * 4 + row] * v[k];
    for (int row = 0; row < 4; ++row)
        for (int k = 0; k < 4; ++k)
            clip[row] += projection[k * 4 + row] * eye[k];
    WindowPoint p;
    if (!(clip[3] > 0.0))
        return p;
    p.x = (clip[0] / clip[3] + 1.0) * 0.5 * width;
    p.y = height - (clip[1] / clip[3] + 1.0) * 0.5 * height;
    p.valid = true;
    return p;
}

FigureView FigureCamera::panned(const FigureView &view, double dx, double dy) const
{
    FigureView moved = view;
    if (!(centrePixelsPerUnit > 0.0))
        return moved;
    // Along the picture's axes, which the tilt turns away from the figure's.
    const double ex = -dx / centrePixelsPerUnit;
    const double ey = dy / centrePixelsPerUnit;
    const double tilt = tiltDegrees * pi / 180.0;
    moved.centre = std::array<double, 3>{ centre[0] + ex, centre[1] + std::cos(tilt) * ey,
                                          centre[2] - std::sin(tilt) * ey };
    return moved;
}

FigureView
FigureCamera::zoomedAbout(const FigureView &view, double factor, double x, double y) const
{
    const double zoom = std::clamp(view.zoom * factor, FigureView::minZoom, FigureView::maxZoom);
    const double kept = 1.0 - view.zoom / zoom; // of the point's offset from the middle
    FigureView zoomed = panned(view, -(x - width * 0.5) * kept, -(y - height * 0.5) * kept);
    zoomed.zoom = zoom;
    return zoomed;
}

std::array<double, 4> FigureCamera::visibleRegion(double margin) const
{
    return regionOf(-margin * width, -margin * height, (1.0 + margin) * width,
                    (1.0 + margin) * height);
}

std::array<double, 4>
FigureCamera::regionOf(double left, double top, double right, double bottom) const
{
    const double scale = pixelsPerUnit > 0.0 ? 1.0 / pixelsPerUnit : 0.0;
    return { centre[0] + (left - 0.5 * width) * scale, centre[0] + (right - 0.5 * width) * scale,
             centre[1] + (0.5 * height - bottom) * scale,
             centre[1] + (0.5 * height - top) * scale };
}
