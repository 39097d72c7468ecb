#pragma once

#include "engine/interpreter.h"

#include <string_view>

// The geometry of a figure as a picture of width x height device pixels shows it, framed
// as FigureCamera frames its box, with the vertices that picture cannot tell apart merged.
// The window and the headless renderer both build through here, so that they draw the
// same segments. A picture without pixels keeps every vertex. Returns false as
// lsBuildGeometry does.
bool buildViewGeometry(const lsRuleSet &rules,
                       std::string_view commands,
                       int width,
                       int height,
                       lsGeometry &geometry);
