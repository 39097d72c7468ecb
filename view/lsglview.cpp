#include "view/lsglview.h"

#include "view/figureprinting.h"
#include "view/motiongeometry.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

// A figure with depth turns this much per tick of this many milliseconds of real time.
constexpr double spinDegreesPerTick = 0.3;
constexpr qint64 spinTickMilliseconds = 10;
// A figure the user zoomed, panned or turned counts as moving this long after: long enough
// to span the gap between the events of a drag or a turn of the wheel, short enough that
// the sharp frame of a single notch is not held back (a sharp frame that motion overtakes
// is abandoned, so resting too early costs little).
constexpr int restMilliseconds = 120;

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
    : QWidget(parent)
    , mLink(std::make_shared<Link>())
{
    mLink->view = this;
    // Every paint covers the whole view with the frame or the background.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus); // the arrow keys pan
    mSpinClock.start();
    mSinceRequest.start();
    mFrameTimer.setSingleShot(true);
    mFrameTimer.setTimerType(Qt::PreciseTimer);
    connect(&mFrameTimer, &QTimer::timeout, this, &lsGLView::requestFrame);
    mRest.setSingleShot(true);
    mRest.setInterval(restMilliseconds);
    connect(&mRest, &QTimer::timeout, this, &lsGLView::requestFrame);
}

lsGLView::~lsGLView()
{
    mFrames.reset(); // waits for the frame in progress
    std::lock_guard lock(mLink->mutex);
    mLink->view = nullptr;
}

QSize lsGLView::pixelSize() const
{
    const qreal ratio = devicePixelRatioF();
    return { static_cast<int>(width() * ratio), static_cast<int>(height() * ratio) };
}

void lsGLView::resizeEvent(QResizeEvent *)
{
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
    return { mShown,      mLineColor, mBackgroundColor, size.width(), size.height(),
             spinAngle(), mView,      isMoving() };
}

std::shared_ptr<const FrameThread::Frame> lsGLView::latestFrame() const
{
    return mFrames ? mFrames->latest() : nullptr;
}

// Made at the first paint or capture, whichever comes first: a capture made before the view
// was ever painted (a window just opened, or never shown) draws its own frame.
FrameThread &lsGLView::frames()
{
    if (!mFrames) {
        mFrames = std::make_unique<FrameThread>([link = mLink] {
            std::lock_guard lock(link->mutex);
            if (lsGLView *view = link->view)
                QMetaObject::invokeMethod(view, &lsGLView::frameArrived, Qt::QueuedConnection);
        });
    }
    return *mFrames;
}

// Paints the latest frame; frames are drawn on the frame thread, so painting never waits
// for one, and asks for the next when it no longer matches the view.
void lsGLView::paintEvent(QPaintEvent *)
{
    const std::shared_ptr<const FrameThread::Frame> frame = frames().latest();
    QPainter painter(this);
    const QSize size = pixelSize();
    if (!frame || frame->pixels.empty() || frame->request.width != size.width()
        || frame->request.height != size.height()) {
        QColor background;
        background.setRgbF(float(mBackgroundColor[0]), float(mBackgroundColor[1]),
                           float(mBackgroundColor[2]));
        painter.fillRect(rect(), background);
    }
    if (!mFrames->isValid()) {
        painter.setPen(palette().color(QPalette::BrightText));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap,
                         tr("The figure cannot be drawn: OpenGL without a window (EGL on "
                            "Mesa's surfaceless platform) is not available."));
    }
    if (frame && !frame->pixels.empty()) {
        QImage image(reinterpret_cast<const uchar *>(frame->pixels.data()), frame->request.width,
                     frame->request.height, frame->request.width * 4, QImage::Format_RGB32);
        image.setDevicePixelRatio(devicePixelRatioF());
        painter.drawImage(0, 0, image);
        noteDrawn(frame->request.geometry, frame->request.view);
    }
    painter.end();
    emit painted();
    requestFrame();
}

bool lsGLView::isExposed() const
{
    const QWindow *shown = window()->windowHandle();
    return isVisible() && shown && shown->isExposed();
}

// The one place that asks for frames, one at a time, so that frames never queue and input
// never waits for one, and no sooner than frameRate allows. A spinning figure asks again
// once the next frame is due, so that it turns with real time however long a frame takes.
// Only a view on the screen asks: a hidden or minimised view stops drawing here.
void lsGLView::requestFrame()
{
    if (!mFrames || !mFrames->isValid() || !isExposed())
        return;
    const FrameThread::Request wanted = frameRequest();
    if (mFrameInFlight) {
        // A sharp frame of a large figure takes seconds: motion does not wait for it.
        if (mFrameInFlightMoving || !wanted.moving || !mShown || !movesCoarse(*mShown))
            return;
        mFrameInFlight = false;
    }
    const std::shared_ptr<const FrameThread::Frame> frame = mFrames->latest();
    const bool current = frame && sameFrame(*frame, wanted);
    if (current && !(frame->spins && !mSpinHeld))
        return;
    const qint64 due = 1000 / frameRate - mSinceRequest.elapsed();
    if (current || due > 0) {
        // A spinning figure's angle changes at the next tick of the clock.
        const qint64 tick = spinTickMilliseconds - mSpinClock.elapsed() % spinTickMilliseconds;
        mFrameTimer.start(int(std::max(due, current ? tick : qint64(0))));
        return;
    }
    mFrames->request(wanted);
    mFrameInFlight = true;
    mFrameInFlightMoving = wanted.moving;
    mSinceRequest.restart();
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

bool lsGLView::sameFrame(const FrameThread::Frame &frame, const FrameThread::Request &b)
{
    const FrameThread::Request &a = frame.request;
    return a.geometry == b.geometry && a.lineColor == b.lineColor
           && a.backgroundColor == b.backgroundColor && a.width == b.width && a.height == b.height
           && a.view == b.view && (!frame.spins || a.spinDegrees == b.spinDegrees)
           && a.moving == b.moving;
}

void lsGLView::frameArrived()
{
    mFrameInFlight = false;
    update();
}

bool lsGLView::isMoving() const
{
    return (hasDepth() && !mSpinHeld) || mDrag != Drag::None || mRest.isActive();
}

void lsGLView::userMoved()
{
    mRest.start();
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
    requestFrame();
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
    requestFrame();
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
    userMoved();
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
    userMoved();
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
    return QWidget::event(event);
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
        return QWidget::mousePressEvent(event);
    mDragFrom = event->position();
    holdSpin(mDrag == Drag::Turn);
    event->accept();
}

void lsGLView::mouseMoveEvent(QMouseEvent *event)
{
    if (mDrag == Drag::None)
        return QWidget::mouseMoveEvent(event);
    const QPointF moved = event->position() - mDragFrom;
    mDragFrom = event->position();
    if (mDrag == Drag::Pan) {
        panBy(moved.x() * devicePixelRatioF(), moved.y() * devicePixelRatioF());
    } else {
        mSpinBase += moved.x() * turnDegreesPerPixel;
        FigureView turned = mView;
        turned.tiltDegrees = std::fmod(turned.tiltDegrees + moved.y() * turnDegreesPerPixel, 360.0);
        userMoved();
        setView(turned);
        requestFrame();
    }
    event->accept();
}

void lsGLView::mouseReleaseEvent(QMouseEvent *event)
{
    if (mDrag == Drag::None)
        return QWidget::mouseReleaseEvent(event);
    mDrag = Drag::None;
    userMoved();
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
        return QWidget::keyPressEvent(event);
    }
    event->accept();
}

void lsGLView::setSpinAngle(double degrees)
{
    mSpinBase = degrees;
    mSpinClock.restart();
    requestFrame();
}

void lsGLView::setColor(const QColor &color)
{
    mLineColor = components(color);
    requestFrame();
}

void lsGLView::setBackgroundColor(const QColor &color)
{
    mBackgroundColor = components(color);
    requestFrame();
}

void lsGLView::showGeometry(std::shared_ptr<const lsGeometry> geometry)
{
    mShown = std::move(geometry);
    requestFrame();
}

lsImageRep lsGLView::makeImageRep()
{
    if (!mFrames && !mShown)
        return {}; // nothing painted and nothing to paint: no picture yet
    // Sharp, whether the figure moves or not.
    FrameThread::Request request = frameRequest();
    request.moving = false;
    const auto frame = frames().render(std::move(request));
    return frame ? imageRepFromArgb32(frame->pixels, frame->request.width, frame->request.height)
                 : lsImageRep();
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
