// The document window under load (run with an X server, e.g. xvfb-run): how long the UI thread
// stalls while a 232 MB generation runs and its figure is built, and how soon an angle change
// on that figure is ready to draw. Painting the huge figure is left out: software rasterisation
// says nothing about a user's GPU, so the window is hidden as soon as a figure is ready.
#include "document/lsdocument.h"
#include "platform/documentcontroller.h"
#include "view/lsglview.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>

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
        if (m.generatedMs == 0 && !document->isGenerating())
            m.generatedMs = double(now) / 1e6;
    };
    QTimer timer;
    timer.setInterval(10);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, tick);
    const QMetaObject::Connection ready =
            QObject::connect(document->glView(), &lsGLView::figureReady, &loop, [&] {
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

// Each change builds its figure into the storage of the figure it replaces (the window is
// hidden, so nothing draws the old one meanwhile). Reported: the first change after the
// generation, and the slowest of the later ones.
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
