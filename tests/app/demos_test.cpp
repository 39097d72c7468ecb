// The shipped demo library: every document reads, matches its JSON source, generates the
// published string and draws a figure.
#include "cli/documentjson.h"
#include "document/model/documentfigure.h"
#include "document/model/documentfile.h"
#include "view/figurerenderer.h"
#include "view/imagerep.h"
#include "view/offscreencontext.h"

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
        ASSERT_TRUE(lsBuildGeometry(*figure.rules, figure.commands.string().view(), *geometry));
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

} // namespace
