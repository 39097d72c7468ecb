#include "cli/sprigrender.h"

#include "cli/commandline.h"
#include "document/model/documentdata.h"
#include "document/model/documentfigure.h"
#include "tests/cli/clitest.h"
#include "tests/filesizelimit.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <vector>

using namespace Qt::StringLiterals;
using namespace sprig;
using namespace clitest;

namespace {

const char kochJson[] = R"({"axiom": "F", "letters": ["F"], "rules": ["F+F-F-F+F"],
    "angle": 90, "iterations": 3, "color": [1, 0, 0, 1], "bgColor": [0, 0, 0, 1]})";
const char plantJson[] = R"({"axiom": "X", "letters": ["X", "F"], "rules": ["F[+X][-X]FX", "FF"],
    "angle": 25.7, "iterations": 4, "color": [0.2, 0.8, 0.3, 0.75], "bgColor": [1, 1, 1, 1]})";
const char bushJson[] = R"({"axiom": "F", "letters": ["F"], "rules": ["F[>F][<F]F[+F]"],
    "angle": 30, "iterations": 3})";

// --info of small systems, worked out by hand (angle 90 unless given, step 10).
struct InfoCase
{
    QStringList arguments;
    qint64 length;
    qint64 vertices;
    qint64 strips;
    std::array<double, 6> box;
    int iterations;
};

// Names the case by its command line in test listings.
void PrintTo(const InfoCase &c, std::ostream *os)
{
    *os << c.arguments.join(u' ').toStdString();
}

class SprigRenderInfo : public ::testing::TestWithParam<InfoCase>
{ };

TEST_P(SprigRenderInfo, CountsAndBox)
{
    const InfoCase &c = GetParam();
    const Result r = sprigRender(QStringList{ u"--info"_s, u"--angle"_s, u"90"_s } + c.arguments);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject info = jsonOf(r.out);
    EXPECT_EQ(info[u"length"_s].toInteger(), c.length);
    EXPECT_EQ(info[u"vertices"_s].toInteger(), c.vertices);
    EXPECT_EQ(info[u"strips"_s].toInteger(), c.strips);
    EXPECT_EQ(info[u"iterations"_s].toInt(), c.iterations);
    const QJsonArray box = info[u"box"_s].toArray();
    ASSERT_EQ(box.size(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(box[i].toDouble(), c.box[i], 1e-9) << "box entry " << i;
}

INSTANTIATE_TEST_SUITE_P(
        HandWorked,
        SprigRenderInfo,
        ::testing::Values(
                InfoCase{ { u"--axiom"_s, u"F+F"_s, u"--iterations"_s, u"1"_s },
                          3,
                          3,
                          1,
                          { 0, 10, 0, 10, 0, 0 },
                          1 },
                InfoCase{ { u"--axiom"_s, u"F[+F]F"_s }, 6, 5, 2, { 0, 10, 0, 20, 0, 0 }, 4 },
                InfoCase{ { u"--axiom"_s, u"[@0.5F]F"_s }, 8, 4, 2, { 0, 0, 0, 10, 0, 0 }, 4 },
                InfoCase{ { u"--axiom"_s, u"F>F"_s }, 3, 3, 1, { 0, 0, 0, 10, 0, 10 }, 4 },
                InfoCase{ { u"--axiom"_s, u"XYZ 12"_s }, 6, 1, 1, { 0, 0, 0, 0, 0, 0 }, 4 },
                InfoCase{ { u"--axiom"_s, u"]F[F"_s }, 4, 3, 1, { 0, 0, 0, 20, 0, 0 }, 4 },
                InfoCase{ { u"--axiom"_s, u"F"_s, u"--rule"_s, u"F=F+F-F-F+F"_s, u"--iterations"_s,
                            u"1"_s },
                          9,
                          6,
                          1,
                          { 0, 10, 0, 30, 0, 0 },
                          1 },
                InfoCase{ { u"--axiom"_s, u"F"_s, u"--rule"_s, u"F=F+F-F-F+F"_s, u"--iterations"_s,
                            u"2"_s },
                          49,
                          26,
                          1,
                          { 0, 40, 0, 90, 0, 0 },
                          2 },
                // The first rule for a letter wins; a letter of several characters rewrites
                // its first; '=' after the first belongs to the text.
                InfoCase{ { u"--axiom"_s, u"F"_s, u"--rule"_s, u"F=F[F]"_s, u"--rule"_s,
                            u"F=FFFF"_s, u"--iterations"_s, u"1"_s },
                          4,
                          4,
                          2,
                          { 0, 0, 0, 20, 0, 0 },
                          1 },
                InfoCase{ { u"--axiom"_s, u"G"_s, u"--rule"_s, u"Gx=F=F"_s, u"--iterations"_s,
                            u"1"_s },
                          3,
                          3,
                          1,
                          { 0, 0, 0, 20, 0, 0 },
                          1 }));

TEST(SprigRenderBox, ReadsBackExactly)
{
    const Result r =
            sprigRender({ u"--info"_s, u"--axiom"_s, u"F"_s, u"--rule"_s, u"F=F+F--F+F>F"_s,
                          u"--angle"_s, u"61.5"_s, u"--iterations"_s, u"3"_s });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    DocumentData document;
    document.axiom = "F";
    document.letters = { "F" };
    document.rules = { "F+F--F+F>F" };
    document.angle = 61.5;
    document.iterations = 3;
    const FigureResult figure = buildFigure(figureRequest(document));
    double box[6];
    lsMeasureString(*figure.rules, figure.commands.string().view(), box);
    const QJsonArray printed = jsonOf(r.out)[u"box"_s].toArray();
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(printed[i].toDouble(), box[i]) << "box entry " << i;
}

TEST(SprigRenderMethod, SaysWhichWayAPassWasMeasuredAndWhyItWasWalked)
{
    const struct
    {
        QStringList arguments;
        const char *method;
        const char *reason;
    } cases[] = {
        { { u"--rule"_s, u"X=XXXX[X]XXXXXXXXXXXXXXXXX"_s, u"--iterations"_s, u"5"_s },
          "units",
          nullptr },
        { { u"--rule"_s, u"X=XX"_s, u"--iterations"_s, u"5"_s },
          "walk",
          "walking a pass this short is quicker" },
        { { u"--rule"_s, u"X=XXXX]XXXXXXXXXXXXXXXXX"_s, u"--iterations"_s, u"5"_s },
          "walk",
          "rule X closes a bracket it did not open" },
    };
    for (const auto &c : cases) {
        const Result r =
                sprigRender(QStringList{ u"--info"_s, u"--axiom"_s, u"X"_s } + c.arguments);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QJsonObject info = jsonOf(r.out);
        EXPECT_EQ(info[u"method"_s].toString().toStdString(), c.method);
        EXPECT_EQ(info.contains(u"reason"_s), c.reason != nullptr);
        if (c.reason) {
            EXPECT_EQ(info[u"reason"_s].toString().toStdString(), c.reason);
        }
    }
}

TEST(SprigRenderBeyond, PassesPastSevenAreDrawnFromUnitsWithExactCounts)
{
    // Pass 16 of the 18-segment island: 4 * 18^16 moves and 8.3e20 symbols, printed whole.
    Result r = sprigRender({ u"--info"_s, u"--axiom"_s, u"F-F-F-F"_s, u"--rule"_s,
                             u"F=F+FF-FF-F-F+F+FF-F-F+F+FF+FF-F"_s, u"--iterations"_s, u"16"_s });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("\"length\":828646212188525482707,"
                               "\"vertices\":485758124386377007105,\"strips\":1,"))
            << r.out.toStdString();
    EXPECT_EQ(jsonOf(r.out)[u"iterations"_s].toInt(), 16);

    // Rules units cannot stand for show the window's last pass, and say why.
    r = sprigRender({ u"--info"_s, u"--axiom"_s, u"F"_s, u"--rule"_s, u"F=FFFFFFFF]"_s,
                      u"--iterations"_s, u"12"_s });
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(jsonOf(r.out)[u"iterations"_s].toInt(), 7);
    EXPECT_TRUE(r.err.contains("passes past 7 need expansion units, and rule F closes a bracket"))
            << r.err.toStdString();
}

TEST(SprigRenderBudget, APassPastTheStringBudgetIsStreamed)
{
    // 20^7 bytes would exceed the 1 GiB string budget.
    Result r = sprigRender({ u"--info"_s, u"--axiom"_s, u"X"_s, u"--rule"_s,
                             u"X="_s + QString(20, u'X'), u"--iterations"_s, u"7"_s });
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    QJsonObject info = jsonOf(r.out);
    EXPECT_EQ(info[u"iterations"_s].toInt(), 7);
    EXPECT_EQ(info[u"length"_s].toInteger(), 1280000000);
    EXPECT_EQ(info[u"vertices"_s].toInteger(), 1);

    // The number after the '@' has 1.28 billion digits, made by rewriting: it is read as the
    // walk goes (0.000...05e1280000000 is 0.5), in memory far below its length.
    QStringList arguments = { u"--info"_s, u"--angle"_s, u"90"_s, u"--axiom"_s,
                              u"F@0.G5e1280000000+F"_s };
    const QString letters = u"GHIJKLM"_s;
    for (qsizetype i = 0; i < letters.size(); ++i)
        arguments << u"--rule"_s
                  << letters[i] + u"="_s
                             + QString(20, i + 1 < letters.size() ? letters[i + 1] : u'0');
    arguments << u"--iterations"_s << u"7"_s;
#ifndef __SANITIZE_ADDRESS__ // which reserves far more address space than it uses
    // Within 1 GB of address space (libraries included), where a copy of the number alone
    // would not fit.
    arguments.prepend(QString::fromUtf8(SPRIG_RENDER));
    arguments = QStringList{ u"-c"_s, u"ulimit -v 1000000 && exec \"$@\""_s, u"sh"_s } + arguments;
    QProcess process;
    process.start(u"sh"_s, arguments);
    ASSERT_TRUE(process.waitForFinished(120000));
    r.status = process.exitCode();
    r.out = process.readAllStandardOutput();
    r.err = process.readAllStandardError();
#else
    r = sprigRender(arguments);
#endif
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    info = jsonOf(r.out);
    EXPECT_EQ(info[u"length"_s].toInteger(), 1280000000 + 18);
    EXPECT_EQ(info[u"vertices"_s].toInteger(), 3);
    EXPECT_EQ(info[u"box"_s].toArray().toVariantList(), (QVariantList{ 0, 5, 0, 10, 0, 0 }))
            << r.out.toStdString();
}

TEST_F(SprigRender, AFigureOfNoFiniteSizeSaysSo)
{
    for (const QString &axiom : { u"F@inf+F"_s, u"F@1e308F"_s }) {
        SCOPED_TRACE(axiom.toStdString());
        Result r = run({ u"--info"_s, u"--axiom"_s, axiom });
        EXPECT_EQ(r.status, 4);
        EXPECT_TRUE(r.err.contains("the figure cannot be drawn")) << r.err.toStdString();
        EXPECT_TRUE(jsonOf(r.out)[u"box"_s].toArray().contains(QJsonValue::Null));
        r = run({ u"--axiom"_s, axiom, u"-o"_s, u"nothing.png"_s, u"--size"_s, u"20"_s });
        EXPECT_EQ(r.status, 4);
        EXPECT_TRUE(r.err.contains("the figure cannot be drawn")) << r.err.toStdString();
        EXPECT_EQ(QImage(path(u"nothing.png"_s)).size(), QSize(20, 20));
    }
}

TEST_F(SprigRender, RedKochOnBlackHasOnlyRedPixelsAndTiffMatchesPng)
{
    writeFile(u"koch.json"_s, kochJson);
    Result r = run({ u"--from-json"_s, u"koch.json"_s, u"-o"_s, u"koch.png"_s, u"--size"_s,
                     u"301x200"_s });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QImage png = QImage(path(u"koch.png"_s)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(png.size(), QSize(301, 200));
    int red = 0;
    for (int y = 0; y < png.height(); ++y) {
        for (int x = 0; x < png.width(); ++x) {
            const QRgb p = png.pixel(x, y);
            ASSERT_EQ(qGreen(p), 0) << x << ',' << y;
            ASSERT_EQ(qBlue(p), 0) << x << ',' << y;
            red += qRed(p) > 0;
        }
    }
    EXPECT_GT(red, 1000);

    r = run({ u"--from-json"_s, u"koch.json"_s, u"-o"_s, u"koch.tiff"_s, u"--size"_s,
              u"301x200"_s });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    TIFF *tiff = TIFFOpen(path(u"koch.tiff"_s).toLocal8Bit().constData(), "r");
    ASSERT_NE(tiff, nullptr);
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    ASSERT_EQ(width, 301u);
    ASSERT_EQ(height, 200u);
    std::vector<std::uint32_t> raster(std::size_t(width) * height);
    ASSERT_TRUE(TIFFReadRGBAImageOriented(tiff, width, height, raster.data(), ORIENTATION_TOPLEFT));
    TIFFClose(tiff);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 301; ++x)
            ASSERT_EQ(TIFFGetR(raster[y * 301 + x]), std::uint32_t(qRed(png.pixel(x, y))))
                    << x << ',' << y;
}

TEST_F(SprigRender, SpinAndTiltTurnOnlyFiguresWithDepth)
{
    writeFile(u"koch.json"_s, kochJson);
    writeFile(u"bush.json"_s, bushJson);
    const QList<QStringList> turns{ { u"--spin"_s, u"0"_s },
                                    { u"--spin"_s, u"90"_s },
                                    { u"--tilt"_s, u"30"_s } };
    for (const QString &name : { u"koch"_s, u"bush"_s }) {
        for (const QStringList &turn : turns) {
            const Result r =
                    run(QStringList{ u"--from-json"_s, name + u".json"_s, u"--size"_s, u"120x100"_s,
                                     u"-o"_s, name + turn.join(QString()) + u".png"_s }
                        + turn);
            ASSERT_EQ(r.status, 0) << r.err.toStdString();
        }
    }
    const auto picture = [this](const QString &name) {
        return QImage(path(name + u".png"_s));
    };
    EXPECT_EQ(picture(u"koch--spin0"_s), picture(u"koch--spin90"_s));
    EXPECT_EQ(picture(u"koch--spin0"_s), picture(u"koch--tilt30"_s));
    EXPECT_NE(picture(u"bush--spin0"_s), picture(u"bush--spin90"_s));
    EXPECT_NE(picture(u"bush--spin0"_s), picture(u"bush--tilt30"_s));
}

TEST_F(SprigRender, SvgHasAPolylinePerStrip)
{
    writeFile(u"plant.json"_s, plantJson);
    Result r = run({ u"--from-json"_s, u"plant.json"_s, u"--info"_s });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const qint64 strips = jsonOf(r.out)[u"strips"_s].toInteger();
    EXPECT_GT(strips, 10);
    r = run({ u"--from-json"_s, u"plant.json"_s, u"-o"_s, u"plant.svg"_s, u"--size"_s,
              u"500x300"_s });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();

    QFile file(path(u"plant.svg"_s));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    qint64 polylines = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"svg") {
            EXPECT_EQ(xml.attributes().value(QLatin1StringView("width")), u"500");
            EXPECT_EQ(xml.attributes().value(QLatin1StringView("height")), u"300");
        } else if (xml.name() == u"g") {
            EXPECT_EQ(xml.attributes().value(QLatin1StringView("stroke")), u"#33cc4d");
            EXPECT_EQ(xml.attributes().value(QLatin1StringView("stroke-opacity")), u"0.75");
        }
        polylines += xml.name() == u"polyline";
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    // Strips of a single point (a ']' right after another) draw nothing and are left out.
    EXPECT_GT(polylines, strips / 2);
    EXPECT_LE(polylines, strips);
}

TEST_F(SprigRender, DumpAndFromJsonRoundTrip)
{
    makeDocument(u"plant"_s, plantJson);
    Result first = run({ u"--dump"_s, u"plant.lsd"_s });
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    QJsonObject expected = jsonOf(plantJson);
    expected[u"angle"_s] = 25; // documents keep whole degrees
    EXPECT_EQ(jsonOf(first.out), expected);

    writeFile(u"dumped.json"_s, first.out);
    const Result write = run({ u"--from-json"_s, u"dumped.json"_s, u"-o"_s, u"again.lsd"_s });
    ASSERT_EQ(write.status, 0) << write.err.toStdString();
    const Result second = run({ u"--dump"_s, u"again.lsd"_s });
    EXPECT_EQ(second.out, first.out);
    EXPECT_EQ(readFile(u"again.lsd"_s), readFile(u"plant.lsd"_s));

    // A document too large to open again is not written: the old file stays.
    writeFile(u"huge.json"_s, "{\"axiom\": \"" + QByteArray(17 << 20, 'F') + "\"}");
    const Result huge = run({ u"--from-json"_s, u"huge.json"_s, u"-o"_s, u"again.lsd"_s });
    EXPECT_EQ(huge.status, 1);
    EXPECT_TRUE(huge.err.contains("again.lsd: it would take 17826102 bytes, more than the "
                                  "16777216 (16 MiB) a document may take"))
            << huge.err.toStdString();
    EXPECT_EQ(readFile(u"again.lsd"_s), readFile(u"plant.lsd"_s));
}

// On a disk that takes no more, every output fails with the system's reason and the old file
// keeps its bytes. A file size limit, which the child process inherits, fails writes as a full
// disk does.
TEST_F(SprigRender, FailedWritesKeepTheOldFileAndSayWhy)
{
    const QStringList outputs = { u"o.lsd"_s, u"o.png"_s, u"o.svg"_s, u"o.tiff"_s,
                                  u"o.gif"_s, u"o.obj"_s, u"o.ply"_s };
    for (const QString &output : outputs)
        writeFile(output, "old content");
    std::vector<Result> results;
    {
        const FileSizeLimit full(64);
        for (const QString &output : outputs)
            results.push_back(run({ u"--axiom"_s, u"F+F"_s, u"-o"_s, output }));
    }
    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE(outputs[i].toStdString());
        EXPECT_EQ(results[i].status, 1);
        EXPECT_TRUE(results[i].err.contains("File too large")) << results[i].err.toStdString();
        EXPECT_EQ(readFile(outputs[i]), "old content");
    }
    EXPECT_EQ(QDir(mDir.path()).entryList(QDir::Files | QDir::Hidden).size(), outputs.size());
}

// Names that are not UTF-8 reach their files, from the command line to the output.
TEST_F(SprigRender, FileNamesThatAreNotUtf8)
{
    makeDocument(u"koch"_s, kochJson);
    const std::string dir = QFile::encodeName(mDir.path()).toStdString();
    const std::string input = dir + "/caf\xe9.lsd";
    const std::string output = dir + "/caf\xe9 \xff.svg";
    // QTemporaryDir cannot remove names it cannot decode: these go by their bytes.
    const auto removeByBytes = qScopeGuard([&] {
        std::filesystem::remove(input);
        std::filesystem::remove(output);
    });
    ASSERT_EQ(std::rename((dir + "/koch.lsd").c_str(), input.c_str()), 0);
    std::string program = "sprig-render", dump = "--dump", o = "-o";
    std::vector<char *> argv = { program.data(), dump.data(), const_cast<char *>(input.c_str()) };
    std::ostringstream out, err;
    ParseResult parsed = parseCommandLine(commandLineArguments(int(argv.size()), argv.data()));
    ASSERT_EQ(parsed.status, ParseResult::Ok) << parsed.text.toStdString();
    EXPECT_EQ(runSprigRender(parsed.options, out, err, false), 0) << err.str();
    EXPECT_NE(out.str().find("F+F-F-F+F"), std::string::npos) << out.str();

    argv = { program.data(), const_cast<char *>(input.c_str()), o.data(),
             const_cast<char *>(output.c_str()) };
    parsed = parseCommandLine(commandLineArguments(int(argv.size()), argv.data()));
    ASSERT_EQ(parsed.status, ParseResult::Ok) << parsed.text.toStdString();
    EXPECT_EQ(runSprigRender(parsed.options, out, err, false), 0) << err.str();
    EXPECT_TRUE(std::filesystem::is_regular_file(output));
}

TEST_F(SprigRender, InlineDocumentsClampLikeTheWindow)
{
    const struct
    {
        QStringList arguments;
        const char *key;
        double value;
    } cases[] = {
        { { u"--iterations"_s, u"99"_s }, "iterations", 7 },
        { { u"--iterations"_s, u"0"_s }, "iterations", 1 },
        { { u"--iterations"_s, u"-5"_s }, "iterations", 1 },
        { { u"--angle"_s, u"22.5"_s }, "angle", 22.5 },
        { { u"--angle"_s, u"400"_s }, "angle", 360 },
        { { u"--angle=-10"_s }, "angle", 0 },
    };
    for (const auto &c : cases) {
        const Result r = run(QStringList{ u"--dump"_s, u"--axiom"_s, u"F"_s } + c.arguments);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(jsonOf(r.out)[QString::fromUtf8(c.key)].toDouble(), c.value)
                << c.arguments.join(u' ').toStdString();
    }
    const Result saved =
            run({ u"--axiom"_s, u"F"_s, u"--angle"_s, u"22.5"_s, u"-o"_s, u"frac.lsd"_s });
    EXPECT_EQ(saved.status, 0);
    EXPECT_TRUE(saved.err.contains("saved as 22")) << saved.err.toStdString();
}

TEST_F(SprigRender, DocumentWithoutAxiomShowsTheBackgroundOnly)
{
    writeFile(u"empty.json"_s, R"({"letters": ["F"], "rules": ["FF"], "bgColor": [0, 0, 1, 1]})");
    Result r = run({ u"--from-json"_s, u"empty.json"_s, u"--info"_s });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject info = jsonOf(r.out);
    EXPECT_EQ(info[u"vertices"_s].toInteger(), 0);
    EXPECT_EQ(info[u"iterations"_s].toInt(), 0);
    r = run({ u"--from-json"_s, u"empty.json"_s, u"--size"_s, u"16x8"_s, u"-o"_s, u"empty.png"_s });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QImage blue(16, 8, QImage::Format_RGB32);
    blue.fill(qRgb(0, 0, 255));
    EXPECT_EQ(QImage(path(u"empty.png"_s)).convertToFormat(QImage::Format_RGB32), blue);
}

TEST_F(SprigRender, GalleryWritesOneFilePerDocument)
{
    makeDocument(u"koch"_s, kochJson);
    makeDocument(u"plant"_s, plantJson);
    ASSERT_TRUE(QDir(mDir.path()).mkpath(u"in/sub"_s));
    ASSERT_TRUE(QFile::copy(path(u"koch.lsd"_s), path(u"in/koch.lsd"_s)));
    ASSERT_TRUE(QFile::copy(path(u"plant.lsd"_s), path(u"in/sub/plant.lsd"_s)));

    Result r =
            run({ u"in"_s, u"-o"_s, u"out/"_s, u"--format"_s, u"svg"_s, u"--size"_s, u"64x64"_s });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(path(u"out/koch.svg"_s)));
    EXPECT_TRUE(QFile::exists(path(u"out/sub/plant.svg"_s)));

    // One unreadable input does not stop the others, and the status says so.
    r = run({ u"koch.lsd"_s, u"missing.lsd"_s, u"plant.lsd"_s, u"-o"_s, u"mixed/"_s, u"--size"_s,
              u"64x64"_s });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("missing.lsd")) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(path(u"mixed/koch.png"_s)));
    EXPECT_TRUE(QFile::exists(path(u"mixed/plant.png"_s)));

    r = run({ u"koch.lsd"_s, u"in/koch.lsd"_s, u"-o"_s, u"clash/"_s });
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("would both write")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(path(u"clash"_s)));

    r = run({ u"--info"_s, u"koch.lsd"_s, u"plant.lsd"_s });
    ASSERT_EQ(r.status, 0);
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(jsonOf(lines[1])[u"file"_s].toString(), u"plant.lsd");
}

struct ErrorCase
{
    QStringList arguments;
    int status;
    const char *message;
};

void PrintTo(const ErrorCase &c, std::ostream *os)
{
    *os << c.arguments.join(u' ').toStdString();
}

class SprigRenderErrors : public SprigRender, public ::testing::WithParamInterface<ErrorCase>
{ };

TEST_P(SprigRenderErrors, ExitStatusMessageAndNoOutput)
{
    writeFile(u"garbage.lsd"_s, "this is not a document");
    writeFile(u"bad.json"_s, "{\"axiom\": ");
    writeFile(u"file"_s, "");
    writeFile(u"kept.png"_s, "old content");
    // Read or written, a FIFO would block: it is refused at once.
    ASSERT_EQ(mkfifo(QFile::encodeName(path(u"pipe.lsd"_s)).constData(), 0600), 0);
    const Result r = run(GetParam().arguments);
    EXPECT_EQ(r.status, GetParam().status) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(GetParam().message)) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    const QStringList left =
            QDir(mDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    EXPECT_EQ(left, QStringList({ u"bad.json"_s, u"file"_s, u"garbage.lsd"_s, u"kept.png"_s,
                                  u"pipe.lsd"_s }));
    EXPECT_EQ(readFile(u"kept.png"_s), "old content");
}

INSTANTIATE_TEST_SUITE_P(
        Cases,
        SprigRenderErrors,
        ::testing::Values(
                ErrorCase{ {}, 2, "no input" },
                ErrorCase{ { u"--frobnicate"_s }, 2, "frobnicate" },
                ErrorCase{ { u"--axiom"_s, u"F"_s }, 2, "no output" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--size"_s, u"0x5"_s, u"-o"_s, u"o.png"_s },
                           2,
                           "--size \"0x5\"" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--size"_s, u"12x"_s, u"-o"_s, u"o.png"_s },
                           2,
                           "--size \"12x\"" },
                ErrorCase{
                        { u"--axiom"_s, u"F"_s, u"--iterations"_s, u"abc"_s, u"-o"_s, u"o.png"_s },
                        2,
                        "\"abc\"" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--angle"_s, u"nan"_s, u"-o"_s, u"o.png"_s },
                           2,
                           "--angle" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--spin"_s, u"x"_s, u"-o"_s, u"o.png"_s },
                           2,
                           "--spin" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--zoom"_s, u"0"_s, u"-o"_s, u"o.png"_s },
                           2,
                           "--zoom \"0\"" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--center"_s, u"1,2"_s, u"-o"_s, u"o.png"_s },
                           2,
                           "--center \"1,2\"" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--tilt"_s, u"inf"_s, u"-o"_s, u"o.png"_s },
                           2,
                           "--tilt" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--rule"_s, u"G"_s, u"-o"_s, u"o.png"_s },
                           2,
                           "no '='" },
                ErrorCase{ { u"--rule"_s, u"F=FF"_s, u"-o"_s, u"o.png"_s }, 2, "needs --axiom" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"-o"_s, u"o.bmp"_s }, 2, "extension" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--format"_s, u"bmp"_s, u"-o"_s, u"o"_s },
                           2,
                           "--format \"bmp\"" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--size"_s, u"100000"_s, u"-o"_s, u"o.gif"_s },
                           2,
                           "--size \"100000\"" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--frames"_s, u"0"_s, u"-o"_s, u"o.gif"_s },
                           2,
                           "--frames \"0\"" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--delay"_s, u"5"_s, u"-o"_s, u"o.gif"_s },
                           2,
                           "--delay \"5\"" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--animate"_s, u"spin"_s, u"-o"_s, u"o.gif"_s },
                           2,
                           "--animate \"spin\"" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--animate"_s, u"turn"_s, u"-o"_s, u"o.png"_s },
                           2,
                           "give -o FILE.gif" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--animate"_s, u"growth"_s, u"--frames"_s,
                             u"9"_s, u"-o"_s, u"o.gif"_s },
                           2,
                           "a frame per pass" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--tube"_s, u"0"_s, u"-o"_s, u"o.obj"_s },
                           2,
                           "--tube \"0\"" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"--size"_s, u"64"_s, u"-o"_s, u"o.ply"_s },
                           2,
                           "--size does not apply to a model" },
                ErrorCase{ { u"--axiom"_s, u"@999999999F"_s.repeated(40), u"-o"_s, u"o.obj"_s },
                           1,
                           "grow past what a number holds" },
                ErrorCase{ { u"--from-json"_s, u"bad.json"_s, u"-o"_s, u"o.gif"_s },
                           1,
                           "bad.json: not valid JSON" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"-o"_s, u"."_s }, 2, "\".\" is a folder" },
                ErrorCase{ { u"a.lsd"_s, u"b.lsd"_s, u"-o"_s, u"o.png"_s }, 2, "-o DIR/" },
                ErrorCase{ { u"a.lsd"_s, u"--axiom"_s, u"F"_s, u"-o"_s, u"o.png"_s },
                           2,
                           "not several" },
                ErrorCase{ { u"--info"_s, u"--dump"_s, u"--axiom"_s, u"F"_s }, 2, "combined" },
                ErrorCase{ { u"--info"_s, u"--axiom"_s, u"F"_s, u"-o"_s, u"o.png"_s },
                           2,
                           "standard output" },
                ErrorCase{ { u"missing.lsd"_s, u"-o"_s, u"kept.png"_s }, 1, "missing.lsd" },
                ErrorCase{ { u"garbage.lsd"_s, u"-o"_s, u"kept.png"_s }, 1, "garbage.lsd" },
                ErrorCase{ { u"no/missing.lsd"_s, u"-o"_s, u"kept.png"_s }, 1, "no/missing.lsd" },
                ErrorCase{ { u"--dump"_s, u"garbage.lsd"_s }, 1, "garbage.lsd" },
                ErrorCase{ { u"--dump"_s, u"pipe.lsd"_s }, 1, "a FIFO, not a regular file" },
                ErrorCase{ { u"--from-json"_s, u"pipe.lsd"_s, u"--info"_s },
                           1,
                           "pipe.lsd: it is a FIFO, not a regular file" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"-o"_s, u"pipe.lsd"_s },
                           1,
                           "pipe.lsd: it is a FIFO, not a regular file" },
                ErrorCase{ { u"--from-json"_s, u"bad.json"_s, u"-o"_s, u"o.lsd"_s },
                           1,
                           "bad.json: not valid JSON" },
                ErrorCase{ { u"--from-json"_s, u"none.json"_s, u"-o"_s, u"o.lsd"_s },
                           1,
                           "none.json" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"-o"_s, u"file/o.png"_s }, 1, "file" },
                ErrorCase{ { u"--axiom"_s, u"F"_s, u"-o"_s, u"file/o.svg"_s }, 1, "file" }));

// File managers run the installed thumbnailer entry's command with its field codes filled in.
TEST_F(SprigRender, ThumbnailerEntryMakesASquarePreview)
{
    QFile entry(QStringLiteral(SPRIG_SOURCE_DIR) + u"/resources/sprig.thumbnailer"_s);
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    QString exec;
    for (const QString &line : QString::fromUtf8(entry.readAll()).split(u'\n')) {
        if (line.startsWith(u"Exec="_s))
            exec = line.mid(5);
    }
    QStringList command = exec.split(u' ', Qt::SkipEmptyParts);
    ASSERT_EQ(command.value(0), u"sprig-render"_s);
    command.removeFirst();
    const QString demo = QStringLiteral(SPRIG_SOURCE_DIR) + u"/demos/Curves/Koch Snowflake.lsd"_s;
    for (QString &argument : command) {
        argument.replace(u"%s"_s, u"128"_s);
        argument.replace(u"%i"_s, demo);
        argument.replace(u"%o"_s, path(u"preview"_s)); // desktops choose names of their own
    }
    const Result r = run(command);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QImage preview(path(u"preview"_s), "png");
    ASSERT_EQ(preview.size(), QSize(128, 128));
    int drawn = 0; // pixels other than the background of the corner
    for (int y = 0; y < preview.height(); ++y) {
        for (int x = 0; x < preview.width(); ++x)
            drawn += preview.pixel(x, y) != preview.pixel(0, 0);
    }
    EXPECT_GT(drawn, 100);
}

TEST(SprigRenderHelp, HelpAndVersion)
{
    Result r = sprigRender({ u"--help"_s });
    EXPECT_EQ(r.status, 0);
    for (const char *option : { "--from-json", "--axiom", "--rule", "--size", "--spin", "--info",
                                "--dump", "Exit status" })
        EXPECT_TRUE(r.out.contains(option)) << option;
    r = sprigRender({ u"--version"_s });
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith("sprig-render ")) << r.out.toStdString();
}

} // namespace
