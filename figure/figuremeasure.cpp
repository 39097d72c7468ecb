#include "figure/figuremeasure.h"

#include "engine/interpreter.h"

#include <algorithm>

FigureMeasure measureFigure(const FigureResult &figure)
{
    FigureMeasure m;
    m.length = figure.length;
    if (!figure.hasAxiom) {
        m.whyWalked = "the document has no axiom";
        return m;
    }
    const lsUnitTable::Made units = figure.commands.units(figure.rules->angle, figure.rules->step);
    if (units.table) {
        m.byUnits = true;
        m.length = units.table->length();
        m.vertices = units.table->vertices();
        m.strips = units.table->strips();
        std::copy(units.table->box(), units.table->box() + 6, m.box);
        return m;
    }
    m.whyWalked = units.refusal;
    m.vertices = figure.count.vertices;
    m.strips = figure.count.strips;
    // Nothing cancels this walk: it always completes.
    if (!lsMeasureString(*figure.rules, *figure.commands.source(), m.box))
        std::fill(m.box, m.box + 6, 0.0);
    return m;
}
