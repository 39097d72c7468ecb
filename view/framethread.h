#pragma once

#include "engine/interpreter.h"
#include "view/figurecamera.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Draws figure frames on a thread of its own, in an offscreen context (OffscreenContext),
// so that no frame, however large the figure, holds up the thread that asks for it: that
// thread only shows the latest finished frame. Requests never queue: one not yet started
// is replaced by the next, and a newer request stops the frame under way (FigureRenderer::draw
// asks between parts of the figure). A frame of a figure in motion is drawn with plain lines, and a
// large figure's from a lighter stand-in (motionGeometry), made here once per figure.
class FrameThread
{
public:
    struct Request
    {
        std::shared_ptr<const lsGeometry> geometry; // null draws the background only
        std::array<double, 4> lineColor{};
        std::array<double, 4> backgroundColor{};
        int width = 0;
        int height = 0;
        double spinDegrees = 0.0;
        FigureView view;
        // In motion: plain lines, and a large figure drawn from its motionGeometry.
        bool moving = false;
    };
    struct Frame
    {
        Request request;     // what was drawn
        bool spins = false;  // the figure has depth: the spin angle shows
        bool coarse = false; // drawn from the figure's motionGeometry
        // request.width x height pixels, top row first, as 0xAARRGGBB words (QImage's
        // Format_RGB32); empty when the picture could not be had.
        std::vector<std::uint32_t> pixels;
        std::uint64_t number = 0; // of the request, counting from 1
    };

    // Starts the thread and its context; onFrame is called on that thread after each frame.
    explicit FrameThread(std::function<void()> onFrame);
    ~FrameThread();
    FrameThread(const FrameThread &) = delete;
    FrameThread &operator=(const FrameThread &) = delete;

    // False when the context could not be made: then nothing is ever drawn.
    bool isValid() const { return mValid; }

    // Draws the request; a frame that is stopped for a newer one never arrives.
    void request(Request request);
    // Draws the request whole and waits for its frame.
    std::shared_ptr<const Frame> render(Request request);
    // The last frame finished; null before the first.
    std::shared_ptr<const Frame> latest() const;

private:
    void run();

    std::function<void()> mOnFrame;
    mutable std::mutex mMutex;
    std::condition_variable mWake; // a request or the end
    std::condition_variable mDone; // a frame
    std::optional<Request> mPending;
    bool mPendingCapture = false; // mPending came from render()
    bool mSuperseded = false;     // request() was called since the frame under way began
    std::uint64_t mRequested = 0; // requests made
    std::shared_ptr<const Frame> mLatest;
    bool mStarted = false;
    bool mValid = false;
    bool mStop = false;
    std::thread mThread;
};
