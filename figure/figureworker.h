#pragma once

#include "figure/figurepipeline.h"
#include "figure/jobthread.h"

#include <atomic>
#include <cstdint>
#include <functional>

// Runs one document's figure requests on a thread of its own, one at a time, and the latest
// request wins: a new request cancels the ones before it, which are never delivered.
//
// deliver and report are called on the worker's thread: deliver once per request that is
// not replaced (a cancelled one too, with outcome Cancelled), report at each new stage and
// at most every 250 ms within one (each report may repaint a window). request and cancel
// are called from one thread, the owner's.
class FigureWorker
{
public:
    using Deliver = std::function<void(std::uint64_t serial, FigureResult result)>;
    using Report = std::function<void(std::uint64_t serial, const FigureProgress &progress)>;

    explicit FigureWorker(Deliver deliver, Report report = {});
    // Cancels what runs and waits for the thread, which notices within milliseconds.
    ~FigureWorker() = default;

    FigureWorker(const FigureWorker &) = delete;
    FigureWorker &operator=(const FigureWorker &) = delete;

    // Returns the request's serial, counting from 1.
    std::uint64_t request(FigureRequest request);
    // Cancels the latest request, which is then delivered with outcome Cancelled.
    void cancel();

private:
    void run(std::uint64_t serial, const FigureRequest &request, const std::atomic<bool> &cancel);

    const Deliver mDeliver;
    const Report mReport;
    std::atomic<std::uint64_t> mSerial{ 0 }; // of the latest request
    JobThread::Cancel mCancel;               // of the latest request
    JobThread mThread;                       // last: its jobs use everything above
};
