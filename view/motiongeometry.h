#pragma once

#include "engine/interpreter.h"

#include <cstddef>
#include <memory>

// While a figure moves (spins, turns under the pointer, zooms) its frames must come many
// times a second; a software rasteriser draws about a million segments a second. A figure
// with more vertices than this is drawn from a lighter stand-in while it moves, and sharp
// again once it stops.
inline constexpr std::size_t motionVertexBudget = 20000;

// Whether frames of the figure in motion are drawn from motionGeometry.
inline bool movesCoarse(const lsGeometry &geometry)
{
    return geometry.vertexCount() > motionVertexBudget;
}

// The stand-in: along each strip, a vertex kept once it lies a spacing or more from the
// last one kept, with the strip's last vertex; a strip that never gets that far is left
// out. The spacing is the least (from the mean segment, growing a quarter at a time) that
// keeps at most maxVertices. The box is the figure's, so the camera frames both alike.
// Null when the memory cannot be had.
std::shared_ptr<const lsGeometry> motionGeometry(const lsGeometry &geometry,
                                                 std::size_t maxVertices = motionVertexBudget);
