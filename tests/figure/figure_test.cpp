// The figure pipeline: the pass shown and why, and the worker that runs requests.
#include "figure/figuredescription.h"
#include "figure/figurepipeline.h"
#include "figure/figureworker.h"
#include "tests/allocation/failingallocator.h"

#include <gtest/gtest.h>

#include <array>
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

TEST(FigurePipeline, ShowsTheLastPassItCanDrawAndSaysWhy)
{
    FigureRequest request = doubling(7);
    FigureResult figure = buildFigure(request);
    EXPECT_EQ(figure.outcome, FigureOutcome::Complete);
    EXPECT_EQ(figure.pass, 7);
    EXPECT_FALSE(figure.commands.isStreamed());
    EXPECT_EQ(figure.length, 129u);
    EXPECT_EQ(figure.count.vertices, 129u);
    EXPECT_EQ(describeOutcome(figure), "");
    EXPECT_EQ(describeFigure(figure, 1.5), "Pass 7 of 7: 129 symbols, 128 segments, 1.50 s");

    // Past the string budget the pass is streamed, not refused.
    request.stringBudget = 100;
    figure = buildFigure(request);
    EXPECT_EQ(figure.outcome, FigureOutcome::Complete);
    EXPECT_EQ(figure.pass, 7);
    EXPECT_TRUE(figure.commands.isStreamed());
    EXPECT_EQ(figure.length, 129u);
    EXPECT_EQ(figure.count.vertices, 129u);

    // A pass that expansion units draw is never rewritten, whatever the string budget: it
    // is handed on with its unit table made.
    FigureRequest drawnByUnits = doubling(5);
    drawnByUnits.rules = { std::string(16, 'F') }; // 16^5 = 2^20 moves
    const FigureResult byUnits = buildFigure(drawnByUnits);
    EXPECT_EQ(byUnits.pass, 5);
    EXPECT_TRUE(byUnits.commands.isStreamed());
    const lsUnitTable::Made units =
            byUnits.commands.units(byUnits.rules->angle, byUnits.rules->step);
    ASSERT_TRUE(units.table);
    EXPECT_EQ(byUnits.commands.units(byUnits.rules->angle, byUnits.rules->step).table, units.table);

    request.lengthLimit = 100;
    figure = buildFigure(request);
    EXPECT_EQ(figure.outcome, FigureOutcome::LengthLimit);
    EXPECT_EQ(figure.pass, 6);
    EXPECT_EQ(figure.length, 65u);
    EXPECT_EQ(describeOutcome(figure, "a.lsd"),
              "a.lsd: showing pass 6 of 7: pass 7 would have 129 symbols, more than the 100 a "
              "figure may have");

    // Drawn reduced, the figure's vertices do not count against the geometry budget; its
    // stack of saved states (one per pass here) does.
    request = doubling(7);
    request.rules = { "[F]F" };
    const std::uint64_t deepest = 7 * sizeof(lsTurtleState);
    request.geometryBudget = deepest - 1;
    figure = buildFigure(request);
    EXPECT_EQ(figure.outcome, FigureOutcome::GeometryBudget);
    EXPECT_EQ(figure.pass, 6);
    EXPECT_EQ(figure.count.depth, 6u);
    EXPECT_EQ(describeLimit(figure), "Pass 7 would need " + std::to_string(deepest)
                                             + " bytes to draw, more than the "
                                             + std::to_string(deepest - 1) + " bytes limit.");
    request.geometryBudget = deepest;
    EXPECT_EQ(buildFigure(request).pass, 7);

    // Just over a limit of KiB or more, the need is given exactly: rounded, it reads as the
    // limit.
    request.rules = { "[[[[[[[[[[F]]]]]]]]]]F" };
    request.geometryBudget = 70 * sizeof(lsTurtleState) - 64;
    figure = buildFigure(request);
    EXPECT_EQ(figure.pass, 6);
    EXPECT_EQ(describeOutcome(figure),
              "showing pass 6 of 7: pass 7 would need 4,480 bytes to draw, more than the "
              "4.3 KiB (4,416 bytes) limit");
}

// Memory that runs out below a pass refused for its length is why the pass after the one
// shown is not shown: the message names that pass and memory, not the length of another.
TEST(FigurePipeline, MemoryThatRunsOutBelowALimitIsTheReasonGiven)
{
    // X makes a ']' it did not open, so that expansion units do not stand for the pass and
    // its string is made.
    FigureRequest request = doubling(21);
    request.axiom = "+FX";
    request.letters.push_back("X");
    request.rules.push_back("]");
    request.lengthLimit = (1 << 20) + 2; // pass 21 has 2^21 + 2 symbols
    FigureResult figure;
    {
        // Pass 20 takes 1 MiB, pass 19 half of that.
        const auto failing = failingalloc::Scope::from(768 << 10);
        figure = buildFigure(request);
    }
    EXPECT_EQ(figure.outcome, FigureOutcome::OutOfMemory);
    EXPECT_EQ(figure.pass, 19);
    EXPECT_EQ(figure.length, (1u << 19) + 2);
    EXPECT_EQ(describeOutcome(figure),
              "showing pass 19 of 21: there was not enough memory for pass 20");
}

// What sprig-render --info reports of a streamed pass (its length, counts and box) is what
// the string of the same pass gives.
TEST(FigurePipeline, AStreamedPassCountsAndMeasuresAsItsString)
{
    FigureRequest request;
    request.axiom = "X";
    request.letters = { "X", "F" };
    request.rules = { "F[+X]F[-X]&X!@0.9", "F@1e0F" };
    request.angle = 25.7;
    request.passes = 6;
    const FigureResult materialized = buildFigure(request);
    request.stringBudget = 0;
    const FigureResult streamed = buildFigure(request);
    ASSERT_FALSE(materialized.commands.isStreamed());
    ASSERT_TRUE(streamed.commands.isStreamed());
    EXPECT_EQ(streamed.pass, materialized.pass);
    EXPECT_EQ(streamed.length, materialized.length);
    EXPECT_EQ(streamed.count.vertices, materialized.count.vertices);
    EXPECT_EQ(streamed.count.strips, materialized.count.strips);
    EXPECT_EQ(streamed.count.depth, materialized.count.depth);
    std::array<double, 6> box{}, streamedBox{};
    ASSERT_TRUE(lsMeasureString(*materialized.rules, *materialized.commands.source(), box.data()));
    ASSERT_TRUE(lsMeasureString(*streamed.rules, *streamed.commands.source(), streamedBox.data()));
    EXPECT_EQ(streamedBox, box);
    EXPECT_GT(box[lsMaxY] - box[lsMinY], 0.0);
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
    // 2^28 moves, under a rule that closes a bracket it did not open (so that no expansion
    // units can stand for it): seconds of rewriting and counting were it not cancelled.
    const auto large = [] {
        FigureRequest request = doubling(28);
        request.rules = { "FF]" };
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
    EXPECT_TRUE(deliveries.results[1].second.commands.isNull());
}

} // namespace
