#include "engine/generation.h"

#include "enginetest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

using namespace enginetest;

namespace {

struct System
{
    const char *name;
    std::string axiom;
    Rules rules;
    int passes; // compared up to this many
};

// Strings after 0..passes passes, by lsIterateString.
std::vector<std::string> passByPass(const lsRuleSet &set, const std::string &axiom, int passes)
{
    std::vector<std::string> out{ axiom };
    for (int pass = 1; pass <= passes; ++pass)
        out.push_back(std::string(lsIterateString(set, out.back()).view()));
    return out;
}

} // namespace

class Generate : public testing::TestWithParam<System>
{ };

TEST_P(Generate, EqualsRewritingPassByPass)
{
    const System &system = GetParam();
    const auto set = makeRuleSet(system.rules);
    const std::vector<std::string> expected = passByPass(*set, system.axiom, system.passes);
    for (int passes = 0; passes <= system.passes; ++passes) {
        const lsGeneration g = lsGenerate(*set, system.axiom, passes);
        ASSERT_FALSE(g.string.isNull());
        EXPECT_EQ(g.string.view(), expected[passes]) << passes << " passes";
        EXPECT_EQ(g.iterations, passes);
        EXPECT_FALSE(g.stoppedAtBudget || g.outOfMemory || g.cancelled);
        EXPECT_EQ(lsLengthAfter(*set, system.axiom, passes), expected[passes].size());
        EXPECT_EQ(lsCountGeometryAfter(*set, system.axiom, passes),
                  lsCountGeometry(expected[passes]))
                << passes << " passes";
    }
}

INSTANTIATE_TEST_SUITE_P(
        Engine,
        Generate,
        testing::Values(
                System{ "Koch", "F", { { 'F', "F+F-F-F+F" } }, 5 },
                System{ "BracketedPlant", "F", { { 'F', "FF-[-F+F+F]+[+F-F-F]" } }, 4 },
                System{ "TwoRulePlant", "X", { { 'X', "F[+X][-X]FX" }, { 'F', "FF" } }, 7 },
                System{ "Dragon", "FX", { { 'X', "X+YF+" }, { 'Y', "-FX-Y" } }, 12 },
                System{ "Sierpinski", "A", { { 'A', "B-A-B" }, { 'B', "A+B+A" } }, 7 },
                System{ "BracketsBelowTheStart",
                        "]X[F]",
                        { { 'X', "]f[[X]B]]" }, { 'B', "B[b" }, { 'F', "[F" } },
                        7 },
                System{ "RepeatedAxiomLetters", "FXF-XX", { { 'X', "XFX" }, { 'F', "F+" } }, 6 },
                System{ "DeletingRules",
                        "ABCAB",
                        { { 'A', "" }, { 'B', "BAC" }, { 'C', "CC" } },
                        6 },
                System{ "ShrinksThenGrows",
                        "AAAA",
                        { { 'A', "B" }, { 'B', "CCCCCD" }, { 'D', "DD" } },
                        6 },
                System{ "HighBytesAndNonLetterRules",
                        "\xf0"
                        "F+\x80",
                        { { 'F', "\xff[F]\x81" }, { '+', "F" }, { '\xf0', "F" } },
                        4 },
                System{ "RuleLettersOutsideTheAxiomAreUnused",
                        "ab",
                        { { 'b', "ab" }, { 'Z', "ZZ" } },
                        8 },
                System{ "NoRules", "F+F", {}, 3 },
                System{ "EmptyAxiom", "", { { 'F', "FF" } }, 3 },
                System{ "LetterToItself", "F", { { 'F', "F" } }, 5 }),
        [](const testing::TestParamInfo<System> &info) { return info.param.name; });

struct BudgetCase
{
    const char *name;
    std::string axiom;
    Rules rules;
    int requested;
    std::uint64_t budget;
    int expectedPasses;
    bool stopped;
};

class Budget : public testing::TestWithParam<BudgetCase>
{ };

TEST_P(Budget, StopsBeforeTheFirstPassAboveIt)
{
    const BudgetCase &c = GetParam();
    const auto set = makeRuleSet(c.rules);
    const lsGeneration g = lsGenerate(*set, c.axiom, c.requested, c.budget);
    EXPECT_EQ(g.iterations, c.expectedPasses);
    EXPECT_EQ(g.stoppedAtBudget, c.stopped);
    EXPECT_FALSE(g.outOfMemory);
    EXPECT_EQ(g.string.view(), passByPass(*set, c.axiom, c.expectedPasses).back());
}

// Koch lengths: 1, 9, 49, 249, 1249.
INSTANTIATE_TEST_SUITE_P(
        Engine,
        Budget,
        testing::Values(
                BudgetCase{ "ExactlyFits", "F", { { 'F', "F+F-F-F+F" } }, 4, 249, 3, true },
                BudgetCase{ "OneByteShort", "F", { { 'F', "F+F-F-F+F" } }, 4, 248, 2, true },
                BudgetCase{ "LastPassFits", "F", { { 'F', "F+F-F-F+F" } }, 4, 1249, 4, false },
                BudgetCase{ "ZeroBudget", "F", { { 'F', "FF" } }, 3, 0, 0, true },
                BudgetCase{ "AxiomAboveTheBudget", "FFFF", { { 'F', "F" } }, 3, 2, 0, true },
                BudgetCase{ "DeletedToNothingFitsZero", "AA", { { 'A', "" } }, 5, 0, 5, false },
                // Lengths 4, 4, 20: the pass to 20 is refused even though 4 fitted before.
                BudgetCase{ "NonMonotonic",
                            "AAAA",
                            { { 'A', "B" }, { 'B', "CCCCC" } },
                            3,
                            10,
                            1,
                            true }),
        [](const testing::TestParamInfo<BudgetCase> &info) { return info.param.name; });

TEST(Generation, LengthsSaturateInsteadOfWrapping)
{
    const auto doubling = makeRuleSet({ { 'F', "FF" } });
    EXPECT_EQ(lsLengthAfter(*doubling, "F", 63), std::uint64_t(1) << 63);
    EXPECT_EQ(lsLengthAfter(*doubling, "F-", 63), (std::uint64_t(1) << 63) + 1);
    EXPECT_EQ(lsLengthAfter(*doubling, "F", 64), lsLengthOverflow);
    EXPECT_EQ(lsLengthAfter(*doubling, "FF", 63), lsLengthOverflow);
    EXPECT_EQ(lsLengthAfter(*doubling, "F", 100000), lsLengthOverflow);
    // Counted while every number fits.
    EXPECT_EQ(lsCountGeometryAfter(*doubling, "F", 62)->vertices, (std::uint64_t(1) << 62) + 1);
    EXPECT_EQ(lsCountGeometryAfter(*doubling, "F", 63), std::nullopt);

    // Far past any budget: refused before anything is allocated.
    const lsGeneration g = lsGenerate(*doubling, "F", 1000, 4096);
    EXPECT_TRUE(g.stoppedAtBudget);
    EXPECT_EQ(g.iterations, 12);
    EXPECT_EQ(g.string.size(), 4096u);
}

TEST(Generation, ManyPassesOfASystemThatDoesNotGrow)
{
    // Beyond some number of passes the generation rewrites pass by pass instead of through
    // its per-pass tables; both give the same strings.
    const auto swap = makeRuleSet({ { 'F', "G" }, { 'G', "F" } });
    for (const int passes : { 1000, 1048575, 1048577 }) {
        const lsGeneration g = lsGenerate(*swap, "FG+", passes);
        EXPECT_EQ(g.string.view(), passes % 2 ? "GF+" : "FG+") << passes;
        EXPECT_EQ(g.iterations, passes);
    }
}

TEST(Generation, NoPassesGiveTheAxiom)
{
    const auto set = makeRuleSet({ { 'F', "FF" } });
    for (const int passes : { 0, -3 }) {
        const lsGeneration g = lsGenerate(*set, "F+F", passes);
        EXPECT_EQ(g.string.view(), "F+F");
        EXPECT_EQ(g.iterations, 0);
    }
}

// Rewriting stops within about a megabyte of work of a cancel made part way through, and
// says so.
TEST(Generation, StopsSoonAfterACancel)
{
    const auto set = makeRuleSet({ { 'F', "F+F-F-F+F" } });
    std::atomic<bool> cancel{ false };
    double cancelledAt = 0, last = 0;
    const auto progress = [&](std::uint64_t done, std::uint64_t length) {
        last = double(done) / double(length);
        if (!cancel && last > 0.25) {
            cancel = true;
            cancelledAt = last;
        }
    };
    const std::uint64_t length = lsLengthAfter(*set, "F", 10); // 48 MB
    const lsGeneration g = lsGenerate(*set, "F", 10, kMaxStringBytes, &cancel, progress);
    EXPECT_TRUE(g.cancelled);
    EXPECT_TRUE(g.string.isNull());
    EXPECT_EQ(g.iterations, 0);
    EXPECT_TRUE(cancel);
    EXPECT_LT(last - cancelledAt, 3.0 * (1 << 20) / double(length)) << cancelledAt << " " << last;
}

TEST(Generation, LargeStringsReuseFreedBlocksOfAboutTheirSize)
{
    constexpr std::size_t mib = std::size_t(1) << 20;
    const auto filled = [](std::size_t length) {
        lsString s = lsString::allocate(length);
        std::memset(s.data(), 'F', s.size()); // the whole length must be there
        return s;
    };
    lsString first = filled(5 * mib);
    const char *block = first.data();
    first = lsString();

    lsString smaller = filled(4 * mib); // in the same 6 MiB block
    EXPECT_EQ(smaller.data(), block);
    EXPECT_EQ(smaller.size(), 4 * mib);
    EXPECT_EQ(smaller.c_str()[smaller.size()], '\0');
    smaller = lsString();

    const lsString larger = filled(7 * mib); // does not fit the kept block: one of its own
    EXPECT_EQ(larger.c_str()[larger.size()], '\0');

    // A generation into a reused block holds its own string only.
    const auto set = makeRuleSet({ { 'F', "F+F-F-F+F" } });
    const std::string once(lsGenerate(*set, "F", 10).string.view());
    EXPECT_EQ(lsGenerate(*set, "F", 10).string.view(), once);
}
