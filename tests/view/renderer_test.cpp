// The renderer, camera and capture on a real GL context (EGL surfaceless, no X server).
#include "engine/generation.h"
#include "rendertest.h"
#include "view/figurecamera.h"
#include "view/figurerenderer.h"
#include "view/offscreencontext.h"
#include "view/viewgeometry.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace rendertest;

namespace {

class RendererTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        context = new OffscreenContext;
        std::string error;
        ASSERT_TRUE(context->create(320, 240, &error)) << error;
    }
    static void TearDownTestSuite()
    {
        delete context;
        context = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(context->makeCurrent()); }
    void TearDown() override { renderer.releaseGL(); }

    // Draws the geometry of `string` built for the picture (cached path) and captures the
    // frame.
    lsImageRep frame(const lsRuleSet &set,
                     std::string_view string,
                     int width,
                     int height,
                     double spin = 0.0,
                     const FigureView &view = {})
    {
        std::string error;
        EXPECT_TRUE(context->resize(width, height, &error)) << error;
        auto g = std::make_shared<lsGeometry>();
        lsStringSource commands(string);
        EXPECT_TRUE(buildViewGeometry(set, commands, width, height, *g, view));
        shownVertices = g->vertexCount();
        renderer.setGeometry(std::move(g));
        renderer.draw(width, height, spin, view);
        return captureImageRep(width, height);
    }

    lsImageRep immediateFrame(const lsRuleSet &set,
                              const std::string &string,
                              int width,
                              int height,
                              double spin = 0.0)
    {
        std::string error;
        EXPECT_TRUE(context->resize(width, height, &error)) << error;
        renderer.drawImmediate(set, string.c_str(), width, height, spin);
        return captureImageRep(width, height);
    }

    static OffscreenContext *context;
    FigureRenderer renderer;
    std::size_t shownVertices = 0; // of the figure frame() drew last
};

OffscreenContext *RendererTest::context = nullptr;

constexpr std::array<std::uint8_t, 3> black{ 0, 0, 0 };

TEST_F(RendererTest, RedFigureOnBlackGivesRedPlaneOnly)
{
    renderer.setLineColor({ 1.0, 0.0, 0.0, 1.0 });
    const auto set = rules(90);
    const lsImageRep image = frame(*set, "F+F+F-F", 120, 100);
    ASSERT_FALSE(image.isNull());
    int lit = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const auto p = pixel(image, x, y);
            ASSERT_EQ(p[1], 0) << x << "," << y;
            ASSERT_EQ(p[2], 0) << x << "," << y;
            lit += p[0] != 0;
        }
    }
    EXPECT_GT(lit, 100);
    EXPECT_LT(lit, image.width * image.height / 4); // lines, not a filled area
    EXPECT_EQ(pixel(image, 0, 0), black);
    EXPECT_EQ(pixel(image, image.width - 1, image.height - 1), black);
}

TEST_F(RendererTest, BackgroundClearsOpaqueWhateverItsAlpha)
{
    renderer.setBackgroundColor({ 0.2, 0.4, 0.6, 0.0 });
    const lsImageRep image = frame(*rules(90), "", 40, 30);
    const std::array<std::uint8_t, 3> expected{ 51, 102, 153 };
    EXPECT_EQ(coverage(image, expected).count, 0);
    std::uint8_t alpha = 0;
    glReadPixels(5, 5, 1, 1, GL_ALPHA, GL_UNSIGNED_BYTE, &alpha);
    EXPECT_EQ(alpha, 255);
}

TEST_F(RendererTest, TranslucentLineBlendsWithBackground)
{
    renderer.setLineColor({ 1.0, 1.0, 1.0, 0.5 });
    const lsImageRep image = frame(*rules(90), "F", 60, 60);
    int brightest = 0;
    for (std::uint8_t v : image.red)
        brightest = std::max<int>(brightest, v);
    EXPECT_GE(brightest, 110);
    EXPECT_LE(brightest, 140); // half white over black, not opaque white
}

TEST_F(RendererTest, OnlyFiguresWithDepthSpin)
{
    const auto set = rules(90);
    struct Case
    {
        const char *string;
        bool spins;
    } cases[] = { { "F+F+F", false }, { "F>F+F", true }, { "F<F-F[>F]", true } };
    for (const Case &c : cases) {
        const lsImageRep still = frame(*set, c.string, 80, 80, 0.0);
        const lsImageRep turned = frame(*set, c.string, 80, 80, 60.0);
        EXPECT_EQ(!samePixels(still, turned), c.spins) << c.string;
    }
}

TEST_F(RendererTest, SpinAngleIsReducedBeforeNarrowing)
{
    const auto set = rules(90);
    // 1e9 + 45 degrees is 325 degrees on the circle; as a float it would be 1000000064.
    const lsImageRep reduced = frame(*set, "F>F+F", 80, 80, 325.0);
    const lsImageRep large = frame(*set, "F>F+F", 80, 80, 1e9 + 45.0);
    EXPECT_TRUE(samePixels(reduced, large));
    EXPECT_TRUE(
            samePixels(frame(*set, "F>F+F", 80, 80, 45.0), frame(*set, "F>F+F", 80, 80, 405.0)));
}

TEST_F(RendererTest, FigureWithoutMovesDrawsBackgroundOnly)
{
    renderer.setBackgroundColor({ 0.0, 0.0, 1.0, 1.0 });
    for (const char *string : { "", "+->[]", "XYZ 12" }) {
        const lsImageRep image = frame(*rules(90), string, 50, 40);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << string;
        EXPECT_EQ(coverage(image, { 0, 0, 255 }).count, 0) << string;
    }
}

// Where the turtle goes straight on within a strip, in window coordinates: there the
// per-frame drawing blends the ends of two segments, the cached drawing draws one segment.
std::vector<FigureCamera::WindowPoint>
straightJoins(const lsRuleSet &set, const std::string &string, int width, int height, double spin)
{
    lsGeometry g;
    EXPECT_TRUE(lsBuildGeometry(set, string, g));
    const FigureCamera camera = FigureCamera::make(g.box, width, height, spin);
    const auto at = [&g](std::size_t i, int axis) {
        return double(g.vertices[3 * i + axis]);
    };
    std::vector<FigureCamera::WindowPoint> joins;
    for (std::size_t s = 0; s < g.stripFirst.size(); ++s) {
        const std::size_t first = std::size_t(g.stripFirst[s]);
        for (std::size_t i = first + 1; i + 1 < first + std::size_t(g.stripCount[s]); ++i) {
            std::array<double, 3> a, b;
            for (int axis = 0; axis < 3; ++axis) {
                a[axis] = at(i, axis) - at(i - 1, axis);
                b[axis] = at(i + 1, axis) - at(i, axis);
            }
            const double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
            const double cx = a[1] * b[2] - a[2] * b[1], cy = a[2] * b[0] - a[0] * b[2],
                         cz = a[0] * b[1] - a[1] * b[0];
            if (dot > 0.0 && std::sqrt(cx * cx + cy * cy + cz * cz) < 1e-5 * dot)
                joins.push_back(camera.project(at(i, 0), at(i, 1), at(i, 2)));
        }
    }
    return joins;
}

// The cached drawing, built for the picture, keeps every pixel of the per-frame drawing
// when every segment spans a pixel or more (on the island, 1.3 pixels), but for the
// joins of straight runs, which it draws evenly: a straight run is one segment, whose
// smoothed edge may round a few levels away from its pieces'.
TEST_F(RendererTest, CachedDrawingMatchesImmediateMode)
{
    auto plant = rules(22.5);
    lsNewRule(*plant, 'F', "FF-[-F+F+F]+[+F-F-F]");
    const std::string plantString(lsGenerate(*plant, "F", 3).string.view());
    auto island = rules(90);
    lsNewRule(*island, 'F', "F-F+F+FF-F-F+F");
    const std::string islandString(lsGenerate(*island, "F-F-F-F", 3).string.view());
    const struct
    {
        double angle;
        std::string string;
        std::array<double, 4> color;
        double spin;
        int width, height;
    } cases[] = {
        { 22.5, plantString, { 0.2, 0.9, 0.3, 1.0 }, 0.0, 200, 160 },
        { 30.0, "F>F[+F<F]F@0.5F>>F!+F", { 1.0, 1.0, 1.0, 0.5 }, 137.1, 150, 150 },
        { 90.0, "F+F+F+F", { 1.0, 0.5, 0.0, 1.0 }, 10.0, 90, 210 },
        { 90.0, islandString, { 1.0, 1.0, 1.0, 1.0 }, 0.0, 90, 90 },
    };
    for (const auto &c : cases) {
        const auto set = rules(c.angle);
        renderer.setLineColor(c.color);
        const lsImageRep cached = frame(*set, c.string, c.width, c.height, c.spin);
        const lsImageRep immediate = immediateFrame(*set, c.string, c.width, c.height, c.spin);
        EXPECT_GT(coverage(cached, black).count, 0);
        const auto joins = straightJoins(*set, c.string, c.width, c.height, c.spin);
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const auto p = pixel(cached, x, y), q = pixel(immediate, x, y);
                int apart = 0;
                for (int i = 0; i < 3; ++i)
                    apart = std::max(apart, std::abs(p[i] - q[i]));
                if (apart <= 6)
                    continue;
                const bool atJoin = std::any_of(joins.begin(), joins.end(), [&](const auto &j) {
                    return std::abs(j.x - (x + 0.5)) < 2.0 && std::abs(j.y - (y + 0.5)) < 2.0;
                });
                EXPECT_TRUE(atJoin) << x << ',' << y << ' ' << c.string.substr(0, 40);
            }
        }
    }
}

// Segments far below a pixel merge into segments the picture can show, which draw in the
// full line colour: per-frame drawing leaves the line black and the island grey. A straight
// line of many segments is one even colour wherever it is seen from: smoothed segments that
// meet blend twice at the join, a lighter tick.
TEST_F(RendererTest, SubPixelDetailAndStraightRunsDrawInTheFullLineColour)
{
    auto island = rules(90);
    lsNewRule(*island, 'F', "F-F+F+FF-F-F+F");
    const lsString islandString = lsGenerate(*island, "F-F-F-F", 5).string;
    const lsImageRep islandImage = frame(*island, islandString.view(), 200, 200);
    EXPECT_LT(shownVertices, islandString.size() / 20);
    EXPECT_GE(*std::max_element(islandImage.red.begin(), islandImage.red.end()), 250);

    // A million steps up from the origin: framed, a step is a ten-thousandth of a pixel;
    // zoomed in, about half a pixel (they merge), then five pixels (they do not).
    auto line = rules(90);
    lsNewRule(*line, 'F', "FFFFFFFFFF");
    const lsString string = lsGenerate(*line, "F", 6).string;
    for (const double zoom : { 1.0, 3000.0, 40000.0 }) {
        SCOPED_TRACE(zoom);
        FigureView view;
        if (zoom != 1.0) {
            view.zoom = zoom;
            view.centre = std::array<double, 3>{ 0.0, 5e6 + 3.0, 0.0 };
        }
        const lsImageRep image = frame(*line, string.view(), 200, 200, 0.0, view);
        const Coverage c = coverage(image, black);
        ASSERT_GE(c.bottom - c.top, 120);
        // Every row the line crosses, short of its ends, holds the same light.
        std::vector<int> rows;
        for (int y = c.top + 2; y <= c.bottom - 2; ++y) {
            int light = 0;
            for (int x = c.left; x <= c.right; ++x)
                light += image.red[std::size_t(y) * image.stride + x];
            rows.push_back(light);
        }
        const auto [dimmest, brightest] = std::minmax_element(rows.begin(), rows.end());
        EXPECT_GE(*brightest, 250);
        EXPECT_EQ(*dimmest, *brightest) << "row " << c.top + 2 + (dimmest - rows.begin());
    }
}

// A frame for the screen is drawn a part at a time, a long strip going on where it stopped,
// and stops when asked to.
TEST_F(RendererTest, StripsGoOnAcrossPartsUnlessAbandoned)
{
    std::string error;
    ASSERT_TRUE(context->resize(160, 120, &error)) << error;
    // One strip whose only segment of any length is the one the second part starts with,
    // from the first part's last vertex, then a short strip.
    constexpr std::int32_t first = FigureRenderer::partVertices;
    auto g = std::make_shared<lsGeometry>();
    for (std::int32_t i = 0; i <= first; ++i)
        g->vertices.insert(g->vertices.end(), { i < first ? 0.0f : 999.0f, 0.0f, 0.0f });
    g->vertices.insert(g->vertices.end(), { 0.0f, 700.0f, 0.0f, 999.0f, 700.0f, 0.0f });
    g->stripFirst = { 0, first + 1 };
    g->stripCount = { first + 1, 2 };
    const double box[6] = { 0, 999, 0, 700, 0, 0 };
    std::copy(box, box + 6, g->box);
    renderer.setGeometry(g);
    int asked = 0;
    EXPECT_TRUE(renderer.draw(160, 120, 0.0, {}, std::nullopt, [&] {
        ++asked;
        return false;
    }));
    EXPECT_EQ(asked, 1); // two parts
    const lsImageRep drawn = captureImageRep(160, 120);
    const auto litColumns = [&](double figureY) {
        const int y =
                int(std::lround(FigureCamera::make(box, 160, 120, 0.0).project(0, figureY, 0).y));
        int lit = 0;
        for (int x = 0; x < 160; ++x)
            lit += pixel(drawn, x, y) != pixel(drawn, 0, 0);
        return lit;
    };
    EXPECT_GT(litColumns(0.0), 100);
    EXPECT_GT(litColumns(700.0), 100);
    EXPECT_FALSE(renderer.draw(160, 120, 0.0, {}, std::nullopt, [] { return true; }));
}

TEST_F(RendererTest, FigureRebuiltInItsOwnStorageIsUploadedAgain)
{
    // The view rebuilds a replaced figure's geometry in place and sets it again: the
    // renderer must not take it for the figure it uploaded before.
    std::string error;
    ASSERT_TRUE(context->resize(120, 120, &error)) << error;
    const std::string string = "F+F+F-F[+F]F";
    auto g = std::make_shared<lsGeometry>();
    ASSERT_TRUE(lsBuildGeometry(*rules(90), string, *g));
    renderer.setGeometry(g);
    renderer.draw(120, 120, 0.0);
    const float *storage = g->vertices.data();
    ASSERT_TRUE(lsBuildGeometry(*rules(60), string, *g));
    ASSERT_EQ(g->vertices.data(), storage);
    renderer.setGeometry(g);
    renderer.draw(120, 120, 0.0);
    const lsImageRep rebuilt = captureImageRep(120, 120);
    EXPECT_TRUE(samePixels(rebuilt, frame(*rules(60), string, 120, 120)));
    EXPECT_FALSE(samePixels(rebuilt, frame(*rules(90), string, 120, 120)));
}

TEST_F(RendererTest, NonSquareViewsKeepProportionsAndFrameTheBox)
{
    // A square outline: its picture stays square, whole and centred in any view shape.
    const auto set = rules(90);
    for (const auto &[width, height] : { std::pair{ 120, 120 }, { 240, 120 }, { 120, 240 } }) {
        const Coverage c = coverage(frame(*set, "F+F+F+F", width, height), black);
        const int w = c.right - c.left, h = c.bottom - c.top;
        EXPECT_NEAR(w, h, 2) << width << "x" << height;
        EXPECT_GT(c.left, 0);
        EXPECT_GT(c.top, 0);
        EXPECT_LT(c.right, width - 1);
        EXPECT_LT(c.bottom, height - 1);
        EXPECT_NEAR((c.left + c.right) / 2.0, width / 2.0, 2.0);
        EXPECT_NEAR((c.top + c.bottom) / 2.0, height / 2.0, 2.0);
    }
}

TEST_F(RendererTest, CameraProjectsWhereTheRendererDraws)
{
    // A vector export projects with FigureCamera; the drawn corners must land there.
    const auto set = rules(90);
    const auto g = geometry(*set, "F>F+F");
    for (double spin : { 0.0, 30.0, 200.0 }) {
        const lsImageRep image = frame(*set, "F>F+F", 160, 120, spin);
        const FigureCamera camera = FigureCamera::make(g->box, 160, 120, spin);
        for (std::size_t i = 0; i < g->vertexCount(); ++i) {
            const auto p = camera.project(g->vertices[3 * i], g->vertices[3 * i + 1],
                                          g->vertices[3 * i + 2]);
            ASSERT_TRUE(p.valid);
            const int x = static_cast<int>(p.x), y = static_cast<int>(p.y);
            ASSERT_TRUE(x >= 0 && x < 160 && y >= 0 && y < 120);
            EXPECT_NE(pixel(image, x, y), black) << "vertex " << i << " spin " << spin;
        }
    }
}

TEST_F(RendererTest, AFlatFigureTurnsAboutItsBoxCentreWithinThePicture)
{
    // A square with a corner at the turtle's start, turned as an animation turns it: its box
    // centre stays at the middle, every corner in the picture, and GL draws where the camera
    // projects.
    const auto set = rules(90);
    const auto g = geometry(*set, "F+F+F+F");
    FigureView view;
    view.turnsFlat = true;
    std::string error;
    ASSERT_TRUE(context->resize(160, 120, &error)) << error;
    renderer.setGeometry(g);
    for (int spin = 0; spin < 360; spin += 10) {
        const FigureCamera camera = FigureCamera::make(g->box, 160, 120, spin, view);
        ASSERT_TRUE(camera.spins);
        const auto middle = camera.project(5, 5, 0);
        EXPECT_NEAR(middle.x, 80, 1e-9) << spin;
        EXPECT_NEAR(middle.y, 60, 1e-9) << spin;
        const bool drawn = spin % 180 != 90; // edge-on at 90 and 270
        renderer.draw(160, 120, spin, view);
        const lsImageRep image = captureImageRep(160, 120);
        for (const auto &[x, y] : { std::pair{ 0, 0 }, { 0, 10 }, { 10, 10 }, { 10, 0 } }) {
            const auto p = camera.project(x, y, 0);
            ASSERT_TRUE(p.valid);
            EXPECT_TRUE(p.x > 0 && p.x < 160 && p.y > 0 && p.y < 120)
                    << "corner " << x << ',' << y << " spin " << spin;
            if (drawn) {
                EXPECT_NE(pixel(image, std::clamp(int(p.x), 0, 159), std::clamp(int(p.y), 0, 119)),
                          black)
                        << "corner " << x << ',' << y << " spin " << spin;
            }
        }
    }
}

TEST_F(RendererTest, ZoomedFiguresBuildWhatThePictureShows)
{
    // A quadratic Koch island zoomed 16 times about a corner, where every segment spans a
    // pixel or more: built for the view, it draws the pixels of the whole figure reduced at
    // the same scale, from a small part of its segments.
    auto set = rules(90);
    lsNewRule(*set, 'F', "F-F+F+FF-F-F+F");
    const lsString string = lsGenerate(*set, "F-F-F-F", 3).string;
    FigureView view;
    view.zoom = 16.0;
    view.centre = std::array<double, 3>{ 0.0, 0.0, 0.0 };
    auto all = std::make_shared<lsGeometry>();
    ASSERT_TRUE(lsBuildGeometry(*set, string.view(), *all));
    auto built = std::make_shared<lsGeometry>();
    lsStringSource commands(string.view());
    ASSERT_TRUE(buildViewGeometry(*set, commands, 160, 120, *built, view));
    EXPECT_LT(built->vertexCount() * 8, all->vertexCount());
    EXPECT_TRUE(std::equal(all->box, all->box + 6, built->box));
    lsGeometryReduction whole;
    whole.pixelsPerUnit = viewReduction(all->box, 160, 120, view).pixelsPerUnit;
    auto reduced = std::make_shared<lsGeometry>();
    ASSERT_TRUE(lsBuildGeometry(*set, string.view(), *reduced, whole));

    std::string error;
    ASSERT_TRUE(context->resize(160, 120, &error)) << error;
    renderer.setGeometry(reduced);
    renderer.draw(160, 120, 0.0, view);
    const lsImageRep expected = captureImageRep(160, 120);
    renderer.setGeometry(built);
    renderer.draw(160, 120, 0.0, view);
    const lsImageRep shown = captureImageRep(160, 120);
    EXPECT_GT(coverage(shown, black).count, 1000);
    EXPECT_TRUE(samePixels(shown, expected));
}

TEST(FigureCamera, SquareViewsUseTheClassicFrame)
{
    const double box[6] = { -10, 30, 0, 20, 0, 0 };
    const FigureCamera square = FigureCamera::make(box, 300, 300, 0.0);
    EXPECT_EQ(square.fovy, 40.0);
    EXPECT_EQ(square.aspect, 1.0);
    EXPECT_EQ(square.eyeDistance, 60.0);
    EXPECT_EQ(square.zFar, 240.0);
    EXPECT_FALSE(square.spins);
    EXPECT_EQ(square.centre, (std::array<double, 3>{ 10, 10, 0 }));

    // With depth, it turns about the vertical line through its box centre.
    const double deep[6] = { -10, 30, 0, 20, -2, 8 };
    const FigureCamera turning = FigureCamera::make(deep, 300, 300, 0.0);
    EXPECT_TRUE(turning.spins);
    EXPECT_EQ(turning.centre, (std::array<double, 3>{ 10, 10, 3 }));
    EXPECT_EQ(turning.spinAxis, (std::array<double, 2>{ 10, 3 }));

    const FigureCamera tall = FigureCamera::make(box, 100, 200, 0.0);
    EXPECT_EQ(tall.aspect, 0.5);
    EXPECT_NEAR(std::tan(tall.fovy / 2 * degree) * tall.aspect, std::tan(20 * degree), 1e-12);

    const double point[6] = { 0, 0, 0, 0, 0, 0 };
    const FigureCamera degenerate = FigureCamera::make(point, 0, 0, 0.0);
    EXPECT_FALSE(degenerate.spins);
    EXPECT_FALSE(degenerate.project(0, 0, 0).valid);
}

TEST(ImageRep, StrideRoundsUpToEight)
{
    const std::pair<int, int> cases[] = { { 1, 8 },     { 8, 8 },     { 300, 304 },
                                          { 301, 304 }, { 304, 304 }, { 305, 312 } };
    for (const auto &[width, stride] : cases)
        EXPECT_EQ(lsImageStride(width), stride) << width;
}

TEST(ImageRep, ReversePixelBufferFlipsRows)
{
    const unsigned char src[] = { 1, 2, 3, 4, 5, 6 };
    unsigned char dst[6] = {};
    reversePixelBuffer(src, dst, 2, 3);
    EXPECT_EQ(std::vector<int>(dst, dst + 6), (std::vector<int>{ 5, 6, 3, 4, 1, 2 }));
    unsigned char untouched[2] = { 9, 9 };
    reversePixelBuffer(src, untouched, 2, 0);
    reversePixelBuffer(src, untouched, 2, -1);
    EXPECT_EQ(untouched[0], 9);
}

TEST_F(RendererTest, CaptureIsPlanarTopRowFirstWithPaddedRows)
{
    for (const auto &[width, stride] : { std::pair{ 301, 304 }, { 304, 304 } }) {
        std::string error;
        ASSERT_TRUE(context->resize(width, 200, &error)) << error;
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        // GL counts rows from the bottom: mark the top-left pixel red, the bottom-left blue.
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 199, 1, 1);
        glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(0, 0, 1, 1);
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        glPixelStorei(GL_PACK_ALIGNMENT, 2);

        const lsImageRep image = captureImageRep(width, 200);
        EXPECT_EQ(image.width, width);
        EXPECT_EQ(image.height, 200);
        EXPECT_EQ(image.stride, stride);
        EXPECT_EQ(image.red.size(), std::size_t(stride) * 200);
        EXPECT_EQ(image.red[0], 255);
        EXPECT_EQ(image.blue[0], 0);
        EXPECT_EQ(image.blue[std::size_t(stride) * 199], 255);
        EXPECT_EQ(image.red[1], 0);
        GLint alignment = 0;
        glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
        EXPECT_EQ(alignment, 2);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
    }
    EXPECT_TRUE(captureImageRep(0, 10).isNull());
    EXPECT_TRUE(captureImageRep(10, 0).isNull());
}

} // namespace
