#pragma once

#include "figure/figurepipeline.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

// Runs one document's figure requests on a thread of its own, one at a time, and the latest
// request wins: a new request cancels the one running and replaces one waiting.
//
// deliver and report are called on the worker's thread: deliver once per request that
// ends without being replaced (a cancelled one too, with outcome Cancelled), report at each
// new stage and at most every 250 ms within one (each report may repaint a window).
class FigureWorker
{
public:
    using Deliver = std::function<void(std::uint64_t serial, FigureResult result)>;
    using Report = std::function<void(std::uint64_t serial, const FigureProgress &progress)>;

    explicit FigureWorker(Deliver deliver, Report report = {});
    // Cancels what runs and waits for the thread, which notices within milliseconds.
    ~FigureWorker();

    FigureWorker(const FigureWorker &) = delete;
    FigureWorker &operator=(const FigureWorker &) = delete;

    // Returns the request's serial, counting from 1.
    std::uint64_t request(FigureRequest request);
    // Drops a waiting request and cancels the running one.
    void cancel();

private:
    void run();

    const Deliver mDeliver;
    const Report mReport;
    std::atomic<bool> mCancel{ false };
    // Guarded by mLock.
    std::mutex mLock;
    std::condition_variable mWake;
    std::optional<std::pair<std::uint64_t, FigureRequest>> mPending;
    std::uint64_t mSerial = 0;
    bool mRunning = false;
    bool mStopping = false;

    std::thread mThread; // last: starts once everything above is made
};
