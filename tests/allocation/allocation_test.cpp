// Every allocation of an operation made to fail, one at a time, as storage engines test
// themselves: building a figure (the pipeline, then the picture's geometry, of a string and
// of a streamed pass), opening a document and saving one. Each run must end with an
// outcome that says what happened; under the sanitizers none may crash, hang or leak.
#include "document/model/documentfile.h"
#include "figure/figuredescription.h"
#include "figure/figurepipeline.h"
#include "tests/allocation/failingallocator.h"
#include "view/viewgeometry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <new>

namespace {

using Tally = std::map<std::string, int>;

// Runs `operation` with its 1st, 2nd, ... allocation failing in turn, until a run makes
// fewer allocations than the number of the one to fail. `prepare` sets up each run and
// `judge` checks it and names its outcome, both with nothing failing. Returns the number
// of allocations made to fail, and prints the tally of outcomes.
std::uint64_t sweep(const char *name,
                    const std::function<void()> &prepare,
                    const std::function<void()> &operation,
                    const std::function<std::string()> &judge)
{
    Tally tally;
    std::uint64_t n = 1;
    for (;; ++n) {
        prepare();
        bool escaped = false;
        {
            const auto failing = failingalloc::Scope::nth(n);
            try {
                operation();
            } catch (const std::bad_alloc &) {
                escaped = true;
            }
        }
        EXPECT_FALSE(escaped) << name << ": the failure of allocation " << n << " escaped";
        if (!failingalloc::failed())
            break; // the run made fewer than n allocations: each has failed once
        SCOPED_TRACE("allocation " + std::to_string(n) + " failed");
        ++tally[judge()];
    }
    std::cout << name << ": " << n - 1 << " allocations failed in turn\n";
    for (const auto &[outcome, runs] : tally)
        std::cout << "  " << runs << " x " << outcome << '\n';
    return n - 1;
}

FigureRequest plant()
{
    FigureRequest request;
    request.axiom = "X";
    request.letters = { "X", "F" };
    request.rules = { "F[+X]F[-X]+X", "FF" };
    request.angle = 25.0;
    request.passes = 4;
    return request;
}

// A figure as the window makes it: the pass, then its picture framed and zoomed in.
struct FigureRun
{
    FigureResult figure;
    std::shared_ptr<lsGeometry> framed;
    std::shared_ptr<lsGeometry> zoomed;
};

FigureView zoomedIn()
{
    FigureView view;
    view.zoom = 3.0;
    return view;
}

void makeFigure(const FigureRequest &request, FigureRun &run)
{
    run.figure = buildFigure(request);
    if (run.figure.nothing)
        return;
    run.framed = buildPassGeometry(run.figure.commands, request.angle, 160, 120, {}, nullptr,
                                   nullptr, {});
    if (run.framed)
        run.zoomed = buildPassGeometry(run.figure.commands, request.angle, 160, 120, zoomedIn(),
                                       run.framed->box, nullptr, {});
}

// Checks a run against the one nothing failed in, and names its outcome.
std::string judgeFigure(const FigureRun &run, const FigureRun &whole)
{
    const FigureResult &figure = run.figure;
    if (figure.nothing) {
        EXPECT_TRUE(figure.commands.isNull());
        EXPECT_EQ(describeOutcome(figure), "there was not enough memory for the figure");
        return describeOutcome(figure);
    }
    EXPECT_TRUE(figure.rules);
    EXPECT_FALSE(figure.commands.isNull());
    EXPECT_EQ(figure.length, figure.commands.length());
    std::string outcome;
    if (figure.outcome == FigureOutcome::Complete) {
        EXPECT_EQ(figure.pass, whole.figure.pass);
        EXPECT_EQ(figure.length, whole.figure.length);
        outcome = "all passes";
    } else {
        EXPECT_EQ(figure.outcome, FigureOutcome::OutOfMemory);
        EXPECT_LT(figure.pass, figure.requested);
        outcome = describeOutcome(figure);
        EXPECT_EQ(outcome, "showing pass " + std::to_string(figure.pass)
                                   + " of 4: there was "
                                     "not enough memory for pass "
                                   + std::to_string(figure.pass + 1));
    }
    if (!run.framed || !run.zoomed) {
        EXPECT_EQ(describeBuildFailure(figure), "there was not enough memory to draw pass "
                                                        + std::to_string(figure.pass) + " of 4");
        return outcome + ", then " + describeBuildFailure(figure);
    }
    if (figure.outcome == FigureOutcome::Complete) {
        EXPECT_EQ(run.framed->vertices, whole.framed->vertices);
        EXPECT_EQ(run.framed->stripCount, whole.framed->stripCount);
        EXPECT_EQ(run.zoomed->vertices, whole.zoomed->vertices);
    }
    return outcome + ", drawn";
}

TEST(AllocationFailure, EveryFigureBuildEndsWithAStatedOutcome)
{
    for (const bool streamed : { false, true }) {
        FigureRequest request = plant();
        if (streamed)
            request.stringBudget = 0; // no pass is written out: each walk expands it anew
        FigureRun whole;
        makeFigure(request, whole);
        ASSERT_EQ(whole.figure.outcome, FigureOutcome::Complete);
        ASSERT_EQ(whole.figure.commands.isStreamed(), streamed);
        ASSERT_TRUE(whole.framed && whole.zoomed);
        ASSERT_GT(whole.zoomed->vertexCount(), 50u);

        FigureRun run;
        const std::uint64_t failed = sweep(
                streamed ? "streamed figure" : "figure", [&] { run = {}; },
                [&] { makeFigure(request, run); }, [&] { return judgeFigure(run, whole); });
        EXPECT_GT(failed, 20u);
    }
}

DocumentData document(int iterations)
{
    DocumentData data;
    data.axiom = "F-F-F-F";
    data.letters = { "F", "G", "?" };
    data.rules = { "F+F-F-FF+F+F-F", "GG", "" };
    data.angle = 90.0;
    data.iterations = iterations;
    data.color = DocumentColor::calibratedRgb(1.0f, 0.5f, 0.25f, 1.0f);
    data.bgColor = DocumentColor::calibratedRgb(0.0f, 0.0f, 0.5f, 0.75f);
    return data;
}

std::vector<std::uint8_t> bytesOf(const DocumentData &data)
{
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(writeDocument(data, bytes, nullptr));
    return bytes;
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

void writeBytes(const std::filesystem::path &path, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

TEST(AllocationFailure, OpeningAndSavingEndWithTheDocumentOrAClearError)
{
    const std::filesystem::path dir =
            std::filesystem::temp_directory_path()
            / ("sprig-allocation-"
               + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string opened = (dir / "opened.lsd").string();
    const std::string saved = (dir / "saved.lsd").string();
    const DocumentData before = document(2), after = document(5);
    writeBytes(opened, bytesOf(before));
    const std::vector<std::uint8_t> old = bytesOf(before), wanted = bytesOf(after);

    DocumentData read;
    std::string error;
    bool ok = false;
    const std::uint64_t opens = sweep(
            "open",
            [&] {
                read = {};
                error.clear();
            },
            [&] { ok = readDocumentFile(opened, read, &error); },
            [&] {
                if (ok) {
                    EXPECT_EQ(read, before);
                    return std::string("opened");
                }
                // Memory, not the file: it is not called damaged.
                EXPECT_EQ(error,
                          "Cannot open \"opened.lsd\": there is not enough memory to read it.");
                return error;
            });
    EXPECT_GT(opens, 10u);

    const std::uint64_t saves = sweep(
            "save",
            [&] {
                writeBytes(saved, old);
                error.clear();
            },
            [&] { ok = writeDocumentFile(saved, after, &error); },
            [&] {
                // Nothing but the two documents: no temporary file is left behind.
                EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                                        std::filesystem::directory_iterator()),
                          2);
                if (ok) {
                    EXPECT_EQ(fileBytes(saved), wanted);
                    return std::string("saved");
                }
                EXPECT_FALSE(error.empty());
                EXPECT_EQ(fileBytes(saved), old) << error;
                return error;
            });
    EXPECT_GT(saves, 10u);
    std::filesystem::remove_all(dir);
}

// The turtle's saved states live in segments that are never moved or doubled: a deep figure
// never asks for one block larger than a segment (a doubling stack would ask for 16 MiB here).
TEST(AllocationFailure, TheTurtleStackGrowsInSegmentsNeverInOneBlock)
{
    constexpr std::uint64_t depth = 200000; // 12.8 MB of states
    const std::string nested = std::string(depth, '[') + "F" + std::string(depth, ']') + "F";
    const FigurePass pass{ lsString(nested) };
    ASSERT_EQ(lsCountGeometry(nested).depth, depth);
    std::shared_ptr<lsGeometry> geometry;
    {
        const auto failing = failingalloc::Scope::from(lsStateSegmentBytes + 1);
        geometry = buildPassGeometry(pass, 90.0, 100, 100, {}, nullptr, nullptr, {});
    }
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->vertexCount(), 4u);
}

} // namespace
