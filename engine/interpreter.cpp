#include "engine/interpreter.h"

#include <GL/gl.h>
#include <locale.h>

#include <cstdlib>
#include <new>
#include <string>

double lsReadFactor(const char *text, const char *end)
{
    // strtod needs a terminated buffer and would follow the process locale; copy the
    // characters a number can span and parse them with the C locale.
    std::string number;
    for (const char *p = text; p != end; ++p) {
        const char c = *p;
        const bool numberChar = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')
                                || (c >= 'a' && c <= 'z') || c == '.' || c == '+' || c == '-'
                                || c == '(' || c == ')' || c == '_' || c == ' '
                                || (c >= '\t' && c <= '\r');
        if (!numberChar)
            break;
        number.push_back(c);
    }
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return strtod_l(number.c_str(), nullptr, cLocale);
}

namespace {

struct MeasureSink
{
    double *box;
    void vertex(double x, double y, double z) { lsGrowBox(box, x, y, z); }
    void restart() { }
};

struct GeometrySink
{
    lsGeometry &g;
    void vertex(double x, double y, double z)
    {
        g.vertices.push_back(static_cast<float>(x));
        g.vertices.push_back(static_cast<float>(y));
        g.vertices.push_back(static_cast<float>(z));
        lsGrowBox(g.box, x, y, z);
        ++g.stripCount.back();
    }
    void restart()
    {
        g.stripFirst.push_back(static_cast<std::int32_t>(g.vertexCount()));
        g.stripCount.push_back(0);
    }
};

struct GLSink
{
    void vertex(double x, double y, double z) { lsVertex(x, y, z, 1, nullptr); }
    void restart()
    {
        glEnd();
        glBegin(GL_LINE_STRIP);
    }
};

void clearBox(double *box)
{
    for (int i = 0; i < 6; ++i)
        box[i] = 0.0;
}

} // namespace

void lsMeasureString(const lsRuleSet &rules, std::string_view commands, double *box)
{
    clearBox(box);
    MeasureSink sink{ box };
    lsWalkString(rules.angle, rules.step, commands, sink);
}

bool lsBuildGeometry(const lsRuleSet &rules, std::string_view commands, lsGeometry &geometry)
{
    geometry = lsGeometry();
    try {
        geometry.stripFirst.push_back(0);
        geometry.stripCount.push_back(0);
        GeometrySink sink{ geometry };
        lsWalkString(rules.angle, rules.step, commands, sink);
    } catch (const std::bad_alloc &) {
        geometry = lsGeometry();
        return false;
    }
    return true;
}

int lsRenderString(const lsRuleSet &rules, const char *string, int draw, double *box)
{
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_BLEND);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(2.0f);
    const std::string_view commands(string);
    if (draw) {
        glBegin(GL_LINE_STRIP);
        GLSink sink;
        lsWalkString(rules.angle, rules.step, commands, sink);
        glEnd();
    } else {
        clearBox(box);
        MeasureSink sink{ box };
        lsWalkString(rules.angle, rules.step, commands, sink);
    }
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
    return 1;
}
