#include "engine/turtle.h"

#include "enginetest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace enginetest;

namespace {

using Turn = void (*)(double, slVector &);

struct RotationCase
{
    const char *name;
    Turn turn;
    double angle;
    slVector from;
    slVector to;
};

} // namespace

class Rotation : public testing::TestWithParam<RotationCase>
{ };

TEST_P(Rotation, GivesTheExactDoubles)
{
    const RotationCase &c = GetParam();
    slVector v = c.from;
    c.turn(c.angle, v);
    // Exact: the rounding of cos(pi/2) is kept, nothing is snapped to zero.
    EXPECT_EQ(v.x, c.to.x);
    EXPECT_EQ(v.y, c.to.y);
    EXPECT_EQ(v.z, c.to.z);
}

constexpr double cosHalfPi = 6.123233995736766e-17;

INSTANTIATE_TEST_SUITE_P(
        Engine,
        Rotation,
        testing::Values(
                RotationCase{ "ZTakesYToX",
                              lsTurnAboutZ,
                              halfPi,
                              { 0, 1, 0 },
                              { 1, cosHalfPi, 0 } },
                RotationCase{ "ZTakesXToMinusY",
                              lsTurnAboutZ,
                              halfPi,
                              { 1, 0, 0 },
                              { cosHalfPi, -1, 0 } },
                RotationCase{ "XTakesYToZ",
                              lsTurnAboutX,
                              halfPi,
                              { 0, 1, 0 },
                              { 0, cosHalfPi, 1 } },
                RotationCase{ "YTakesXToMinusZ",
                              lsTurnAboutY,
                              halfPi,
                              { 1, 0, 0 },
                              { cosHalfPi, 0, -1 } },
                RotationCase{ "YTakesZToX",
                              lsTurnAboutY,
                              halfPi,
                              { 0, 0, 1 },
                              { 1, 0, cosHalfPi } },
                RotationCase{ "ZeroAboutZ", lsTurnAboutZ, 0.0, { 0.6, 0.8, 0 }, { 0.6, 0.8, 0 } },
                RotationCase{ "ZeroAboutX", lsTurnAboutX, 0.0, { 0.6, 0.8, 0 }, { 0.6, 0.8, 0 } },
                RotationCase{ "ZeroAboutY", lsTurnAboutY, 0.0, { 0.6, 0.8, 0 }, { 0.6, 0.8, 0 } }),
        [](const testing::TestParamInfo<RotationCase> &info) { return info.param.name; });

TEST(Turtle, BoxGrowsWithEachPoint)
{
    double box[6] = { 0, 0, 0, 0, 0, 0 };
    lsGrowBox(box, 3, -2, 5);
    EXPECT_EQ(std::vector<double>(box, box + 6), (std::vector<double>{ 0, 3, -2, 0, 0, 5 }));
    lsGrowBox(box, 1, -1, 1);
    EXPECT_EQ(std::vector<double>(box, box + 6), (std::vector<double>{ 0, 3, -2, 0, 0, 5 }));
    lsGrowBox(box, -4, 1, 5);
    EXPECT_EQ(std::vector<double>(box, box + 6), (std::vector<double>{ -4, 3, -2, 1, 0, 5 }));
}

TEST(Turtle, NanLeavesTheBoxAlone)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    double box[6] = { -1, 1, -2, 2, -3, 3 };
    lsGrowBox(box, nan, nan, nan);
    lsGrowBox(box, nan, 5, nan);
    EXPECT_EQ(std::vector<double>(box, box + 6), (std::vector<double>{ -1, 1, -2, 5, -3, 3 }));
}
