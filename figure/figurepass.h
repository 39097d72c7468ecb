#pragma once

#include "engine/commandsource.h"
#include "engine/lsstring.h"
#include "engine/ruleset.h"

#include <cstdint>
#include <memory>
#include <string>

// The commands of the pass a figure shows: its string when that fits the string budget,
// or else the pass itself, expanded anew on every walk (lsPassStream) so that it never
// exists whole. Every walk reads them through an lsCommandSource, whichever they are.
class FigurePass
{
public:
    FigurePass() = default; // none
    explicit FigurePass(lsString string);
    // The pass `passes` of axiom under rules, streamed; rules must stay unchanged.
    FigurePass(std::shared_ptr<const lsRuleSet> rules, std::string axiom, int passes);

    bool isNull() const { return !mRules && mString.isNull(); }
    bool isStreamed() const { return mRules != nullptr; }
    // The exact number of commands.
    std::uint64_t length() const { return mLength; }
    // The string; null for streamed commands.
    const lsString &string() const { return mString; }

    // A walk from the first command. Throws std::bad_alloc when even a stream's small
    // tables cannot be had.
    std::unique_ptr<lsCommandSource> source() const;

private:
    lsString mString;
    std::shared_ptr<const lsRuleSet> mRules;
    std::string mAxiom;
    int mPasses = 0;
    std::uint64_t mLength = 0;
};
