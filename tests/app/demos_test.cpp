// The shipped demo library: every document reads, matches its JSON source, generates the
// published string and draws a figure.
#include "cli/documentjson.h"
#include "document/model/documentfigure.h"
#include "document/model/documentfile.h"
#include "view/figurecamera.h"
#include "view/figurerenderer.h"
#include "view/imagerep.h"
#include "view/offscreencontext.h"
#include "view/viewgeometry.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

using namespace sprig;

namespace {

namespace fs = std::filesystem;

const fs::path demosDir = fs::path(SPRIG_SOURCE_DIR) / "demos";
const fs::path sourcesDir = fs::path(SPRIG_SOURCE_DIR) / "resources" / "demo-sources";

struct Demo
{
    const char *path;     // below demos/
    std::uint64_t length; // of the generated string: the published system's, counted by hand
};

// Fractal Tree starts heading up, so it drops the published "+++" that turned it up.
const Demo demos[] = {
    { "3D/Bush 3D.lsd", 72451 },
    { "3D/Hilbert Curve 3D.lsd", 2045 },
    { "Curves/Dragon Curve.lsd", 16382 },
    { "Curves/Gosper Curve.lsd", 8002 },
    { "Curves/Hilbert Curve.lsd", 3411 },
    { "Curves/Koch Curve A.lsd", 30427 },
    { "Curves/Koch Curve B.lsd", 16007 },
    { "Curves/Koch Curve C.lsd", 2287 },
    { "Curves/Koch Curve D.lsd", 4999 },
    { "Curves/Koch Curve E.lsd", 24999 },
    { "Curves/Koch Curve F.lsd", 4999 },
    { "Curves/Koch Snowflake.lsd", 1792 },
    { "Curves/L\u00e9vy C Curve.lsd", 20476 },
    { "Curves/Peano Curve.lsd", 1821 },
    { "Curves/Quadratic Gosper Curve.lsd", 1719 },
    { "Curves/Quadratic Snowflake.lsd", 1250 },
    { "Curves/Sierpinski Arrowhead.lsd", 2186 },
    { "Plants/Plant A.lsd", 7811 },
    { "Plants/Plant B.lsd", 9373 },
    { "Plants/Plant C.lsd", 11116 },
    { "Plants/Plant D.lsd", 13956 },
    { "Plants/Plant E.lsd", 12863 },
    { "Plants/Plant F.lsd", 6263 },
    { "Tilings and Fractals/Eighteen-Segment Koch Island.lsd", 2211 },
    { "Tilings and Fractals/Fractal Tree.lsd", 10232 },
    { "Tilings and Fractals/Penrose Tiling.lsd", 45223 },
    { "Tilings and Fractals/Pentaplexity.lsd", 22028 },
    { "Tilings and Fractals/Quadratic Koch Island.lsd", 3803 },
};

std::vector<std::uint8_t> readBytes(const fs::path &path)
{
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    return { data.begin(), data.end() };
}

TEST(Demos, EveryShippedDocumentIsChecked)
{
    std::set<std::string> shipped;
    for (const auto &entry : fs::recursive_directory_iterator(demosDir)) {
        if (entry.path().extension() == ".lsd")
            shipped.insert(entry.path().lexically_relative(demosDir).string());
    }
    std::set<std::string> checked;
    for (const Demo &demo : demos)
        checked.insert(demo.path);
    EXPECT_EQ(shipped, checked);
}

TEST(Demos, AreWrittenFromTheirJsonSources)
{
    for (const Demo &demo : demos) {
        SCOPED_TRACE(demo.path);
        fs::path source = sourcesDir / demo.path;
        source.replace_extension(".json");
        const std::vector<std::uint8_t> json = readBytes(source);
        ASSERT_FALSE(json.empty()) << source;
        DocumentData document;
        QString error;
        ASSERT_TRUE(documentFromJson(
                QByteArray(reinterpret_cast<const char *>(json.data()), qsizetype(json.size())),
                document, &error))
                << error.toStdString();
        std::vector<std::uint8_t> bytes;
        std::string cause;
        ASSERT_TRUE(writeDocument(document, bytes, &cause)) << cause;
        EXPECT_EQ(bytes, readBytes(demosDir / demo.path)) << "stale: run scripts/make-demos";
    }
}

TEST(Demos, GenerateThePublishedStringAndDrawAFigure)
{
    constexpr int size = 160;
    OffscreenContext context;
    std::string error;
    ASSERT_TRUE(context.create(size, size, &error)) << error;
    FigureRenderer renderer;

    for (const Demo &demo : demos) {
        SCOPED_TRACE(demo.path);
        DocumentData document;
        ASSERT_TRUE(readDocumentFile((demosDir / demo.path).string(), document, &error)) << error;
        const FigureResult figure = buildFigure(figureRequest(document));
        ASSERT_TRUE(figure.hasAxiom);
        EXPECT_EQ(figure.outcome, FigureOutcome::Complete);
        EXPECT_EQ(figure.pass, document.iterations);
        EXPECT_EQ(figure.length, demo.length);

        auto geometry = std::make_shared<lsGeometry>();
        ASSERT_TRUE(lsBuildGeometry(*figure.rules, *figure.commands.source(), *geometry));
        const double *box = geometry->box;
        EXPECT_GT(std::max(box[lsMaxX] - box[lsMinX], box[lsMaxY] - box[lsMinY]), 0.0);

        const std::array<double, 4> background = document.bgColor.rgba();
        renderer.setGeometry(geometry);
        renderer.setLineColor(document.color.rgba());
        renderer.setBackgroundColor(background);
        renderer.draw(size, size, 30.0);
        const lsImageRep image = captureImageRep(size, size);
        ASSERT_FALSE(image.isNull());
        auto channel = [](double value) {
            return int(value * 255.0 + 0.5);
        };
        int drawn = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const int i = y * image.stride + x;
                drawn += std::abs(image.red[i] - channel(background[0]))
                                 + std::abs(image.green[i] - channel(background[1]))
                                 + std::abs(image.blue[i] - channel(background[2]))
                         > 24;
            }
        }
        // A figure, not a dot: at least a line across a sixth of the picture.
        EXPECT_GT(drawn, size / 6) << "pixels drawn: " << drawn;
    }
    renderer.releaseGL();
}

TEST(Demos, HilbertCurve3DVisitsEveryPointOfItsLatticeOnceWithUnitSteps)
{
    DocumentData document;
    std::string error;
    ASSERT_TRUE(readDocumentFile((demosDir / "3D/Hilbert Curve 3D.lsd").string(), document, &error))
            << error;
    for (int passes = 1; passes <= 3; ++passes) {
        SCOPED_TRACE(passes);
        document.iterations = passes;
        const FigureResult figure = buildFigure(figureRequest(document));
        lsGeometry g;
        ASSERT_TRUE(lsBuildGeometry(*figure.rules, figure.commands.string().view(), g));
        ASSERT_EQ(g.stripFirst.size(), 1u);
        const int side = 1 << passes; // lattice points along each edge
        std::set<std::array<long, 3>> visited;
        std::array<long, 3> previous{};
        for (std::size_t v = 0; v < g.vertexCount(); ++v) {
            std::array<long, 3> point;
            for (int axis = 0; axis < 3; ++axis) {
                const double steps = g.vertices[3 * v + axis] / 10.0;
                point[axis] = std::lround(steps);
                ASSERT_NEAR(steps, double(point[axis]), 1e-6);
                ASSERT_GE(point[axis], 0);
                ASSERT_LT(point[axis], side);
            }
            if (v > 0) {
                long distance = 0;
                for (int axis = 0; axis < 3; ++axis)
                    distance += std::labs(point[axis] - previous[axis]);
                ASSERT_EQ(distance, 1) << "step " << v;
            }
            visited.insert(point);
            previous = point;
        }
        EXPECT_EQ(visited.size(), std::size_t(side) * side * side);
        EXPECT_EQ(g.vertexCount(), visited.size());
    }
}

// It fills a cube with a corner at the turtle's start. The figure turns about the vertical
// line through the cube's centre, which stays at the picture's middle, and at no spin angle,
// whatever the tilt and the picture's shape, does any of it leave the picture: the box's
// corners project inside it (the figure lies within their outline). At pass 3, drawn, the
// picture's border is the background, and no segment spans more pixels than the bound the
// reduction uses.
TEST(Demos, HilbertCurve3DStaysInViewThroughAFullTurn)
{
    DocumentData document;
    std::string error;
    ASSERT_TRUE(readDocumentFile((demosDir / "3D/Hilbert Curve 3D.lsd").string(), document, &error))
            << error;
    constexpr int size = 120;
    OffscreenContext context;
    ASSERT_TRUE(context.create(size, size, &error)) << error;
    FigureRenderer renderer;
    renderer.setLineColor({ 1.0, 1.0, 1.0, 1.0 });
    renderer.setBackgroundColor({ 0.0, 0.0, 0.0, 1.0 });

    for (int passes = 1; passes <= 7; ++passes) {
        SCOPED_TRACE(passes);
        document.iterations = passes;
        const FigureResult figure = buildFigure(figureRequest(document));
        ASSERT_EQ(figure.pass, passes);
        const auto geometry = std::make_shared<lsGeometry>();
        ASSERT_TRUE(lsBuildGeometry(*figure.rules, *figure.commands.source(), *geometry));
        const double *box = geometry->box;
        const double middle[3] = { (box[lsMinX] + box[lsMaxX]) / 2, (box[lsMinY] + box[lsMaxY]) / 2,
                                   (box[lsMinZ] + box[lsMaxZ]) / 2 };
        for (const double tilt : { 0.0, 35.0, 90.0, 150.0, 230.0 }) {
            FigureView view;
            view.tiltDegrees = tilt;
            for (const auto &[width, height] :
                 { std::pair{ 160, 160 }, { 240, 120 }, { 90, 200 } }) {
                for (int spin = 0; spin < 360; spin += 10) {
                    const FigureCamera camera = FigureCamera::make(box, width, height, spin, view);
                    const auto centre = camera.project(middle[0], middle[1], middle[2]);
                    EXPECT_NEAR(centre.x, width / 2.0, 1e-6) << tilt << ' ' << spin;
                    EXPECT_NEAR(centre.y, height / 2.0, 1e-6) << tilt << ' ' << spin;
                    for (int corner = 0; corner < 8; ++corner) {
                        const auto p = camera.project(box[corner & 1], box[2 + (corner >> 1 & 1)],
                                                      box[4 + (corner >> 2)]);
                        EXPECT_TRUE(p.valid && p.x > 0 && p.x < width && p.y > 0 && p.y < height)
                                << "tilt " << tilt << " spin " << spin << " corner " << corner
                                << " at " << p.x << ',' << p.y << " in " << width << 'x' << height;
                    }
                    if (passes != 3)
                        continue;
                    const std::vector<float> &v = geometry->vertices;
                    for (std::size_t i = 3; i < v.size(); i += 3) {
                        const auto a = camera.project(v[i - 3], v[i - 2], v[i - 1]);
                        const auto b = camera.project(v[i], v[i + 1], v[i + 2]);
                        const double length = std::hypot(v[i] - v[i - 3], v[i + 1] - v[i - 2],
                                                         v[i + 2] - v[i - 1]);
                        EXPECT_LE(std::hypot(b.x - a.x, b.y - a.y),
                                  camera.pixelsPerUnit * length * (1.0 + 1e-9))
                                << "tilt " << tilt << " spin " << spin;
                    }
                }
            }
            if (passes != 3 || (tilt != 0.0 && tilt != 35.0))
                continue;
            auto built = std::make_shared<lsGeometry>();
            const auto source = figure.commands.source();
            ASSERT_TRUE(buildViewGeometry(*figure.rules, *source, size, size, *built, view, box));
            renderer.setGeometry(built);
            for (int spin = 0; spin < 360; spin += 10) {
                renderer.draw(size, size, spin, view);
                const lsImageRep image = captureImageRep(size, size);
                int lit = 0, border = 0;
                for (int y = 0; y < size; ++y) {
                    for (int x = 0; x < size; ++x) {
                        const bool on = image.red[std::size_t(y) * image.stride + x] != 0;
                        lit += on;
                        border += on && (x == 0 || y == 0 || x == size - 1 || y == size - 1);
                    }
                }
                EXPECT_GT(lit, size) << "tilt " << tilt << " spin " << spin;
                EXPECT_EQ(border, 0) << "tilt " << tilt << " spin " << spin;
            }
        }
    }
    renderer.releaseGL();
}

} // namespace
