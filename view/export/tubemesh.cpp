#include "view/export/tubemesh.h"

#include "view/export/modelsink.h"

#include <cmath>

namespace {

using Vector = std::array<double, 3>;

constexpr double pi = 3.141592653589793;

Vector operator+(const Vector &a, const Vector &b)
{
    return { a[0] + b[0], a[1] + b[1], a[2] + b[2] };
}

Vector operator-(const Vector &a, const Vector &b)
{
    return { a[0] - b[0], a[1] - b[1], a[2] - b[2] };
}

Vector operator*(double s, const Vector &a)
{
    return { s * a[0], s * a[1], s * a[2] };
}

double dot(const Vector &a, const Vector &b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

Vector cross(const Vector &a, const Vector &b)
{
    return { a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0] };
}

Vector normalized(const Vector &a)
{
    return (1.0 / std::sqrt(dot(a, a))) * a;
}

} // namespace

TubeMesh::TubeMesh(ModelSink &out, double radius, int sides)
    : mOut(out)
    , mRadius(radius)
    , mSides(sides)
{ }

void TubeMesh::vertex(double x, double y, double z)
{
    const Vector point{ x, y, z };
    if (mPoints == 0) {
        mPoint = point;
        mPoints = 1;
        return;
    }
    const Vector step = point - mPoint;
    const double length = std::sqrt(dot(step, step));
    if (!(length > 0.0))
        return; // the same point again
    const Vector direction = (1.0 / length) * step;
    if (mPoints == 1) {
        mDirection = direction;
        beginTube();
        mPoints = 2;
    } else {
        const double cosine = dot(mDirection, direction);
        if (cosine < -0.5) {
            const std::uint64_t last = ring(mDirection);
            side(last);
            cap(last, true);
            mDirection = direction;
            beginTube();
        } else {
            side(ring(normalized(mDirection + direction)));
            // The frame turns with the tube, by the rotation that takes one direction to
            // the other, so that the next segment's rings line up with this one's.
            const Vector axis = cross(mDirection, direction);
            const auto turn = [&](const Vector &v) {
                return cosine * v + cross(axis, v) + (dot(axis, v) / (1.0 + cosine)) * axis;
            };
            const Vector u = turn(mU);
            mDirection = direction;
            mU = normalized(u - dot(u, direction) * direction);
            mV = cross(direction, mU);
        }
    }
    mPoint = point;
}

void TubeMesh::endStrip()
{
    if (mPoints == 2) {
        const std::uint64_t last = ring(mDirection);
        side(last);
        cap(last, true);
    }
    mPoints = 0;
}

void TubeMesh::beginTube()
{
    // Any frame across the direction: from the axis it leans on least.
    const Vector &d = mDirection;
    const int least = std::abs(d[0]) <= std::abs(d[1]) ? (std::abs(d[0]) <= std::abs(d[2]) ? 0 : 2)
                                                       : (std::abs(d[1]) <= std::abs(d[2]) ? 1 : 2);
    Vector axis{ 0.0, 0.0, 0.0 };
    axis[std::size_t(least)] = 1.0;
    mU = normalized(cross(d, axis));
    mV = cross(d, mU);
    mLastRing = ring(d);
    cap(mLastRing, false);
}

std::uint64_t TubeMesh::ring(const Vector &cut)
{
    const std::uint64_t first = mNext;
    const double along = dot(mDirection, cut);
    for (int i = 0; i < mSides; ++i) {
        const double angle = 2.0 * pi * i / mSides;
        const Vector offset = mRadius * std::cos(angle) * mU + mRadius * std::sin(angle) * mV;
        const Vector p = mPoint + offset + (-dot(offset, cut) / along) * mDirection;
        mOut.vertex(p[0], p[1], p[2]);
    }
    mNext += std::uint64_t(mSides);
    return first;
}

void TubeMesh::side(std::uint64_t ring)
{
    const std::uint64_t a = mLastRing;
    for (int i = 0; i < mSides; ++i) {
        const std::uint64_t j = std::uint64_t((i + 1) % mSides);
        mOut.triangle(a + std::uint64_t(i), a + j, ring + j);
        mOut.triangle(a + std::uint64_t(i), ring + j, ring + std::uint64_t(i));
    }
    mLastRing = ring;
}

void TubeMesh::cap(std::uint64_t first, bool facingForward)
{
    for (int i = 1; i + 1 < mSides; ++i) {
        const std::uint64_t b = first + std::uint64_t(i);
        if (facingForward)
            mOut.triangle(first, b, b + 1);
        else
            mOut.triangle(first, b + 1, b);
    }
}
