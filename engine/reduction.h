#pragma once

// Internal to the engine: the geometry of a picture, with the vertices it cannot tell
// apart merged (lsGeometryReduction).

#include "engine/commandsource.h"
#include "engine/interpreter.h"
#include "engine/ruleset.h"

namespace lsDetail {

// The reduced geometry: no count beforehand, since the picture, not the string, sets
// its size. Storage of an earlier build is written again. False when the walk was
// cancelled or the memory could not be had (geometry is then empty).
[[nodiscard]] bool buildReducedGeometry(const lsRuleSet &rules,
                                        lsCommandSource &commands,
                                        lsGeometry &geometry,
                                        const lsGeometryReduction &reduction);

} // namespace lsDetail
