#include "figure/figureworker.h"

#include <chrono>

FigureWorker::FigureWorker(Deliver deliver, Report report)
    : mDeliver(std::move(deliver))
    , mReport(std::move(report))
{ }

std::uint64_t FigureWorker::request(FigureRequest request)
{
    const std::uint64_t serial = ++mSerial;
    cancel();
    mCancel = mThread.post(
            [this, serial, request = std::move(request)](const std::atomic<bool> &cancel) {
                run(serial, request, cancel);
            });
    return serial;
}

void FigureWorker::cancel()
{
    if (mCancel)
        mCancel->store(true);
}

void FigureWorker::run(std::uint64_t serial,
                       const FigureRequest &request,
                       const std::atomic<bool> &cancel)
{
    using Clock = std::chrono::steady_clock;
    int pass = -1;
    Clock::time_point reported{};
    const FigureProgressFn progress = [&](const FigureProgress &p) {
        const Clock::time_point now = Clock::now();
        if (p.pass == pass && now - reported < std::chrono::milliseconds(250))
            return;
        pass = p.pass;
        reported = now;
        mReport(serial, p);
    };
    FigureResult result = buildFigure(request, &cancel, mReport ? progress : FigureProgressFn());
    if (serial == mSerial)
        mDeliver(serial, std::move(result));
}
