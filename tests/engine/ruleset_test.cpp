#include "engine/ruleset.h"

#include <gtest/gtest.h>

TEST(RuleSet, NewRuleSetIsEmptyWithDefaults)
{
    const auto set = lsNewRuleSet();
    for (const auto &slot : set->rules)
        EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(set->angle, 1.5707963267948966);
    EXPECT_EQ(set->step, 10.0);
}

TEST(RuleSet, RewritesTwoPasses)
{
    const auto set = lsNewRuleSet();
    ASSERT_NE(lsNewRule(*set, 'F', "F+F-F"), nullptr);
    const lsString once = lsIterateString(*set, "F");
    EXPECT_EQ(once.view(), "F+F-F");
    const lsString twice = lsIterateString(*set, once.view());
    EXPECT_EQ(twice.view(), "F+F-F+F+F-F-F+F-F");
    EXPECT_EQ(lsNextLength(*set, once.view()), 17u);
}
