#pragma once

#include "view/figurecamera.h"
#include "view/framethread.h"
#include "view/imagerep.h"

#include <QColor>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>

// The figure view: draws the geometry it is shown, framed by its bounding box, spinning
// figures with depth about the vertical axis by the clock (0.3 degrees per 10 ms), at most
// frameRate frames a second; a flat or still figure is drawn only when something changes.
// A figure in motion (spinning, turned, zoomed or panned) is drawn with plain lines, a
// large one from a lighter stand-in (motionGeometry), and smooth and whole again once it
// rests. It builds nothing: whoever owns the figure
// (the document's FigureSession) builds its geometry for the view's pixels and view, and
// shows it here when it is ready.
//
// The user explores the figure through a FigureView: the wheel (or a pinch) zooms about
// the pointer, dragging (or two fingers, or the arrow keys) pans, dragging with the right
// button or with Shift turns a figure with depth, holding its spin meanwhile. Each change
// draws the geometry shown at once, at the new scale, and says so (viewChanged), so that
// the owner can build it again for the new view.
//
// Frames are drawn with GL on a thread of their own (FrameThread) and painted here as
// images: the window holds no GL surface, so that a cursor blinking in a text field, or
// any other widget painting, repaints that widget only and never the figure.
//
// Pixels: the viewport and the capture both use device pixels, the widget's size times its
// device pixel ratio truncated toward zero, so a capture is what the screen shows.
class lsGLView : public QWidget
{
    Q_OBJECT

public:
    // The most frames a second: film's rate, smooth for a figure turning 30 degrees a
    // second (a degree and a quarter a frame) at little cost.
    static constexpr int frameRate = 24;

    explicit lsGLView(QWidget *parent = nullptr);
    ~lsGLView() override;

    // The geometry to draw from now on (null: the background only). It is drawn as it was
    // built, through the current view.
    void showGeometry(std::shared_ptr<const lsGeometry> geometry);

    void setColor(const QColor &color);
    void setBackgroundColor(const QColor &color);
    std::array<double, 4> lineColor() const { return mLineColor; }
    std::array<double, 4> backgroundColor() const { return mBackgroundColor; }

    // The spin angle in degrees, which advances with real time; setting it restarts the
    // count from the value set.
    double spinAngle() const;
    void setSpinAngle(double degrees);

    // The view of the figure: the window's, not the document's.
    const FigureView &view() const { return mView; }
    void setView(const FigureView &view);
    void zoomIn();
    void zoomOut();
    // Back to the framed view.
    void fit();
    // Whether figures with depth spin (they do at first).
    bool isSpinning() const { return mSpinOn; }
    void setSpinning(bool on);
    // Whether the view draws again without being changed: a frame is on its way, or the
    // next one waits for its time (a spinning figure's, or one asked for too soon).
    bool isAnimating() const { return mFrameInFlight || mFrameTimer.isActive(); }
    // Whether the figure moves: it spins, or the user turns, zooms or pans it (until a
    // moment after the last change).
    bool isMoving() const;

    // The geometry shown: null before the first.
    std::shared_ptr<const lsGeometry> shownGeometry() const { return mShown; }
    // The geometry and the view of the frame on screen: what the user sees, which the
    // geometry shown replaces once a frame of it is drawn. Null before the first frame.
    std::shared_ptr<const lsGeometry> drawnGeometry() const { return mDrawn; }
    const FigureView &drawnView() const { return mDrawnView; }
    // The last frame drawn for the view (painted, or about to be); null before the first.
    std::shared_ptr<const FrameThread::Frame> latestFrame() const;

    // The size in pixels of the viewport and of a capture.
    QSize pixelSize() const;

    // The last frame drawn, as planar RGB; null when the view has no pixels or has not
    // drawn yet.
    lsImageRep makeImageRep();
    // Prints the last frame, unscaled (one pixel per point), through the print dialog. The job,
    // and a PDF file the dialog offers to write in `folder`, are named after documentName.
    // Says why when there is no frame to print.
    void print(const QString &documentName, const QString &folder);
    // The same print job into a PDF file, without a dialog.
    [[nodiscard]] bool printToPdf(const QString &path, QString *errorString = nullptr);

signals:
    // The view of the figure or the pixel size changed: zoom, pan, turn, Fit, a resize.
    void viewChanged();
    // The frame on screen is the first drawn from drawnGeometry().
    void geometryDrawn();
    // The view painted itself, with the latest frame.
    void painted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Link; // lets the frame thread reach the view only while it exists

    bool hasDepth() const;
    bool isExposed() const;
    void zoomAbout(double factor, QPointF devicePoint);
    void panBy(double dx, double dy);
    // The camera of the figure shown as the screen shows it now (there must be one).
    FigureCamera shownCamera() const;
    void holdSpin(bool held);
    // The user moved the figure: it is drawn as moving for a moment.
    void userMoved();
    FrameThread::Request frameRequest() const;
    static bool sameFrame(const FrameThread::Frame &frame, const FrameThread::Request &wanted);
    FrameThread &frames();
    void requestFrame();
    void noteDrawn(const std::shared_ptr<const lsGeometry> &geometry, const FigureView &view);
    void frameArrived();

    std::array<double, 4> mLineColor{ 1.0, 1.0, 1.0, 1.0 };
    std::array<double, 4> mBackgroundColor{ 0.0, 0.0, 0.0, 0.0 };
    std::shared_ptr<const lsGeometry> mShown;
    std::shared_ptr<const lsGeometry> mDrawn; // of the frame on screen
    FigureView mDrawnView;
    std::unique_ptr<FrameThread> mFrames; // made by frames()
    bool mFrameInFlight = false;          // a frame was asked for and has not arrived
    bool mFrameInFlightMoving = false;    // that frame shows the figure in motion
    QElapsedTimer mSinceRequest;          // since the last frame was asked for
    QTimer mFrameTimer;                   // the next frame, when it is not due yet
    QTimer mRest;                         // runs while the user's last move is recent
    double mSpinBase = 0.0;
    QElapsedTimer mSpinClock; // since the spin angle was mSpinBase
    bool mSpinOn = true;
    bool mSpinHeld = false; // the angle stays at mSpinBase
    FigureView mView;
    QSize mPixels; // the pixel size last told of
    enum class Drag {
        None,
        Pan,
        Turn
    } mDrag = Drag::None;
    QPointF mDragFrom; // device pixels
    std::shared_ptr<Link> mLink;
};
