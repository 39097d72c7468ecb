// The figure session without a window: what it shows and says when work is stopped,
// replaced, runs out of memory or outlives its window. The test plays the view: it gives
// the session a pixel size and takes what it builds.
#include "session/figuresession.h"
#include "tests/allocation/failingallocator.h"
#include "tests/waituntil.h"
#include "view/viewgeometry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using testsupport::waitUntil;

namespace {

const QSize pixels(200, 150);

FigureRequest koch(int passes)
{
    FigureRequest request;
    request.axiom = "F-F-F-F";
    request.letters = { "F" };
    request.rules = { "F+F-F-FF+F+F-F" };
    request.angle = 90.0;
    request.passes = passes;
    return request;
}

// 2^35 moves, never written out: a minute of walking or more, were it not stopped. The
// bracket the rule closes and never opens keeps expansion units from drawing it at once.
FigureRequest endless()
{
    FigureRequest request;
    request.axiom = "F";
    request.letters = { "F" };
    request.rules = { "FF]" };
    request.angle = 90.0;
    request.passes = 35;
    request.stringBudget = 0;
    return request;
}

// Waits until the session shows pass `pass` and works no more.
bool showsPass(const FigureSession &session, int pass, int timeoutMs = 20000)
{
    return waitUntil(
            [&] {
                return !session.isBusy() && session.shown()
                       && session.shown()->figure->pass == pass;
            },
            timeoutMs);
}

std::string statusOf(const FigureSession &session)
{
    return session.status().toStdString();
}

// The status line says what the view shows, and only once it shows it; a new figure is
// built for the view, framed, at the angle of the moment, not at its request's.
TEST(FigureSession, ShowsAFigureOnceBuiltForTheViewAtTheLatestAngle)
{
    FigureSession session;
    QStringList said;
    bool built = false;
    QObject::connect(&session, &FigureSession::statusChanged, [&] {
        if (!built)
            said.append(session.status());
    });
    QObject::connect(&session, &FigureSession::geometryChanged, [&] { built = true; });
    session.setViewport(pixels, {});
    session.generate(koch(3));
    EXPECT_TRUE(session.isBusy());
    EXPECT_EQ(statusOf(session), "Generating\u2026");
    session.setAngle(45.0); // while it is generated
    ASSERT_TRUE(showsPass(session, 3)) << statusOf(session);
    for (const QString &status : std::as_const(said))
        EXPECT_FALSE(status.startsWith(QStringLiteral("Pass"))) << status.toStdString();
    EXPECT_EQ(session.shown()->degrees, 45.0);
    const std::shared_ptr<lsGeometry> expected =
            buildPassGeometry(session.shown()->figure->commands, 45.0, pixels.width(),
                              pixels.height(), {}, nullptr, nullptr, {});
    ASSERT_TRUE(expected);
    EXPECT_EQ(session.geometry()->vertices, expected->vertices);
    EXPECT_TRUE(session.status().startsWith(
            QStringLiteral("Pass 3 of 3: 3,803 symbols, 2,048 segments")))
            << statusOf(session);
}

// Stop, and each newer view, cancels the walk it makes out of date at once: the worker is
// free for the next job within moments, not after the minute the walk would take. Stopped,
// the status describes the figure still shown, not the one whose drawing was stopped.
TEST(FigureSession, StopAndNewerViewsCancelTheWalkUnderWay)
{
    QTemporaryDir dir;
    FigureSession session;
    session.setViewport(pixels, {});
    // Stopped before anything is shown, it says no more than that.
    session.generate(endless());
    ASSERT_TRUE(waitUntil([&] { return session.status().startsWith(QStringLiteral("Drawing")); }));
    session.stop();
    EXPECT_EQ(statusOf(session), "Stopped.");
    EXPECT_FALSE(session.geometry());

    session.generate(koch(2));
    ASSERT_TRUE(showsPass(session, 2));
    const std::shared_ptr<const FigureResult> shown = session.shown()->figure;
    const std::shared_ptr<const lsGeometry> geometry = session.geometry();

    session.generate(endless());
    ASSERT_TRUE(waitUntil([&] { return session.status().startsWith(QStringLiteral("Drawing")); }))
            << statusOf(session);
    EXPECT_TRUE(session.isBusy());
    FigureView zoomed;
    zoomed.zoom = 2.0;
    session.setViewport(pixels, zoomed);
    session.setViewport(QSize(300, 200), zoomed);
    session.stop();
    EXPECT_FALSE(session.isBusy());
    EXPECT_EQ(session.shown()->figure, shown);
    EXPECT_EQ(session.geometry(), geometry);
    EXPECT_TRUE(session.status().startsWith(QStringLiteral("Stopped. Pass 2 of 2: 475 symbols")))
            << statusOf(session);

    QSignalSpy finished(&session, &FigureSession::pictureFinished);
    FigurePicture picture;
    picture.format = FigurePicture::Svg;
    picture.path = dir.filePath(QStringLiteral("shown.svg")).toStdString();
    picture.width = 100;
    picture.height = 100;
    session.writePicture(picture);
    ASSERT_TRUE(finished.wait(20000)) << "the worker is still walking the stopped figure";
    EXPECT_EQ(finished.first().at(0).value<PictureOutcome>(), PictureOutcome::Written);
}

// A burst of view changes (the notches of a turn of the wheel) starts one build, for the view
// it ends at, once the view is still: none for the views passed through.
TEST(FigureSession, ABurstOfViewChangesStartsOneBuildForTheLast)
{
    FigureSession session;
    session.setViewport(pixels, {});
    session.generate(koch(4));
    ASSERT_TRUE(showsPass(session, 4));
    ASSERT_TRUE(waitUntil([&] { return session.isIdle(); }));
    const std::uint64_t builds = session.buildsStarted();
    FigureView view;
    for (int notch = 0; notch < 3; ++notch) {
        view.zoom *= 1.25;
        session.setViewport(pixels, view);
    }
    EXPECT_FALSE(session.isIdle()); // a build waits for the view to be still
    ASSERT_TRUE(waitUntil([&] { return session.isIdle(); }));
    EXPECT_EQ(session.buildsStarted(), builds + 1);
    const std::shared_ptr<lsGeometry> expected =
            buildPassGeometry(session.shown()->figure->commands, 90.0, pixels.width(),
                              pixels.height(), view, session.geometry()->box, nullptr, {});
    ASSERT_TRUE(expected);
    EXPECT_EQ(session.geometry()->vertices, expected->vertices);
}

// Memory that cannot be had, at each stage, never shows as a figure: the figure shown stays
// with what it says of itself, the status says why, and a later change tries again.
TEST(FigureSession, OutOfMemoryAtEachStageKeepsTheFigureShownAndSaysWhy)
{
    // Its X makes a ']' it did not open: expansion units do not stand for this figure, so
    // its passes are written out and its pictures walked, as memory runs out.
    const auto walkedKoch = [](int passes) {
        FigureRequest request = koch(passes);
        *request.axiom += 'X';
        request.letters.push_back("X");
        request.rules.push_back("]");
        return request;
    };
    FigureSession session;
    session.setViewport(pixels, {});
    session.generate(walkedKoch(2));
    ASSERT_TRUE(showsPass(session, 2));
    const std::shared_ptr<const FigureResult> shown = session.shown()->figure;
    const std::shared_ptr<const lsGeometry> geometry = session.geometry();
    const QString said = session.status();

    // Not even the axiom: 1 MiB of it.
    FigureRequest huge = walkedKoch(1);
    huge.axiom = std::string(std::size_t(1) << 20, 'F');
    {
        const auto failing = failingalloc::Scope::from(std::size_t(1) << 19);
        session.generate(std::move(huge));
        ASSERT_TRUE(waitUntil([&] { return !session.isBusy(); }));
    }
    EXPECT_EQ(session.shown()->figure, shown);
    EXPECT_EQ(session.geometry(), geometry);
    EXPECT_EQ(session.status(),
              QStringLiteral("There was not enough memory for the figure. ") + said);

    // Pass 6 takes 1.9 MB, pass 5 fits: pass 5 is shown, and why not 6.
    {
        const auto failing = failingalloc::Scope::from(std::size_t(1) << 20);
        session.generate(walkedKoch(6));
        ASSERT_TRUE(showsPass(session, 5)) << statusOf(session);
    }
    EXPECT_TRUE(
            session.status().endsWith(QStringLiteral("\nThere was not enough memory for pass 6.")))
            << statusOf(session);

    // A picture of 4000 x 4000 pixels keeps every one of pass 6's 1,048,576 segments: 12 MB.
    session.generate(walkedKoch(6));
    ASSERT_TRUE(showsPass(session, 6));
    const std::shared_ptr<const FigureResult> six = session.shown()->figure;
    const std::shared_ptr<const lsGeometry> sixGeometry = session.geometry();
    {
        const auto failing = failingalloc::Scope::from(std::size_t(1) << 20);
        session.setViewport(QSize(4000, 4000), {});
        ASSERT_TRUE(waitUntil([&] {
            return session.status().startsWith(QStringLiteral("There was not enough memory"));
        })) << statusOf(session);
    }
    EXPECT_EQ(session.geometry(), sixGeometry);
    EXPECT_TRUE(session.status().startsWith(
            QStringLiteral("There was not enough memory to draw pass 6 of 6. Pass 6 of 6: ")))
            << statusOf(session);
    session.setViewport(QSize(3000, 3000), {});
    ASSERT_TRUE(waitUntil([&] { return session.geometry() != sixGeometry; }));
    EXPECT_EQ(session.shown()->figure, six);
    EXPECT_TRUE(session.status().startsWith(QStringLiteral("Pass 6 of 6: "))) << statusOf(session);
}

// A window closed while its figure is drawn goes at once: the walk is cancelled, not
// waited for.
TEST(FigureSession, GoesAtOnceWhileAWalkIsUnderWay)
{
    auto session = std::make_unique<FigureSession>();
    session->setViewport(pixels, {});
    session->generate(endless());
    ASSERT_TRUE(waitUntil([&] { return session->status().startsWith(QStringLiteral("Drawing")); }));
    QElapsedTimer clock;
    clock.start();
    session.reset();
    EXPECT_LT(clock.elapsed(), 2000);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
