// The document window under load (run with an X server, e.g. xvfb-run): how long the UI thread
// stalls while a 232 MB generation runs and its figure is built, how soon an angle change on
// that figure is ready to draw, how long input waits while a figure of that size spins on
// screen (BM_InputLatency; the other benchmarks hide the window once a figure is ready), how
// soon a newer request cancels a long generation, how soon a pass of billions of symbols
// drawn from expansion units is on screen after each kind of request (BM_DeepPass), and what
// spinning costs (BM_Spin).
#include "document/lsdocument.h"
#include "platform/documentcontroller.h"
#include "session/figuresession.h"
#include "view/lsglview.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUndoStack>
#include <QWheelEvent>

#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

LSDocument *document = nullptr;

struct Measure
{
    double readyMs = 0;
    double maxStallMs = 0;
    double stallEndMs = 0;  // when the longest stall ended
    double generatedMs = 0; // when the string was handed to the view
};

// Makes a change and runs the event loop until the view's figure is ready, recording the
// longest gap between ticks of a 10 ms timer on the UI thread.
Measure untilReady(const std::function<void()> &change, bool hideWhenReady)
{
    Measure m;
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 last = 0;
    const auto tick = [&] {
        const qint64 now = clock.nsecsElapsed();
        if (double(now - last) / 1e6 > m.maxStallMs) {
            m.maxStallMs = double(now - last) / 1e6;
            m.stallEndMs = double(now) / 1e6;
        }
        last = now;
        if (m.generatedMs == 0
            && !document->session()->status().startsWith(QLatin1String("Generating")))
            m.generatedMs = double(now) / 1e6;
    };
    QTimer timer;
    timer.setInterval(10);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, tick);
    const QMetaObject::Connection ready =
            QObject::connect(document->session(), &FigureSession::geometryChanged, &loop, [&] {
                if (!document->session()->isIdle())
                    return; // a picture of an earlier figure, or of the one before the view moved
                tick();
                m.readyMs = double(clock.nsecsElapsed()) / 1e6;
                if (hideWhenReady)
                    document->hide(); // before the event loop can paint the new figure
                loop.quit();
            });
    clock.start();
    timer.start();
    change();
    loop.exec();
    QObject::disconnect(ready);
    return m;
}

void showSmallFigure()
{
    document->show();
    if (!QTest::qWaitForWindowExposed(document))
        qFatal("the document window did not appear");
    if (document->iterations() != 1)
        untilReady([] { document->setIterations(1); }, false);
}

void makeLargeFigure()
{
    if (document->iterations() != 6) {
        showSmallFigure();
        untilReady([] { document->setIterations(6); }, true);
    }
}

void BM_GenerationStall(benchmark::State &state)
{
    Measure m;
    for (auto _ : state) {
        state.PauseTiming();
        showSmallFigure();
        state.ResumeTiming();
        m = untilReady([] { document->setIterations(6); }, true);
    }
    state.counters["max_stall_ms"] = m.maxStallMs;
    state.counters["ready_ms"] = m.readyMs;
    state.counters["stall_end_ms"] = m.stallEndMs;
    state.counters["generated_ms"] = m.generatedMs;
}
BENCHMARK(BM_GenerationStall)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each change walks the string again to build the figure for the view (the window is hidden,
// so nothing draws meanwhile). Reported: the first change after the generation, and the
// slowest of the later ones.
void BM_AngleChange(benchmark::State &state)
{
    makeLargeFigure();
    Measure first, later;
    int changes = 0;
    for (auto _ : state) {
        const double angle = document->angle() == 90.0 ? 89.0 : 90.0;
        const Measure m = untilReady([angle] { document->setAngle(angle); }, true);
        if (changes++ == 0) {
            first = m;
        } else {
            later.readyMs = std::max(later.readyMs, m.readyMs);
            later.maxStallMs = std::max(later.maxStallMs, m.maxStallMs);
        }
    }
    state.counters["first_angle_ready_ms"] = first.readyMs;
    state.counters["angle_ready_ms"] = later.readyMs;
    state.counters["max_stall_ms"] = std::max(first.maxStallMs, later.maxStallMs);
}
BENCHMARK(BM_AngleChange)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// Records how long each key event posted to a widget waits before the widget gets it.
class InputWaits : public QObject
{
public:
    explicit InputWaits(QWidget *target)
        : mTarget(target)
    {
        target->installEventFilter(this);
    }

    // From another thread: a key event stamped now.
    void post()
    {
        std::lock_guard lock(mMutex);
        mPosted.push_back(std::chrono::steady_clock::now());
        QCoreApplication::postEvent(mTarget,
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier));
    }
    double longestMs() const { return mLongestMs; }
    int count() const { return mCount; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == mTarget && event->type() == QEvent::KeyPress && !event->spontaneous()) {
            std::lock_guard lock(mMutex);
            if (!mPosted.empty()) {
                const std::chrono::duration<double, std::milli> wait =
                        std::chrono::steady_clock::now() - mPosted.front();
                mPosted.pop_front();
                mLongestMs = std::max(mLongestMs, wait.count());
                ++mCount;
            }
            return true;
        }
        return false;
    }

private:
    QWidget *mTarget;
    std::mutex mMutex;
    std::deque<std::chrono::steady_clock::time_point> mPosted;
    double mLongestMs = 0;
    int mCount = 0;
};

// A 3D Hilbert curve five times over at 7 passes (10,485,760 moves, nearly all of them a
// pixel or more long on screen, so that they are all drawn) spinning in the window.
lsGLView *showSpinningHilbert()
{
    if (document->iterations() == 7 && document->axiomText()->text() == QLatin1String("WWWWW")) {
        document->show();
        if (!QTest::qWaitForWindowExposed(document))
            qFatal("the document window did not appear");
        return document->glView();
    }
    showSmallFigure();
    QAbstractItemModel *rules = document->ruleTable()->model();
    const char *hilbert[][2] = {
        { "X", "X-F+YFY+F-Z>F<Z-F+>>YFY+F+X+>>-" },
        { "W", "W>F<YFX<F<Z<<-F-Z<++F<X++FY<F<W+>>-" },
        { "Y", "++Z<++F<X-F+Y<F<W>>FW>F<Y+F+X<F<Z+>>-" },
        { "Z", "++YFX-F+X++FW>F<W>>FX-F+X++FY+>>-" },
    };
    for (int row = 0; row < 4; ++row) {
        if (row > 0)
            document->addRule();
        rules->setData(rules->index(row, 0), QString::fromLatin1(hilbert[row][0]));
        rules->setData(rules->index(row, 1), QString::fromLatin1(hilbert[row][1]));
    }
    document->axiomText()->setText(QStringLiteral("WWWWW"));
    untilReady([] { document->setIterations(7); }, false);
    return document->glView();
}

// The spinning Hilbert curve: every 10 ms, for 6 s, a key press is posted to the axiom field
// from another thread. Reported: the longest wait (input_latency_ms), the frames shown
// meanwhile, the spin angle they covered and the vertices drawn per frame. Registered after
// the others: it leaves the document changed.
void BM_InputLatency(benchmark::State &state)
{
    lsGLView *view = showSpinningHilbert();
    InputWaits waits(document->axiomText());
    int frames = 0;
    const QMetaObject::Connection swapped =
            QObject::connect(view, &lsGLView::painted, [&] { ++frames; });
    double spun = 0;
    for (auto _ : state) {
        std::atomic<bool> done = false;
        std::thread poster([&] {
            while (!done) {
                waits.post();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        const double spin = view->spinAngle();
        QTest::qWait(6000);
        spun = view->spinAngle() - spin;
        done = true;
        poster.join();
        QTest::qWait(200); // the last events arrive
    }
    QObject::disconnect(swapped);
    state.counters["input_latency_ms"] = waits.longestMs();
    state.counters["inputs"] = waits.count();
    state.counters["frames"] = frames;
    state.counters["spin_degrees"] = spun;
    state.counters["shown_vertices"] = double(view->shownGeometry()->vertexCount());
    document->hide();
}
BENCHMARK(BM_InputLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same spinning figure zoomed in and out by the wheel, a notch every 250 ms over the
// view's middle, for 6 s, while key presses are posted as above. Reported: the longest input
// wait (input_latency_ms); for each notch, the wait until the second frame shown after it
// (the first may have been under way before it), its longest and mean (zoom_to_frame_ms,
// zoom_to_frame_mean_ms), and the longest gap between frames (frame_ms). Figures built
// again for the new scale arrive meanwhile.
void BM_ZoomLatency(benchmark::State &state)
{
    lsGLView *view = showSpinningHilbert();
    InputWaits waits(document->axiomText());
    QElapsedTimer clock;
    clock.start();
    double lastFrame = 0, longestFrameGap = 0, longestZoom = 0, zoomWaits = 0;
    double zoomedAt = -1;
    int framesSinceZoom = 0, zooms = 0;
    const QMetaObject::Connection swapped = QObject::connect(view, &lsGLView::painted, [&] {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        longestFrameGap = std::max(longestFrameGap, now - lastFrame);
        lastFrame = now;
        if (zoomedAt >= 0 && ++framesSinceZoom == 2) {
            longestZoom = std::max(longestZoom, now - zoomedAt);
            zoomWaits += now - zoomedAt;
            zoomedAt = -1;
        }
    });
    QTimer notches;
    notches.setInterval(250);
    QObject::connect(&notches, &QTimer::timeout, [&] {
        const QPointF middle(view->width() / 2.0, view->height() / 2.0);
        QWheelEvent wheel(middle, view->mapToGlobal(middle), QPoint(),
                          QPoint(0, zooms % 8 < 4 ? 120 : -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view, &wheel);
        ++zooms;
        zoomedAt = double(clock.nsecsElapsed()) / 1e6;
        framesSinceZoom = 0;
    });
    for (auto _ : state) {
        std::atomic<bool> done = false;
        std::thread poster([&] {
            while (!done) {
                waits.post();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        lastFrame = double(clock.nsecsElapsed()) / 1e6;
        notches.start();
        QTest::qWait(6000);
        notches.stop();
        done = true;
        poster.join();
        QTest::qWait(200);
    }
    QObject::disconnect(swapped);
    state.counters["input_latency_ms"] = waits.longestMs();
    state.counters["zooms"] = zooms;
    state.counters["zoom_to_frame_ms"] = longestZoom;
    state.counters["zoom_to_frame_mean_ms"] = zooms > 0 ? zoomWaits / zooms : 0.0;
    state.counters["frame_ms"] = longestFrameGap;
    document->hide();
}
BENCHMARK(BM_ZoomLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A demo of demos/3D opened as a user opens it, shown at `passes` passes (0: as saved) and
// 1200 x 800 with its figure spinning.
LSDocument *openSpinningDemo(const char *name, int passes)
{
    auto *demo = static_cast<LSDocument *>(
            DocumentController::sharedDocumentController()->openDocumentWithContentsOfFile(
                    QStringLiteral(SPRIG_DEMOS_DIR "/3D/") + QLatin1String(name), true));
    if (!demo)
        qFatal("the demo %s did not open", name);
    demo->resize(1200, 800);
    if (!QTest::qWaitForWindowExposed(demo))
        qFatal("the demo %s did not appear", name);
    if (passes > 0)
        demo->setIterations(passes);
    QElapsedTimer clock;
    clock.start();
    while (!demo->glView()->shownGeometry() || !demo->session()->isIdle()) {
        if (clock.elapsed() > 120000)
            qFatal("the demo %s was not drawn", name);
        QTest::qWait(10);
    }
    return demo;
}

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The process's CPU (per cent of one core) and the frames painted a second over `ms` of
// the event loop. A plain event loop, not QTest::qWait, which wakes every 10 ms and would
// count its own polling as the window's.
std::pair<double, double> cpuAndFrames(lsGLView *view, int ms)
{
    int frames = 0;
    const QMetaObject::Connection painted =
            QObject::connect(view, &lsGLView::painted, [&] { ++frames; });
    const double cpu = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    QObject::disconnect(painted);
    return { 100.0 * (processCpuSeconds() - cpu) / seconds, frames / seconds };
}

// Spinning costs little: Bush 3D (3,891 segments) spinning for 10 s (spin_cpu_pct,
// bush_fps); Hilbert Curve 3D at 7 passes (2,097,151 segments), drawn from its stand-in
// while it spins (spin_fps, hilbert_cpu_pct); a 110 px right-drag on it with the spin off,
// from the release until the frame of the final pose is shown (settle_ms) and until it is
// shown sharp (sharp_ms); and Bush 3D at rest with the cursor blinking in the axiom field
// (idle_cpu_pct).
void BM_Spin(benchmark::State &state)
{
    LSDocument *bush = openSpinningDemo("Bush 3D.lsd", 0);
    LSDocument *hilbert = openSpinningDemo("Hilbert Curve 3D.lsd", 7);
    std::pair<double, double> bushSpin, hilbertSpin;
    double idle = 0, settleMs = 0, sharpMs = 0;
    for (auto _ : state) {
        hilbert->hide();
        bush->show();
        bush->activateWindow();
        QTest::qWait(500);
        bushSpin = cpuAndFrames(bush->glView(), 10000);
        bush->glView()->setSpinning(false);
        bush->axiomText()->setFocus();
        QTest::qWait(500);
        idle = cpuAndFrames(bush->glView(), 10000).first;
        bush->glView()->setSpinning(true);
        bush->hide();

        hilbert->show();
        lsGLView *view = hilbert->glView();
        view->setSpinning(true);
        QTest::qWait(500);
        hilbertSpin = cpuAndFrames(view, 10000);
        view->setSpinning(false);
        const QPointF from(view->width() / 2.0, view->height() / 2.0);
        const auto mouse = [&](QEvent::Type type, QPointF at, Qt::MouseButton button,
                               Qt::MouseButtons held) {
            QMouseEvent event(type, at, view->mapToGlobal(at), button, held, Qt::NoModifier);
            QApplication::sendEvent(view, &event);
        };
        mouse(QEvent::MouseButtonPress, from, Qt::RightButton, Qt::RightButton);
        for (int moved = 10; moved <= 110; moved += 10) {
            QTest::qWait(10);
            mouse(QEvent::MouseMove, from + QPointF(moved, 0), Qt::NoButton, Qt::RightButton);
        }
        mouse(QEvent::MouseButtonRelease, from + QPointF(110, 0), Qt::RightButton, Qt::NoButton);
        const double spin = view->spinAngle();
        QElapsedTimer clock;
        clock.start();
        settleMs = sharpMs = 0;
        while (sharpMs == 0 && clock.elapsed() < 30000) {
            QTest::qWait(1);
            const auto frame = view->latestFrame();
            if (!frame || frame->request.spinDegrees != spin)
                continue;
            if (settleMs == 0)
                settleMs = double(clock.nsecsElapsed()) / 1e6;
            if (!frame->coarse)
                sharpMs = double(clock.nsecsElapsed()) / 1e6;
        }
        view->setSpinning(true);
        hilbert->hide();
    }
    state.counters["spin_cpu_pct"] = bushSpin.first;
    state.counters["bush_fps"] = bushSpin.second;
    state.counters["idle_cpu_pct"] = idle;
    state.counters["spin_fps"] = hilbertSpin.second;
    state.counters["hilbert_cpu_pct"] = hilbertSpin.first;
    state.counters["settle_ms"] = settleMs;
    state.counters["sharp_ms"] = sharpMs;
    for (LSDocument *demo : { bush, hilbert }) {
        demo->undoStack()->setClean();
        demo->close();
    }
    // Gone before a repetition opens them again.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
BENCHMARK(BM_Spin)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A request for pass 3 made while pass 7 of X -> XXXXXXXXXXXXXXXXXX] is being generated (618
// MiB, seconds of rewriting: the ']' closes a bracket the rule did not open, so expansion
// units cannot stand for it): cancel_ms runs from that request to the pass-3 figure being
// ready.
void BM_CancelLongGeneration(benchmark::State &state)
{
    auto *growing = static_cast<LSDocument *>(
            DocumentController::sharedDocumentController()->newDocument());
    growing->axiomText()->setText(QStringLiteral("X"));
    growing->addRule();
    QAbstractItemModel *rules = growing->ruleTable()->model();
    rules->setData(rules->index(0, 0), QStringLiteral("X"));
    rules->setData(rules->index(0, 1), QString(18, u'X') + u']');
    growing->show();
    if (!QTest::qWaitForWindowExposed(growing))
        qFatal("the document did not open");
    double cancelMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        growing->setIterations(7);
        QTest::qWait(500); // well into the generation
        if (!growing->session()->isBusy())
            qFatal("pass 7 was not being generated");
        state.ResumeTiming();
        QEventLoop loop;
        QElapsedTimer clock;
        const QMetaObject::Connection ready =
                QObject::connect(growing->session(), &FigureSession::geometryChanged, &loop, [&] {
                    if (growing->session()->isIdle())
                        loop.quit();
                });
        clock.start();
        growing->setIterations(3);
        loop.exec();
        cancelMs = double(clock.nsecsElapsed()) / 1e6;
        QObject::disconnect(ready);
        if (growing->session()->shown()->figure->pass != 3)
            qFatal("the figure shown is not pass 3");
    }
    state.counters["cancel_ms"] = cancelMs;
    growing->undoStack()->setClean();
    growing->close();
}
BENCHMARK(BM_CancelLongGeneration)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Runs the event loop until `done` holds, asked after every frame the view puts on screen
// and every change of the session; returns the milliseconds since `clock` started then.
double msUntil(LSDocument *doc, const QElapsedTimer &clock, const std::function<bool()> &done)
{
    QEventLoop loop;
    double at = -1;
    const auto check = [&] {
        if (at < 0 && done()) {
            at = double(clock.nsecsElapsed()) / 1e6;
            loop.quit();
        }
    };
    const QMetaObject::Connection swapped =
            QObject::connect(doc->glView(), &lsGLView::painted, &loop, check);
    const QMetaObject::Connection changed =
            QObject::connect(doc->session(), &FigureSession::statusChanged, &loop, check);
    QTimer::singleShot(120000, &loop, [] { qFatal("the window never showed the figure"); });
    check();
    if (at < 0)
        loop.exec();
    QObject::disconnect(swapped);
    QObject::disconnect(changed);
    return at;
}

// Whether the window shows, sharp, what the latest requests ask for: no work under way, and
// the frame on screen drawn from the geometry built last, through the current view, and not
// the lighter frame of a figure in motion.
bool drawnSharp(LSDocument *doc)
{
    const lsGLView *view = doc->glView();
    const auto frame = view->latestFrame();
    return doc->session()->isIdle() && doc->session()->geometry()
           && view->drawnGeometry() == doc->session()->geometry()
           && view->drawnView() == view->view() && frame && !frame->request.moving;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

void wheelNotch(lsGLView *view)
{
    const QPointF middle(view->width() / 2.0, view->height() / 2.0);
    QWheelEvent wheel(middle, view->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &wheel);
}

// Pass 7 of the Eighteen-Segment Koch Island (4,177,501,395 symbols, drawn from expansion
// units) in a window of its own, each time from pass 3, framed, at 90 degrees. Reported, the
// median of the iterations, in ms until the window shows the picture asked for, sharp:
// Iterations 7 (deep_ready_ms), one angle step, 90 to 89 degrees (deep_angle_ms), one wheel
// notch (deep_zoom_ms), and three notches 50 ms apart from the first of them
// (deep_notches_ms), with the builds they started (deep_notch_builds, the most of any
// iteration).
void BM_DeepPass(benchmark::State &state)
{
    auto *island = static_cast<LSDocument *>(
            DocumentController::sharedDocumentController()->duplicateDocumentWithContentsOfFile(
                    QStringLiteral(SPRIG_DEMOS_DIR
                                   "/Tilings and Fractals/Eighteen-Segment Koch Island.lsd"),
                    QStringLiteral("Island")));
    if (!island)
        qFatal("the island did not open");
    island->resize(1440, 900); // as large as a window opens on a 1600x1000 screen
    island->show();
    if (!QTest::qWaitForWindowExposed(island))
        qFatal("the island's window did not appear");
    lsGLView *view = island->glView();
    std::vector<double> ready, angle, zoom, notches;
    std::uint64_t notchBuilds = 0;
    QElapsedTimer clock;
    const auto measure = [&](
                                 const std::function<void()> &change,
                                 const std::function<bool()> &asked = [] { return true; }) {
        clock.start();
        change();
        return msUntil(island, clock, [&] { return asked() && drawnSharp(island); });
    };
    for (auto _ : state) {
        state.PauseTiming();
        island->setAngle(90);
        island->setIterations(3);
        view->fit();
        msUntil(island, clock, [island] { return drawnSharp(island); });
        state.ResumeTiming();

        ready.push_back(measure([island] { island->setIterations(7); }));
        if (island->session()->shown()->figure->pass != 7)
            qFatal("the island is not shown at pass 7");
        angle.push_back(measure([island] { island->setAngle(89); }));
        zoom.push_back(measure([view] { wheelNotch(view); }));
        const std::uint64_t builds = island->session()->buildsStarted();
        int sent = 0;
        notches.push_back(measure(
                [&] {
                    sent = 1;
                    wheelNotch(view);
                    for (const int at : { 50, 100 }) {
                        QTimer::singleShot(at, view, [&] {
                            ++sent;
                            wheelNotch(view);
                        });
                    }
                },
                [&] { return sent == 3; }));
        notchBuilds = std::max(notchBuilds, island->session()->buildsStarted() - builds);
    }
    state.counters["deep_ready_ms"] = median(ready);
    state.counters["deep_angle_ms"] = median(angle);
    state.counters["deep_zoom_ms"] = median(zoom);
    state.counters["deep_notches_ms"] = median(notches);
    state.counters["deep_notch_builds"] = double(notchBuilds);
    state.counters["view_width"] = view->pixelSize().width();
    state.counters["view_height"] = view->pixelSize().height();
    island->undoStack()->setClean();
    island->close();
}
BENCHMARK(BM_DeepPass)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    DocumentController controller;
    controller.setDocumentFactory([] { return new LSDocument; });
    document = static_cast<LSDocument *>(controller.newDocument());
    // F-F-F-F with F -> F+FF-FF-F-F+F+FF-F-F+F+FF+FF-F at 90 degrees: 6 passes make
    // 232,083,411 bytes and 136,048,896 moves.
    document->axiomText()->setText(QStringLiteral("F-F-F-F"));
    document->addRule();
    QAbstractItemModel *rules = document->ruleTable()->model();
    rules->setData(rules->index(0, 0), QStringLiteral("F"));
    rules->setData(rules->index(0, 1), QStringLiteral("F+FF-FF-F-F+F+FF-F-F+F+FF+FF-F"));
    document->setAngle(90);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    document->undoStack()->setClean();
    document->close();
    return 0;
}
