#include "engine/generation.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

std::uint64_t addSaturating(std::uint64_t a, std::uint64_t b)
{
    return a > lsLengthOverflow - b ? lsLengthOverflow : a + b;
}

std::uint64_t mulSaturating(std::uint64_t a, std::uint64_t b)
{
    return a != 0 && b > lsLengthOverflow / a ? lsLengthOverflow : a * b;
}

// The letters that rewriting can change in strings grown from one axiom: rewritten letters
// reachable from the axiom through the rules, numbered densely. Every other character
// stays as it is, whatever the number of passes.
struct Letters
{
    Letters(const lsRuleSet &ruleSet, std::string_view axiom)
    {
        index.fill(-1);
        const auto reach = [&](const char ch) {
            const auto c = static_cast<unsigned char>(ch);
            if (lsIsRewritten(ruleSet, c) && index[c] < 0) {
                index[c] = count;
                byte[count++] = c;
            }
        };
        for (const char ch : axiom)
            reach(ch);
        for (int i = 0; i < count; ++i) {
            for (const char ch : ruleSet.rules[byte[i]]->text)
                reach(ch);
        }
    }

    std::array<int, 256> index; // dense number of a letter, -1 for a character kept as is
    std::array<unsigned char, 52> byte;
    int count = 0;
};

// How long each letter has grown after some passes, and so how long the whole string is.
class Lengths
{
public:
    Lengths(const lsRuleSet &ruleSet, const Letters &letters, std::string_view axiom)
        : mRuleSet(ruleSet)
        , mLetters(letters)
        , mLength(letters.count, 1)
        , mNext(letters.count)
    {
        // The axiom as counts: characters kept as they are, and each letter's occurrences.
        mAxiomLetters.assign(letters.count, 0);
        for (const char ch : axiom) {
            const int i = letters.index[static_cast<unsigned char>(ch)];
            if (i < 0)
                ++mAxiomKept;
            else
                ++mAxiomLetters[i];
        }
    }

    // One more pass. Returns false when no letter's length changed, so none ever will.
    bool advance()
    {
        for (int i = 0; i < mLetters.count; ++i) {
            std::uint64_t n = 0;
            for (const char ch : mRuleSet.rules[mLetters.byte[i]]->text) {
                const int j = mLetters.index[static_cast<unsigned char>(ch)];
                n = addSaturating(n, j < 0 ? 1 : mLength[j]);
            }
            mNext[i] = n;
        }
        const bool changed = mNext != mLength;
        mLength.swap(mNext);
        return changed;
    }

    std::uint64_t total() const
    {
        std::uint64_t n = mAxiomKept;
        for (int i = 0; i < mLetters.count; ++i)
            n = addSaturating(n, mulSaturating(mAxiomLetters[i], mLength[i]));
        return n;
    }

private:
    const lsRuleSet &mRuleSet;
    const Letters &mLetters;
    std::vector<std::uint64_t> mLength;
    std::vector<std::uint64_t> mNext;
    std::vector<std::uint64_t> mAxiomLetters;
    std::uint64_t mAxiomKept = 0;
};

// What the count of a stretch of commands' geometry follows, so that stretches combine
// without being walked: its length, its moves and ']'s, and the bracket depth d along it,
// counted from 0 at its start without clamping: where d ends, its lowest and highest (0
// included), and the most d rises above its lowest so far (lsCountGeometry). A stretch
// longer than countableLength has that length only, and is no longer combined: all its
// numbers then stay within 64 bits.
struct Stretch
{
    static constexpr std::uint64_t countableLength = std::uint64_t(1) << 62;

    std::uint64_t length = 0, moves = 0, closes = 0;
    std::int64_t end = 0, low = 0, high = 0, rise = 0;

    // One character, as the turtle walk reads it.
    static Stretch of(unsigned char c)
    {
        using lsDetail::Command;
        const Command command = lsDetail::commands.command[c];
        Stretch s;
        s.length = 1;
        s.moves = command == Command::Move;
        if (command == Command::Push)
            s.end = s.high = s.rise = 1;
        if (command == Command::Pop) {
            s.closes = 1;
            s.end = s.low = -1;
        }
        return s;
    }

    // This stretch followed by next.
    void append(const Stretch &next)
    {
        if (length > countableLength || next.length > countableLength - length) {
            length = countableLength + 1;
            return;
        }
        length += next.length;
        moves += next.moves;
        closes += next.closes;
        rise = std::max({ rise, next.rise, end - low + next.high });
        low = std::min(low, end + next.low);
        high = std::max(high, end + next.high);
        end += next.end;
    }

    bool operator==(const Stretch &) const = default;
};

// How much is written between two looks at the cancellation flag.
constexpr std::uint64_t pollBytes = std::uint64_t(1) << 20;

// What a generation reports to and hears from its caller.
struct Watch
{
    const std::atomic<bool> *cancel;
    const lsCommandSource::Progress &progress;

    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
    // Tells how far the work got; false when it is cancelled.
    bool poll(std::uint64_t done, std::uint64_t length) const
    {
        if (progress)
            progress(done, length);
        return !cancelled();
    }
};

// Writes the string after `levels` passes straight into its final buffer, depth first.
// The expansion of a letter after k passes is the same wherever it occurs, so it is built
// once, where it first occurs, and every later occurrence copies it from there as one
// block. Each byte of the result is written once and nothing else is allocated but a
// table of (levels + 1) x letters block positions and a stack of levels + 1 frames.
class Expander
{
public:
    // Past this size of the tables, rewriting pass by pass is used instead: only systems that
    // grow at most polynomially get there, and their strings are short for the passes.
    static constexpr std::size_t tableBytesLimit = std::size_t(64) << 20;

    static bool fits(const Letters &letters, int levels)
    {
        const std::size_t perLevel = letters.count * sizeof(Block) + sizeof(Frame);
        return (std::size_t(levels) + 1) <= tableBytesLimit / perLevel;
    }

    // Throws std::bad_alloc when the tables cannot be had.
    Expander(const lsRuleSet &ruleSet, const Letters &letters, int levels)
        : mRuleSet(ruleSet)
        , mLetters(letters)
        , mLevels(levels)
        , mBlocks((std::size_t(levels) + 1) * letters.count)
    {
        mStack.reserve(std::size_t(levels) + 1);
    }

    // Fills out, which holds exactly `length` bytes. False when cancelled.
    bool expand(std::string_view axiom, char *out, std::uint64_t length, const Watch &watch)
    {
        std::uint64_t w = 0;
        std::uint64_t nextPoll = 0;
        mStack.push_back({ axiom.data(), axiom.data() + axiom.size(), 0, mLevels + 1, -1 });
        while (!mStack.empty()) {
            Frame &frame = mStack.back();
            if (frame.next == frame.end) {
                if (frame.letter >= 0)
                    block(frame.level, frame.letter) = { frame.start, w - frame.start };
                mStack.pop_back();
                continue;
            }
            const auto c = static_cast<unsigned char>(*frame.next++);
            const int level = frame.level - 1; // passes still to apply to c
            const int letter = mLetters.index[c];
            if (level == 0 || letter < 0) {
                out[w++] = static_cast<char>(c);
                continue;
            }
            Block &b = block(level, letter);
            if (b.start != notBuilt) {
                // A block may be most of the string: it is copied a megabyte at a time.
                for (std::uint64_t done = 0; done < b.length;) {
                    if (w >= nextPoll) {
                        if (!watch.poll(w, length))
                            return false;
                        nextPoll = w + pollBytes;
                    }
                    const std::uint64_t n = std::min(b.length - done, pollBytes);
                    std::memcpy(out + w, out + b.start + done, n);
                    w += n;
                    done += n;
                }
                continue;
            }
            const std::string &text = mRuleSet.rules[c]->text;
            if (level == 1) {
                std::memcpy(out + w, text.data(), text.size());
                b = { w, text.size() };
                w += text.size();
                continue;
            }
            // frame is not used after this: the stack never reallocates (reserved).
            mStack.push_back({ text.data(), text.data() + text.size(), w, level, letter });
        }
        return true;
    }

private:
    static constexpr std::uint64_t notBuilt = UINT64_MAX;

    struct Block
    {
        std::uint64_t start = notBuilt; // where its first occurrence begins in the output
        std::uint64_t length = 0;
    };

    // A letter (or the axiom, letter -1) being expanded; its characters get level - 1 passes.
    struct Frame
    {
        const char *next;
        const char *end;
        std::uint64_t start;
        int level;
        int letter;
    };

    Block &block(int level, int letter)
    {
        return mBlocks[std::size_t(level) * mLetters.count + letter];
    }

    const lsRuleSet &mRuleSet;
    const Letters &mLetters;
    const int mLevels;
    std::vector<Block> mBlocks;
    std::vector<Frame> mStack;
};

lsGeneration cancelledGeneration()
{
    lsGeneration g;
    g.cancelled = true;
    return g;
}

// The plain way: one lsIterateString per pass, each pass's string freed after the next.
lsGeneration
generatePassByPass(const lsRuleSet &ruleSet, std::string_view axiom, int passes, const Watch &watch)
{
    lsGeneration g;
    g.string = lsString(axiom);
    if (g.string.isNull()) {
        g.outOfMemory = true;
        return g;
    }
    for (int pass = 1; pass <= passes; ++pass) {
        if (!watch.poll(std::uint64_t(pass - 1), std::uint64_t(passes)))
            return cancelledGeneration();
        lsString next = lsIterateString(ruleSet, g.string.view());
        if (next.isNull()) {
            g.outOfMemory = true;
            break;
        }
        g.string = std::move(next);
        g.iterations = pass;
    }
    return g;
}

} // namespace

std::uint64_t lsLengthAfter(const lsRuleSet &ruleSet, std::string_view axiom, int iterations)
{
    const Letters letters(ruleSet, axiom);
    Lengths lengths(ruleSet, letters, axiom);
    for (int pass = 0; pass < iterations && lengths.advance(); ++pass) {
    }
    return lengths.total();
}

std::optional<lsGeometryCount>
lsCountGeometryAfter(const lsRuleSet &ruleSet, std::string_view axiom, int iterations)
{
    const Letters letters(ruleSet, axiom);
    std::array<Stretch, 256> kept; // what each character is while it is not rewritten
    for (int c = 0; c < 256; ++c)
        kept[c] = Stretch::of(static_cast<unsigned char>(c));
    // What each letter has grown into after the passes so far.
    std::vector<Stretch> grown(letters.count), next(letters.count);
    for (int i = 0; i < letters.count; ++i)
        grown[i] = kept[letters.byte[i]];
    const auto stretchOf = [&](char ch) -> const Stretch & {
        const auto c = static_cast<unsigned char>(ch);
        return letters.index[c] < 0 ? kept[c] : grown[letters.index[c]];
    };
    for (int pass = 0; pass < iterations; ++pass) {
        for (int i = 0; i < letters.count; ++i) {
            next[i] = Stretch();
            for (const char ch : ruleSet.rules[letters.byte[i]]->text)
                next[i].append(stretchOf(ch));
        }
        if (next == grown)
            break; // no letter changed, so none ever will
        grown.swap(next);
    }
    Stretch whole;
    for (const char ch : axiom)
        whole.append(stretchOf(ch));
    if (whole.length > Stretch::countableLength)
        return std::nullopt;
    // The ']'s at the lowest depth so far pop nothing: -low of them.
    const std::uint64_t pops = whole.closes - static_cast<std::uint64_t>(-whole.low);
    return lsGeometryCount{ 1 + whole.moves + pops, 1 + pops,
                            static_cast<std::uint64_t>(whole.rise) };
}

namespace {

lsGeneration generate(const lsRuleSet &ruleSet,
                      std::string_view axiom,
                      int iterations,
                      std::uint64_t byteBudget,
                      const Watch &watch)
{
    lsGeneration g;
    const Letters letters(ruleSet, axiom);

    // Sizing: the length after every pass, from per-letter lengths, before any allocation.
    // length[k] is the length after k passes (the last one holds for all later passes once
    // lengths stop changing), kept while the expansion tables could serve.
    Lengths lengths(ruleSet, letters, axiom);
    std::vector<std::uint64_t> length{ axiom.size() };
    int target = 0;
    bool growing = letters.count > 0;
    while (target < iterations) {
        if (watch.cancelled())
            return cancelledGeneration();
        std::uint64_t next = length.back();
        if (growing) {
            growing = lengths.advance();
            next = lengths.total();
        }
        if (next > byteBudget) {
            g.stoppedAtBudget = true;
            break;
        }
        ++target;
        if (!growing) {
            // No length changes any more: every further pass fits as well.
            target = iterations;
            break;
        }
        if (Expander::fits(letters, target))
            length.push_back(next);
    }
    if (letters.count == 0) {
        // Nothing in the axiom is ever rewritten.
        g.string = lsString(axiom);
        g.iterations = g.string.isNull() ? 0 : target;
        g.outOfMemory = g.string.isNull();
        return g;
    }
    if (!Expander::fits(letters, target))
        return generatePassByPass(ruleSet, axiom, target, watch);

    // Largest first: when the memory for the target cannot be had, the longest generation
    // below it whose memory can be had.
    for (int passes = target; passes >= 0; --passes) {
        const std::uint64_t n = passes < int(length.size()) ? length[passes] : length.back();
        lsString out = n < SIZE_MAX ? lsString::allocate(std::size_t(n)) : lsString();
        if (out.isNull()) {
            g.outOfMemory = true;
            continue;
        }
        try {
            Expander expander(ruleSet, letters, passes);
            if (!expander.expand(axiom, out.data(), n, watch))
                return cancelledGeneration();
        } catch (const std::bad_alloc &) {
            g.outOfMemory = true;
            continue;
        }
        g.string = std::move(out);
        g.iterations = passes;
        return g;
    }
    return g;
}

} // namespace

lsGeneration lsGenerate(const lsRuleSet &ruleSet,
                        std::string_view axiom,
                        int iterations,
                        std::uint64_t byteBudget,
                        const std::atomic<bool> *cancel,
                        const lsCommandSource::Progress &progress)
{
    try {
        return generate(ruleSet, axiom, iterations, byteBudget, Watch{ cancel, progress });
    } catch (const std::bad_alloc &) {
        // The small tables themselves could not be had.
        lsGeneration g;
        g.outOfMemory = true;
        return g;
    }
}
