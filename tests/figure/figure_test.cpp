// The figure pipeline: the pass shown and why, and the worker that runs requests.
#include "figure/figurepipeline.h"
#include "figure/figureworker.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

FigureRequest doubling(int passes)
{
    FigureRequest request;
    request.axiom = "+F";
    request.letters = { "F" };
    request.rules = { "FF" };
    request.passes = passes; // 2^passes moves, one vertex of 12 bytes each and one strip
    return request;
}

TEST(FigurePipeline, ShowsTheLastPassWithinBothBudgetsAndSaysWhy)
{
    FigureRequest request = doubling(7);
    FigureResult figure = buildFigure(request);
    EXPECT_EQ(figure.outcome, FigureOutcome::Complete);
    EXPECT_EQ(figure.pass, 7);
    EXPECT_EQ(figure.string.size(), 129u);
    EXPECT_EQ(figure.count.vertices, 129u);
    EXPECT_EQ(describeOutcome(figure), "");
    EXPECT_EQ(describeFigure(figure).substr(0, 40), "Pass 7 of 7: 129 symbols, 128 segments, ");

    request.geometryBudget = 800; // 65 vertices fit, 129 do not
    figure = buildFigure(request);
    EXPECT_EQ(figure.outcome, FigureOutcome::GeometryBudget);
    EXPECT_EQ(figure.pass, 6);
    EXPECT_EQ(figure.count.vertices, 65u);
    EXPECT_EQ(figure.string.size(), 65u);
    EXPECT_EQ(describeOutcome(figure, "a.lsd"),
              "a.lsd: showing pass 6 of 7: pass 7 would make a figure of 1.5 KiB, more than the "
              "800 bytes limit");

    // The string budget stops it first; the geometry budget then steps back further.
    request.stringBudget = 100;
    request.geometryBudget = 400;
    figure = buildFigure(request);
    EXPECT_EQ(figure.outcome, FigureOutcome::GeometryBudget);
    EXPECT_EQ(figure.pass, 4);
    request.geometryBudget = lsGeometryByteBudget;
    figure = buildFigure(request);
    EXPECT_EQ(figure.outcome, FigureOutcome::StringBudget);
    EXPECT_EQ(figure.pass, 6);
    EXPECT_EQ(describeOutcome(figure),
              "showing pass 6 of 7: pass 7 would make a string of 129 bytes, more than the 100 "
              "bytes limit");
    EXPECT_EQ(describeFigure(figure).substr(describeFigure(figure).find(". Pass")),
              ". Pass 7 would make a string of 129 bytes, more than the 100 bytes limit.");
}

// Collects what a worker delivers.
struct Deliveries
{
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<std::pair<std::uint64_t, FigureResult>> results;

    void add(std::uint64_t serial, FigureResult result)
    {
        std::lock_guard guard(lock);
        results.emplace_back(serial, std::move(result));
        arrived.notify_all();
    }
    void waitFor(std::size_t count)
    {
        std::unique_lock guard(lock);
        arrived.wait(guard, [&] { return results.size() >= count; });
    }
};

TEST(FigureWorker, ANewerRequestCancelsTheRunningOneAndStopCancelsAndSaysSo)
{
    Deliveries deliveries;
    std::atomic<std::uint64_t> reporting{ 0 };
    FigureWorker worker([&](std::uint64_t serial,
                            FigureResult result) { deliveries.add(serial, std::move(result)); },
                        [&](std::uint64_t serial, const FigureProgress &) { reporting = serial; });
    // 2^28 moves: seconds of rewriting and counting were it not cancelled.
    const auto large = [] {
        FigureRequest request = doubling(28);
        request.geometryBudget = UINT64_MAX;
        return request;
    };
    const std::uint64_t first = worker.request(large());
    while (reporting != first) {
    }
    const std::uint64_t second = worker.request(doubling(3));
    deliveries.waitFor(1);
    const std::uint64_t third = worker.request(large());
    while (reporting != third) {
    }
    worker.cancel();
    deliveries.waitFor(2);

    std::lock_guard guard(deliveries.lock);
    ASSERT_EQ(deliveries.results.size(), 2u);
    EXPECT_EQ(deliveries.results[0].first, second);
    EXPECT_EQ(deliveries.results[0].second.pass, 3);
    EXPECT_EQ(deliveries.results[1].second.outcome, FigureOutcome::Cancelled);
    EXPECT_TRUE(deliveries.results[1].second.string.isNull());
}

} // namespace
