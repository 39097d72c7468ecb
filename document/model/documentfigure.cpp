#include "document/model/documentfigure.h"

FigureRequest figureRequest(const DocumentData &document)
{
    FigureRequest request;
    request.axiom = document.axiom;
    request.letters = document.letters;
    request.rules = document.rules;
    request.angle = document.angle;
    request.passes = document.iterations;
    return request;
}
