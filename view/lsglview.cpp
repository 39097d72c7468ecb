#include "view/lsglview.h"

#include "fileio/filename.h"
#include "view/tiffwriter.h"
#include "view/viewgeometry.h"

#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QOpenGLContext>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QThreadPool>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <new>

namespace {

// Commands shorter than this build their geometry at once on the main thread (a few
// milliseconds at most); longer ones on a worker.
constexpr std::size_t inlineBuildLimit = 256 * 1024;

// A figure with depth turns this much per tick of this many milliseconds of real time.
constexpr double spinDegreesPerTick = 0.3;
constexpr qint64 spinTickMilliseconds = 10;

// One notch of the wheel, or Zoom In, magnifies this much.
constexpr double zoomStep = 1.25;
// An arrow key moves the picture by this part of its size.
constexpr double arrowPanShare = 0.1;
// Dragging to turn a figure turns it this much per pixel the pointer moves (on an unscaled
// screen), whatever the screen's scale.
constexpr double turnDegreesPerPixel = 0.5;

// Builds for a view of the given pixel size. Always into new storage: frames may still
// be drawing the figure it replaces on the frame thread. box: the figure's, when known.
// Null when the memory could not be had or cancel (may be null) was set; progress (may
// be empty) hears how far each walk got.
std::shared_ptr<lsGeometry> buildGeometry(const FigurePass &commands,
                                          double angle,
                                          double step,
                                          QSize pixels,
                                          const FigureView &view,
                                          const std::optional<std::array<double, 6>> &box,
                                          const std::atomic<bool> *cancel = nullptr,
                                          lsCommandSource::Progress progress = {})
{
    try {
        auto target = std::make_shared<lsGeometry>();
        if (!buildViewGeometry(commands, angle, step, pixels.width(), pixels.height(), *target,
                               view, box ? box->data() : nullptr, cancel, std::move(progress)))
            return nullptr;
        return target;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

std::array<double, 4> components(const QColor &color)
{
    float r, g, b, a;
    color.toRgb().getRgbF(&r, &g, &b, &a);
    return { r, g, b, a };
}

QImage toQImage(const lsImageRep &rep)
{
    QImage image(rep.width, rep.height, QImage::Format_RGB888);
    for (int y = 0; y < rep.height; ++y)
        interleaveRow(rep, y, image.scanLine(y));
    return image;
}

} // namespace

struct lsGLView::Link
{
    std::mutex mutex;
    lsGLView *view = nullptr; // null once the view is gone
};

lsGLView::lsGLView(QWidget *parent)
    : QOpenGLWidget(parent)
    , mLink(std::make_shared<Link>())
{
    mLink->view = this;
    QSurfaceFormat surface = format();
    surface.setProfile(QSurfaceFormat::CompatibilityProfile);
    surface.setDepthBufferSize(std::max(surface.depthBufferSize(), 8));
    setFormat(surface);

    setFocusPolicy(Qt::StrongFocus); // the arrow keys pan
    mSpinClock.start();
    mSpinTimer.setSingleShot(true);
    mSpinTimer.setTimerType(Qt::PreciseTimer);
    connect(&mSpinTimer, &QTimer::timeout, this, qOverload<>(&lsGLView::update));
}

lsGLView::~lsGLView()
{
    mFrames.reset(); // waits for the frame in progress
    cancelBuild();
    {
        std::lock_guard lock(mLink->mutex);
        mLink->view = nullptr;
    }
    if (isValid()) {
        releaseGL();
        // ~QOpenGLWidget destroys the context after this object has stopped being an
        // lsGLView; its aboutToBeDestroyed must not reach releaseGL then.
        disconnect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &lsGLView::releaseGL);
    }
}

void lsGLView::initializeGL()
{
    if (!mFrames) {
        mFrames = std::make_unique<FrameThread>([link = mLink] {
            std::lock_guard lock(link->mutex);
            if (lsGLView *view = link->view)
                QMetaObject::invokeMethod(view, &lsGLView::frameArrived, Qt::QueuedConnection);
        });
        if (!mFrames->isValid())
            mFrames.reset(); // frames are drawn here then, on the UI thread
    }
    // A new context (the widget moved to another window) starts without our GL objects.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &lsGLView::releaseGL,
            Qt::UniqueConnection);
}

void lsGLView::releaseGL()
{
    makeCurrent();
    mRenderer.releaseGL();
    doneCurrent();
}

QSize lsGLView::pixelSize() const
{
    const qreal ratio = devicePixelRatioF();
    return { static_cast<int>(width() * ratio), static_cast<int>(height() * ratio) };
}

void lsGLView::resizeGL(int, int)
{
    mFramePainted = false;
    // The figure is built for the picture's pixels: a new size takes a new build.
    if (pixelSize() != mGeometryPixels)
        requestBuild();
}

FrameThread::Request lsGLView::frameRequest() const
{
    const QSize size = pixelSize();
    return { mShown,       mRenderer.lineColor(), mRenderer.backgroundColor(),
             size.width(), size.height(),         spinAngle(),
             mView };
}

// The one place that decides when the next frame is drawn, besides the changes that call
// update(). Frames are drawn on the frame thread; this shows the latest one, and asks for
// the next when it no longer matches the view, one at a time, so frames never queue and
// input never waits for one. A figure with depth asks again at the next tick of the
// clock, so that it turns with real time however long a frame takes. Painting only
// happens while the window is exposed, so a hidden or minimised view stops drawing here.
void lsGLView::paintGL()
{
    if (!mFrames) {
        const FrameThread::Request r = frameRequest();
        mRenderer.draw(r.width, r.height, r.spinDegrees, r.view);
        mFramePainted = true;
        if (mRenderer.figureSpins() && !mSpinHeld)
            startSpinTimer();
        return;
    }
    const std::shared_ptr<const FrameThread::Frame> frame = mFrames->latest();
    showFrame(frame.get());
    if (mFrameInFlight)
        return;
    const FrameThread::Request wanted = frameRequest();
    if (!frame || !sameFrame(frame->request, wanted, frame->spins)) {
        mFrames->request(wanted);
        mFrameInFlight = true;
    } else if (frame->spins && !mSpinHeld) {
        startSpinTimer();
    }
}

void lsGLView::showFrame(const FrameThread::Frame *frame)
{
    const QSize size = pixelSize();
    const auto &background = mRenderer.backgroundColor();
    glViewport(0, 0, size.width(), size.height());
    glClearColor(static_cast<float>(background[0]), static_cast<float>(background[1]),
                 static_cast<float>(background[2]), 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (!frame || frame->rgba.empty())
        return;
    // Pixel for pixel from the bottom-left corner, as the frame was read.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_DITHER);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glRasterPos2i(-1, -1);
    glDrawPixels(std::max(frame->request.width, 1), std::max(frame->request.height, 1), GL_RGBA,
                 GL_UNSIGNED_BYTE, frame->rgba.data());
}

bool lsGLView::sameFrame(const FrameThread::Request &a, const FrameThread::Request &b, bool spins)
{
    return a.geometry == b.geometry && a.lineColor == b.lineColor
           && a.backgroundColor == b.backgroundColor && a.width == b.width && a.height == b.height
           && a.view == b.view && (!spins || a.spinDegrees == b.spinDegrees);
}

void lsGLView::startSpinTimer()
{
    mSpinTimer.start(
            static_cast<int>(spinTickMilliseconds - mSpinClock.elapsed() % spinTickMilliseconds));
}

void lsGLView::frameArrived()
{
    mFrameInFlight = false;
    update();
}

double lsGLView::spinAngle() const
{
    if (mSpinHeld)
        return mSpinBase;
    return mSpinBase + spinDegreesPerTick * double(mSpinClock.elapsed() / spinTickMilliseconds);
}

void lsGLView::holdSpin(bool held)
{
    held = held || !mSpinOn;
    if (held == mSpinHeld)
        return;
    mSpinBase = spinAngle();
    mSpinHeld = held;
    mSpinClock.restart();
    update();
}

void lsGLView::setSpinning(bool on)
{
    mSpinOn = on;
    holdSpin(mDrag == Drag::Turn);
}

void lsGLView::setView(const FigureView &view)
{
    if (view == mView)
        return;
    mView = view;
    update();
    requestBuild();
}

void lsGLView::fit()
{
    setView({});
}

bool lsGLView::hasDepth() const
{
    return mShown && mShown->box[lsMaxZ] > mShown->box[lsMinZ];
}

void lsGLView::zoomAbout(double factor, QPointF devicePoint)
{
    if (!mShown)
        return;
    setView(shownCamera().zoomedAbout(mView, factor, devicePoint.x(), devicePoint.y()));
}

void lsGLView::zoomIn()
{
    const QSize size = pixelSize();
    zoomAbout(zoomStep, QPointF(size.width() * 0.5, size.height() * 0.5));
}

void lsGLView::zoomOut()
{
    const QSize size = pixelSize();
    zoomAbout(1.0 / zoomStep, QPointF(size.width() * 0.5, size.height() * 0.5));
}

void lsGLView::panBy(double dx, double dy)
{
    if (!mShown)
        return;
    setView(shownCamera().panned(mView, dx, dy));
}

FigureCamera lsGLView::shownCamera() const
{
    const QSize size = pixelSize();
    return FigureCamera::make(mShown->box, size.width(), size.height(), spinAngle(), mView);
}

bool lsGLView::event(QEvent *event)
{
    if (event->type() == QEvent::NativeGesture) {
        const auto *gesture = static_cast<QNativeGestureEvent *>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            zoomAbout(1.0 + gesture->value(), gesture->position() * devicePixelRatioF());
            return true;
        }
    }
    return QOpenGLWidget::event(event);
}

void lsGLView::wheelEvent(QWheelEvent *event)
{
    const qreal ratio = devicePixelRatioF();
    const QPoint fingers = event->pixelDelta();
    if (!fingers.isNull() && !(event->modifiers() & Qt::ControlModifier)) {
        // Two fingers on a touchpad: the picture follows them. With Ctrl they zoom.
        panBy(fingers.x() * ratio, fingers.y() * ratio);
    } else if (event->angleDelta().y() != 0) {
        zoomAbout(std::pow(zoomStep, event->angleDelta().y() / 120.0), event->position() * ratio);
    }
    event->accept();
}

void lsGLView::mousePressEvent(QMouseEvent *event)
{
    const bool turn =
            event->button() == Qt::RightButton
            || (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
    if (turn && hasDepth())
        mDrag = Drag::Turn;
    else if (event->button() == Qt::LeftButton)
        mDrag = Drag::Pan;
    else
        return QOpenGLWidget::mousePressEvent(event);
    mDragFrom = event->position();
    holdSpin(mDrag == Drag::Turn);
    event->accept();
}

void lsGLView::mouseMoveEvent(QMouseEvent *event)
{
    if (mDrag == Drag::None)
        return QOpenGLWidget::mouseMoveEvent(event);
    const QPointF moved = event->position() - mDragFrom;
    mDragFrom = event->position();
    if (mDrag == Drag::Pan) {
        panBy(moved.x() * devicePixelRatioF(), moved.y() * devicePixelRatioF());
    } else {
        mSpinBase += moved.x() * turnDegreesPerPixel;
        FigureView turned = mView;
        turned.tiltDegrees = std::fmod(turned.tiltDegrees + moved.y() * turnDegreesPerPixel, 360.0);
        setView(turned);
        update();
    }
    event->accept();
}

void lsGLView::mouseReleaseEvent(QMouseEvent *event)
{
    if (mDrag == Drag::None)
        return QOpenGLWidget::mouseReleaseEvent(event);
    mDrag = Drag::None;
    holdSpin(false);
    event->accept();
}

void lsGLView::keyPressEvent(QKeyEvent *event)
{
    // An arrow shows more of the figure on its side: the picture moves the other way.
    const QSize size = pixelSize();
    const double across = size.width() * arrowPanShare, down = size.height() * arrowPanShare;
    switch (event->key()) {
    case Qt::Key_Left:
        panBy(across, 0.0);
        break;
    case Qt::Key_Right:
        panBy(-across, 0.0);
        break;
    case Qt::Key_Up:
        panBy(0.0, down);
        break;
    case Qt::Key_Down:
        panBy(0.0, -down);
        break;
    case Qt::Key_Home:
        fit();
        break;
    default:
        return QOpenGLWidget::keyPressEvent(event);
    }
    event->accept();
}

void lsGLView::setSpinAngle(double degrees)
{
    mSpinBase = degrees;
    mSpinClock.restart();
    update();
}

void lsGLView::setColor(const QColor &color)
{
    mRenderer.setLineColor(components(color));
    update();
}

void lsGLView::setBackgroundColor(const QColor &color)
{
    mRenderer.setBackgroundColor(components(color));
    update();
}

void lsGLView::setRulesAndCommands(std::shared_ptr<lsRuleSet> rules, FigurePass commands)
{
    auto held = std::make_shared<const FigurePass>(std::move(commands));
    std::shared_ptr<const FigurePass> previous; // freed after the lock is released
    {
        std::lock_guard lock(mLock);
        previous = std::exchange(mCommands, std::move(held));
        mRules = std::move(rules);
        ++mSerial;
        mFitPending = true;
        if (mBuildCancel)
            mBuildCancel->store(true);
    }
    requestBuild();
}

void lsGLView::cancelBuild()
{
    std::lock_guard lock(mLock);
    if (mBuildCancel)
        mBuildCancel->store(true);
    mStoppedSerial = mSerial;
}

void lsGLView::setRuleAngle(double radians)
{
    {
        std::lock_guard lock(mLock);
        if (!mRules)
            return;
        mRules->angle = radians;
        ++mSerial;
        if (mBuildCancel)
            mBuildCancel->store(true);
    }
    requestBuild();
}

std::shared_ptr<const FigurePass> lsGLView::heldCommands() const
{
    std::lock_guard lock(mLock);
    return mCommands;
}

void lsGLView::requestBuild()
{
    QMetaObject::invokeMethod(this, &lsGLView::startBuild, Qt::QueuedConnection);
}

void lsGLView::startBuild()
{
    if (mBuilding)
        return; // finishBuild() starts the latest request
    std::shared_ptr<const FigurePass> commands;
    double angle, step;
    std::uint64_t serial;
    std::shared_ptr<std::atomic<bool>> cancel;
    {
        std::lock_guard lock(mLock);
        if (!mCommands || !mRules || mSerial == mStoppedSerial)
            return;
        commands = mCommands;
        angle = mRules->angle;
        step = mRules->step;
        serial = mSerial;
        if (serial != mShownSerial && std::exchange(mFitPending, false))
            mView = {};
    }
    const QSize pixels = pixelSize();
    const bool sameFigure = serial == mShownSerial;
    if (sameFigure && (!mShown || (pixels == mGeometryPixels && !viewNeedsBuild())))
        return; // built already, or failed to build
    std::optional<std::array<double, 6>> box;
    if (sameFigure)
        box.emplace(std::to_array(mShown->box));
    const FigureView view = mView;
    mGeometryPixels = pixels;
    if (commands->length() < inlineBuildLimit) {
        finishBuild(serial, buildGeometry(*commands, angle, step, pixels, view, box), pixels, view,
                    false);
        return;
    }
    mBuilding = true;
    {
        std::lock_guard lock(mLock);
        cancel = std::make_shared<std::atomic<bool>>(mSerial != serial);
        mBuildCancel = cancel;
    }
    QThreadPool::globalInstance()->start([commands = std::move(commands), angle, step, pixels,
                                          built = view, box, serial, cancel = std::move(cancel),
                                          link = mLink]() mutable {
        // A stream's walks take seconds: reported about every percent, to the view while it
        // exists (Qt drops the events of deleted objects).
        lsCommandSource::Progress progress;
        if (commands->isStreamed())
            progress = [link, reported = std::uint64_t(0)](std::uint64_t done,
                                                           std::uint64_t length) mutable {
                if (done > reported && done - reported < length / 100 && done != length)
                    return;
                reported = done;
                std::lock_guard lock(link->mutex);
                if (lsGLView *view = link->view)
                    QMetaObject::invokeMethod(
                            view, [view, done, length] { emit view->buildProgress(done, length); },
                            Qt::QueuedConnection);
            };
        auto geometry = buildGeometry(*commands, angle, step, pixels, built, box, cancel.get(),
                                      std::move(progress));
        const bool cancelled = cancel->load();
        std::lock_guard lock(link->mutex);
        if (lsGLView *view = link->view) {
            QMetaObject::invokeMethod(
                    view,
                    [view, serial, geometry = std::move(geometry), pixels, built,
                     cancelled]() mutable {
                        view->finishBuild(serial, std::move(geometry), pixels, built, cancelled);
                    },
                    Qt::QueuedConnection);
        }
    });
}

// Whether the figure built last is too coarse for the view, needlessly fine, or does not
// reach the edges of the picture.
bool lsGLView::viewNeedsBuild() const
{
    if (!mShown)
        return false;
    const QSize size = pixelSize();
    const lsGeometryReduction built = viewReduction(mShown->box, mGeometryPixels.width(),
                                                    mGeometryPixels.height(), mGeometryView);
    const lsGeometryReduction wanted =
            viewReduction(mShown->box, size.width(), size.height(), mView);
    // A little coarser than the pixels is not seen; turning a figure with depth changes
    // its bound a little at every step.
    if (wanted.pixelsPerUnit > built.pixelsPerUnit * 1.1
        || wanted.pixelsPerUnit * 2.0 < built.pixelsPerUnit)
        return true;
    if (!built.region)
        return false;
    if (!wanted.region)
        return true;
    const std::array<double, 4> shown =
            FigureCamera::make(mShown->box, size.width(), size.height(), 0.0, mView)
                    .visibleRegion(0.0);
    const std::array<double, 4> &reach = *built.region;
    return shown[0] < reach[0] || shown[1] > reach[1] || shown[2] < reach[2] || shown[3] > reach[3];
}

void lsGLView::finishBuild(std::uint64_t serial,
                           std::shared_ptr<lsGeometry> geometry,
                           QSize pixels,
                           const FigureView &view,
                           bool cancelled)
{
    mBuilding = false;
    if (cancelled) {
        // The figure shown stays; a newer request builds now, a stopped one not at all.
        startBuild();
        return;
    }
    mShown = std::move(geometry);
    mRenderer.setGeometry(mShown);
    mShownSerial = serial;
    mGeometryPixels = pixels;
    mGeometryView = view;
    update();
    std::uint64_t latest;
    {
        std::lock_guard lock(mLock);
        latest = mSerial;
    }
    if (latest == serial)
        emit figureReady();
    startBuild(); // the latest request, or a view that moved meanwhile
}

lsImageRep lsGLView::makeImageRep()
{
    if (!isValid())
        return {}; // never shown: there is no framebuffer
    if (mFrames) {
        const auto frame = mFrames->render(frameRequest());
        return frame ? imageRepFromRgba(frame->rgba, frame->request.width, frame->request.height)
                     : lsImageRep();
    }
    makeCurrent();
    // A resize discards the frame; draw the current one rather than read undefined pixels.
    if (!mFramePainted)
        paintGL();
    const QSize size = pixelSize();
    lsImageRep image = captureImageRep(size.width(), size.height());
    doneCurrent();
    return image;
}

lsImageRep
lsGLView::renderPicture(QSize size, double spinDegrees, const std::array<double, 4> &background)
{
    if (!mFrames) // drawn on the UI thread: only the view's own picture can be had
        return size == pixelSize() && background == mRenderer.backgroundColor()
                               && spinDegrees == spinAngle()
                       ? makeImageRep()
                       : lsImageRep();
    if (!mShown || size.isEmpty())
        return {};
    FrameThread::Request request = frameRequest();
    request.width = size.width();
    request.height = size.height();
    request.backgroundColor = background;
    request.spinDegrees = spinDegrees;
    if (size != mGeometryPixels) {
        std::shared_ptr<const FigurePass> commands;
        double angle, step;
        {
            std::lock_guard lock(mLock);
            if (!mCommands || !mRules || mSerial != mShownSerial)
                return {};
            commands = mCommands;
            angle = mRules->angle;
            step = mRules->step;
        }
        request.geometry =
                buildGeometry(*commands, angle, step, size, mView, std::to_array(mShown->box));
        if (!request.geometry)
            return {};
    }
    const auto frame = mFrames->render(request);
    return frame ? imageRepFromRgba(frame->rgba, frame->request.width, frame->request.height)
                 : lsImageRep();
}

int lsGLView::snapshotToFile(const QString &path, QString *errorString)
{
    const lsImageRep image = makeImageRep();
    if (image.isNull()) {
        if (errorString)
            *errorString = tr("The view has no picture to save.");
        return -1;
    }
    std::string error;
    if (!writeTiff(image, encodeFileName(path.toStdU16String()), &error)) {
        if (errorString)
            *errorString = QString::fromLocal8Bit(error);
        return -1;
    }
    return 0;
}

bool lsGLView::printImage(QPrinter &printer, const lsImageRep &rep, QString *errorString)
{
    const QImage image = toQImage(rep);
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (errorString)
            *errorString = printer.outputFileName().isEmpty()
                                   ? tr("The printer could not be started.")
                                   : tr("Cannot write %1.").arg(printer.outputFileName());
        return false;
    }
    // Unscaled: one unit of the view per point, as the view shows it on screen. A picture
    // larger than the page continues on further pages.
    const double scale = printer.resolution() / 72.0 / devicePixelRatioF();
    const int tileWidth = std::max(1, static_cast<int>(printer.width() / scale));
    const int tileHeight = std::max(1, static_cast<int>(printer.height() / scale));
    bool firstPage = true;
    for (int y = 0; y < image.height(); y += tileHeight) {
        for (int x = 0; x < image.width(); x += tileWidth) {
            if (!firstPage)
                printer.newPage();
            firstPage = false;
            const QRect source(x, y, std::min(tileWidth, image.width() - x),
                               std::min(tileHeight, image.height() - y));
            painter.drawImage(QRectF(0, 0, source.width() * scale, source.height() * scale), image,
                              source);
        }
    }
    if (!painter.end()) {
        if (errorString)
            *errorString = tr("Printing failed.");
        return false;
    }
    return true;
}

void lsGLView::print(const QString &documentName)
{
    // The frame of the moment of the request: the figure goes on spinning behind the dialog.
    const lsImageRep rep = makeImageRep();
    if (rep.isNull())
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(documentName);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString error;
    if (!printImage(printer, rep, &error))
        QMessageBox::warning(this, tr("Print"), error);
}

bool lsGLView::printToPdf(const QString &path, QString *errorString)
{
    const lsImageRep rep = makeImageRep();
    if (rep.isNull()) {
        if (errorString)
            *errorString = tr("The view has no picture to print.");
        return false;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    return printImage(printer, rep, errorString);
}
