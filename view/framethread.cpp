#include "view/framethread.h"

#include "view/figurerenderer.h"
#include "view/motiongeometry.h"
#include "view/offscreencontext.h"

#include <GL/gl.h>

#include <algorithm>
#include <new>

FrameThread::FrameThread(std::function<void()> onFrame)
    : mOnFrame(std::move(onFrame))
{
    mThread = std::thread([this] { run(); });
    std::unique_lock lock(mMutex);
    mDone.wait(lock, [this] { return mStarted; });
}

FrameThread::~FrameThread()
{
    {
        std::lock_guard lock(mMutex);
        mStop = true;
    }
    mWake.notify_all();
    mThread.join();
}

void FrameThread::request(Request request)
{
    {
        std::lock_guard lock(mMutex);
        mPending = std::move(request);
        mPendingCapture = false;
        mSuperseded = true;
        ++mRequested;
    }
    mWake.notify_all();
}

std::shared_ptr<const FrameThread::Frame> FrameThread::render(Request request)
{
    std::unique_lock lock(mMutex);
    if (!mValid)
        return nullptr;
    mPending = std::move(request);
    mPendingCapture = true;
    const std::uint64_t number = ++mRequested;
    mWake.notify_all();
    mDone.wait(lock, [&] { return mLatest && mLatest->number >= number; });
    return mLatest;
}

std::shared_ptr<const FrameThread::Frame> FrameThread::latest() const
{
    std::lock_guard lock(mMutex);
    return mLatest;
}

void FrameThread::run()
{
    OffscreenContext context;
    // One renderer for the figure, one for its stand-in in motion: each keeps its vertices
    // in the context, so that switching between them uploads nothing.
    FigureRenderer sharp, coarse;
    std::shared_ptr<const lsGeometry> coarseOf; // the figure coarse stands in for
    {
        std::lock_guard lock(mMutex);
        mValid = context.create(1, 1, nullptr);
        mStarted = true;
    }
    mDone.notify_all();
    if (!mValid)
        return;
    std::unique_lock lock(mMutex);
    for (;;) {
        mWake.wait(lock, [this] { return mStop || mPending; });
        if (mStop)
            break;
        auto frame = std::make_shared<Frame>();
        frame->request = std::move(*mPending);
        frame->number = mRequested;
        mPending.reset();
        const bool capture = mPendingCapture;
        mSuperseded = false;
        lock.unlock();

        const Request &r = frame->request;
        const int width = std::max(r.width, 1), height = std::max(r.height, 1);
        const bool stand = r.moving && r.geometry && movesCoarse(*r.geometry);
        if (stand && coarseOf != r.geometry) {
            coarseOf = r.geometry;
            coarse.setGeometry(motionGeometry(*r.geometry));
        }
        // Without memory for the stand-in, the figure itself.
        frame->coarse = stand && coarse.geometry();
        FigureRenderer &renderer = frame->coarse ? coarse : sharp;
        if (!frame->coarse && renderer.geometry() != r.geometry)
            renderer.setGeometry(r.geometry);
        // A framebuffer of that size that cannot be had, like memory for the pixels, shows
        // as no picture.
        if ((context.width() == width && context.height() == height)
            || context.resize(width, height, nullptr)) {
            renderer.setLineColor(r.lineColor);
            renderer.setBackgroundColor(r.backgroundColor);
            renderer.setSmoothLines(!r.moving);
            // A frame for the screen stops, a part of the figure short of the end, once a
            // newer one is asked for; a capture is always drawn whole.
            const auto superseded = [this] {
                std::lock_guard check(mMutex);
                return mSuperseded;
            };
            if (!renderer.draw(width, height, r.spinDegrees, r.view, std::nullopt,
                               capture ? std::function<bool()>() : superseded)) {
                lock.lock();
                continue;
            }
            frame->spins = renderer.figureSpins();
            try {
                frame->pixels.resize(std::size_t(width) * std::size_t(height));
                glPixelStorei(GL_PACK_ALIGNMENT, 4);
                glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                             frame->pixels.data());
                // GL reads the bottom row first.
                for (int y = 0; y < height / 2; ++y) {
                    const auto top = frame->pixels.begin() + std::ptrdiff_t(y) * width;
                    std::swap_ranges(top, top + width,
                                     frame->pixels.begin()
                                             + std::ptrdiff_t(height - 1 - y) * width);
                }
            } catch (const std::bad_alloc &) {
                frame->pixels.clear();
            }
        }

        lock.lock();
        mLatest = std::move(frame);
        mDone.notify_all();
        lock.unlock();
        mOnFrame();
        lock.lock();
    }
    lock.unlock();
    sharp.releaseGL();
    coarse.releaseGL();
}
