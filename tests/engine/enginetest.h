#pragma once

// Helpers shared by the engine's tests.

#include "engine/interpreter.h"
#include "engine/ruleset.h"

#include <array>
#include <cmath>
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

} // namespace enginetest
