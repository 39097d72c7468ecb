#pragma once

#include "figure/figurepipeline.h"
#include "figure/figureworker.h"
#include "figure/jobthread.h"
#include "session/figurepicture.h"
#include "view/figurecamera.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>

struct lsGeometry;

// What the view shows of a figure, and how it came to be.
struct ShownFigure
{
    std::shared_ptr<const FigureResult> figure; // its pass, and why no later one
    double degrees = 0.0;                       // the angle it is drawn at
    double seconds = 0.0; // from its request until it was on screen (or built, until then)
};

// The one owner of a document's figure, free of widgets: it takes every request (a new
// figure, an angle, the view's pixels and view, Stop, a picture to write), runs the work on
// two threads of its own (rewriting on a FigureWorker, building and drawing pictures on a
// JobThread), and keeps the figure shown, which changes only when the view is handed a
// geometry built for it. The newest request always wins: it cancels whatever work it makes
// out of date. What the window shows of all this (the status line, the Generate button
// that reads Stop while the session is busy, the progress bar) it reads from here.
//
// Every member is called on the thread that made the session; its signals come on it.
class FigureSession : public QObject
{
    Q_OBJECT

public:
    explicit FigureSession(QObject *parent = nullptr);
    // Cancels the work under way and waits for its threads, which notice within
    // milliseconds.
    ~FigureSession() override;

    // A new figure: rewritten on the worker, at the request's angle, then built for the view,
    // which returns to Fit.
    void generate(FigureRequest request);
    // Turns the figure (degrees): the figure held is built again at the new angle, without
    // rewriting; a figure still being generated comes at it too.
    void setAngle(double degrees);
    // The view's pixel size and view of the figure: the figure is built again when the
    // geometry shown is too coarse for the new scale or does not reach far enough, once the
    // view has been still for a moment (the view draws the geometry shown at the new scale
    // meanwhile), so that a burst of wheel notches, a drag or a resize starts one build, for
    // where it ends. Nothing is built for a view without pixels.
    void setViewport(QSize pixels, const FigureView &view);
    // A frame of `geometry` is on screen: a new picture's time runs until its first frame.
    void geometryDrawn(const std::shared_ptr<const lsGeometry> &geometry);
    // Stop, Esc: cancels the generation, the drawing and the picture under way. The figure
    // shown stays; the next change (an angle, the view) builds again.
    void stop();
    // Writes a picture (or a model, an animation) of the figure shown, at its angle, through
    // the current view; on the worker, with progress, and Stop cancels it. pictureFinished
    // follows.
    void writePicture(const FigurePicture &picture);

    // Generating, drawing a figure not shown yet or drawing for seconds, or writing a
    // picture: the Generate button reads Stop.
    bool isBusy() const;
    // Whether no work is under way at all, a quiet build for the view (or one waiting for
    // the view to be still) included: the view shows what the latest requests ask for, or
    // the last of them failed or was stopped.
    bool isIdle() const { return !mGeneration && !mBuild && !mPicture && !mSettling.isActive(); }
    // How far the work under way got, in percent; -1 while that is not known.
    int progress() const;
    // The status line: the work under way, or (on two lines) the figure shown and why it
    // is that one.
    QString status() const;
    // What the view draws; null before the first figure is shown.
    std::shared_ptr<const lsGeometry> geometry() const { return mGeometry; }
    const FigureView &view() const { return mView; }
    const std::optional<ShownFigure> &shown() const { return mShown; }
    // How many builds for the view were started, the cancelled ones included.
    std::uint64_t buildsStarted() const { return mBuildsStarted; }
    // Why there is no picture to write yet; empty when there is one.
    QString missingFigure() const;

signals:
    // status(), isBusy() or progress() changed.
    void statusChanged();
    // The view is to draw geometry() from now on.
    void geometryChanged();
    // A new figure: the view returns to view() (Fit).
    void viewReset();
    // The end of writePicture: error says why it failed, warning what a file written could
    // not keep (its owner, other hard links), or is empty.
    void pictureFinished(PictureOutcome outcome, const QString &error, const QString &warning);

private:
    struct Generation
    {
        std::uint64_t workerSerial = 0;
        qint64 requestedAt = 0; // on mClock
        std::optional<FigureProgress> progress;
    };
    // A walk under way on the job thread, and how far it got.
    struct Walk
    {
        std::uint64_t serial = 0;
        JobThread::Cancel cancel;
        std::uint64_t done = 0;
        std::uint64_t length = 0; // 0 until the first report
    };
    struct Build : Walk
    {
        std::shared_ptr<const FigureResult> figure;
        double degrees = 0.0;
        QSize pixels;
        FigureView view;
        bool busy = false; // the window shows it: a new picture, a stream, or seconds of work
    };
    struct PictureJob : Walk
    {
        std::string path;
        FigurePicture::Format format = FigurePicture::Png;
    };

    void generated(std::uint64_t workerSerial, FigureResult result);
    void generationProgress(std::uint64_t workerSerial, const FigureProgress &progress);
    bool needsBuild() const;
    bool showsHeldPicture() const;
    void startBuild();
    void cancelBuild();
    void built(std::uint64_t serial, std::shared_ptr<const lsGeometry> geometry);
    void walked(std::uint64_t serial, std::uint64_t done, std::uint64_t length);
    void pictureDone(std::uint64_t serial, const PictureResult &result);
    // Reports a walk's progress to this thread: after 200 ms of work, then every 100 ms.
    lsCommandSource::Progress reporter(std::uint64_t serial);

    QElapsedTimer mClock;      // since the session was made: when requests were made
    std::uint64_t mSerial = 0; // counts the builds and pictures asked of the job thread
    std::uint64_t mBuildsStarted = 0;
    std::optional<Generation> mGeneration;
    std::shared_ptr<const FigureResult> mHeld; // the latest figure generated: the one to show
    double mDegrees = 0.0;
    qint64 mPictureRequestedAt = 0; // when the held figure at mDegrees was asked for
    QSize mPixels;
    FigureView mView;
    std::optional<Build> mBuild;
    QTimer mSettling; // a build for the view waits for the view to be still
    std::shared_ptr<const lsGeometry> mGeometry; // of the figure shown, built for:
    QSize mGeometryPixels;
    FigureView mGeometryView;
    std::optional<ShownFigure> mShown;
    std::optional<PictureJob> mPicture;
    QString mNote;                       // "Stopped.", or why the latest request shows nothing new
    std::optional<qint64> mUndrawnSince; // when the picture shown, not yet on screen, was asked

    // Last: their threads run until these go, and call into everything above.
    FigureWorker mWorker;
    JobThread mJobs;
};
