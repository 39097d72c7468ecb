#include "engine/interpreter.h"

#include "engine/generation.h"
#include "enginetest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace enginetest;

namespace {

constexpr double e16 = 6.123233995736766e-16; // 10 * cos(pi/2)

using Box = std::array<double, 6>;

Box measure(std::string_view commands, double angle = halfPi, double step = 10.0)
{
    auto set = lsNewRuleSet();
    set->angle = angle;
    set->step = step;
    Box box;
    box.fill(-99.0); // measuring starts from zeros, not from what the box held
    lsMeasureString(*set, commands, box.data());
    return box;
}

// The most states the stack holds at once, counted plainly.
std::uint64_t deepest(std::string_view s)
{
    std::uint64_t depth = 0, most = 0;
    for (const char c : s) {
        if (c == '[')
            most = std::max(most, ++depth);
        else if (c == ']' && depth > 0)
            --depth;
    }
    return most;
}

std::string randomCommands(std::mt19937 &random, std::size_t length)
{
    static const std::string alphabet = "FFFFfBb++--<>![[]]@XY 0123456789.e\x80\xff";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string s(length, ' ');
    for (char &c : s)
        c = alphabet[pick(random)];
    return s;
}

// Stretches of tens of thousands of characters, some with many characters that do nothing
// and some with none, a few '@'s between them: the walk takes long strings a chunk at a
// time, copying the chunks without those characters or walking them in place.
std::string mixedStretches(std::mt19937 &random)
{
    const std::string units[] = { "FX+YF+-FX-Y[+FX]", "F+F-F-F+F[F]F", "F[>F<F]!F" };
    std::string s;
    for (int stretch = 0; stretch < 16; ++stretch) {
        const std::string &unit = units[random() % 3];
        for (std::size_t n = 500 + random() % 5000; n > 0; --n)
            s += unit;
        if (random() % 2)
            s += "@0.999";
    }
    return s;
}

// Strings from the classic systems, small enough to compare vertex by vertex.
std::vector<std::string> systemStrings()
{
    std::vector<std::string> out;
    const std::pair<const char *, Rules> systems[] = {
        { "F", { { 'F', "F+F-F-F+F" } } },
        { "F", { { 'F', "FF-[-F+F+F]+[+F-F-F]" } } },
        { "X", { { 'X', "F[+X][-X]FX" }, { 'F', "FF" } } },
        { "FX", { { 'X', "X+YF+" }, { 'Y', "-FX-Y" } } },
        { "F", { { 'F', "F[>F<F]![@0.7F+F]F" } } },
    };
    for (const auto &[axiom, rules] : systems)
        out.emplace_back(lsGenerate(*makeRuleSet(rules), axiom, 5).string.view());
    return out;
}

struct WalkCase
{
    const char *name;
    std::string commands;
    Strips strips;
    Box box;
};

} // namespace

class Walk : public testing::TestWithParam<WalkCase>
{ };

TEST_P(Walk, DrawsTheStripsAndMeasuresTheBox)
{
    const WalkCase &c = GetParam();
    EXPECT_TRUE(sameStrips(walk(c.commands), c.strips));
    EXPECT_EQ(measure(c.commands), c.box);
}

// Angle pi/2, step 10.
INSTANTIATE_TEST_SUITE_P(
        Engine,
        Walk,
        testing::Values(
                WalkCase{ "TurnAboutZ",
                          "F+F",
                          { { { 0, 0, 0 }, { 0, 10, 0 }, { 10, 10, 0 } } },
                          { 0, 10, 0, 10, 0, 0 } },
                WalkCase{ "TurnAboutZBack",
                          "F-F",
                          { { { 0, 0, 0 }, { 0, 10, 0 }, { -10, 10, 0 } } },
                          { -10, 0, 0, 10, 0, 0 } },
                WalkCase{ "TurnAboutX",
                          "F>F",
                          { { { 0, 0, 0 }, { 0, 10, 0 }, { 0, 10, 10 } } },
                          { 0, 0, 0, 10, 0, 10 } },
                WalkCase{ "TurnAboutXBack",
                          "F<F",
                          { { { 0, 0, 0 }, { 0, 10, 0 }, { 0, 10, -10 } } },
                          { 0, 0, 0, 10, -10, 0 } },
                WalkCase{ "NegatedAngle",
                          "F!+F",
                          { { { 0, 0, 0 }, { 0, 10, 0 }, { -10, 10, 0 } } },
                          { -10, 0, 0, 10, 0, 0 } },
                WalkCase{ "NegatedAngleSwapsXTurns",
                          "!>F",
                          { { { 0, 0, 0 }, { 0, e16, -10 } } },
                          { 0, 0, 0, e16, -10, 0 } },
                WalkCase{ "BranchStartsANewStrip",
                          "F[+F]F",
                          { { { 0, 0, 0 }, { 0, 10, 0 }, { 10, 10, 0 } },
                            { { 0, 10, 0 }, { 0, 20, 0 } } },
                          { 0, 10, 0, 20, 0, 0 } },
                WalkCase{ "StepChangeEndsAtTheBracket",
                          "[@0.5F]F",
                          { { { 0, 0, 0 }, { 0, 5, 0 } }, { { 0, 0, 0 }, { 0, 10, 0 } } },
                          { 0, 0, 0, 10, 0, 0 } },
                WalkCase{ "AngleSignEndsAtTheBracket",
                          "[!]+F",
                          { { { 0, 0, 0 } }, { { 0, 0, 0 }, { 10, e16, 0 } } },
                          { 0, 10, 0, e16, 0, 0 } },
                WalkCase{ "NegativeFactorTurnsAndReverses",
                          "@-1F",
                          { { { 0, 0, 0 }, { 10, -e16, 0 } } },
                          { 0, 10, -e16, 0, 0, 0 } },
                WalkCase{ "PlusSignTurns",
                          "@+2F",
                          { { { 0, 0, 0 }, { 20, 1.2246467991473533e-15, 0 } } },
                          { 0, 20, 0, 1.2246467991473533e-15, 0, 0 } },
                WalkCase{ "ExponentDigitsAreIgnored",
                          "@1e1F",
                          { { { 0, 0, 0 }, { 0, 100, 0 } } },
                          { 0, 0, 0, 100, 0, 0 } },
                WalkCase{ "ExponentSignTurns",
                          "@2.5e-1F",
                          { { { 0, 0, 0 }, { -2.5, 1.5308084989341916e-16, 0 } } },
                          { -2.5, 0, 0, 1.5308084989341916e-16, 0, 0 } },
                WalkCase{ "LeadingBlanks",
                          "@ \t3F",
                          { { { 0, 0, 0 }, { 0, 30, 0 } } },
                          { 0, 0, 0, 30, 0, 0 } },
                WalkCase{ "NoNumberZeroesTheStep",
                          "@F[F]",
                          { { { 0, 0, 0 }, { 0, 0, 0 }, { 0, 0, 0 } }, { { 0, 0, 0 } } },
                          { 0, 0, 0, 0, 0, 0 } },
                WalkCase{ "Backward",
                          "B",
                          { { { 0, 0, 0 }, { 0, -10, 0 } } },
                          { 0, 0, -10, 0, 0, 0 } },
                WalkCase{ "LowerCaseMovesToo",
                          "fb",
                          { { { 0, 0, 0 }, { 0, 10, 0 }, { 0, 0, 0 } } },
                          { 0, 0, 0, 10, 0, 0 } },
                WalkCase{ "SurplusClosingBracket",
                          "]F]",
                          { { { 0, 0, 0 }, { 0, 10, 0 } } },
                          { 0, 0, 0, 10, 0, 0 } },
                WalkCase{ "UnclosedBrackets",
                          "F[F[F",
                          { { { 0, 0, 0 }, { 0, 10, 0 }, { 0, 20, 0 }, { 0, 30, 0 } } },
                          { 0, 0, 0, 30, 0, 0 } },
                WalkCase{ "EmptyString", "", { { { 0, 0, 0 } } }, { 0, 0, 0, 0, 0, 0 } },
                WalkCase{ "NoCommands", "XYZ 12", { { { 0, 0, 0 } } }, { 0, 0, 0, 0, 0, 0 } },
                WalkCase{ "HighBytesAreIgnored",
                          "\x80\xc6\xe6\xff\xab\xbb",
                          { { { 0, 0, 0 } } },
                          { 0, 0, 0, 0, 0, 0 } },
                WalkCase{ "NulIsIgnored",
                          std::string("F\0F", 3),
                          { { { 0, 0, 0 }, { 0, 10, 0 }, { 0, 20, 0 } } },
                          { 0, 0, 0, 20, 0, 0 } }),
        [](const testing::TestParamInfo<WalkCase> &info) { return info.param.name; });

TEST(Interpreter, EveryOtherByteIsIgnored)
{
    std::string ignored;
    for (int c = 1; c < 256; ++c) {
        if (std::string_view("FfBb+-<>!@[]").find(char(c)) == std::string_view::npos)
            ignored.push_back(char(c));
    }
    EXPECT_TRUE(sameStrips(walk(ignored), Strips{ { { 0, 0, 0 } } }));
}

TEST(Interpreter, MatchesThePlainTurtleExactly)
{
    std::mt19937 random(2024);
    const double angles[] = { halfPi, 0.39269908169872414, 0.4485496177625427, 0.0, -1.0, 3.0 };
    for (const double angle : angles) {
        for (int round = 0; round < 4; ++round) {
            const std::string s = randomCommands(random, 3000);
            EXPECT_TRUE(sameStrips(walk(s, angle, 10.0), reference(s, angle, 10.0)))
                    << "angle " << angle << ": " << s;
        }
    }
    std::vector<std::string> strings = systemStrings();
    strings.push_back(mixedStretches(random));
    for (const std::string &s : strings) {
        for (const double angle : angles)
            EXPECT_TRUE(sameStrips(walk(s, angle, 0.5), reference(s, angle, 0.5))) << angle;
    }
}

TEST(Interpreter, DeepNestingOutgrowsTheInitialStack)
{
    // Down and up again across the ends of the stack's segments, and past its bottom.
    std::string s;
    for (int i = 0; i < 5000; ++i)
        s += "[F+";
    s += std::string(3000, ']');
    for (int i = 0; i < 4000; ++i)
        s += "[F-";
    s += std::string(7000, ']') + "F";
    EXPECT_TRUE(sameStrips(walk(s), reference(s, halfPi, 10.0)));
}

TEST(Interpreter, GeometryEqualsTheWalk)
{
    std::mt19937 random(7);
    std::vector<std::string> strings = systemStrings();
    // Long ones are counted while they are built, into storage smaller, larger and much
    // larger than they need.
    for (const std::size_t length : { 0, 1, 100, 20000, 200000, 1 << 21, 3 << 19 })
        strings.push_back(randomCommands(random, length));
    strings.push_back("F[[[" + std::string(10000, 'F') + "]]]]]]]"); // several batches, one strip
    strings.push_back(mixedStretches(random));
    lsGeometry kept; // holding the storage of the string before
    for (const std::string &s : strings) {
        const auto set = makeRuleSet({}, 0.4485496177625427);
        const Strips strips = walk(s, set->angle, set->step);
        lsGeometry g;
        ASSERT_TRUE(lsBuildGeometry(*set, s, g));

        const lsGeometryCount count = lsCountGeometry(s);
        ASSERT_EQ(count.strips, strips.size());
        ASSERT_EQ(g.stripFirst.size(), strips.size());
        ASSERT_EQ(g.stripCount.size(), strips.size());
        std::size_t vertex = 0;
        for (std::size_t i = 0; i < strips.size(); ++i) {
            ASSERT_EQ(g.stripFirst[i], std::int32_t(vertex));
            ASSERT_EQ(g.stripCount[i], std::int32_t(strips[i].size()));
            for (const Point &p : strips[i]) {
                for (int k = 0; k < 3; ++k)
                    ASSERT_TRUE(same(g.vertices[3 * vertex + k], static_cast<float>(p[k])));
                ++vertex;
            }
        }
        EXPECT_EQ(count.vertices, vertex);
        EXPECT_EQ(count.depth, deepest(s));
        EXPECT_EQ(g.vertexCount(), vertex);
        EXPECT_EQ(g.vertices.capacity(), g.vertices.size()); // sized exactly
        ASSERT_TRUE(lsBuildGeometry(*set, s, kept)) << s.size();
        ASSERT_EQ(kept.vertices.size(), g.vertices.size()); // the same bits, NaNs too
        EXPECT_EQ(std::memcmp(kept.vertices.data(), g.vertices.data(), g.vertices.size() * 4), 0);
        EXPECT_EQ(kept.stripFirst, g.stripFirst);
        EXPECT_EQ(kept.stripCount, g.stripCount);
        EXPECT_LE(kept.vertices.capacity() / 2, kept.vertices.size());

        // Both boxes are the very doubles that widening vertex by vertex finds.
        Box plain{};
        for (const auto &strip : strips) {
            for (const Point &p : strip)
                lsGrowBox(plain.data(), p[0], p[1], p[2]);
        }
        double box[6];
        lsMeasureString(*set, s, box);
        EXPECT_EQ(Box(std::to_array(box)), plain);
        EXPECT_EQ(Box(std::to_array(g.box)), plain);
    }
}

// Commands that read differently on the second walk, as a source with a fault would: the
// count then disagrees with what the build walks.
class ReplaysDifferently final : public lsCommandSource
{
public:
    ReplaysDifferently(std::string first, std::string second)
        : lsCommandSource(first.size())
        , mFirst(std::move(first))
        , mSecond(std::move(second))
    { }

private:
    std::string_view fill() override { return std::exchange(mNext, {}); }
    void restart() override { mNext = mSecond; }
    void peek(const std::function<bool(std::string_view)> &take) override { take(mNext); }
    // A count beside the build reads the first commands too.
    std::unique_ptr<lsCommandSource> replica() const override
    {
        return std::make_unique<lsStringSource>(mFirst);
    }

    std::string mFirst, mSecond;
    std::string_view mNext = mFirst;
};

TEST(Interpreter, GeometryRefusesAWalkThatDisagreesWithItsCount)
{
    const auto set = makeRuleSet({});
    const std::string many = "F[F]" + std::string(3000, 'F');
    const std::pair<std::string, std::string> cases[] = {
        { "F", "[F]" + many }, // more strips and vertices than counted
        { "F[F]F", many },     // more vertices only
        { many, "F" },         // fewer
    };
    // Counted first, and counted beside the build (long commands).
    for (const std::string &longer : { std::string(), std::string(1 << 20, 'F') }) {
        for (const auto &[counted, walked] : cases) {
            for (const bool reused : { false, true }) {
                lsGeometry g;
                if (reused) { // storage an earlier build left
                    ASSERT_TRUE(lsBuildGeometry(*set, many + many, g));
                }
                ReplaysDifferently commands(counted + longer, walked + longer);
                EXPECT_FALSE(lsBuildGeometry(*set, commands, g)) << counted << " / " << walked;
                EXPECT_FALSE(commands.cancelled());
                EXPECT_EQ(g.vertexCount(), 0u);
                EXPECT_TRUE(g.stripFirst.empty());
            }
        }
    }
}

TEST(Interpreter, CountsBracketsThatPop)
{
    // vertices: start + moves + pops; strips: 1 + pops; depth: the most states held.
    const std::pair<std::string, lsGeometryCount> cases[] = {
        { "", { 1, 1, 0 } },
        { "FfBbX", { 5, 1, 0 } },
        { "]]]", { 1, 1, 0 } },
        { "[[[", { 1, 1, 3 } },
        { "[]", { 2, 2, 1 } },
        { "][][", { 2, 2, 1 } },
        { "[[]]]][", { 3, 3, 2 } },
        { "F[F]F]", { 5, 2, 1 } },
        { "]][[]][[]]", { 5, 5, 2 } },
        { "]]]]][[", { 1, 1, 2 } },
        // Long enough for whole blocks: a new low and a new deepest inside them.
        { std::string(100, ']') + std::string(70, '[') + std::string(80, ']') + "[[",
          { 71, 71, 70 } },
        { std::string(200, 'F') + "[[[" + std::string(200, 'F') + "]]]]", { 404, 4, 3 } },
    };
    for (const auto &[s, expected] : cases) {
        const lsGeometryCount count = lsCountGeometry(s);
        EXPECT_EQ(count.vertices, expected.vertices) << s;
        EXPECT_EQ(count.strips, expected.strips) << s;
        EXPECT_EQ(count.depth, expected.depth) << s;
    }
}

struct FactorCase
{
    const char *text;
    double factor;
};

// The same double, or both NaN of the same sign (a NaN's payload never matters).
testing::AssertionResult sameFactor(double got, double expected)
{
    const bool equal = std::isnan(expected) ? std::isnan(got) : got == expected;
    if (equal && std::signbit(got) == std::signbit(expected))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << got << " instead of " << expected;
}

// Numbers of every form strtod reads, many of them far longer than the digits the reader
// keeps: around halfway points (decided only by a late non-zero digit), runs of zeros,
// long exponents, hexadecimal, text after the number.
std::vector<std::string> generatedNumbers()
{
    // 1 + 2^-53, halfway between 1 and the next double, and the same in hexadecimal.
    const std::string halfway = "1.00000000000000011102230246251565404236316680908203125";
    std::vector<std::string> numbers = {
        halfway,
        halfway + std::string(2000, '0') + "1",
        halfway + std::string(2000, '0'),
        "0x1.00000000000008" + std::string(100, '0'),
        "0x1.00000000000008" + std::string(100, '0') + "1p-3",
        std::string(5000, '0') + "7e-4990",
        "0." + std::string(5000, '0') + "25e5003F",
        std::string(400, '9') + "e-400",
        "1" + std::string(3000, '0') + "e-3000",
        "1e" + std::string(3000, '0') + "7",
        "-0e99999999999999999999999",
        "1e99999999999999999999999",
        "1e-99999999999999999999999",
        "0x" + std::string(300, 'f') + "p-1200",
    };
    std::mt19937 random(20);
    const auto pick = [&](int n) {
        return int(random() % unsigned(n));
    };
    const auto digits = [&](int n, bool hex) {
        std::string d;
        // Runs of one digit as well as random ones.
        const char run = "0123456789abcdef"[pick(hex ? 16 : 10)];
        for (int i = 0; i < n; ++i)
            d += pick(3) == 0 ? run : "0123456789abcdef"[pick(hex ? 16 : 10)];
        return d;
    };
    const int lengths[] = { 0, 1, 2, 17, 40, 799, 800, 801, 1500 };
    for (int i = 0; i < 3000; ++i) {
        const bool hex = pick(4) == 0;
        std::string n =
                std::string(pick(3) == 0 ? 1 : 0, ' ') + std::string(pick(3), "+-"[pick(2)]);
        n += hex ? "0x" : "";
        n += digits(lengths[pick(9)], hex);
        if (pick(2))
            n += '.' + digits(lengths[pick(9)], hex);
        if (pick(2)) {
            n += hex ? "pP"[pick(2)] : "eE"[pick(2)];
            n += std::string(pick(2), "+-"[pick(2)]);
            n += std::string(pick(3) == 0 ? 30 : 0, '0') + digits(pick(5), false);
        }
        n += std::string(1, "F+-.e]@x"[pick(8)]);
        numbers.push_back(std::move(n));
    }
    return numbers;
}

TEST(Interpreter, ReadsFactorsAsTheCLocaleDoes)
{
    const double inf = std::numeric_limits<double>::infinity();
    const FactorCase cases[] = {
        { "0.5", 0.5 },        { "-1", -1 },        { "+2", 2 },         { "1e1", 10 },
        { "2.5e-1", 0.25 },    { " \t\n3", 3 },     { "", 0 },           { "F", 0 },
        { ".5", 0.5 },         { "5.", 5 },         { "1e", 1 },         { "1e+F", 1 },
        { "0x10", 16 },        { "0x1p4", 16 },     { "0x", 0 },         { "inf", inf },
        { "-INFINITY", -inf }, { "1e400", inf },    { "1e-400", 0 },     { "0,5", 0 },
        { "12.5F+F", 12.5 },   { "-.25e+2]", -25 }, { "infinite", inf }, { "-x", 0 },
        { "-0", -0.0 },        { "0x.8p1", 1 },     { "0x.p1", 0 },      { "-in", 0 },
    };
    for (const FactorCase &c : cases) {
        const std::string_view text(c.text);
        EXPECT_TRUE(sameFactor(lsReadFactor(text.data(), text.data() + text.size()), c.factor))
                << c.text;
    }
    for (const std::string_view nan : { "nan(123)F", "-NaN(" }) {
        EXPECT_TRUE(sameFactor(lsReadFactor(nan.data(), nan.data() + nan.size()),
                               std::strtod(std::string(nan).c_str(), nullptr)));
    }

    // Only the given range is read, terminated or not.
    const std::string_view cut = "12.5";
    EXPECT_EQ(lsReadFactor(cut.data(), cut.data() + 2), 12.0);

    // Any number, read whole or in pieces (as chunks cut it), is what strtod reads from it.
    std::mt19937 random(7);
    for (const std::string &n : generatedNumbers()) {
        const double expected = std::strtod(n.c_str(), nullptr);
        EXPECT_TRUE(sameFactor(lsReadFactor(n.data(), n.data() + n.size()), expected)) << n;
        lsFactorReader pieces;
        for (std::size_t at = 0; at < n.size();) {
            const std::size_t size = std::min<std::size_t>(1 + random() % 900, n.size() - at);
            if (!pieces.feed(n.data() + at, n.data() + at + size))
                break;
            at += size;
        }
        EXPECT_TRUE(sameFactor(pieces.value(), expected)) << n;
    }
}

TEST(Interpreter, FactorsIgnoreTheProcessLocale)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const int category : { LC_ALL, LC_NUMERIC }) {
        if (!std::setlocale(category, "de_DE.UTF-8"))
            GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/setup makes it)";
        ASSERT_EQ(std::strtod("0,5", nullptr), 0.5); // the locale is in force
        const std::string_view point = "0.5", comma = "0,5";
        EXPECT_EQ(lsReadFactor(point.data(), point.data() + point.size()), 0.5);
        EXPECT_EQ(lsReadFactor(comma.data(), comma.data() + comma.size()), 0.0);
        EXPECT_EQ(measure("@0.5F"), (Box{ 0, 0, 0, 5, 0, 0 }));
        std::setlocale(LC_ALL, saved.c_str());
    }
}
