#pragma once

#include "engine/interpreter.h"
#include "engine/unittable.h"

#include <atomic>

// The geometry of a pass for a picture, drawn from its expansion units instead of its
// symbols: a unit whose box the picture shows as a pixel or less is one segment from where
// it starts to where it leaves the turtle, a unit whose box lies outside the reduction's
// region only moves the turtle on, and only the others are opened into their rule's
// characters. What is drawn is then reduced as a walk's is (lsGeometryReduction), so that
// the picture keeps its segments' full colour; the box is the table's, that of the whole
// pass. The reduction's scale must be fixed (pixelsPerUnit): for a figure that turns, a
// bound at every angle, and a region only of what every angle may show. Returns false (geometry empty) when cancel (may
// be null) was set or the memory could not be had.
[[nodiscard]] bool lsBuildUnitGeometry(const lsUnitTable &table,
                                       lsGeometry &geometry,
                                       const lsGeometryReduction &reduction,
                                       const std::atomic<bool> *cancel = nullptr);
