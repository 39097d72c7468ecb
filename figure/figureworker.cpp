#include "figure/figureworker.h"

#include <chrono>

FigureWorker::FigureWorker(Deliver deliver, Report report)
    : mDeliver(std::move(deliver))
    , mReport(std::move(report))
    , mThread(&FigureWorker::run, this)
{ }

FigureWorker::~FigureWorker()
{
    {
        std::lock_guard guard(mLock);
        mStopping = true;
        mPending.reset();
        mCancel = true;
    }
    mWake.notify_all();
    mThread.join();
}

std::uint64_t FigureWorker::request(FigureRequest request)
{
    std::uint64_t serial;
    {
        std::lock_guard guard(mLock);
        serial = ++mSerial;
        mPending.emplace(serial, std::move(request));
        if (mRunning)
            mCancel = true;
    }
    mWake.notify_all();
    return serial;
}

void FigureWorker::cancel()
{
    std::lock_guard guard(mLock);
    mPending.reset();
    if (mRunning)
        mCancel = true;
}

void FigureWorker::run()
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock guard(mLock);
    for (;;) {
        mWake.wait(guard, [this] { return mStopping || mPending; });
        if (mStopping)
            return;
        // Not a structured binding: the progress lambda captures serial, which clang 14 does
        // not allow of one.
        const std::uint64_t serial = mPending->first;
        const FigureRequest request = std::move(mPending->second);
        mPending.reset();
        mCancel = false;
        mRunning = true;
        guard.unlock();

        int pass = 0;
        Clock::time_point reported{};
        const FigureProgressFn progress = [&](const FigureProgress &p) {
            const Clock::time_point now = Clock::now();
            if (p.pass == pass && now - reported < std::chrono::milliseconds(250))
                return;
            pass = p.pass;
            reported = now;
            mReport(serial, p);
        };
        FigureResult result =
                buildFigure(request, &mCancel, mReport ? progress : FigureProgressFn());

        guard.lock();
        mRunning = false;
        if (result.outcome == FigureOutcome::Cancelled && mPending)
            continue; // replaced
        guard.unlock();
        mDeliver(serial, std::move(result));
        guard.lock();
    }
}
