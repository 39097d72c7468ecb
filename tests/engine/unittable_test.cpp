// Expansion units: the headings they are keyed by, when they can stand for a pass's symbols,
// and the counts and box they give against a walk of those symbols.
#include "engine/unittable.h"

#include "engine/generation.h"
#include "engine/headingset.h"
#include "enginetest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace enginetest;

namespace {

constexpr double degree = 3.141592653589793 / 180.0;

// The headings every sequence of turns reaches from the start, found breadth first.
std::size_t reachable(lsHeadingSet &set, bool turnsAboutX)
{
    const int turns = turnsAboutX ? 4 : 2;
    for (std::uint32_t h = 0; h < set.size(); ++h) {
        for (int turn = 0; turn < turns; ++turn) {
            if (set.turned(h, lsHeadingSet::Turn(turn)) == lsHeadingSet::none)
                return 0;
        }
    }
    return set.size();
}

// The largest difference between two boxes, as a share of the larger side of the first.
double boxDifference(const double *a, const double *b)
{
    double side = 0.0, difference = 0.0;
    for (int axis = 0; axis < 3; ++axis)
        side = std::max(side, a[2 * axis + 1] - a[2 * axis]);
    for (int i = 0; i < 6; ++i)
        difference = std::max(difference, std::abs(a[i] - b[i]));
    return side > 0.0 ? difference / side : difference;
}

} // namespace

TEST(HeadingSet, TellsApartEveryHeadingTurnsReachAndNoMore)
{
    // Turns about z alone reach 360 / angle headings; about x too, at 90 degrees, the six
    // axis directions. A twentieth of a degree leaves 7,200 headings 8.7e-4 apart, which
    // rounding must neither merge nor split.
    const struct
    {
        double degrees;
        bool turnsAboutX;
        std::size_t headings;
    } cases[] = { { 90, false, 4 },      { 60, false, 6 }, { 36, false, 10 }, { 1, false, 360 },
                  { 0.05, false, 7200 }, { 90, true, 6 },  { 180, true, 2 },  { 360, true, 1 } };
    for (const auto &c : cases) {
        lsHeadingSet set(c.degrees * degree, 65536);
        EXPECT_EQ(reachable(set, c.turnsAboutX), c.headings) << c.degrees;
        EXPECT_EQ(set.failure(), lsHeadingSet::Failure::None) << c.degrees;
    }

    // Turns too small to tell from rounding, a budget passed, 3D turns that never repeat.
    lsHeadingSet tiny(1e-7, 65536);
    EXPECT_EQ(reachable(tiny, false), 0u);
    EXPECT_EQ(tiny.failure(), lsHeadingSet::Failure::TooClose);
    lsHeadingSet almostTwoTurns(180.0000001 * degree, 65536);
    EXPECT_EQ(reachable(almostTwoTurns, false), 0u);
    EXPECT_EQ(almostTwoTurns.failure(), lsHeadingSet::Failure::TooClose);
    lsHeadingSet budget(1 * degree, 100);
    EXPECT_EQ(reachable(budget, false), 0u);
    EXPECT_EQ(budget.failure(), lsHeadingSet::Failure::TooMany);
    lsHeadingSet bush(22 * degree, 2000);
    EXPECT_EQ(reachable(bush, true), 0u);
    EXPECT_EQ(bush.failure(), lsHeadingSet::Failure::TooMany);
}

TEST(UnitTable, StandsInOnlyWhereRewritingCannotChangeWhatAUnitDoes)
{
    const struct
    {
        const char *axiom;
        Rules rules;
        const char *refusal; // "" when units stand in
        double degrees = 90.0;
        int passes = 3;
        lsUnitLimits limits = {};
    } cases[] = {
        { "F", { { 'F', "F[+F]F[-F]F" } }, "" },
        { "]F[F[", { { 'F', "F[F]" } }, "" }, // the axiom may do anything
        { "F", { { 'F', "F[+F" } }, "rule F leaves a bracket open" },
        { "X", { { 'X', "F]X[" } }, "rule X closes a bracket it did not open" },
        { "X", { { 'X', "FY" }, { 'Y', "F[" } }, "rule Y leaves a bracket open" },
        { "F", { { 'F', "@.5[F]F" }, { 'G', "[" } }, "" }, // G is never reached
        { "X", { { 'X', "@2fX" } }, "" },                  // f is no hexadecimal digit here
        { "X@2", { { 'X', "FX" } }, "" },                  // the pass ends where the axiom does
        { "X", { { 'X', "F@2" } }, "the number after @ at the end of rule X can be extended" },
        { "X", { { 'X', "@2X" } }, "the number after @ in rule X can be changed by rewriting" },
        { "X", { { 'X', "@1eX" }, { 'e', "5" } }, "in rule X can be changed by rewriting" },
        { "X", { { 'X', "@0x1FX" }, { 'F', "F" } }, "in rule X can be changed by rewriting" },
        { "X", { { 'X', "@1Y2[X]" }, { 'Y', "" } }, "in rule X can be changed by rewriting" },
        { "@2X", { { 'X', "F" } }, "the number after @ in the axiom can be changed" },
        { "X", { { 'X', "@inf[X]" } }, "the number after @ in rule X is not finite" },
        { "X", { { 'X', "@1e200[F]X" } }, "the step grows past what a double can hold" },
        { "X",
          { { 'X', "F>X+X" } },
          "too many headings (3D turns",
          22.0,
          7,
          lsUnitLimits{ .headings = 64 } },
        { "X", { { 'X', "F+X" } }, "too small to tell headings apart", 1e-5 },
        { "X",
          { { 'X', "F+XFX" } },
          "walking this pass is quicker",
          60.0,
          3,
          lsUnitLimits{ .work = 2 } },
        { "X",
          { { 'X', "F+XFX" } },
          "its unit table would take too long to fill",
          60.0,
          3,
          lsUnitLimits{ .maxWork = 2 } },
    };
    for (const auto &c : cases) {
        const auto set = makeRuleSet(c.rules, c.degrees * degree);
        const lsUnitTable::Made made = lsUnitTable::make(*set, c.axiom, c.passes, c.limits);
        if (*c.refusal == '\0') {
            EXPECT_TRUE(made.table) << c.axiom << ": " << made.refusal;
        } else {
            EXPECT_FALSE(made.table) << c.refusal;
            EXPECT_NE(made.refusal.find(c.refusal), std::string::npos) << made.refusal;
        }
    }
}

TEST(UnitTable, CountsAndBoxOfRandomSystemsEqualTheWalks)
{
    // Rules of moves both ways, turns about both axes, '!', brackets, '@' numbers and
    // letters that only rewrite; now and then one that units cannot stand for.
    std::mt19937 random(21);
    const auto pick = [&](int n) {
        return int(random() % unsigned(n));
    };
    const char *const atoms[] = { "F", "F", "f", "B", "b", "+", "-", ">", "<", "!", "X", "Y" };
    const char *const numbers[] = { "0.5", "2", "-1", ".75", "1.5e0", "3" };
    const char *const afterNumbers[] = { "[", "+", "-", "!", "f", "F" };
    const std::function<std::string(int)> text = [&](int depth) {
        std::string s;
        for (int n = 1 + pick(6); n > 0; --n) {
            const int kind = pick(12);
            if (kind == 0 && depth < 2) {
                s += '[';
                s += text(depth + 1);
                s += ']';
            } else if (kind == 1) {
                s += '@';
                s += numbers[pick(6)];
                s += afterNumbers[pick(6)];
            } else if (kind == 2 && pick(4) == 0) {
                s += "[]"[pick(2)]; // most likely unbalanced
            } else {
                s += atoms[pick(12)];
            }
        }
        return s;
    };
    const double angles[] = { 90, 60, 45, 30, 22.5, 120, 36, 72 };
    int stoodIn = 0, refused = 0;
    for (int i = 0; i < 400; ++i) {
        const Rules rules{ { 'F', text(0) }, { 'X', text(0) }, { 'Y', text(0) } };
        const auto set = makeRuleSet(rules, angles[pick(8)] * degree);
        const std::string axiom = text(0);
        int passes = 1;
        while (passes < 6 && lsLengthAfter(*set, axiom, passes + 1) < 20000)
            ++passes;
        const lsUnitTable::Made made = lsUnitTable::make(*set, axiom, passes);
        if (!made.table) {
            EXPECT_FALSE(made.refusal.empty());
            ++refused;
            continue;
        }
        ++stoodIn;
        const lsString string = lsGenerate(*set, axiom, passes).string;
        const lsGeometryCount count = lsCountGeometry(string.view());
        const std::string name =
                axiom + " F=" + rules[0].second + " X=" + rules[1].second + " Y=" + rules[2].second;
        EXPECT_TRUE(made.table->length() == string.size()) << name;
        EXPECT_TRUE(made.table->vertices() == count.vertices) << name;
        EXPECT_TRUE(made.table->strips() == count.strips) << name;
        double box[6];
        lsMeasureString(*set, string.view(), box);
        EXPECT_LE(boxDifference(box, made.table->box()), 1e-9) << name;
    }
    EXPECT_GT(stoodIn, 150);
    EXPECT_GT(refused, 50);
}
