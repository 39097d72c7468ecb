#pragma once

#include "engine/commandsource.h"

#include <cstdint>
#include <string_view>

// The exact size of a string's geometry, known before building it.
struct lsGeometryCount
{
    std::uint64_t vertices = 1; // the start vertex, one per move, one per ']' that pops
    std::uint64_t strips = 1;   // the first strip, one more per ']' that pops
    std::uint64_t depth = 0;    // the most states on the stack at once

    bool operator==(const lsGeometryCount &) const = default;
};

// Counts the vertices, strips and stack depth of a string in one quick pass (no turtle
// arithmetic), so that a caller can refuse a figure above its budget before anything is
// allocated.
lsGeometryCount lsCountGeometry(std::string_view commands);
// The same from a source; false when the walk was cancelled.
[[nodiscard]] bool lsCountGeometry(lsCommandSource &commands, lsGeometryCount &count);
