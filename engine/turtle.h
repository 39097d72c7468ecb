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

// Widens box (six doubles) to contain the point. Strict comparisons: a NaN changes nothing.
// Written as selections so that they compile to branch-free minimum/maximum instructions.
inline void lsGrowBox(double *box, double x, double y, double z)
{
    box[lsMinX] = x < box[lsMinX] ? x : box[lsMinX];
    box[lsMaxX] = x > box[lsMaxX] ? x : box[lsMaxX];
    box[lsMinY] = y < box[lsMinY] ? y : box[lsMinY];
    box[lsMaxY] = y > box[lsMaxY] ? y : box[lsMaxY];
    box[lsMinZ] = z < box[lsMinZ] ? z : box[lsMinZ];
    box[lsMaxZ] = z > box[lsMaxZ] ? z : box[lsMaxZ];
}

// The vertex sink: with draw non-zero, sends the point to OpenGL as glVertex3f (a GL
// context must be current, inside glBegin/glEnd) and leaves box untouched (it may be
// null); with draw zero, widens box to contain the point.
void lsVertex(double x, double y, double z, int draw, double *box);
