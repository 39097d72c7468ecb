// Pictures drawn from expansion units against pictures of every symbol walked, on a real GL
// context (EGL surfaceless, no X server).
#include "engine/unitdrawing.h"

#include "engine/generation.h"
#include "engine/unittable.h"
#include "pictureagreement.h"
#include "rendertest.h"
#include "view/figurecamera.h"
#include "view/figurerenderer.h"
#include "view/offscreencontext.h"
#include "view/viewgeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <utility>
#include <vector>

using namespace rendertest;

namespace {

using Rules = std::vector<std::pair<char, std::string>>;

// The Quadratic Gosper Curve, which fills its square.
const Rules quadraticGosper{
    { 'X', "XFX-YF-YF+FX+FX-YF-YFFX+YF+FXFXYF-FX+YF+FXFX+YF-FXYF-YF-FX+FX+YFYF-" },
    { 'Y', "+FXFX-YF-YF+FX+FXYF+FX-YFYF-FX-YF+FXYFYF-FX-YFFX+FX+YF-YF-FX+FX+YFY" }
};

// The Hilbert Curve 3D demo's rules.
const Rules hilbertCurve3D{
    { 'A', "N>F<JFA<F>I+F-E>F<H++F--H<F>K" },   { 'C', "M>F<H++F--C<F>G-F+D>F<JFJ<F>L" },
    { 'D', "K<F>IFD>F<J-F+C<F>G++F--G>F<N" },   { 'E', "L<F>G++F--E>F<H+F-A<F>IFI>F<M" },
    { 'G', "E+F-L<F>G-F+K++F--H+F-N>F<N-F+D" }, { 'H', "C-F+M>F<H+F-N++F--G-F+K<F>K+F-A" },
    { 'I', "D-F+K<F>I+F-LFJ-F+M>F<M+F-E" },     { 'J', "A+F-N>F<J-F+MFI+F-L<F>L-F+C" },
    { 'K', "IFD-F+K++F--C<F>LFA+F-A++F--H" },   { 'L', "G++F--E+F-LFA<F>K++F--C-F+CFJ" },
    { 'M', "H++F--C-F+MFD>F<N++F--E+F-EFI" },   { 'N', "JFA+F-N++F--E>F<MFD-F+D++F--G" }
};

struct Figure
{
    const char *name;
    const char *axiom;
    Rules rules;
    double degrees;
    int passes;
};

std::unique_ptr<lsRuleSet> ruleSet(const Figure &f)
{
    auto set = rules(f.degrees);
    for (const auto &[letter, text] : f.rules)
        lsNewRule(*set, letter, text);
    return set;
}

class UnitDrawingTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        context = new OffscreenContext;
        std::string error;
        ASSERT_TRUE(context->create(size, size, &error)) << error;
    }
    static void TearDownTestSuite()
    {
        delete context;
        context = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(context->makeCurrent()); }
    void TearDown() override { renderer.releaseGL(); }

    lsImageRep
    picture(std::shared_ptr<const lsGeometry> geometry, const FigureView &view, double spin)
    {
        renderer.setGeometry(std::move(geometry));
        renderer.draw(size, size, spin, view);
        return captureImageRep(size, size);
    }

    // The figure built from its units, as a picture of size x size shows it through view.
    static std::shared_ptr<lsGeometry> fromUnits(const lsUnitTable &table, const FigureView &view)
    {
        auto g = std::make_shared<lsGeometry>();
        EXPECT_TRUE(lsBuildUnitGeometry(table, *g, viewReduction(table.box(), size, size, view)));
        return g;
    }

    // The pass walked symbol by symbol, as a picture of size x size shows it through view.
    static std::shared_ptr<lsGeometry>
    walked(const lsRuleSet &set, const Figure &f, const FigureView &view = {})
    {
        const lsString string = lsGenerate(set, f.axiom, f.passes).string;
        lsStringSource commands(string.view());
        auto g = std::make_shared<lsGeometry>();
        EXPECT_TRUE(buildViewGeometry(set, commands, size, size, *g, view));
        return g;
    }

    static constexpr int size = 240;
    static OffscreenContext *context;
    FigureRenderer renderer;
};

OffscreenContext *UnitDrawingTest::context = nullptr;

TEST_F(UnitDrawingTest, PicturesAgreeWithTheWalksWithinAPixel)
{
    // Curves, dense and not, branches, '@' factors (one negative), turns in 3D; framed and
    // turned, and zoomed about the start, which every figure draws from.
    const Figure figures[] = {
        { "island", "F-F-F-F", { { 'F', "F+FF-FF-F-F+F+FF-F-F+F+FF+FF-F" } }, 90, 4 },
        { "gosper", "-YF", quadraticGosper, 90, 4 },
        { "plant", "X", { { 'X', "F-[[X]+X]+F[+FX]-X" }, { 'F', "FF" } }, 22, 7 },
        { "tree", "FX", { { 'X', "@.6[-F@.6[-FX]+FX]+F@.6[-FX]+FX" } }, 30, 7 },
        { "backwards", "X", { { 'X', "F[@-.7+X]B[-X]@-1.1F!X" } }, 40, 9 },
        { "bush 3D",
          "A",
          { { 'A', "[>FA]++++>>>>>----[>FA]++++>>>>>>>----[>FA]" },
            { 'F', "S++++>>>>>----F" },
            { 'S', "F" } },
          22,
          6 },
    };
    for (const Figure &f : figures) {
        const auto set = ruleSet(f);
        const lsUnitTable::Made made = lsUnitTable::make(*set, f.axiom, f.passes);
        ASSERT_TRUE(made.table) << f.name << ": " << made.refusal;
        for (const double zoom : { 1.0, 16.0, 256.0 }) {
            FigureView view;
            if (zoom != 1.0) {
                view.zoom = zoom;
                view.centre = std::array<double, 3>{ 0.0, 0.0, 0.0 };
            }
            // A figure with depth turns about its box centre: zoomed in about its start, it is
            // compared where the start is at the picture's middle, at spin 0.
            const double spin = zoom == 1.0 ? 30.0 : 0.0;
            const lsImageRep expected = picture(walked(*set, f, view), view, spin);
            const lsImageRep shown = picture(fromUnits(*made.table, view), view, spin);
            const std::string name = std::string(f.name) + " at zoom " + std::to_string(zoom);
            EXPECT_GT(coverage(expected, { 0, 0, 0 }).count, 200) << name;
            EXPECT_GE(litWithinAPixel(shown, expected), 0.995) << name;
            EXPECT_GE(litWithinAPixel(expected, shown), 0.995) << name;
        }
    }
}

TEST_F(UnitDrawingTest, SubPixelLinesAndDenseAreasTakeTheFullLineColour)
{
    // A straight line of a million moves a pixel holds thousands of, drawn as one segment
    // in the full line colour, with no paler pixel where shorter ones would meet (a walk's
    // line has one every few pixels); and a curve that fills its square, drawn as rows
    // instead of the hundreds of thousands of segments a walk keeps.
    const Figure line{ "line", "F", { { 'F', "FFFFFFFFFF" } }, 90, 6 };
    const Figure filling{ "gosper", "-YF", quadraticGosper, 90, 5 };
    const auto lineRules = ruleSet(line);
    const lsUnitTable::Made lineUnits = lsUnitTable::make(*lineRules, line.axiom, line.passes);
    ASSERT_TRUE(lineUnits.table);
    const lsImageRep lineImage = picture(fromUnits(*lineUnits.table, {}), {}, 0.0);
    const Coverage c = coverage(lineImage, { 0, 0, 0 });
    ASSERT_GT(c.bottom - c.top, size / 2);
    int brightest = 0;
    for (int x = c.left; x <= c.right; ++x)
        brightest = std::max<int>(brightest, pixel(lineImage, x, size / 2)[0]);
    ASSERT_EQ(brightest, 255);
    const int column = [&] {
        for (int x = c.left; x <= c.right; ++x)
            if (pixel(lineImage, x, size / 2)[0] == 255)
                return x;
        return -1;
    }();
    int full = 0;
    for (int y = c.top; y <= c.bottom; ++y)
        full += pixel(lineImage, column, y)[0] == 255;
    EXPECT_GE(full + 4, c.bottom - c.top + 1); // the ends fade

    const auto fillingRules = ruleSet(filling);
    const lsUnitTable::Made fillingUnits =
            lsUnitTable::make(*fillingRules, filling.axiom, filling.passes);
    ASSERT_TRUE(fillingUnits.table);
    const auto drawn = fromUnits(*fillingUnits.table, {});
    const auto walk = walked(*fillingRules, filling);
    EXPECT_LT(drawn->vertexCount() * 10, walk->vertexCount());
    const lsImageRep shown = picture(drawn, {}, 0.0);
    const lsImageRep expected = picture(walk, {}, 0.0);
    EXPECT_GE(litWithinAPixel(shown, expected), 0.995);
    EXPECT_GE(litWithinAPixel(expected, shown), 0.995);
    int filled = 0;
    for (std::uint8_t v : shown.red)
        filled += v == 255;
    EXPECT_GT(filled, coverage(expected, { 0, 0, 0 }).count * 9 / 10);
}

TEST_F(UnitDrawingTest, RowsLeaveTheHolesOfAMeshOpen)
{
    // Koch Curve C, whose pass 5 fills its picture with holes of a pixel or two: rows go
    // only where the segments would have covered every pixel in full.
    const Figure mesh{ "mesh", "F-F-F-F", { { 'F', "FF-F+F-F-FF" } }, 90, 5 };
    const auto set = ruleSet(mesh);
    const lsUnitTable::Made made = lsUnitTable::make(*set, mesh.axiom, mesh.passes);
    ASSERT_TRUE(made.table);
    const lsImageRep expected = picture(walked(*set, mesh), {}, 0.0);
    const lsImageRep shown = picture(fromUnits(*made.table, {}), {}, 0.0);
    EXPECT_LE(pixelsApart(shown, expected, 32) * 200, coverage(expected, { 0, 0, 0 }).count);
}

// Zoomed in, a figure with depth is built only for the heights that some spin angle brings
// into the picture, and draws at every angle as its whole build does. Tilted, a turn may
// show any part of it: it is built whole.
TEST_F(UnitDrawingTest, AZoomedFigureWithDepthIsBuiltForWhatAnyAngleShows)
{
    const Figure hilbert{ "hilbert 3D",
                          "X",
                          { { 'X', "X-F+YFY+F-Z>F<Z-F+>>YFY+F+X+>>-" },
                            { 'W', "W>F<YFX<F<Z<<-F-Z<++F<X++FY<F<W+>>-" },
                            { 'Y', "++Z<++F<X-F+Y<F<W>>FW>F<Y+F+X<F<Z+>>-" },
                            { 'Z', "++YFX-F+X++FW>F<W>>FX-F+X++FY+>>-" } },
                          90,
                          4 };
    const auto set = ruleSet(hilbert);
    const lsUnitTable::Made made = lsUnitTable::make(*set, hilbert.axiom, hilbert.passes);
    ASSERT_TRUE(made.table) << made.refusal;
    const double *box = made.table->box();
    ASSERT_GT(box[lsMaxZ], box[lsMinZ]);
    FigureView view;
    view.zoom = 16.0;
    view.centre = std::array<double, 3>{ (box[lsMinX] + box[lsMaxX]) / 2.0,
                                         box[lsMinY] + (box[lsMaxY] - box[lsMinY]) * 0.9,
                                         (box[lsMinZ] + box[lsMaxZ]) / 2.0 };
    for (const double tilt : { 0.0, 35.0 }) {
        view.tiltDegrees = tilt;
        lsGeometryReduction all = viewReduction(box, size, size, view);
        all.region.reset();
        auto whole = std::make_shared<lsGeometry>();
        ASSERT_TRUE(lsBuildUnitGeometry(*made.table, *whole, all));
        const auto built = fromUnits(*made.table, view);
        if (tilt == 0.0)
            EXPECT_LT(built->vertexCount() * 3, whole->vertexCount() * 2);
        else
            EXPECT_EQ(built->vertexCount(), whole->vertexCount());
        for (const double spin : { 0.0, 70.0, 160.0, 250.0 }) {
            const std::string name =
                    "tilt " + std::to_string(tilt) + ", spin " + std::to_string(spin);
            const lsImageRep expected = picture(whole, view, spin);
            const lsImageRep shown = picture(built, view, spin);
            EXPECT_GT(coverage(expected, { 0, 0, 0 }).count, 200) << name;
            EXPECT_GE(litWithinAPixel(shown, expected), 0.995) << name;
            EXPECT_GE(litWithinAPixel(expected, shown), 0.995) << name;
        }
    }
}

// A picture that stays at one spin angle leaves out what lies under its solid pixels at
// that angle, as a flat figure's does, tilted or not.
TEST_F(UnitDrawingTest, AStillPictureOfAFigureWithDepthCostsWhatItsPixelsDo)
{
    // The Hilbert Curve 3D demo, whose pass 5 at this size covers most of its picture.
    const Figure hilbert{ "hilbert 3D", "A", hilbertCurve3D, 90, 5 };
    const auto set = ruleSet(hilbert);
    const lsUnitTable::Made made = lsUnitTable::make(*set, hilbert.axiom, hilbert.passes);
    ASSERT_TRUE(made.table) << made.refusal;
    const double *box = made.table->box();
    FigureView view;
    for (const double tilt : { 0.0, 35.0 }) {
        view.tiltDegrees = tilt;
        const auto whole = fromUnits(*made.table, view);
        for (const double spin : { 30.0, 200.0 }) {
            const std::string name =
                    "tilt " + std::to_string(tilt) + ", spin " + std::to_string(spin);
            auto still = std::make_shared<lsGeometry>();
            ASSERT_TRUE(lsBuildUnitGeometry(*made.table, *still,
                                            viewReduction(box, size, size, view, spin)));
            EXPECT_LT(still->vertexCount() * 3, whole->vertexCount()) << name;
            const lsImageRep expected = picture(whole, view, spin);
            const lsImageRep shown = picture(still, view, spin);
            EXPECT_LE(pixelsApart(shown, expected, 32) * 200, coverage(expected, { 0, 0, 0 }).count)
                    << name;
        }
    }
}

TEST_F(UnitDrawingTest, ACancelledBuildStopsWithNothing)
{
    const Figure island{
        "island", "F-F-F-F", { { 'F', "F+FF-FF-F-F+F+FF-F-F+F+FF+FF-F" } }, 90, 7
    };
    const auto set = ruleSet(island);
    const lsUnitTable::Made made = lsUnitTable::make(*set, island.axiom, island.passes);
    ASSERT_TRUE(made.table);
    const std::atomic<bool> cancel{ true };
    lsGeometry geometry;
    geometry.vertices.assign(30, 1.0f);
    EXPECT_FALSE(lsBuildUnitGeometry(*made.table, geometry,
                                     viewReduction(made.table->box(), 4000, 4000, {}), &cancel));
    EXPECT_EQ(geometry.vertexCount(), 0u);
}

} // namespace
