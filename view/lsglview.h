#pragma once

#include "view/figurecamera.h"
#include "view/figurerenderer.h"
#include "view/framethread.h"
#include "view/imagerep.h"

#include <QColor>
#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QTimer>

#include <array>
#include <memory>

// The figure view: draws the geometry it is shown, framed by its bounding box, spinning
// figures with depth about the vertical axis by the clock (0.3 degrees per 10 ms); a flat
// figure is drawn only when something changes. It builds nothing: whoever owns the figure
// (the document's FigureSession) builds its geometry for the view's pixels and view, and
// shows it here when it is ready.
//
// The user explores the figure through a FigureView: the wheel (or a pinch) zooms about
// the pointer, dragging (or two fingers, or the arrow keys) pans, dragging with the right
// button or with Shift turns a figure with depth, holding its spin meanwhile. Each change
// draws the geometry shown at once, at the new scale, and says so (viewChanged), so that
// the owner can build it again for the new view.
//
// Pixels: the viewport and the capture both use device pixels, the widget's size times its
// device pixel ratio truncated toward zero, so a capture is what the screen shows.
class lsGLView : public QOpenGLWidget
{
    Q_OBJECT

public:
    explicit lsGLView(QWidget *parent = nullptr);
    ~lsGLView() override;

    // The geometry to draw from now on (null: the background only). It is drawn as it was
    // built, through the current view.
    void showGeometry(std::shared_ptr<const lsGeometry> geometry);

    void setColor(const QColor &color);
    void setBackgroundColor(const QColor &color);
    std::array<double, 4> lineColor() const { return mRenderer.lineColor(); }
    std::array<double, 4> backgroundColor() const { return mRenderer.backgroundColor(); }

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
    // Whether the view draws again without being changed: a frame is on its way, or a
    // spinning figure waits for the next tick of the clock.
    bool isAnimating() const { return mFrameInFlight || mSpinTimer.isActive(); }

    // The geometry shown: null before the first.
    std::shared_ptr<const lsGeometry> shownGeometry() const { return mShown; }
    // The geometry and the view of the frame on screen: what the user sees, which the
    // geometry shown replaces once a frame of it is drawn. Null before the first frame.
    std::shared_ptr<const lsGeometry> drawnGeometry() const { return mDrawn; }
    const FigureView &drawnView() const { return mDrawnView; }

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

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    bool event(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Link; // lets the frame thread reach the view only while it exists

    void releaseGL();
    bool hasDepth() const;
    void zoomAbout(double factor, QPointF devicePoint);
    void panBy(double dx, double dy);
    // The camera of the figure shown as the screen shows it now (there must be one).
    FigureCamera shownCamera() const;
    void holdSpin(bool held);
    FrameThread::Request frameRequest() const;
    void showFrame(const FrameThread::Frame *frame);
    void noteDrawn(const std::shared_ptr<const lsGeometry> &geometry, const FigureView &view);
    static bool sameFrame(const FrameThread::Request &a, const FrameThread::Request &b, bool spins);
    void startSpinTimer();
    void frameArrived();

    FigureRenderer mRenderer;
    std::shared_ptr<const lsGeometry> mShown;
    std::shared_ptr<const lsGeometry> mDrawn; // of the frame on screen
    FigureView mDrawnView;
    std::unique_ptr<FrameThread> mFrames; // null when frames are drawn on the UI thread
    bool mFrameInFlight = false;          // a frame was asked for and has not arrived
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
    QPointF mDragFrom;          // device pixels
    QTimer mSpinTimer;          // the next frame of a figure with depth
    bool mFramePainted = false; // without a frame thread: the framebuffer holds a frame
    std::shared_ptr<Link> mLink;
};
