#include "engine/gl/glrender.h"

#include "engine/interpreter.h"

#include <GL/gl.h>

#include <string_view>

namespace {

struct GLSink
{
    void vertex(double x, double y, double z) { lsVertex(x, y, z, 1, nullptr); }
    void restart()
    {
        glEnd();
        glBegin(GL_LINE_STRIP);
    }
};

} // namespace

void lsVertex(double x, double y, double z, int draw, double *box)
{
    if (draw)
        glVertex3f(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
    else
        lsGrowBox(box, x, y, z);
}

void lsBeginLines()
{
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_BLEND);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(2.0f);
}

void lsEndLines()
{
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
}

int lsRenderString(const lsRuleSet &rules, const char *string, int draw, double *box)
{
    lsBeginLines();
    const std::string_view commands(string);
    if (draw) {
        glBegin(GL_LINE_STRIP);
        GLSink sink;
        lsWalkString(rules.angle, rules.step, commands, sink);
        glEnd();
    } else {
        lsMeasureString(rules, commands, box);
    }
    lsEndLines();
    return 1;
}
