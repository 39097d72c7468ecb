// sprig-render's pictures against the document window's capture of the same file.
#include "document/lsdocument.h"
#include "document/model/documentfile.h"
#include "figure/figurelimits.h"
#include "platform/documentcontroller.h"
#include "session/figuresession.h"
#include "tests/waituntil.h"
#include "view/imagerep.h"
#include "view/lsglview.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <map>

using namespace Qt::StringLiterals;

namespace {

using testsupport::waitUntil;

TEST(SprigRenderWindow, PngHasTheWindowsPixels)
{
    QTemporaryDir dir;
    DocumentData data;
    data.axiom = "F";
    data.letters = { "F" };
    data.rules = { "F[+F]F[-F]F" };
    data.angle = 25;
    data.iterations = 3;
    // Components whose 8-bit values lie near a rounding boundary, and translucent lines.
    data.color = DocumentColor::calibratedRgb(0.7f, 0.3f, 0.1f, 0.55f);
    data.bgColor = DocumentColor::calibratedRgb(0.1f, 0.2f, 0.9f, 1.0f);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(writeDocument(data, bytes, nullptr));
    const QString file = dir.filePath(u"plant.lsd"_s);
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    out.close();

    auto *document = qobject_cast<LSDocument *>(
            DocumentController::sharedDocumentController()->openDocumentWithContentsOfFile(file,
                                                                                           true));
    ASSERT_NE(document, nullptr);
    lsGLView *view = document->glView();
    view->setFixedSize(240, 160);
    const auto settled = [&] {
        return waitUntil([&] { return view->shownGeometry() && document->session()->isIdle(); });
    };
    ASSERT_TRUE(settled());

    // Framed, then through a view: the same numbers give the same pixels.
    FigureView zoomed;
    zoomed.zoom = 2.5;
    zoomed.centre = std::array<double, 3>{ -10.0, 200.0, 0.0 };
    const QStringList framedArguments;
    const QStringList zoomedArguments{ u"--zoom"_s, u"2.5"_s, u"--center"_s, u"-10,200,0"_s };
    for (const auto &[shown, arguments] :
         { std::pair(FigureView(), framedArguments), std::pair(zoomed, zoomedArguments) }) {
        view->setView(shown);
        ASSERT_TRUE(settled()); // the figure built again for the view
        const lsImageRep window = view->makeImageRep();
        ASSERT_EQ(window.width, 240);
        ASSERT_EQ(window.height, 160);

        QProcess render;
        render.start(QString::fromUtf8(SPRIG_RENDER),
                     QStringList{ file, u"--size"_s, u"240x160"_s, u"-o"_s,
                                  dir.filePath(u"plant.png"_s) }
                             + arguments);
        ASSERT_TRUE(render.waitForFinished(60000));
        ASSERT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
        const QImage png =
                QImage(dir.filePath(u"plant.png"_s)).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(png.size(), QSize(240, 160));
        int differing = 0;
        for (int y = 0; y < 160; ++y) {
            for (int x = 0; x < 240; ++x) {
                const std::size_t i = std::size_t(y) * window.stride + x;
                const QRgb p = png.pixel(x, y);
                differing += qRed(p) != window.red[i] || qGreen(p) != window.green[i]
                             || qBlue(p) != window.blue[i];
            }
        }
        EXPECT_EQ(differing, 0) << arguments.join(u' ').toStdString();
    }
    document->close();
}

// For every shipped demo and every pass, the window asks the shared pipeline for the
// figure sprig-render makes, and so shows the pass sprig-render reports (the pipeline
// sizes the figure from its exact counts; nothing is drawn, but sprig-render measures the
// box of each pass: a walk over billions of symbols for the largest).
TEST(SprigRenderWindow, AgreeOnThePassShownForEveryDemoAndPass)
{
    const QString demos = QStringLiteral(SPRIG_SOURCE_DIR "/demos");
    constexpr int lastPass = kMaxIterations;
    std::map<QString, std::array<int, lastPass + 1>> reported;
    for (int passes = kMinIterations; passes <= lastPass; ++passes) {
        QProcess render;
        render.start(QString::fromUtf8(SPRIG_RENDER),
                     { u"--info"_s, u"--iterations"_s, QString::number(passes), demos });
        ASSERT_TRUE(render.waitForFinished(600000));
        ASSERT_LE(render.exitCode(), 3) << render.readAllStandardError().toStdString();
        for (const QByteArray &line : render.readAllStandardOutput().split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject info = QJsonDocument::fromJson(line).object();
            reported[info[u"file"_s].toString()][passes] = info[u"iterations"_s].toInt();
        }
    }
    ASSERT_EQ(reported.size(), 28u);
    auto *controller = DocumentController::sharedDocumentController();
    for (const auto &[file, shown] : reported) {
        SCOPED_TRACE(file.toStdString());
        auto *document =
                qobject_cast<LSDocument *>(controller->openDocumentWithContentsOfFile(file, true));
        ASSERT_NE(document, nullptr);
        FigureRequest request = document->figureRequest();
        for (int passes = kMinIterations; passes <= lastPass; ++passes) {
            request.passes = passes;
            EXPECT_EQ(buildFigure(request).pass, shown[passes]) << passes << " passes";
        }
        document->close();
    }
}

} // namespace

int main(int argc, char **argv)
{
    // Each test process keeps its settings (recent files) to itself: ctest runs them in parallel.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QApplication app(argc, argv);
    DocumentController controller;
    controller.setDocumentType(u"L-system document"_s, u"lsd"_s);
    controller.setDocumentFactory([] { return new LSDocument; });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
