#include "view/export/figureexport.h"

#include "engine/interpreter.h"
#include "engine/ruleset.h"
#include "view/imagerep.h"
#include "view/pngwriter.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

using Rgba = std::array<double, 4>;

struct Polyline
{
    std::vector<std::pair<double, double>> points;
};

struct SvgContent
{
    double width = 0;
    double height = 0;
    QString background;
    QString stroke;
    double strokeOpacity = -1;
    std::vector<Polyline> polylines;
};

// Parses the SVG as XML; fails the test on malformed XML.
SvgContent parseSvg(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    SvgContent svg;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto attributes = xml.attributes();
        if (xml.name() == u"svg") {
            svg.width = attributes.value(QLatin1StringView("width")).toDouble();
            svg.height = attributes.value(QLatin1StringView("height")).toDouble();
        } else if (xml.name() == u"rect") {
            svg.background = attributes.value(QLatin1StringView("fill")).toString();
        } else if (xml.name() == u"g") {
            svg.stroke = attributes.value(QLatin1StringView("stroke")).toString();
            svg.strokeOpacity = attributes.value(QLatin1StringView("stroke-opacity")).toDouble();
        } else if (xml.name() == u"polyline") {
            Polyline line;
            const auto pairs =
                    attributes.value(QLatin1StringView("points")).split(u' ', Qt::SkipEmptyParts);
            for (const auto &pair : pairs) {
                const auto xy = pair.split(u',');
                EXPECT_EQ(xy.size(), 2);
                line.points.emplace_back(xy[0].toDouble(), xy[1].toDouble());
            }
            svg.polylines.push_back(line);
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return svg;
}

lsGeometry geometryOf(const char *commands, double angle = 1.5707963267948966)
{
    auto rules = lsNewRuleSet();
    rules->angle = angle;
    lsGeometry geometry;
    EXPECT_TRUE(lsBuildGeometry(*rules, commands, geometry));
    return geometry;
}

class ExportTest : public ::testing::Test
{
protected:
    std::string path(const char *name) const
    {
        return mDir.filePath(QString::fromUtf8(name)).toStdString();
    }
    QTemporaryDir mDir;
};

TEST_F(ExportTest, SvgHasOnePolylinePerStripWithTheColours)
{
    const lsGeometry geometry = geometryOf("F[+F]F[-F[+F]]F");
    ASSERT_EQ(geometry.stripFirst.size(), 4u);
    std::string error;
    ASSERT_TRUE(writeSvg(geometry, { 1.0, 0.0, 0.0, 0.5 }, Rgba{ 0.0, 0.0, 1.0, 0.0 }, 640, 480,
                         0.0, {}, path("f.svg"), &error))
            << error;
    const SvgContent svg = parseSvg(QString::fromStdString(path("f.svg")));
    EXPECT_EQ(svg.width, 640);
    EXPECT_EQ(svg.height, 480);
    EXPECT_EQ(svg.background, u"#0000ff");
    EXPECT_EQ(svg.stroke, u"#ff0000");
    EXPECT_DOUBLE_EQ(svg.strokeOpacity, 0.5);
    ASSERT_EQ(svg.polylines.size(), geometry.stripFirst.size());
    for (std::size_t i = 0; i < svg.polylines.size(); ++i)
        EXPECT_EQ(svg.polylines[i].points.size(), std::size_t(geometry.stripCount[i]));

    // A transparent background is no background at all.
    ASSERT_TRUE(writeSvg(geometry, { 1, 0, 0, 1 }, std::nullopt, 640, 480, 0.0, {}, path("t.svg"),
                         &error))
            << error;
    EXPECT_TRUE(parseSvg(QString::fromStdString(path("t.svg"))).background.isEmpty());
}

TEST_F(ExportTest, FlatFigureKeepsItsShapeInsideThePicture)
{
    // A 10 x 20 rectangle: axis-parallel sides stay axis-parallel, the proportions stay,
    // and the figure is centred in the picture.
    const lsGeometry geometry = geometryOf("FF+F+FF+F");
    std::string error;
    ASSERT_TRUE(writeSvg(geometry, { 1, 1, 1, 1 }, Rgba{ 0, 0, 0, 1 }, 400, 400, 123.0, {},
                         path("r.svg"), &error));
    const SvgContent svg = parseSvg(QString::fromStdString(path("r.svg")));
    ASSERT_EQ(svg.polylines.size(), 1u);
    const auto &p = svg.polylines[0].points;
    ASSERT_EQ(p.size(), 7u);
    EXPECT_EQ(p[0].first, p[1].first); // up the left side
    EXPECT_EQ(p[1].first, p[2].first);
    EXPECT_EQ(p[2].second, p[3].second);
    EXPECT_EQ(p[3].first, p[4].first);
    EXPECT_EQ(p[4].first, p[5].first);
    EXPECT_EQ(p[5].second, p[6].second);
    EXPECT_EQ(p[6], p[0]);
    const double w = p[3].first - p[2].first;
    const double h = p[0].second - p[2].second; // y grows downwards
    EXPECT_NEAR(h / w, 2.0, 1e-3);
    EXPECT_NEAR((p[0].first + p[3].first) / 2, 200.0, 1e-3);
    EXPECT_NEAR((p[0].second + p[2].second) / 2, 200.0, 1e-3);
    for (const auto &[x, y] : p) {
        EXPECT_GT(x, 0.0);
        EXPECT_LT(x, 400.0);
        EXPECT_GT(y, 0.0);
        EXPECT_LT(y, 400.0);
    }
}

// Writes a PNG of `channels` samples a pixel whose row y `row` fills in.
template<typename Row>
bool writePng(const std::string &path,
              int width,
              int height,
              int channels,
              Row row,
              std::string *error)
{
    std::vector<std::uint8_t> pixels(std::size_t(width) * std::size_t(channels));
    PngWriter writer;
    if (!writer.open(path, width, height, channels, error))
        return false;
    for (int y = 0; y < height; ++y) {
        row(y, pixels.data());
        if (!writer.writeRow(pixels.data(), error))
            return false;
    }
    return writer.commit(error);
}

TEST_F(ExportTest, PngHoldsThePixelsOfEachPlane)
{
    lsImageRep image;
    image.width = 5; // stride 8: the padding must not leak into the picture
    image.height = 3;
    image.stride = 8;
    image.red.assign(24, 0xEE);
    image.green.assign(24, 0xEE);
    image.blue.assign(24, 0xEE);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            image.red[y * 8 + x] = std::uint8_t(10 * x);
            image.green[y * 8 + x] = std::uint8_t(100 + y);
            image.blue[y * 8 + x] = std::uint8_t(x == y ? 255 : 0);
        }
    }
    std::string error;
    ASSERT_TRUE(writePng(
            path("p.png"), 5, 3, 3, [&](int y, std::uint8_t *rgb) { interleaveRow(image, y, rgb); },
            &error))
            << error;
    const QImage read(QString::fromStdString(path("p.png")));
    ASSERT_EQ(read.size(), QSize(5, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(read.pixel(x, y), qRgb(10 * x, 100 + y, x == y ? 255 : 0)) << x << ',' << y;
}

TEST_F(ExportTest, TransparentPngTakesCoverageFromBlackAndWhite)
{
    // Pixels of a line of colour (255, 0, 128): uncovered, covered, half covered.
    const std::uint8_t onBlack[] = { 0, 0, 0, 255, 0, 128, 128, 0, 64 };
    const std::uint8_t onWhite[] = { 255, 255, 255, 255, 0, 128, 255, 127, 191 };
    std::string error;
    ASSERT_TRUE(writePng(
            path("t.png"), 3, 1, 4,
            [&](int, std::uint8_t *rgba) { transparentRow(onBlack, onWhite, 3, rgba); }, &error))
            << error;
    const QImage read(QString::fromStdString(path("t.png")));
    ASSERT_TRUE(read.hasAlphaChannel());
    EXPECT_EQ(qAlpha(read.pixel(0, 0)), 0);
    EXPECT_EQ(read.pixel(1, 0), qRgba(255, 0, 128, 255));
    EXPECT_EQ(read.pixel(2, 0), qRgba(255, 0, 128, 128));
}

TEST_F(ExportTest, FailedWritesSayWhyAndLeaveNothing)
{
    QFile blocker(mDir.filePath(u"file"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const std::string inside = path("file") + "/x";
    std::string error;
    EXPECT_FALSE(writePng(
            inside + ".png", 1, 1, 3, [](int, std::uint8_t *) {}, &error));
    EXPECT_NE(error.find(inside + ".png"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(writeSvg(geometryOf("F"), { 1, 1, 1, 1 }, Rgba{ 0, 0, 0, 1 }, 10, 10, 0, {},
                          inside + ".svg", &error));
    EXPECT_NE(error.find(inside + ".svg"), std::string::npos) << error;
    EXPECT_EQ(QDir(mDir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 1);
}

} // namespace
