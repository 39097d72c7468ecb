#pragma once

#include "document/model/documentdata.h"
#include "figure/figurepipeline.h"

// The figure request of a document, as the window and sprig-render both make it: the
// document's axiom, rules, angle and iterations with the default budgets.
FigureRequest figureRequest(const DocumentData &document);
