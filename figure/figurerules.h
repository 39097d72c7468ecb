#pragma once

#include "engine/ruleset.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Degrees to the rule set's radians, dividing first: angle / 360 * 2pi.
constexpr double radiansFromDegrees(double degrees)
{
    return degrees / 360.0 * 6.283185307179586;
}

// A new rule set with the document's angle (degrees) and its rules in table order: the first
// byte of each letter is the rule's letter, of several rules for a letter the first stays in
// force, and an empty letter adds none.
std::shared_ptr<lsRuleSet> makeRuleSet(const std::vector<std::string> &letters,
                                       const std::vector<std::string> &rules,
                                       double degrees);

// What one row of the rules table does to rewriting, as makeRuleSet builds the rule set.
struct RuleEffect
{
    enum Kind {
        Rewrites,   // the rule is in force
        NotALetter, // its letter is not A-Z or a-z (or not yet given: "?"), so nothing matches
        Shadowed,   // an earlier row already holds the rule for this letter
    };
    Kind kind = Rewrites;
    std::size_t earlierRow = 0; // for Shadowed: the row whose rule is in force
};

// The effect of every row, in table order.
std::vector<RuleEffect> ruleEffects(const std::vector<std::string> &letters);
