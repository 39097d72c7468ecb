#include "view/lsglview.h"

#include "view/figureprinting.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QOpenGLContext>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

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

std::array<double, 4> components(const QColor &color)
{
    float r, g, b, a;
    color.toRgb().getRgbF(&r, &g, &b, &a);
    return { r, g, b, a };
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
    // The figure is built for the picture's pixels: a new size may take a new build.
    const QSize pixels = pixelSize();
    if (pixels == mPixels)
        return;
    mPixels = pixels;
    emit viewChanged();
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
        noteDrawn(r.geometry, r.view);
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
    if (frame)
        noteDrawn(frame->request.geometry, frame->request.view);
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

void lsGLView::noteDrawn(const std::shared_ptr<const lsGeometry> &geometry, const FigureView &view)
{
    mDrawnView = view;
    if (geometry == mDrawn)
        return;
    mDrawn = geometry;
    if (mDrawn)
        emit geometryDrawn();
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
    emit viewChanged();
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

void lsGLView::showGeometry(std::shared_ptr<const lsGeometry> geometry)
{
    mShown = std::move(geometry);
    mRenderer.setGeometry(mShown);
    update();
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

void lsGLView::print(const QString &documentName, const QString &folder)
{
    // The frame of the moment of the request: the figure goes on spinning behind the dialog.
    const lsImageRep rep = makeImageRep();
    if (rep.isNull()) {
        QMessageBox::warning(this, tr("Print"), tr("The view has no picture to print yet."));
        return;
    }
    printWithDialog(this, rep, devicePixelRatioF(), documentName, folder);
}

bool lsGLView::printToPdf(const QString &path, QString *errorString)
{
    const lsImageRep rep = makeImageRep();
    if (rep.isNull()) {
        if (errorString)
            *errorString = tr("The view has no picture to print yet.");
        return false;
    }
    return printPictureToPdf(rep, devicePixelRatioF(), path, errorString);
}
