// Pictures drawn a tile and a band at a time (EGL surfaceless, no X server).
#include "view/tiledpicture.h"

#include "engine/generation.h"
#include "rendertest.h"
#include "view/figurerenderer.h"
#include "view/offscreencontext.h"
#include "view/picturewriter.h"
#include "view/viewgeometry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using namespace rendertest;

namespace {

// Keeps the rows it is given.
class RowsKept final : public PictureWriter
{
public:
    bool open(const std::string &, int width, int, int channels, std::string *) override
    {
        mRowBytes = std::size_t(width) * std::size_t(channels);
        rows.clear();
        return true;
    }
    bool writeRow(const std::uint8_t *pixels, std::string *) override
    {
        rows.emplace_back(pixels, pixels + mRowBytes);
        return true;
    }
    bool commit(std::string *) override { return true; }
    const std::string &warning() const override { return mWarning; }

    std::vector<std::vector<std::uint8_t>> rows;

private:
    std::size_t mRowBytes = 0;
    std::string mWarning;
};

using Rows = std::vector<std::vector<std::uint8_t>>;

// The same rows, or where and how much they differ. A tile's part of the projection rounds
// the window coordinates of its vertices differently in their last bits, which moves a few
// smoothed edges by a level: up to `tolerated` samples in a thousand may differ by 1.
testing::AssertionResult sameRows(const Rows &got, const Rows &expected, int tolerated = 0)
{
    if (got.size() != expected.size())
        return testing::AssertionFailure() << got.size() << " rows instead of " << expected.size();
    int differing = 0, most = 0;
    std::size_t firstRow = 0, firstByte = 0;
    for (std::size_t y = 0; y < got.size(); ++y) {
        for (std::size_t i = 0; i < got[y].size() && i < expected[y].size(); ++i) {
            const int difference = std::abs(int(got[y][i]) - int(expected[y][i]));
            if (difference != 0 && differing++ == 0) {
                firstRow = y;
                firstByte = i;
            }
            most = std::max(most, difference);
        }
    }
    const std::size_t samples = got.size() * (got.empty() ? 0 : got[0].size());
    if (differing == 0
        || (most == 1 && std::size_t(differing) * 1000 <= std::size_t(tolerated) * samples))
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << differing << " samples differ, by up to " << most << ", the first in row " << firstRow
           << " at byte " << firstByte;
}

// Rows of RGBA as premultiplied colour and alpha: where little of a line covers a pixel, its
// colour is the quotient of two nearly equal captures and carries their rounding many times
// over; what the picture shows, colour times coverage, does not.
Rows premultiplied(Rows rows)
{
    for (std::vector<std::uint8_t> &row : rows)
        for (std::size_t i = 3; i < row.size(); i += 4)
            for (std::size_t c = i - 3; c < i; ++c)
                row[c] = std::uint8_t((row[c] * row[i] + 127) / 255);
    return rows;
}

class TiledPictureTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        context = new OffscreenContext;
        std::string error;
        ASSERT_TRUE(context->create(16, 16, &error)) << error;
    }
    static void TearDownTestSuite()
    {
        delete context;
        context = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(context->makeCurrent()); }
    void TearDown() override { renderer.releaseGL(); }

    Rows draw(const PictureRequest &request)
    {
        RowsKept rows;
        std::string error;
        EXPECT_TRUE(
                rows.open({}, request.width, request.height, request.background ? 3 : 4, &error));
        EXPECT_TRUE(drawTiledPicture(*context, renderer, request, rows, &error)) << error;
        EXPECT_EQ(rows.rows.size(), std::size_t(request.height));
        return rows.rows;
    }

    static OffscreenContext *context;
    FigureRenderer renderer;
};

OffscreenContext *TiledPictureTest::context = nullptr;

struct Figure
{
    const char *name;
    std::string axiom;
    std::vector<std::pair<char, std::string>> rules;
    int passes;
    double angle;
    double spin;
    FigureView view;
};

TEST_F(TiledPictureTest, TilesGiveThePixelsOfTheWholePicture)
{
    FigureView zoomed;
    zoomed.zoom = 3.0;
    zoomed.centre = std::array<double, 3>{ 10.0, 40.0, 0.0 };
    const Figure figures[] = {
        // Dense (merged at the picture's scale) and sparse parts, lines across tile edges.
        { "plant", "X", { { 'X', "F[+X][-X]FX" }, { 'F', "FF" } }, 6, 25.7, 0.0, {} },
        { "bush", "F", { { 'F', "F[&>F]F[<<F][>-F]F" } }, 3, 22.0, 40.0, {} },
        { "zoomed", "F-F-F-F", { { 'F', "F-F+F+FF-F-F+F" } }, 3, 90.0, 0.0, zoomed },
    };
    for (const Figure &f : figures) {
        SCOPED_TRACE(f.name);
        auto set = rules(f.angle);
        for (const auto &[letter, text] : f.rules)
            lsNewRule(*set, letter, text);
        const FigurePass pass(lsGenerate(*set, f.axiom, f.passes).string);
        PictureRequest whole;
        whole.rules = set.get();
        whole.commands = &pass;
        whole.lineColor = { 0.9, 0.8, 0.2, 0.7 };
        whole.background = { 0.1, 0.2, 0.3, 1.0 };
        whole.width = 211;
        whole.height = 131;
        whole.spinDegrees = f.spin;
        whole.view = f.view;

        // One tile, as the renderer alone draws and captures it.
        std::string error;
        ASSERT_TRUE(context->resize(whole.width, whole.height, &error));
        auto built = std::make_shared<lsGeometry>();
        lsStringSource commands(pass.string().view());
        ASSERT_TRUE(buildViewGeometry(*set, commands, whole.width, whole.height, *built, f.view));
        renderer.setGeometry(built);
        renderer.setLineColor(whole.lineColor);
        renderer.setBackgroundColor(*whole.background);
        renderer.draw(whole.width, whole.height, f.spin, f.view);
        const lsImageRep captured = captureImageRep(whole.width, whole.height);
        Rows expected(std::size_t(whole.height), std::vector<std::uint8_t>(whole.width * 3));
        for (int y = 0; y < whole.height; ++y)
            interleaveRow(captured, y, expected[std::size_t(y)].data());
        const Rows rows = draw(whole);
        EXPECT_TRUE(sameRows(rows, expected));
        EXPECT_GT(coverage(captured, pixel(captured, 0, 0)).count, 500);

        // Small tiles of odd sizes, opaque and transparent; and bands built from what reaches
        // them, for a flat figure whose whole geometry keeps more than allowed, exact where
        // every segment spans pixels (no merging that a band's edge would change).
        PictureRequest tiled = whole;
        tiled.tileWidth = 47;
        tiled.bandRows = 29;
        EXPECT_TRUE(sameRows(draw(tiled), rows, 1));
        if (f.view.zoom != 1.0) {
            PictureRequest parts = tiled;
            parts.maxVertices = 400;
            EXPECT_TRUE(sameRows(draw(parts), rows, 1));
        }
        whole.background.reset();
        tiled.background.reset();
        const Rows clear = draw(whole);
        EXPECT_TRUE(sameRows(premultiplied(draw(tiled)), premultiplied(clear), 1));
        // The background lets everything through; where lines cover, their colour shows.
        int covered = 0, elsewise = 0;
        for (const std::vector<std::uint8_t> &row : clear) {
            for (std::size_t i = 3; i < row.size(); i += 4) {
                covered += row[i] > 64;
                elsewise +=
                        row[i] > 128 && std::abs(row[i - 1] - 51) + std::abs(row[i - 3] - 230) > 8;
            }
        }
        EXPECT_EQ(clear[0][3], 0);
        EXPECT_GT(covered, 300);
        EXPECT_EQ(elsewise, 0);
    }
}

} // namespace
