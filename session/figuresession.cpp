#include "session/figuresession.h"

#include "figure/figuredescription.h"
#include "view/figurecamera.h"
#include "view/viewgeometry.h"

#include <QFileInfo>

#include <array>
#include <chrono>

namespace {

QString text(const std::string &words)
{
    return QString::fromStdString(words);
}

// A phrase of the figure's wording as a sentence of the status line.
QString sentence(const std::string &phrase)
{
    return text(capitalized(phrase)) + u'.';
}

// How long the view must be still before the figure shown is built again for it: longer
// than the gaps between the notches of a turn of the wheel, and shorter than a frame of a
// figure worth building again, which the view draws at the new scale meanwhile.
constexpr int viewSettleMs = 75;

int percent(std::uint64_t done, std::uint64_t length)
{
    return length > 0 ? int(100.0 * double(done) / double(length)) : -1;
}

} // namespace

FigureSession::FigureSession(QObject *parent)
    : QObject(parent)
    , mWorker(
              [this](std::uint64_t serial, FigureResult result) {
                  auto shared = std::make_shared<FigureResult>(std::move(result));
                  QMetaObject::invokeMethod(
                          this, [this, serial, shared] { generated(serial, std::move(*shared)); },
                          Qt::QueuedConnection);
              },
              [this](std::uint64_t serial, const FigureProgress &progress) {
                  QMetaObject::invokeMethod(
                          this, [this, serial, progress] { generationProgress(serial, progress); },
                          Qt::QueuedConnection);
              })
{
    mClock.start();
    mSettling.setSingleShot(true);
    mSettling.setInterval(viewSettleMs);
    connect(&mSettling, &QTimer::timeout, this, [this] {
        if (!needsBuild())
            return;
        startBuild();
        emit statusChanged();
    });
}

FigureSession::~FigureSession() = default;

// --- Requests -----------------------------------------------------------------------------

void FigureSession::generate(FigureRequest request)
{
    mDegrees = request.angle;
    mNote.clear();
    const std::uint64_t serial = mWorker.request(std::move(request));
    mGeneration = Generation{ serial, mClock.elapsed(), std::nullopt };
    emit statusChanged();
}

void FigureSession::setAngle(double degrees)
{
    if (degrees == mDegrees)
        return;
    mDegrees = degrees;
    mPictureRequestedAt = mClock.elapsed();
    if (needsBuild())
        startBuild();
    emit statusChanged();
}

void FigureSession::setViewport(QSize pixels, const FigureView &view)
{
    if (pixels == mPixels && view == mView)
        return;
    mPixels = pixels;
    mView = view;
    if (!needsBuild()) {
        if (!mBuild && !mSettling.isActive())
            return;
        cancelBuild(); // the view is back where the geometry shown was built for
    } else if (showsHeldPicture()) {
        // Whatever was under way was for a view the user has left.
        cancelBuild();
        mSettling.start();
    } else {
        startBuild(); // nothing of this figure at this angle is shown yet
    }
    emit statusChanged();
}

void FigureSession::geometryDrawn(const std::shared_ptr<const lsGeometry> &geometry)
{
    if (!mUndrawnSince || geometry != mGeometry)
        return;
    mShown->seconds = double(mClock.elapsed() - *mUndrawnSince) / 1000.0;
    mUndrawnSince.reset();
    emit statusChanged();
}

void FigureSession::stop()
{
    if (!isBusy())
        return;
    if (mGeneration) {
        mWorker.cancel();
        mGeneration.reset();
    }
    cancelBuild();
    // A picture stopped before it is written says so when its job returns, within
    // milliseconds; one being written then is written.
    if (mPicture)
        mPicture->cancel->store(true);
    mNote = tr("Stopped.");
    emit statusChanged();
}

void FigureSession::writePicture(const FigurePicture &picture)
{
    if (const QString missing = missingFigure(); !missing.isEmpty()) {
        emit pictureFinished(PictureOutcome::Failed, missing, QString());
        return;
    }
    if (mPicture) {
        emit pictureFinished(PictureOutcome::Failed,
                             tr("Another picture is being written: wait for it, or stop it."),
                             QString());
        return;
    }
    PictureSubject subject{ mShown->figure, mShown->degrees, mView, std::to_array(mGeometry->box),
                            nullptr };
    // The geometry shown serves a picture of the view's size.
    if (QSize(picture.width, picture.height) == mGeometryPixels && mView == mGeometryView)
        subject.built = mGeometry;
    const std::uint64_t serial = ++mSerial;
    PictureJob job;
    job.serial = serial;
    job.path = picture.path;
    job.format = picture.format;
    job.cancel = mJobs.post([this, serial, picture, subject,
                             progress = reporter(serial)](const std::atomic<bool> &cancel) {
        const PictureResult result = writeFigurePicture(picture, subject, cancel, progress);
        QMetaObject::invokeMethod(
                this, [this, serial, result] { pictureDone(serial, result); },
                Qt::QueuedConnection);
    });
    mPicture = std::move(job);
    emit statusChanged();
}

// --- What the window shows ---------------------------------------------------------------

bool FigureSession::isBusy() const
{
    return mGeneration || mPicture || (mBuild && mBuild->busy);
}

int FigureSession::progress() const
{
    if (mGeneration)
        return mGeneration->progress ? int(mGeneration->progress->fraction * 100.0) : -1;
    if (mPicture)
        return percent(mPicture->done, mPicture->length);
    if (mBuild && mBuild->busy)
        return percent(mBuild->done, mBuild->length);
    return -1;
}

QString FigureSession::status() const
{
    const auto walking = [](const Walk &walk, const QString &before) {
        return (walk.length > 0 ? text(describeDrawing(walk.done, walk.length)) : before)
               + u'\u2026';
    };
    if (mGeneration) {
        return mGeneration->progress ? text(describeProgress(*mGeneration->progress)) + u'\u2026'
                                     : tr("Generating\u2026");
    }
    if (mPicture) {
        const QString writing =
                tr("Writing %1").arg(QFileInfo(QString::fromStdString(mPicture->path)).fileName());
        // Of an animation the frames are counted, of a model its walks; of a picture the
        // symbols walked.
        if (mPicture->format == FigurePicture::Gif && mPicture->length > 0)
            return tr("%1: %2 of %3 frames\u2026")
                    .arg(writing)
                    .arg(mPicture->done)
                    .arg(mPicture->length);
        if (mPicture->format == FigurePicture::Obj || mPicture->format == FigurePicture::Ply)
            return writing + u'\u2026';
        return walking(*mPicture, writing);
    }
    if (mBuild && mBuild->busy) {
        const FigureResult &figure = *mBuild->figure;
        return walking(*mBuild, tr("Drawing pass %1 of %2").arg(figure.pass).arg(figure.requested));
    }
    // What is shown on the first line, why no more on the second: each fits a window's
    // width.
    QStringList shown{ mNote }, why;
    if (mShown) {
        shown.append(text(describeFigure(*mShown->figure, mShown->seconds)) + u'.');
        why.append(text(describeLimit(*mShown->figure)));
        if (mShown->degrees != mDegrees)
            why.append(
                    tr("It is drawn at %1\u00b0.")
                            .arg(mShown->degrees)); // A number after '@' can scale the steps past what any picture holds: the view is blank.
        if (mGeometry && !FigureCamera::canFrame(mGeometry->box))
            why.append(tr("The figure cannot be drawn: its size is not finite, or larger than a "
                          "picture can hold (a number after \u2018@\u2019 scales its steps so)."));
    }
    shown.removeAll(QString());
    why.removeAll(QString());
    return (shown.join(u' ') + u'\n' + why.join(u' ')).trimmed();
}

QString FigureSession::missingFigure() const
{
    if (mShown && mGeometry)
        return {};
    return mGeneration || mHeld ? tr("The figure is still being made: export it once it is shown.")
                                : tr("There is no figure to export yet: generate one first.");
}

// --- Generating -------------------------------------------------------------------------

void FigureSession::generationProgress(std::uint64_t workerSerial, const FigureProgress &progress)
{
    if (!mGeneration || mGeneration->workerSerial != workerSerial)
        return;
    mGeneration->progress = progress;
    emit statusChanged();
}

void FigureSession::generated(std::uint64_t workerSerial, FigureResult result)
{
    if (!mGeneration || mGeneration->workerSerial != workerSerial)
        return; // stopped
    const qint64 requestedAt = mGeneration->requestedAt;
    mGeneration.reset();
    if (result.nothing) {
        // Nothing new to show: the figure shown stays, and so does what it says of itself.
        mNote = sentence(describeOutcome(result));
        emit statusChanged();
        return;
    }
    mHeld = std::make_shared<const FigureResult>(std::move(result));
    mPictureRequestedAt = requestedAt;
    mView = {}; // a new figure is framed
    emit viewReset();
    if (needsBuild())
        startBuild();
    emit statusChanged();
}

// --- Building for the view ---------------------------------------------------------------

bool FigureSession::showsHeldPicture() const
{
    return mShown && mShown->figure == mHeld && mShown->degrees == mDegrees;
}

bool FigureSession::needsBuild() const
{
    if (!mHeld || mPixels.isEmpty())
        return false;
    if (!showsHeldPicture())
        return true;
    return viewNeedsBuild(mGeometry->box, mGeometryPixels.width(), mGeometryPixels.height(),
                          mGeometryView, mPixels.width(), mPixels.height(), mView);
}

void FigureSession::startBuild()
{
    cancelBuild();
    std::optional<std::array<double, 6>> box;
    if (showsHeldPicture())
        box = std::to_array(mGeometry->box);
    const std::uint64_t serial = ++mSerial;
    ++mBuildsStarted;
    Build build;
    build.serial = serial;
    build.figure = mHeld;
    build.degrees = mDegrees;
    build.pixels = mPixels;
    build.view = mView;
    // Nobody waits for the geometry shown to be rebuilt for a view, unless it takes long;
    // a new picture, or a stream of billions of symbols, is awaited at once.
    build.busy = !showsHeldPicture() || mHeld->commands.isStreamed();
    build.cancel = mJobs.post([this, serial, figure = mHeld, degrees = mDegrees, pixels = mPixels,
                               view = mView, box,
                               progress = reporter(serial)](const std::atomic<bool> &cancel) {
        std::shared_ptr<const lsGeometry> geometry =
                buildPassGeometry(figure->commands, degrees, pixels.width(), pixels.height(), view,
                                  box ? box->data() : nullptr, &cancel, progress);
        QMetaObject::invokeMethod(
                this, [this, serial, geometry] { built(serial, geometry); }, Qt::QueuedConnection);
    });
    mBuild = std::move(build);
}

void FigureSession::cancelBuild()
{
    mSettling.stop();
    if (!mBuild)
        return;
    mBuild->cancel->store(true);
    mBuild.reset();
}

void FigureSession::built(std::uint64_t serial, std::shared_ptr<const lsGeometry> geometry)
{
    if (!mBuild || mBuild->serial != serial)
        return; // replaced or stopped
    const Build build = std::move(*mBuild);
    mBuild.reset();
    if (!geometry) {
        // The figure shown stays; the next change of the angle or the view tries again.
        mNote = sentence(describeBuildFailure(*build.figure));
        emit statusChanged();
        return;
    }
    const bool newPicture =
            !mShown || mShown->figure != build.figure || mShown->degrees != build.degrees;
    mGeometry = std::move(geometry);
    mGeometryPixels = build.pixels;
    mGeometryView = build.view;
    emit geometryChanged();
    // Shown from now on.
    if (newPicture) {
        const double seconds = double(mClock.elapsed() - mPictureRequestedAt) / 1000.0;
        mShown = ShownFigure{ build.figure, build.degrees, seconds };
        mUndrawnSince = mPictureRequestedAt;
    }
    mNote.clear();
    emit statusChanged();
}

void FigureSession::walked(std::uint64_t serial, std::uint64_t done, std::uint64_t length)
{
    Walk *walk = nullptr;
    if (mBuild && mBuild->serial == serial) {
        mBuild->busy = true;
        walk = &*mBuild;
    } else if (mPicture && mPicture->serial == serial) {
        walk = &*mPicture;
    } else {
        return;
    }
    walk->done = done;
    walk->length = length;
    emit statusChanged();
}

lsCommandSource::Progress FigureSession::reporter(std::uint64_t serial)
{
    using Clock = std::chrono::steady_clock;
    return [this, serial, started = std::optional<Clock::time_point>(),
            last = Clock::time_point()](std::uint64_t done, std::uint64_t length) mutable {
        const Clock::time_point now = Clock::now();
        if (!started)
            started = now;
        if (now - *started < std::chrono::milliseconds(200)
            || now - last < std::chrono::milliseconds(100))
            return;
        last = now;
        QMetaObject::invokeMethod(
                this, [this, serial, done, length] { walked(serial, done, length); },
                Qt::QueuedConnection);
    };
}

// --- Pictures ------------------------------------------------------------------------------

void FigureSession::pictureDone(std::uint64_t serial, const PictureResult &result)
{
    if (!mPicture || mPicture->serial != serial)
        return;
    mPicture.reset();
    emit statusChanged();
    emit pictureFinished(result.outcome, text(result.error), text(result.warning));
}
