#pragma once

#include "engine/ruleset.h"
#include "engine/turtle.h"

#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

// The turtle interpreter is one walk over the command string that reports what the
// turtle draws to a sink. A sink has two members:
//   void vertex(double x, double y, double z);  // the next vertex of the current strip
//   void restart();                              // a ']' that pops: the current strip ends,
//                                                // the next vertex starts a new one
// The first vertex, the start position (0, 0, 0), begins the first strip.

// Reads the number after an '@' as the C locale does (strtod syntax: leading blanks,
// sign, decimal point '.', exponent, "inf"/"nan"); 0 when no number can be read.
double lsReadFactor(const char *text, const char *end);

struct lsTurtleState
{
    slVector heading;
    double x, y, z;
    double step;
    double angle;
};

// Walks the whole string with the turtle starting at the origin heading +y, with the given
// angle and step. Templated so that each sink is inlined into the loop.
template<typename Sink>
void lsWalkString(double angle, double step, std::string_view commands, Sink &sink);

// Measure mode without OpenGL: the bounding box of the figure, as six doubles.
void lsMeasureString(const lsRuleSet &rules, std::string_view commands, double *box);

// The figure as vertex arrays, for drawing with glDrawArrays/glMultiDrawArrays.
struct lsGeometry
{
    std::vector<float> vertices;          // x, y, z per vertex
    std::vector<std::int32_t> stripFirst; // index of the first vertex of each strip
    std::vector<std::int32_t> stripCount; // number of vertices of each strip
    double box[6] = { 0, 0, 0, 0, 0, 0 };

    std::size_t vertexCount() const { return vertices.size() / 3; }
};

// Builds the geometry of the figure. Returns false (and leaves geometry empty) when the
// memory for it cannot be had.
bool lsBuildGeometry(const lsRuleSet &rules, std::string_view commands, lsGeometry &geometry);

// The interpreter with OpenGL: draw non-zero draws the figure as line strips into the
// current context; draw zero fills box with the bounding box. Both modes set the blend
// function, line-smoothing hint and line width 2, and leave blending and smoothing
// disabled. Returns 1.
int lsRenderString(const lsRuleSet &rules, const char *string, int draw, double *box);

#include "engine/interpreter_impl.h"
