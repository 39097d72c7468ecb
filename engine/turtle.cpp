#include "engine/turtle.h"

#include <cmath>

void lsTurnAboutX(double angle, slVector &v)
{
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const slVector r{ v.x, c * v.y - s * v.z, s * v.y + c * v.z };
    v = r;
}

void lsTurnAboutY(double angle, slVector &v)
{
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const slVector r{ c * v.x + s * v.z, v.y, -s * v.x + c * v.z };
    v = r;
}

void lsTurnAboutZ(double angle, slVector &v)
{
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const slVector r{ c * v.x + s * v.y, -s * v.x + c * v.y, v.z };
    v = r;
}
