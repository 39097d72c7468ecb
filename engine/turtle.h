#pragma once

// The turtle's heading: three doubles, rotated in place, never renormalised.
struct slVector
{
    double x;
    double y;
    double z;
};

// Bounding box indices: minimum x, maximum x, minimum y, maximum y, minimum z, maximum z.
enum lsBoxIndex {
    lsMinX,
    lsMaxX,
    lsMinY,
    lsMaxY,
    lsMinZ,
    lsMaxZ
};

// Rotations in place by angle radians. About x and y the turn is counter-clockwise seen
// from the positive end of the axis; about z it is clockwise seen from +z.
void lsTurnAboutX(double angle, slVector &v);
void lsTurnAboutY(double angle, slVector &v);
void lsTurnAboutZ(double angle, slVector &v);

// Widens [min, max] to contain v. Strict comparisons, so a NaN changes nothing; written
// as selections so that they compile to branch-free minimum/maximum instructions.
inline void lsWiden(double v, double &min, double &max)
{
    min = v < min ? v : min;
    max = v > max ? v : max;
}

// Widens box (six doubles) to contain the point.
inline void lsGrowBox(double *box, double x, double y, double z)
{
    lsWiden(x, box[lsMinX], box[lsMaxX]);
    lsWiden(y, box[lsMinY], box[lsMaxY]);
    lsWiden(z, box[lsMinZ], box[lsMaxZ]);
}
