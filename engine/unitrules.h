#pragma once

#include "engine/commandtable.h"
#include "engine/ruleset.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// One character of a rule as expansion units read it (lsUnitTable).
struct lsUnitOp
{
    lsDetail::Command command; // what the character does once it is no longer rewritten
    double value;              // the sign of a move or turn, the factor of an '@'
    int letter;                // a rewritten letter's number, -1 for any other character
};

// The rules reachable from an axiom, read once for expansion units, and whether units can
// stand for their symbols. A unit, a letter with some passes still to apply, acts on the
// turtle the same wherever it starts only when
// - every reachable rule closes each bracket it opens, and opens each it closes: the unit
//   then leaves the stack as it found it (the axiom may do anything: it is walked as is);
// - every number after an '@' lies whole in its rule's text, with nothing that rewriting
//   changes inside it or right after it, so the factor read from the pass is the one read
//   from the rule (and it is finite).
// Otherwise refusal() says why, in words a user can act on. Characters that do nothing are
// left out.
class lsUnitRules
{
public:
    lsUnitRules(const lsRuleSet &rules, std::string_view axiom);

    // Empty when units can stand for the rules' symbols.
    const std::string &refusal() const { return mRefusal; }

    int letterCount() const { return int(mLetters.size()); }
    char letter(int index) const { return mLetters[index]; }
    std::span<const lsUnitOp> rule(int index) const { return mRules[index]; }
    std::span<const lsUnitOp> axiom() const { return mAxiom; }
    // The characters of a rule (or, for -1, of the axiom) that do nothing and are left out.
    std::uint64_t idle(int index) const { return index < 0 ? mAxiomIdle : mIdle[index]; }

private:
    std::vector<lsUnitOp> compile(std::string_view text, std::uint64_t &idle) const;
    static std::string checkBrackets(std::string_view text, const std::string &name);
    static std::string checkFactors(const lsRuleSet &rules,
                                    std::string_view text,
                                    const std::string &name,
                                    bool isAxiom);

    std::array<int, 256> mIndex; // a rewritten letter's number, -1 for others
    std::vector<char> mLetters;
    std::vector<std::vector<lsUnitOp>> mRules;
    std::vector<lsUnitOp> mAxiom;
    std::vector<std::uint64_t> mIdle;
    std::uint64_t mAxiomIdle = 0;
    std::string mRefusal;
};
