#pragma once

#include "engine/ruleset.h"
#include "figure/figurepass.h"
#include "view/figurecamera.h"
#include "view/figurerenderer.h"
#include "view/framethread.h"
#include "view/imagerep.h"

#include <QColor>
#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QTimer>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class QImage;
class QPrinter;

// The figure view: draws the latest figure framed by its bounding box, spinning figures
// with depth about the vertical axis by the clock (0.3 degrees per 10 ms); a flat figure
// is drawn only when something changes. The figure's geometry is built once per hand-over
// (or angle change, or new pixel size) for the view's pixels, off the UI thread for large
// strings; meanwhile the view keeps showing the previous figure.
//
// The user explores the figure through a FigureView: the wheel (or a pinch) zooms about
// the pointer, dragging (or two fingers, or the arrow keys) pans, dragging with the right
// button or with Shift turns a figure with depth, holding its spin meanwhile. Each change
// draws the figure built last at once and, when that one is too coarse for the new scale
// or does not reach far enough, builds it again for the view. A new figure returns to the
// framed view; a new angle keeps the view.
//
// Pixels: the viewport and the capture both use device pixels, the widget's size times its
// device pixel ratio truncated toward zero, so a capture is what the screen shows.
class lsGLView : public QOpenGLWidget
{
    Q_OBJECT

public:
    explicit lsGLView(QWidget *parent = nullptr);
    ~lsGLView() override;

    // Hands over a rule set and the commands it interprets; callable from any thread. The
    // previous commands are freed once nothing uses them any more, and their build still
    // under way is cancelled. figureReady() follows when the figure's geometry is built;
    // meanwhile a build from a stream reports buildProgress().
    void setRulesAndCommands(std::shared_ptr<lsRuleSet> rules, FigurePass commands);
    // Changes the held rule set's turning angle and rebuilds the figure; the commands are
    // kept.
    void setRuleAngle(double radians);
    // Stops the build under way (within milliseconds) and builds the held figure no more
    // until the next hand-over or angle change: the figure shown before stays.
    void cancelBuild();

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

    // The latest figure's geometry: null before the first figure is ready.
    std::shared_ptr<const lsGeometry> shownGeometry() const { return mShown; }
    // The commands last handed over (null before the first hand-over); any thread.
    std::shared_ptr<const FigurePass> heldCommands() const;

    // The size in pixels of the viewport and of a capture.
    QSize pixelSize() const;

    // The last frame drawn, as planar RGB; null when the view has no pixels or has not
    // drawn yet.
    lsImageRep makeImageRep();
    // The current view drawn as a picture of any size at the given spin angle, over the
    // given (opaque) background, from the figure built again for that size; null when there
    // is no figure or no memory for it.
    lsImageRep
    renderPicture(QSize size, double spinDegrees, const std::array<double, 4> &background);
    // Errors: where errorString is given, it may be null.
    // Saves the last frame as an uncompressed TIFF. Returns 0, or -1 with the reason in
    // *errorString.
    [[nodiscard]] int snapshotToFile(const QString &path, QString *errorString = nullptr);
    // Prints the last frame, unscaled (one pixel per point), through the print dialog. The job,
    // and a PDF file the dialog offers to write, are named after documentName.
    void print(const QString &documentName);
    // The same print job into a PDF file, without a dialog.
    [[nodiscard]] bool printToPdf(const QString &path, QString *errorString = nullptr);

signals:
    // The geometry of the latest hand-over is built and shown.
    void figureReady();
    // How far the walk of a build from a stream got: done of length commands. A build
    // that walks twice reports each walk.
    void buildProgress(quint64 done, quint64 length);

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
    struct Build; // one geometry build request
    struct Link;  // lets a worker reach the view only while it exists

    void releaseGL();
    void requestBuild();
    void startBuild();
    bool viewNeedsBuild() const;
    bool hasDepth() const;
    void zoomAbout(double factor, QPointF devicePoint);
    void panBy(double dx, double dy);
    // The camera of the figure shown as the screen shows it now (there must be one).
    FigureCamera shownCamera() const;
    void holdSpin(bool held);
    FrameThread::Request frameRequest() const;
    void showFrame(const FrameThread::Frame *frame);
    static bool sameFrame(const FrameThread::Request &a, const FrameThread::Request &b, bool spins);
    void startSpinTimer();
    void frameArrived();
    void finishBuild(std::uint64_t serial,
                     std::shared_ptr<lsGeometry> geometry,
                     QSize pixels,
                     const FigureView &view,
                     bool cancelled);
    bool printImage(QPrinter &printer, const lsImageRep &rep, QString *errorString);

    // Guards the members up to mFitPending between hand-overs (any thread) and the main
    // thread.
    mutable std::mutex mLock;
    std::shared_ptr<lsRuleSet> mRules;
    std::shared_ptr<const FigurePass> mCommands;
    std::uint64_t mSerial = 0;                       // counts hand-overs and angle changes
    std::uint64_t mStoppedSerial = 0;                // the serial whose build was stopped
    std::shared_ptr<std::atomic<bool>> mBuildCancel; // of the build on a worker
    bool mFitPending = false; // a new figure was handed over: the view returns to Fit

    // Main thread only.
    FigureRenderer mRenderer;
    std::shared_ptr<const lsGeometry> mShown; // the latest figure
    std::unique_ptr<FrameThread> mFrames;     // null when frames are drawn on the UI thread
    bool mFrameInFlight = false;              // a frame was asked for and has not arrived
    double mSpinBase = 0.0;
    QElapsedTimer mSpinClock; // since the spin angle was mSpinBase
    bool mSpinOn = true;
    bool mSpinHeld = false; // the angle stays at mSpinBase
    FigureView mView;
    enum class Drag {
        None,
        Pan,
        Turn
    } mDrag = Drag::None;
    QPointF mDragFrom;        // device pixels
    QTimer mSpinTimer;        // the next frame of a figure with depth
    QSize mGeometryPixels;    // the pixel size of the latest build
    FigureView mGeometryView; // and the view it was built for
    bool mBuilding = false;
    bool mFramePainted = false; // without a frame thread: the framebuffer holds a frame
    std::uint64_t mShownSerial = 0;
    std::shared_ptr<Link> mLink;
};
