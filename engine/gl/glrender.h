#pragma once

#include "engine/ruleset.h"

// Immediate-mode OpenGL drawing of a command string, kept apart from the engine so that
// rewriting and interpreting link no GL.

// The vertex sink: with draw non-zero, sends the point to OpenGL as glVertex3f (a GL
// context must be current, inside glBegin/glEnd) and leaves box untouched (it may be
// null); with draw zero, widens box to contain the point.
void lsVertex(double x, double y, double z, int draw, double *box);

// The line state every drawing of a figure uses: smoothed lines 2 wide, blended by their
// alpha. lsEndLines disables blending and smoothing again.
void lsBeginLines();
void lsEndLines();

// The interpreter with OpenGL: draw non-zero draws the figure as line strips into the
// current context; draw zero fills box with the bounding box. Both modes go through
// lsBeginLines and lsEndLines. Returns 1.
int lsRenderString(const lsRuleSet &rules, const char *string, int draw, double *box);
