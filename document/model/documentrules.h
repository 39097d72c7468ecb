#pragma once

#include "engine/ruleset.h"

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
