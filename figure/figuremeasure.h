#pragma once

#include "engine/widecount.h"
#include "figure/figurepipeline.h"

#include <string>

// What a figure's pass measures, and which way that was found: from its expansion units when
// they can stand for its symbols, else by walking them (and why).
struct FigureMeasure
{
    lsWideCount length = 0;
    lsWideCount vertices = 0;
    lsWideCount strips = 0;
    double box[6] = { 0, 0, 0, 0, 0, 0 };
    bool byUnits = false;
    std::string whyWalked; // when not byUnits
};

// The measure of the pass a result shows, at its rules' angle. A figure without an axiom
// has no vertex and no strip. Throws std::bad_alloc when a stream's small tables cannot be
// had.
FigureMeasure measureFigure(const FigureResult &figure);
