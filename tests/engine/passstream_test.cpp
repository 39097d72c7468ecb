#include "engine/passstream.h"

#include "engine/generation.h"
#include "engine/interpreter.h"
#include "enginetest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

using namespace enginetest;

namespace {

struct System
{
    std::string axiom;
    Rules rules;
    int passes;
};

// A chain of letters, each rewritten to `fold` of the next, the last to `text`: after as
// many passes as letters, `text` fold^(letters - 1) times over, made by rewriting.
Rules chain(const std::string &letters, int fold, const std::string &text)
{
    Rules rules;
    for (std::size_t i = 0; i + 1 < letters.size(); ++i)
        rules.push_back({ letters[i], std::string(std::size_t(fold), letters[i + 1]) });
    rules.push_back({ letters.back(), text });
    return rules;
}

// Systems whose passes run over many chunks: letters without rules, empty rules, a rule
// for '?' (which rewriting ignores), factors whose digits come from several rules, and
// numbers after an '@' that run over several chunks: longer than a chunk in the axiom,
// hexadecimal with moves ('f', 'b') among their digits, zeros, blanks and a NaN's
// payload made by rewriting.
std::vector<System> systems()
{
    const std::string longFactor = "@0." + std::string(150000, '0') + "1e150000F";
    return {
        { "F", { { 'F', "F+F-F-F+F" } }, 7 },
        { "X", { { 'X', "F[+X][-X]FX" }, { 'F', "FF" }, { '?', "F+F" } }, 10 },
        { "FXQ", { { 'X', "X+YF+" }, { 'Y', "-FX-Y" }, { 'Q', "" } }, 16 },
        { "A",
          { { 'A', "AG@1.00000D5G[+A]-F!>Q" }, { 'D', "2525252525252525G25" }, { 'G', "" } },
          16 },
        { "F" + longFactor + "X", { { 'X', "F@X" }, { 'F', "FF" } }, 4 },
        { "F@0x1.Gp-5F+F", chain("GHIJKL", 8, "fb0f"), 6 },
        { "F@G"
          "e-131071F-F",
          chain("GHIJKL", 8, "1111"), 6 },
        { "F@0.Ge131073F+F", chain("GHIJKL", 8, "0000"), 6 },
        { "F@G-2.5F+F", chain("GHIJKL", 8, "    "), 6 },
        { "F@G5F+F", chain("GHIJKL", 8, "9999"), 6 },
        { "F@nan(A)F+F", { { 'A', "AB" }, { 'B', "A" } }, 24 },
    };
}

std::unique_ptr<lsRuleSet> ruleSetOf(const System &s)
{
    return makeRuleSet(s.rules, 0.4485496177625427);
}

// Whether a source gives these commands.
testing::AssertionResult gives(lsCommandSource &source, std::string_view commands)
{
    std::string all;
    for (std::string_view chunk; !(chunk = source.next()).empty();)
        all += chunk;
    if (all != commands)
        return testing::AssertionFailure() << "other commands";
    return testing::AssertionSuccess();
}

} // namespace

TEST(PassStream, GivesTheGeneratedStringByteForByte)
{
    for (const System &s : systems()) {
        const auto set = ruleSetOf(s);
        for (int passes = 0; passes <= s.passes; passes += 1 + passes / 4) {
            const lsGeneration g = lsGenerate(*set, s.axiom, passes, UINT64_MAX);
            ASSERT_EQ(g.iterations, passes);
            lsPassStream stream(*set, s.axiom, passes);
            EXPECT_EQ(stream.length(), g.string.size());
            EXPECT_TRUE(gives(stream, g.string.view())) << s.axiom << " " << passes;
            stream.rewind();
            EXPECT_TRUE(gives(stream, g.string.view())) << s.axiom << " " << passes;
        }
    }
}

TEST(PassStream, StreamedFigureHasTheMaterializedNumbers)
{
    std::uint64_t longest = 0;
    for (const System &s : systems()) {
        const auto set = ruleSetOf(s);
        const lsGeneration g = lsGenerate(*set, s.axiom, s.passes, UINT64_MAX);
        lsPassStream stream(*set, s.axiom, s.passes);

        // The walk as plainly as it can be written, on the whole string: strtod reads every
        // number after an '@' to its end, however many chunks it spans.
        RecordingSink sink;
        lsWalk(set->angle, set->step, stream, sink);
        EXPECT_TRUE(sameStrips(sink.strips,
                               reference(std::string(g.string.view()), set->angle, set->step)))
                << s.axiom;

        const lsGeometryCount expected = lsCountGeometry(g.string.view());
        lsGeometryCount count;
        stream.rewind();
        ASSERT_TRUE(lsCountGeometry(stream, count));
        EXPECT_EQ(count.vertices, expected.vertices) << s.axiom;
        EXPECT_EQ(count.strips, expected.strips) << s.axiom;
        EXPECT_EQ(count.depth, expected.depth) << s.axiom;

        double box[6], streamedBox[6];
        lsMeasureString(*set, g.string.view(), box);
        stream.rewind();
        ASSERT_TRUE(lsMeasureString(*set, stream, streamedBox));
        EXPECT_EQ(0, std::memcmp(box, streamedBox, sizeof box)) << s.axiom;

        lsGeometry materialized, streamed;
        ASSERT_TRUE(lsBuildGeometry(*set, g.string.view(), materialized));
        stream.rewind();
        ASSERT_TRUE(lsBuildGeometry(*set, stream, streamed));
        EXPECT_TRUE(std::equal(streamed.vertices.begin(), streamed.vertices.end(),
                               materialized.vertices.begin(), materialized.vertices.end(),
                               [](float a, float b) { return same(a, b); }))
                << s.axiom;
        EXPECT_EQ(streamed.stripFirst, materialized.stripFirst) << s.axiom;
        EXPECT_EQ(streamed.stripCount, materialized.stripCount) << s.axiom;
        EXPECT_EQ(0, std::memcmp(streamed.box, box, sizeof box)) << s.axiom;

        // Again into its own storage: a long pass is counted on a fork beside the build.
        const std::vector<float> before = streamed.vertices;
        stream.rewind();
        ASSERT_TRUE(lsBuildGeometry(*set, stream, streamed)) << s.axiom;
        ASSERT_EQ(streamed.vertices.size(), before.size());
        EXPECT_EQ(0, std::memcmp(streamed.vertices.data(), before.data(), before.size() * 4));
        longest = std::max(longest, stream.length());
    }
    EXPECT_GE(longest, 1u << 20);
}

TEST(PassStream, ReportsProgressAndStopsWhenCancelled)
{
    const System s = systems()[0];
    const auto set = ruleSetOf(s);
    lsPassStream stream(*set, s.axiom, s.passes);
    std::atomic<bool> cancel = false;
    std::vector<std::uint64_t> done;
    stream.watch(&cancel, [&](std::uint64_t n, std::uint64_t length) {
        EXPECT_EQ(length, 2 * 78125u - 1);
        // Half way through the second walk, after counting.
        if (n >= length / 2 && std::count(done.begin(), done.end(), length) == 1)
            cancel = true;
        done.push_back(n);
    });
    lsGeometry geometry;
    EXPECT_FALSE(lsBuildGeometry(*set, stream, geometry));
    EXPECT_TRUE(stream.cancelled());
    EXPECT_EQ(geometry.vertexCount(), 0u);
    EXPECT_LT(done.back(), stream.length());

    stream.rewind();
    lsGeometryCount count;
    EXPECT_FALSE(lsCountGeometry(stream, count));

    // Once the flag is cleared, a walk runs to the end and reports all of it, chunk by chunk.
    cancel = false;
    stream.rewind();
    done.clear();
    double box[6];
    EXPECT_TRUE(lsMeasureString(*set, stream, box));
    EXPECT_FALSE(stream.cancelled());
    EXPECT_EQ(done, (std::vector<std::uint64_t>{ 0, 65536, 131072, 156249 }));
}
