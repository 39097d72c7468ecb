#pragma once

#include "engine/lsstring.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// One production: the replacement text of the letter whose slot holds it.
struct lsRule
{
    std::string text;
};

// One L-system as the engine sees it: a rule per byte value plus the turtle's
// turning angle (radians) and step length. Slots, once filled, never change.
struct lsRuleSet
{
    std::array<std::unique_ptr<lsRule>, 256> rules;
    double angle = 1.5707963267948966;
    double step = 10.0;
};

// Sentinel length meaning "does not fit in 64 bits".
inline constexpr std::uint64_t lsLengthOverflow = UINT64_MAX;

// True for exactly the ASCII letters 'A'-'Z' and 'a'-'z', whatever the process locale.
constexpr bool lsIsLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A new, empty rule set owned by the caller: no rules, angle pi/2, step 10.
std::unique_ptr<lsRuleSet> lsNewRuleSet();

// Adds letter -> text (text copied). Returns the new rule, or nullptr when the
// letter already has one: the first rule for a letter stays in force.
lsRule *lsNewRule(lsRuleSet &ruleSet, char letter, std::string_view text);

// True when rewriting replaces c: an ASCII letter with a rule.
inline bool lsIsRewritten(const lsRuleSet &ruleSet, unsigned char c)
{
    return lsIsLetter(c) && ruleSet.rules[c];
}

// The exact length of lsIterateString(ruleSet, input), saturating at lsLengthOverflow.
// Lets a caller refuse a pass before anything is allocated.
std::uint64_t lsNextLength(const lsRuleSet &ruleSet, std::string_view input);

// One rewriting pass, all productions applied at once. Returns a null lsString only
// when the result's memory cannot be had.
lsString lsIterateString(const lsRuleSet &ruleSet, std::string_view input);
