#include "engine/ruleset.h"

#include "enginetest.h"

#include <gtest/gtest.h>

#include <string>

using namespace enginetest;

TEST(RuleSet, NewRuleSetIsEmptyWithDefaults)
{
    const auto set = lsNewRuleSet();
    for (const auto &slot : set->rules)
        EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(set->angle, 1.5707963267948966);
    EXPECT_EQ(set->step, 10.0);
}

TEST(RuleSet, FirstRuleForALetterStaysInForce)
{
    const auto set = lsNewRuleSet();
    std::string text = "FF";
    lsRule *first = lsNewRule(*set, 'F', text);
    ASSERT_NE(first, nullptr);
    text = "changed"; // the rule holds its own copy
    EXPECT_EQ(lsNewRule(*set, 'F', "F-F"), nullptr);
    EXPECT_EQ(set->rules['F'].get(), first);
    EXPECT_EQ(lsIterateString(*set, "F").view(), "FF");
}

// Letters are exactly A-Z and a-z, whatever the process locale: the bytes on either side of
// both ranges, digits, punctuation and every byte of UTF-8 text stay as they are.
TEST(RuleSet, RulesForNonLettersAreStoredButNeverApply)
{
    const auto set = lsNewRuleSet();
    const std::string input = "+?[7@`{\xc8\x80\xff\xc3\xa9";
    for (const char c : input)
        EXPECT_NE(lsNewRule(*set, c, "F"), nullptr) << int(static_cast<unsigned char>(c));
    for (const char c : input)
        EXPECT_NE(set->rules[static_cast<unsigned char>(c)], nullptr);
    EXPECT_EQ(lsIterateString(*set, input).view(), input);
    EXPECT_EQ(lsNextLength(*set, input), input.size());
    for (const char c : { 'A', 'Z', 'a', 'z' })
        lsNewRule(*set, c, "F");
    EXPECT_EQ(lsIterateString(*set, "@AZ[`az{").view(), "@FF[`FF{");
}

struct RewriteCase
{
    const char *name;
    Rules rules;
    std::string input;
    int passes;
    std::string expected;
};

class Rewrite : public testing::TestWithParam<RewriteCase>
{ };

TEST_P(Rewrite, GivesTheNextGenerations)
{
    const RewriteCase &c = GetParam();
    const auto set = makeRuleSet(c.rules);
    lsString s(c.input);
    for (int pass = 0; pass < c.passes; ++pass) {
        const std::uint64_t next = lsNextLength(*set, s.view());
        s = lsIterateString(*set, s.view());
        ASSERT_FALSE(s.isNull());
        EXPECT_EQ(next, s.size()); // the sizing is exact
    }
    EXPECT_EQ(s.view(), c.expected);
    EXPECT_EQ(s.c_str()[s.size()], '\0');
}

INSTANTIATE_TEST_SUITE_P(
        Engine,
        Rewrite,
        testing::Values(
                RewriteCase{ "OnePass", { { 'F', "F+F-F" } }, "F", 1, "F+F-F" },
                RewriteCase{ "TwoPasses", { { 'F', "F+F-F" } }, "F", 2, "F+F-F+F+F-F-F+F-F" },
                RewriteCase{ "TextsAreNotRewrittenAgainInTheSamePass",
                             { { 'A', "AB" }, { 'B', "A" } },
                             "A",
                             4,
                             "ABAABABA" },
                RewriteCase{ "EmptyTextDeletes", { { 'A', "" }, { 'B', "x" } }, "ABA", 1, "x" },
                RewriteCase{ "LettersWithoutRulesAreCopied", { { 'F', "G" } }, "FGH", 1, "GGH" },
                RewriteCase{ "CaseSensitive", { { 'F', "FF" } }, "Ff", 2, "FFFFf" },
                RewriteCase{ "EmptyInput", { { 'F', "FF" } }, "", 3, "" },
                RewriteCase{ "HighBytesAreCopied",
                             { { 'F', "\x80G\xff" }, { 'G', "g" } },
                             "F\xe9G",
                             2,
                             "\x80g\xff\xe9g" },
                RewriteCase{ "NoPasses", { { 'F', "FF" } }, "F+F", 0, "F+F" }),
        [](const testing::TestParamInfo<RewriteCase> &info) { return info.param.name; });

TEST(RuleSet, EmptyStringRewritesToAnOwnedEmptyString)
{
    const auto set = makeRuleSet({ { 'F', "FF" } });
    const lsString s = lsIterateString(*set, "");
    ASSERT_FALSE(s.isNull()); // a one-byte buffer holding only the NUL
    EXPECT_EQ(s.size(), 0u);
    EXPECT_EQ(s.data()[0], '\0');
}
