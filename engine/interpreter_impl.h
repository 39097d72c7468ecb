#pragma once

// Template part of engine/interpreter.h; include that header, not this one.

#include <cmath>
#include <string_view>
#include <vector>

template<typename Sink>
void lsWalkString(double angle, double step, std::string_view commands, Sink &sink)
{
    // The angle only ever changes sign ('!'), so one cosine and one sine serve every turn.
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double angle0 = angle;
    double sn = s; // sine of the current angle

    slVector h{ 0.0, 1.0, 0.0 };
    double x = 0.0, y = 0.0, z = 0.0;
    std::vector<lsTurtleState> stack;

    sink.vertex(x, y, z);
    const char *p = commands.data();
    const char *const end = p + commands.size();
    for (; p != end; ++p) {
        switch (*p) {
        case 'F':
        case 'f':
            x += step * h.x;
            y += step * h.y;
            z += step * h.z;
            sink.vertex(x, y, z);
            break;
        case 'B':
        case 'b':
            x -= step * h.x;
            y -= step * h.y;
            z -= step * h.z;
            sink.vertex(x, y, z);
            break;
        case '+':
        case '-': {
            const double t = *p == '+' ? sn : -sn;
            const double nx = c * h.x + t * h.y;
            const double ny = -t * h.x + c * h.y;
            h.x = nx;
            h.y = ny;
            break;
        }
        case '>':
        case '<': {
            const double t = *p == '>' ? sn : -sn;
            const double ny = c * h.y - t * h.z;
            const double nz = t * h.y + c * h.z;
            h.y = ny;
            h.z = nz;
            break;
        }
        case '!':
            angle = -angle;
            sn = -sn;
            break;
        case '@':
            step *= lsReadFactor(p + 1, end);
            break;
        case '[':
            stack.push_back({ h, x, y, z, step, angle });
            break;
        case ']':
            if (!stack.empty()) {
                const lsTurtleState &t = stack.back();
                h = t.heading;
                x = t.x;
                y = t.y;
                z = t.z;
                step = t.step;
                angle = t.angle;
                sn = angle == angle0 ? s : -s;
                stack.pop_back();
                sink.restart();
                sink.vertex(x, y, z);
            }
            break;
        default:
            break;
        }
    }
}
