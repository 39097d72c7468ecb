#pragma once

#include "engine/commandsource.h"
#include "engine/factor.h"
#include "engine/geometrycount.h"
#include "engine/ruleset.h"
#include "engine/turtle.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// The turtle interpreter is one walk over the command string that reports what the
// turtle draws to a sink. A sink has two members:
//   void vertex(double x, double y, double z);  // the next vertex of the current strip
//   void restart();                              // a ']' that pops: the current strip ends,
//                                                // the next vertex starts a new one
// The first vertex, the start position (0, 0, 0), begins the first strip.
// The commands come from a string or, chunk by chunk, from any lsCommandSource; every walk
// below gives the same figure from either. Measuring and building take the walk's vertices
// a batch at a time on the walk's own thread; reducing them for a picture, which costs
// about what the walk does, runs on a second thread while the walk goes on (lsVertexPipe).

// One saved turtle state: a '[' pushes it, the matching ']' restores it. One cache line
// each, so that saving and restoring one never touches two.
struct alignas(64) lsTurtleState
{
    slVector heading;
    double x, y, z;
    double step;
    double sine; // of the turning angle, whose sign '!' flips
};

// Walks the commands, sending their vertices to the sink. The saved states take
// sizeof(lsTurtleState) each, in segments of at most lsStateSegmentBytes that are made as
// the walk goes deeper. Throws std::bad_alloc when their memory cannot be had.
template<typename Sink>
void lsWalk(double angle, double step, lsCommandSource &commands, Sink &sink);
template<typename Sink>
void lsWalkString(double angle, double step, std::string_view commands, Sink &sink);

// The largest segment of saved states: beyond what the states themselves take, a walk
// holds at most this much for them.
inline constexpr std::size_t lsStateSegmentBytes = std::size_t(4) << 20;

// Measure mode without OpenGL: the bounding box of the figure, as six doubles. From a
// source: false when the walk was cancelled (box is then incomplete).
void lsMeasureString(const lsRuleSet &rules, std::string_view commands, double *box);
[[nodiscard]] bool lsMeasureString(const lsRuleSet &rules, lsCommandSource &commands, double *box);

// The figure as vertex arrays, for drawing with glDrawArrays/glMultiDrawArrays.
struct lsGeometry
{
    std::vector<float> vertices;          // x, y, z per vertex
    std::vector<std::int32_t> stripFirst; // index of the first vertex of each strip
    std::vector<std::int32_t> stripCount; // number of vertices of each strip
    double box[6] = { 0, 0, 0, 0, 0, 0 };

    std::size_t vertexCount() const { return vertices.size() / 3; }
};

// Default ceiling on the memory of one figure's geometry, in bytes.
inline constexpr std::uint64_t kMaxGeometryBytes = std::uint64_t(2) << 30;

// Geometry for a picture: a vertex closer than `tolerance` device pixels to the last one
// kept merges into it (a strip's last vertex is always kept), and a strip that never gets
// that far from its first vertex is left out. The scale bounds how many device pixels one
// figure unit spans anywhere in the picture (for a figure that turns, at every angle):
// - pixelsPerUnit, fixed;
// - or framingPixels, for a picture that frames a flat figure's box: the scale is that
//   divided by the largest half side of the box. The walk takes it from the box of the
//   vertices so far, which only grows, so it never merges more than the final box allows,
//   and reduces what it kept once more at the final scale. It holds for a flat figure
//   only: a caller finding depth in the box builds again.
// With neither, every vertex is kept. With a tolerance of at most half a pixel, a figure
// whose segments all span a pixel or more keeps every vertex where it turns, and what merges
// stays a line. Vertices in a straight run (to within a quarter of the tolerance) go: the
// run is drawn as one segment, without a join to blend twice.
//
// With a fixed scale, a region (minimum x, maximum x, minimum y, maximum y, of the figure as
// it stands; a bound may be infinite) keeps only the segments that may reach into it: a
// picture of part of the figure costs what it shows. The box still counts every vertex. A build that would keep more
// than maxVertices stops and fails, as when its memory cannot be had.
//
// For a picture that does not turn, the picture (its size in device pixels and its
// projection) places every point on a pixel, so that a drawing from expansion units can
// spend no more on a pixel than it needs (lsBuildUnitGeometry). The walk does not read it.
struct lsGeometryReduction
{
    struct Picture
    {
        int width = 0;
        int height = 0;
        // Rows of four taking a figure point (x, y, z, 1) to (column * w, row * w, w): pixels
        // from the left and from the bottom, w > 0 in front of the eye.
        std::array<double, 12> toPixels{};
        // The w of the plane, facing the eye, on which whole rows of pixels may be drawn.
        double rowDepth = 1.0;
    };

    double pixelsPerUnit = 0.0;
    double framingPixels = 0.0;
    double tolerance = 0.5;
    std::optional<std::array<double, 4>> region;
    std::uint64_t maxVertices = UINT64_MAX;
    std::optional<Picture> picture;
};

// Builds the geometry of the figure, sized exactly by lsCountGeometry, into geometry's
// storage when that is large enough (and not more than twice the size): rebuilding a
// figure, at another angle say, then writes memory that is already there. Long commands
// are counted on a second thread while the build fills that storage.
// With a reduction, the arrays grow as the picture needs instead. The box is always that
// of every vertex. Returns false (and leaves geometry empty) when the memory for it cannot
// be had, when it has more vertices than a GL index (int32) can count, or when the walk
// gives other than the count (a source that replays differently).
[[nodiscard]] bool lsBuildGeometry(const lsRuleSet &rules,
                                   std::string_view commands,
                                   lsGeometry &geometry,
                                   const lsGeometryReduction &reduction = {});
// The same from a source, walked twice without a reduction (counting and building, beside
// each other when the commands are long: see lsCommandSource::fork), once with one; also
// false when a walk was cancelled (commands.cancelled() then tells).
[[nodiscard]] bool lsBuildGeometry(const lsRuleSet &rules,
                                   lsCommandSource &commands,
                                   lsGeometry &geometry,
                                   const lsGeometryReduction &reduction = {});

#include "engine/interpreter_impl.h"
