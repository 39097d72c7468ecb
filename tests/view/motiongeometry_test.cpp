// The stand-in a large figure is drawn from while it moves.
#include "view/motiongeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

void add(lsGeometry &g, float x, float y, float z)
{
    g.vertices.insert(g.vertices.end(), { x, y, z });
}

// A strip that zigzags a unit across while it climbs a hundredth of a unit a step (64,000
// vertices) and ends a thousandth of a unit further, then 500 twigs of a tenth of a unit and
// a strip that ends far away.
lsGeometry zigzag()
{
    lsGeometry g;
    g.stripFirst.push_back(0);
    for (int i = 0; i < 64000; ++i)
        add(g, float(i % 2), float(i) * 0.01f, 0.0f);
    add(g, 1.0f, 639.991f, 0.0f);
    g.stripCount.push_back(std::int32_t(g.vertexCount()));
    for (int i = 0; i < 500; ++i) {
        g.stripFirst.push_back(std::int32_t(g.vertexCount()));
        g.stripCount.push_back(2);
        add(g, float(i % 40), 0.0f, 0.0f);
        add(g, float(i % 40) + 0.1f, 0.0f, 0.0f);
    }
    g.stripFirst.push_back(std::int32_t(g.vertexCount()));
    g.stripCount.push_back(3);
    add(g, 0.0f, 0.0f, 0.0f);
    add(g, 0.5f, 0.0f, 0.0f);
    add(g, -60.0f, 7.0f, 3.0f);
    const double box[6] = { -60, 1, 0, 639.991, 0, 3 };
    std::copy(box, box + 6, g.box);
    return g;
}

TEST(MotionGeometry, KeepsTheBudgetTheBoxAndWhereEachStripEnds)
{
    const lsGeometry figure = zigzag();
    const auto coarse = motionGeometry(figure, 2000);
    ASSERT_NE(coarse, nullptr);
    // Within the budget, yet not far below it: the spacing is the least that fits, not a
    // guess from the length (a strip that folds on itself keeps far fewer vertices than its
    // length over the spacing).
    EXPECT_LE(coarse->vertexCount(), 2000u);
    EXPECT_GT(coarse->vertexCount(), 2000u / 3);
    EXPECT_TRUE(std::equal(coarse->box, coarse->box + 6, figure.box));
    // Whole strips of two or more vertices, one after another; the twigs are left out and
    // every strip kept starts and ends where its figure's strip does.
    ASSERT_EQ(coarse->stripFirst.size(), 2u);
    ASSERT_EQ(coarse->stripCount.size(), 2u);
    EXPECT_EQ(coarse->stripFirst[0], 0);
    EXPECT_EQ(coarse->stripFirst[1], coarse->stripCount[0]);
    EXPECT_EQ(std::size_t(coarse->stripFirst[1] + coarse->stripCount[1]), coarse->vertexCount());
    const auto vertex = [](const lsGeometry &g, std::size_t i) {
        return std::array<float, 3>{ g.vertices[3 * i], g.vertices[3 * i + 1],
                                     g.vertices[3 * i + 2] };
    };
    EXPECT_EQ(vertex(*coarse, 0), vertex(figure, 0));
    EXPECT_EQ(vertex(*coarse, std::size_t(coarse->stripCount[0]) - 1), vertex(figure, 64000));
    EXPECT_EQ(coarse->stripCount[1], 2);
    EXPECT_EQ(vertex(*coarse, coarse->vertexCount() - 1), vertex(figure, figure.vertexCount() - 1));
}

} // namespace
