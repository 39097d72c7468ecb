// lsGLView in a real window (run under an X server, e.g. xvfb-run): hand-overs, the
// geometry cache, spinning, capture in device pixels, TIFF snapshots and printing.
#include "engine/generation.h"
#include "rendertest.h"
#include "view/lsglview.h"

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <thread>

using namespace rendertest;

namespace {

constexpr std::array<std::uint8_t, 3> black{ 0, 0, 0 };

lsString plantString(int passes)
{
    auto set = rules(22.5);
    lsNewRule(*set, 'F', "FF-[-F+F+F]+[+F-F-F]");
    return lsGenerate(*set, "F", passes).string;
}

class GLViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        view.resize(201, 133);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        nextFrame();
    }

    // Waits until the view has drawn a frame after everything requested so far.
    void nextFrame()
    {
        QSignalSpy swapped(&view, &QOpenGLWidget::frameSwapped);
        view.update();
        ASSERT_TRUE(swapped.wait(5000));
    }

    void handOver(double angleDegrees, lsString string)
    {
        QSignalSpy ready(&view, &lsGLView::figureReady);
        view.setRulesAndCommands(rules(angleDegrees), FigurePass(std::move(string)));
        ASSERT_TRUE(ready.wait(20000));
        nextFrame();
    }

    void mouse(QEvent::Type type, QPointF at, Qt::MouseButton changed, Qt::MouseButtons held)
    {
        QMouseEvent event(type, at, view.mapToGlobal(at), changed, held, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    }

    // A press, one move and a release, as a mouse delivers them.
    void drag(Qt::MouseButton button, QPointF from, QPointF to)
    {
        mouse(QEvent::MouseButtonPress, from, button, button);
        mouse(QEvent::MouseMove, to, Qt::NoButton, button);
        mouse(QEvent::MouseButtonRelease, to, button, Qt::NoButton);
        nextFrame();
    }

    void key(Qt::Key k)
    {
        QTest::keyClick(&view, k);
        nextFrame();
    }

    lsGLView view;
};

TEST_F(GLViewTest, EmptyViewShowsTheBackgroundWhileSpinning)
{
    view.setBackgroundColor(QColor(0, 128, 255, 0));
    const double spin = view.spinAngle();
    QTest::qWait(100);
    nextFrame();
    EXPECT_GT(view.spinAngle(), spin);
    // Whole ticks of 0.3 degrees.
    const double ticks = view.spinAngle() / 0.3;
    EXPECT_NEAR(ticks, std::round(ticks), 1e-6);
    const lsImageRep image = view.makeImageRep();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(coverage(image, { 0, 128, 255 }).count, 0);
}

TEST_F(GLViewTest, OnlyFiguresWithDepthDrawByThemselvesAndOnlyWhileShown)
{
    // Frames are drawn on a thread of their own and shown when they arrive: a change
    // shows within a few frames, and then a flat figure draws no more.
    QSignalSpy frames(&view, &QOpenGLWidget::frameSwapped);
    // Frames already asked for may still come, late on a slow machine: until a full second
    // passes without one.
    const auto settle = [&frames] {
        for (int i = 0; i < 10 && frames.wait(1000); ++i) {
        }
        frames.clear();
    };
    handOver(90, lsString("F+F+F"));
    settle();
    QTest::qWait(300);
    EXPECT_EQ(frames.count(), 0);

    handOver(90, lsString("F>F+F"));
    frames.clear();
    QTest::qWait(500);
    EXPECT_GE(frames.count(), 3);

    view.hide();
    settle();
    QTest::qWait(200);
    EXPECT_EQ(frames.count(), 0);
}

TEST_F(GLViewTest, CaptureUsesTheViewportsDevicePixels)
{
    // Under a scale factor of 1.5 the 201 x 133 view covers 301.5 x 199.5 device pixels.
    const qreal ratio = view.devicePixelRatioF();
    const QSize expected(int(201 * ratio), int(133 * ratio));
    EXPECT_EQ(view.pixelSize(), expected);

    view.setColor(Qt::red);
    handOver(90, lsString("F+F+F+F"));
    const lsImageRep image = view.makeImageRep();
    ASSERT_EQ(image.width, expected.width());
    ASSERT_EQ(image.height, expected.height());
    EXPECT_EQ(image.stride, lsImageStride(expected.width()));
    // The square figure sits in the middle of the whole capture: the viewport and the
    // capture agree on the pixel size.
    const Coverage c = coverage(image, { 0, 0, 0 });
    ASSERT_GT(c.count, 0);
    EXPECT_NEAR((c.left + c.right) / 2.0, image.width / 2.0, 2.0);
    EXPECT_NEAR((c.top + c.bottom) / 2.0, image.height / 2.0, 2.0);
    EXPECT_NEAR(c.right - c.left, c.bottom - c.top, 2);
    for (std::uint8_t v : image.green)
        ASSERT_EQ(v, 0);
}

TEST_F(GLViewTest, HandOverReplacesAndFreesThePreviousString)
{
    handOver(90, lsString("F+F"));
    std::weak_ptr<const FigurePass> first = view.heldCommands();
    ASSERT_FALSE(first.expired());
    const lsImageRep before = view.makeImageRep();

    // The same figure again changes nothing visible; the earlier copy is gone.
    handOver(90, lsString("F+F"));
    EXPECT_TRUE(first.expired());
    view.setSpinAngle(view.spinAngle()); // flat figure: the spin does not matter
    nextFrame();
    EXPECT_TRUE(samePixels(before, view.makeImageRep()));

    handOver(90, lsString("F+F+F"));
    EXPECT_EQ(view.shownGeometry()->vertexCount(), 4u);
    EXPECT_EQ(view.heldCommands()->string().view(), "F+F+F");
}

TEST_F(GLViewTest, LargeFiguresBuildOffTheUiThreadAndTheLastHandOverWins)
{
    handOver(90, lsString("F"));
    const auto small = view.shownGeometry();

    QSignalSpy ready(&view, &lsGLView::figureReady);
    std::thread generation([this] {
        view.setRulesAndCommands(rules(22.5), FigurePass(plantString(6))); // 711,000 characters
        view.setRulesAndCommands(rules(22.5), FigurePass(plantString(5)));
        view.setRulesAndCommands(rules(22.5), FigurePass(plantString(6)));
    });
    generation.join();
    // Meanwhile the previous figure stays on screen.
    EXPECT_EQ(view.shownGeometry(), small);
    ASSERT_TRUE(ready.wait(20000));
    while (ready.wait(300)) {
    }
    const auto g = view.shownGeometry();
    ASSERT_NE(g, small);
    // More vertices than the fifth pass has in all (42,131).
    EXPECT_GT(g->vertexCount(), 42131u);
    EXPECT_EQ(view.heldCommands()->length(), plantString(6).size());
}

TEST_F(GLViewTest, AStreamedBuildReportsProgressAndANewerHandOverCancelsIt)
{
    handOver(90, lsString("F"));
    // 2^34 moves, never written out: a minute of walking were it not cancelled.
    std::shared_ptr<lsRuleSet> doubling = rules(90);
    lsNewRule(*doubling, 'F', "FF");
    QSignalSpy progress(&view, &lsGLView::buildProgress);
    view.setRulesAndCommands(rules(90), FigurePass(doubling, "F", 34));
    ASSERT_TRUE(progress.wait(20000));
    EXPECT_EQ(progress.last().at(1).toULongLong(), std::uint64_t(1) << 34);

    QSignalSpy ready(&view, &lsGLView::figureReady);
    view.setRulesAndCommands(rules(90), FigurePass(lsString("F+F")));
    ASSERT_TRUE(ready.wait(10000));
    EXPECT_EQ(ready.count(), 1);
    EXPECT_EQ(view.shownGeometry()->vertexCount(), 3u);
}

TEST_F(GLViewTest, AngleChangeRebuildsTheFigureWithoutRewriting)
{
    handOver(90, lsString("F+F"));
    const auto changeAngle = [this](double degrees) {
        QSignalSpy ready(&view, &lsGLView::figureReady);
        view.setRuleAngle(degrees * degree);
        ASSERT_TRUE(ready.wait(5000));
    };
    // A figure held elsewhere (an export, or a frame being drawn) is left as it is.
    const std::shared_ptr<const lsGeometry> held = view.shownGeometry();
    changeAngle(-90);
    EXPECT_NEAR(view.shownGeometry()->vertices[6], -10.0f, 1e-5); // third vertex
    EXPECT_NEAR(held->vertices[6], 10.0f, 1e-5);
    EXPECT_EQ(view.heldCommands()->string().view(), "F+F");
    const lsImageRep shown = view.makeImageRep();
    handOver(-90, lsString("F+F"));
    EXPECT_TRUE(samePixels(view.makeImageRep(), shown));

    // A hidden view builds too, and shows the figure when it shows again.
    view.hide();
    changeAngle(90);
    changeAngle(-90);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    nextFrame();
    EXPECT_TRUE(samePixels(view.makeImageRep(), shown));
}

TEST_F(GLViewTest, WheelDragArrowsAndHomeExploreAFlatFigure)
{
    handOver(90, lsString("F+F+F+F")); // a square
    const lsImageRep framed = view.makeImageRep();
    const Coverage square = coverage(framed, black);

    // The picture follows a drag, and an arrow shows more of the side it points to.
    // Events come in the widget's coordinates, pictures in device pixels.
    const double ratio = view.devicePixelRatioF();
    const QSize size = view.pixelSize();
    drag(Qt::LeftButton, { 100, 60 }, { 117, 57 });
    key(Qt::Key_Left);
    const Coverage moved = coverage(view.makeImageRep(), black);
    EXPECT_NEAR(moved.left, square.left + 17 * ratio + 0.1 * size.width(), 1);
    EXPECT_NEAR(moved.bottom, square.bottom - 3 * ratio, 1);

    // Three notches of the wheel over the square's first corner: the corner stays under
    // the pointer while the square grows past the picture's edges.
    const auto corner = FigureCamera::make(view.shownGeometry()->box, size.width(), size.height(),
                                           0.0, view.view())
                                .project(0, 0, 0);
    const QPointF at(corner.x / ratio, corner.y / ratio);
    QWheelEvent wheel(at, view.mapToGlobal(at), QPoint(), QPoint(0, 360), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &wheel);
    nextFrame();
    EXPECT_NEAR(view.view().zoom, 1.25 * 1.25 * 1.25, 1e-9);
    const lsImageRep zoomed = view.makeImageRep();
    EXPECT_NE(pixel(zoomed, int(corner.x), int(corner.y)), black);
    const Coverage grown = coverage(zoomed, black);
    EXPECT_EQ(grown.top, 0);
    EXPECT_EQ(grown.right, size.width() - 1);

    // A new angle keeps the view; Home returns to the framed picture; a new figure does too.
    QSignalSpy ready(&view, &lsGLView::figureReady);
    view.setRuleAngle(90 * degree);
    ASSERT_TRUE(ready.wait(5000));
    EXPECT_EQ(view.view().zoom, 1.25 * 1.25 * 1.25);
    key(Qt::Key_Home);
    EXPECT_TRUE(samePixels(view.makeImageRep(), framed));
    view.zoomIn();
    handOver(90, lsString("F+F+F+F"));
    EXPECT_TRUE(view.view().isFramed());
}

TEST_F(GLViewTest, DraggingTurnsAFigureWithDepthAndHoldsItsSpin)
{
    handOver(90, lsString("F>F+F"));
    // Right: about the vertical axis, half a degree a pixel; down: about the horizontal
    // one. The spin holds while the button is down and goes on from there after.
    mouse(QEvent::MouseButtonPress, { 100, 60 }, Qt::RightButton, Qt::RightButton);
    const double held = view.spinAngle();
    QTest::qWait(30);
    EXPECT_EQ(view.spinAngle(), held);
    mouse(QEvent::MouseMove, { 140, 80 }, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(view.spinAngle(), held + 20.0);
    EXPECT_EQ(view.view().tiltDegrees, 10.0);
    mouse(QEvent::MouseButtonRelease, { 140, 80 }, Qt::RightButton, Qt::NoButton);
    QTest::qWait(30);
    EXPECT_GT(view.spinAngle(), held + 20.0);

    // Spin off, the picture holds still; turning changes it, turning back restores it.
    view.setSpinning(false);
    const double spin = view.spinAngle();
    QTest::qWait(30);
    EXPECT_EQ(view.spinAngle(), spin);
    nextFrame();
    const lsImageRep before = view.makeImageRep();
    drag(Qt::RightButton, { 100, 60 }, { 100, 80 });
    EXPECT_FALSE(samePixels(view.makeImageRep(), before));
    drag(Qt::RightButton, { 100, 80 }, { 100, 60 });
    EXPECT_EQ(view.view().tiltDegrees, 10.0);
    EXPECT_TRUE(samePixels(view.makeImageRep(), before));
}

TEST_F(GLViewTest, ColoursConvertToRgb)
{
    view.setColor(QColor::fromHsvF(0.0f, 1.0f, 1.0f, 0.5f));
    const std::array<double, 4> expected{ 1.0, 0.0, 0.0, 0.5 };
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(view.lineColor()[i], expected[i], 1e-4);
    view.setBackgroundColor(QColor::fromCmykF(0.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_EQ(view.backgroundColor(), (std::array<double, 4>{ 0.0, 0.0, 0.0, 1.0 }));
}

TEST_F(GLViewTest, SnapshotWritesTheFrameAsTiff)
{
    view.setBackgroundColor(QColor(10, 20, 30));
    handOver(90, lsString("F+F+F"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("figure.tiff"));
    QString error;
    ASSERT_EQ(view.snapshotToFile(path, &error), 0) << error.toStdString();

    TIFF *tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    ASSERT_NE(tiff, nullptr);
    uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    EXPECT_EQ(int(width), view.pixelSize().width());
    EXPECT_EQ(int(height), view.pixelSize().height());
    std::vector<std::uint8_t> row(TIFFScanlineSize(tiff));
    ASSERT_EQ(TIFFReadScanline(tiff, row.data(), 0, 0), 1);
    EXPECT_EQ(row[0], 10);
    EXPECT_EQ(row[1], 20);
    EXPECT_EQ(row[2], 30);
    TIFFClose(tiff);

    EXPECT_EQ(view.snapshotToFile(dir.filePath(QStringLiteral("no/such/dir.tiff")), &error), -1);
    EXPECT_TRUE(error.contains(QStringLiteral("no/such"))) << error.toStdString();

    lsGLView hidden;
    error.clear();
    EXPECT_EQ(hidden.snapshotToFile(dir.filePath(QStringLiteral("hidden.tiff")), &error), -1);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("hidden.tiff"))));
}

TEST_F(GLViewTest, PrintsToPdfWithoutADialog)
{
    handOver(90, lsString("F+F+F"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("figure.pdf"));
    QString error;
    ASSERT_TRUE(view.printToPdf(path, &error)) << error.toStdString();
    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    EXPECT_GT(pdf.size(), 1000);

    EXPECT_FALSE(view.printToPdf(dir.filePath(QStringLiteral("no/such/figure.pdf")), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(GLViewTest, ResizedViewCapturesItsNewSize)
{
    handOver(90, lsString("F+F+F"));
    view.resize(120, 90);
    const lsImageRep image = view.makeImageRep(); // before any frame of the new size
    EXPECT_EQ(image.width, view.pixelSize().width());
    EXPECT_EQ(image.height, view.pixelSize().height());
    EXPECT_GT(coverage(image, { 0, 0, 0 }).count, 0);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
