// lsGLView in a real window (run under an X server, e.g. xvfb-run): drawing what it is shown,
// spinning, exploring with the mouse and keys, capture in device pixels and printing.
#include "figure/figurepass.h"
#include "rendertest.h"
#include "tests/waituntil.h"
#include "view/lsglview.h"
#include "view/motiongeometry.h"
#include "view/viewgeometry.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <cmath>

using namespace rendertest;
using testsupport::waitUntil;

namespace {

constexpr std::array<std::uint8_t, 3> black{ 0, 0, 0 };

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
        QSignalSpy swapped(&view, &lsGLView::painted);
        view.update();
        ASSERT_TRUE(swapped.wait(5000));
    }

    // Shows the figure of the commands as its owner builds it for the view.
    void show(double angleDegrees, const char *commands)
    {
        const QSize size = view.pixelSize();
        view.showGeometry(buildPassGeometry(FigurePass(lsString(commands)), angleDegrees,
                                            size.width(), size.height(), view.view(), nullptr,
                                            nullptr, {}));
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
    ASSERT_TRUE(waitUntil([&] { return view.spinAngle() > spin; }));
    // Whole ticks of 0.3 degrees.
    const double ticks = view.spinAngle() / 0.3;
    EXPECT_NEAR(ticks, std::round(ticks), 1e-6);
    nextFrame();
    const lsImageRep image = view.makeImageRep();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(coverage(image, { 0, 128, 255 }).count, 0);
}

TEST_F(GLViewTest, OnlyFiguresWithDepthDrawByThemselvesAndOnlyWhileShown)
{
    // Frames are drawn on a thread of their own and shown when they arrive: once a flat
    // figure's frame has arrived, nothing is left that would draw another.
    show(90, "F+F+F");
    EXPECT_TRUE(waitUntil([&] { return !view.isAnimating(); }));

    show(90, "F>F+F");
    QSignalSpy frames(&view, &lsGLView::painted);
    EXPECT_TRUE(waitUntil([&] { return frames.count() >= 3; }, 5000));
    EXPECT_TRUE(view.isAnimating());

    view.hide();
    EXPECT_TRUE(waitUntil([&] { return !view.isAnimating(); }));
}

// A still figure draws nothing more, whatever else in its window paints: the window has no
// GL surface to compose again for a cursor blinking in a text field.
TEST(GLViewWindow, BlinksAndStillFiguresDrawNoFrames)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *field = new QLineEdit;
    auto *view = new lsGLView;
    layout->addWidget(field);
    layout->addWidget(view);
    window.resize(240, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    field->setFocus();
    const int flash = QApplication::cursorFlashTime();
    QApplication::setCursorFlashTime(20); // a blink every 10 ms
    view->setSpinning(false);
    for (const char *commands : { "F+F+F", "F>F+F" }) {
        const QSize size = view->pixelSize();
        view->showGeometry(buildPassGeometry(FigurePass(lsString(commands)), 90, size.width(),
                                             size.height(), view->view(), nullptr, nullptr, {}));
        ASSERT_TRUE(waitUntil([&] {
            return !view->isAnimating() && view->latestFrame()
                   && view->latestFrame()->request.geometry == view->shownGeometry();
        }));
        const std::uint64_t frame = view->latestFrame()->number;
        QSignalSpy painted(view, &lsGLView::painted);
        QTest::qWait(300);
        EXPECT_TRUE(field->hasFocus());
        EXPECT_EQ(painted.count(), 0) << commands;
        EXPECT_EQ(view->latestFrame()->number, frame) << commands;
    }
    QApplication::setCursorFlashTime(flash);
    EXPECT_EQ(window.windowHandle()->surfaceType(), QSurface::RasterSurface);
}

// A figure too large to draw many times a second is drawn from its stand-in while it spins
// or the user moves it, and sharp once it rests; a capture is always sharp.
TEST_F(GLViewTest, ALargeFigureMovesCoarseAndRestsSharp)
{
    auto large = std::make_shared<lsGeometry>();
    large->stripFirst.push_back(0);
    for (int i = 0; i <= int(motionVertexBudget); ++i)
        large->vertices.insert(large->vertices.end(), { float(i % 2), float(i) * 1e-4f, 0.0f });
    large->stripCount.push_back(std::int32_t(large->vertexCount()));
    const double box[6] = { 0, 1, 0, double(motionVertexBudget) * 1e-4, 0, 1 };
    std::copy(box, box + 6, large->box);
    view.showGeometry(large);
    const auto frame = [&](bool coarse) {
        return waitUntil([&] {
            const auto latest = view.latestFrame();
            return latest && latest->request.geometry == large && latest->coarse == coarse;
        });
    };
    EXPECT_TRUE(frame(true));
    EXPECT_FALSE(view.makeImageRep().isNull());
    EXPECT_FALSE(view.latestFrame()->coarse);
    view.setSpinning(false);
    EXPECT_TRUE(frame(false));
    EXPECT_TRUE(waitUntil([&] { return !view.isAnimating(); }));
    view.zoomIn();
    EXPECT_TRUE(frame(true));
    EXPECT_TRUE(frame(false));
    EXPECT_TRUE(waitUntil([&] { return !view.isAnimating(); }));
}

TEST_F(GLViewTest, CaptureUsesTheViewportsDevicePixels)
{
    // Under a scale factor of 1.5 the 201 x 133 view covers 301.5 x 199.5 device pixels.
    const qreal ratio = view.devicePixelRatioF();
    const QSize expected(int(201 * ratio), int(133 * ratio));
    EXPECT_EQ(view.pixelSize(), expected);

    view.setColor(Qt::red);
    show(90, "F+F+F+F");
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

    // A view never painted (a window just opened, an export straight away) captures the same.
    lsGLView unpainted;
    unpainted.resize(201, 133);
    unpainted.setColor(Qt::red);
    unpainted.showGeometry(view.shownGeometry());
    const lsImageRep early = unpainted.makeImageRep();
    ASSERT_EQ(early.width, image.width);
    EXPECT_EQ(early.red, image.red);
}

TEST_F(GLViewTest, WheelDragArrowsAndHomeExploreAFlatFigure)
{
    show(90, "F+F+F+F"); // a square
    const lsImageRep framed = view.makeImageRep();
    const Coverage square = coverage(framed, black);
    QSignalSpy changed(&view, &lsGLView::viewChanged);

    // The picture follows a drag, and an arrow shows more of the side it points to.
    // Events come in the widget's coordinates, pictures in device pixels.
    const double ratio = view.devicePixelRatioF();
    const QSize size = view.pixelSize();
    drag(Qt::LeftButton, { 100, 60 }, { 117, 57 });
    key(Qt::Key_Left);
    const Coverage moved = coverage(view.makeImageRep(), black);
    EXPECT_NEAR(moved.left, square.left + 17 * ratio + 0.1 * size.width(), 1);
    EXPECT_NEAR(moved.bottom, square.bottom - 3 * ratio, 1);
    EXPECT_EQ(changed.count(), 2); // each tells the figure's owner, which builds for it

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

    // Home returns to the framed picture.
    key(Qt::Key_Home);
    EXPECT_TRUE(view.view().isFramed());
    EXPECT_TRUE(samePixels(view.makeImageRep(), framed));
    EXPECT_EQ(changed.count(), 4);
}

TEST_F(GLViewTest, DraggingTurnsAFigureWithDepthAndHoldsItsSpin)
{
    show(90, "F>F+F");
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
    EXPECT_TRUE(waitUntil([&] { return view.spinAngle() > held + 20.0; }));

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

// Printing without a picture says so, instead of doing nothing.
TEST_F(GLViewTest, PrintsToPdfWithoutADialogAndSaysWhenThereIsNoPicture)
{
    show(90, "F+F+F");
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

    lsGLView hidden; // never shown: no frame
    QString said;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&said] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            said = box->text();
            box->accept();
        }
    });
    answer.start(10);
    hidden.print(QStringLiteral("Fern.lsd"), QDir::tempPath());
    EXPECT_EQ(said, QStringLiteral("The view has no picture to print yet."));
}

TEST_F(GLViewTest, ResizedViewCapturesItsNewSize)
{
    show(90, "F+F+F");
    QSignalSpy changed(&view, &lsGLView::viewChanged);
    view.resize(120, 90);
    const lsImageRep image = view.makeImageRep(); // before any frame of the new size
    EXPECT_EQ(image.width, view.pixelSize().width());
    EXPECT_EQ(image.height, view.pixelSize().height());
    EXPECT_GT(coverage(image, { 0, 0, 0 }).count, 0);
    EXPECT_EQ(changed.count(), 1); // the figure is built for the pixels: a new size tells
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
