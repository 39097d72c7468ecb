#pragma once

// Helpers shared by the engine's tests.

#include "engine/interpreter.h"
#include "engine/ruleset.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace enginetest {

inline constexpr double halfPi = 1.5707963267948966;

using Rules = std::vector<std::pair<char, std::string>>;

inline std::unique_ptr<lsRuleSet> makeRuleSet(const Rules &rules, double angle = halfPi)
{
    auto set = lsNewRuleSet();
    for (const auto &[letter, text] : rules)
        lsNewRule(*set, letter, text);
    set->angle = angle;
    return set;
}

using Point = std::array<double, 3>;
using Strips = std::vector<std::vector<Point>>;

// Records what the interpreter draws: one list of vertices per strip.
struct RecordingSink
{
    Strips strips{ {} };
    void vertex(double x, double y, double z) { strips.back().push_back({ x, y, z }); }
    void restart() { strips.emplace_back(); }
};

inline Strips walk(std::string_view commands, double angle = halfPi, double step = 10.0)
{
    RecordingSink sink;
    lsWalkString(angle, step, commands, sink);
    return sink.strips;
}

// Equal as doubles, where NaN equals NaN.
inline bool same(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

inline bool sameStrips(const Strips &a, const Strips &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size())
            return false;
        for (std::size_t j = 0; j < a[i].size(); ++j) {
            for (int k = 0; k < 3; ++k) {
                if (!same(a[i][j][k], b[i][j][k]))
                    return false;
            }
        }
    }
    return true;
}

// The interpreter as plainly as it can be written: lsTurnAboutZ/X by +-angle, strtod for
// '@' (the tests run in the C locale), a stack of states.
inline Strips reference(const std::string &s, double angle, double step)
{
    slVector h{ 0, 1, 0 };
    double x = 0, y = 0, z = 0;
    struct State
    {
        slVector heading;
        double x, y, z, step, angle;
    };
    std::vector<State> stack;
    Strips out{ { { 0, 0, 0 } } };
    for (std::size_t i = 0; i < s.size(); ++i) {
        switch (s[i]) {
        case 'F':
        case 'f':
            x += step * h.x, y += step * h.y, z += step * h.z;
            out.back().push_back({ x, y, z });
            break;
        case 'B':
        case 'b':
            x -= step * h.x, y -= step * h.y, z -= step * h.z;
            out.back().push_back({ x, y, z });
            break;
        case '+':
            lsTurnAboutZ(angle, h);
            break;
        case '-':
            lsTurnAboutZ(-angle, h);
            break;
        case '>':
            lsTurnAboutX(angle, h);
            break;
        case '<':
            lsTurnAboutX(-angle, h);
            break;
        case '!':
            angle = -angle;
            break;
        case '@':
            step *= std::strtod(s.c_str() + i + 1, nullptr);
            break;
        case '[':
            stack.push_back({ h, x, y, z, step, angle });
            break;
        case ']':
            if (!stack.empty()) {
                const State t = stack.back();
                stack.pop_back();
                h = t.heading, x = t.x, y = t.y, z = t.z, step = t.step, angle = t.angle;
                out.push_back({ { x, y, z } });
            }
            break;
        default:
            break;
        }
    }
    return out;
}

} // namespace enginetest
