#pragma once

#include "engine/commandsource.h"
#include "engine/ruleset.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A pass of an L-system expanded depth first as it is walked, never as one string: the
// same bytes as lsGenerate's string after `passes` passes, a chunk at a time, from a stack
// of (rule, position) frames, one per pass. Its memory is a frame per pass, a fixed table
// of short expansions and one chunk, whatever the length of the pass; a number after an
// '@' that goes on past a chunk is read ahead from a copy of the frames. The rule set must
// outlive the stream and stay unchanged while it is used.
class lsPassStream final : public lsCommandSource
{
public:
    // Throws std::bad_alloc when even its small tables cannot be had.
    lsPassStream(const lsRuleSet &ruleSet, std::string_view axiom, int passes);

private:
    // Characters in [next, end) that get `passes` more passes; with none they are copied.
    struct Frame
    {
        const char *next;
        const char *end;
        int passes;
    };

    std::string_view fill() override;
    void restart() override;
    void peek(const std::function<bool(std::string_view)> &take) override;
    std::unique_ptr<lsCommandSource> replica() const override;
    // Expands the pass on from `stack` into out, until capacity bytes are written or the
    // pass ends; returns the bytes written.
    std::size_t expand(std::vector<Frame> &stack, char *out, std::size_t capacity) const;
    void buildTable();

    // Where a letter's expansion after some passes lies in the arena, if it was kept.
    struct Block
    {
        std::size_t start = notKept;
        std::size_t size = 0;
    };
    static constexpr std::size_t notKept = SIZE_MAX;

    const lsRuleSet &mRuleSet;
    const std::string mAxiom;
    const int mPasses;
    std::string mArena;         // the kept expansions, one after the other
    std::vector<Block> mBlocks; // by (passes - 1) * 256 + letter, for the passes kept
    int mKeptPasses = 0;
    std::vector<Frame> mStack;
    std::vector<char> mBuffer; // the chunk handed out
};
