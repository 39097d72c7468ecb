#pragma once

#include <array>
#include <cstdint>

class ModelSink;

// Sweeps line strips into closed tubes for printing: a ring of `sides` vertices at each
// point, mitred where the strip bends so that neighbouring segments share it, and a flat
// cap at each end, all triangles facing outward. A turn sharper than 120 degrees (where the
// mitre would stretch the ring past twice its radius) ends the tube and starts another at
// the same point. A point repeated in a row is skipped; a strip without a segment makes
// nothing. Fed as the interpreter's walk feeds a sink: vertex() and restart(), then finish().
class TubeMesh
{
public:
    TubeMesh(ModelSink &out, double radius, int sides);

    void vertex(double x, double y, double z);
    void restart() { endStrip(); }
    // Ends the last strip.
    void finish() { endStrip(); }

private:
    using Vector = std::array<double, 3>;

    void endStrip();
    // Starts a tube at mPoint along mDirection: a new frame, the first ring and its cap.
    void beginTube();
    // Makes the ring at mPoint of the tube running along mDirection, cut by the plane
    // through mPoint with normal `cut`; returns the number of its first vertex.
    std::uint64_t ring(const Vector &cut);
    // Joins the ring before to this one by the tube's side.
    void side(std::uint64_t ring);
    void cap(std::uint64_t first, bool facingForward);

    ModelSink &mOut;
    double mRadius;
    int mSides;
    std::uint64_t mNext = 0; // the number the next vertex made gets
    int mPoints = 0;         // of the strip so far, up to 2
    Vector mPoint{};         // the strip's last point
    Vector mDirection{};     // of the segment that ends at mPoint (unit)
    Vector mU{};             // the tube's cross-section frame: mU x mV = mDirection
    Vector mV{};
    std::uint64_t mLastRing = 0; // the first vertex of the ring before
};
