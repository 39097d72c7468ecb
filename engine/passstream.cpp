#include "engine/passstream.h"

#include "engine/generation.h"

#include <algorithm>
#include <cstring>

namespace {

// Expansions up to this size are kept whole, so that the deepest frames copy blocks of a
// few KiB instead of rule after rule; all of them together stay below the arena limit.
constexpr std::size_t blockLimit = std::size_t(4) << 10;
constexpr std::size_t arenaLimit = std::size_t(1) << 20;
constexpr int keptPassesLimit = 64;

} // namespace

lsPassStream::lsPassStream(const lsRuleSet &ruleSet, std::string_view axiom, int passes)
    : lsCommandSource(lsLengthAfter(ruleSet, axiom, passes))
    , mRuleSet(ruleSet)
    , mAxiom(axiom)
    , mPasses(std::max(passes, 0))
    , mBuffer(lsChunkBytes)
{
    buildTable();
    restart();
}

void lsPassStream::buildTable()
{
    // After p passes a letter's expansion is its rule's characters after p - 1 passes each,
    // so it is at least as long as that of any letter in its rule after p - 1: once one of
    // those is not kept, neither is it. The arena never outgrows its reservation, so that
    // appending a part of itself is safe.
    mArena.reserve(arenaLimit);
    for (int p = 1; p <= std::min(mPasses, keptPassesLimit); ++p) {
        mBlocks.resize(std::size_t(p) * 256);
        const Block *const previous = p > 1 ? &mBlocks[std::size_t(p - 2) * 256] : nullptr;
        Block *const blocks = &mBlocks[std::size_t(p - 1) * 256];
        bool kept = false;
        for (int letter = 0; letter < 256; ++letter) {
            if (!lsIsRewritten(mRuleSet, static_cast<unsigned char>(letter)))
                continue;
            const std::string &text = mRuleSet.rules[letter]->text;
            std::size_t size = 0;
            for (const char ch : text) {
                const auto c = static_cast<unsigned char>(ch);
                const bool rewritten = previous && lsIsRewritten(mRuleSet, c);
                if (rewritten && previous[c].start == notKept) {
                    size = notKept;
                    break;
                }
                size += rewritten ? previous[c].size : 1;
                if (size > blockLimit)
                    break;
            }
            if (size > blockLimit || mArena.size() + size > arenaLimit)
                continue;
            const std::size_t start = mArena.size();
            for (const char ch : text) {
                const auto c = static_cast<unsigned char>(ch);
                if (previous && lsIsRewritten(mRuleSet, c))
                    mArena.append(mArena, previous[c].start, previous[c].size);
                else
                    mArena.push_back(ch);
            }
            blocks[letter] = { start, size };
            kept = true;
        }
        if (!kept) {
            mBlocks.resize(std::size_t(p - 1) * 256);
            break;
        }
        mKeptPasses = p;
    }
}

void lsPassStream::restart()
{
    mStack.clear();
    mStack.push_back({ mAxiom.data(), mAxiom.data() + mAxiom.size(), mPasses });
}

std::size_t
lsPassStream::expand(std::vector<Frame> &stack, char *const out, const std::size_t capacity) const
{
    std::size_t written = 0;
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.passes == 0) {
            const std::size_t n = std::min<std::size_t>(frame.end - frame.next, capacity - written);
            std::memcpy(out + written, frame.next, n);
            written += n;
            frame.next += n;
            if (frame.next != frame.end)
                return written; // full
            stack.pop_back();
            continue;
        }
        if (frame.next == frame.end) {
            stack.pop_back();
            continue;
        }
        const auto c = static_cast<unsigned char>(*frame.next);
        if (!lsIsRewritten(mRuleSet, c)) {
            if (written == capacity)
                return written;
            out[written++] = static_cast<char>(c);
            ++frame.next;
            continue;
        }
        ++frame.next;
        const int passes = frame.passes; // frame is not used after the push below
        if (passes <= mKeptPasses) {
            const Block &b = mBlocks[std::size_t(passes - 1) * 256 + c];
            if (b.start != notKept) {
                const char *const block = mArena.data() + b.start;
                if (b.size != 0)
                    stack.push_back({ block, block + b.size, 0 });
                continue;
            }
        }
        const std::string &text = mRuleSet.rules[c]->text;
        stack.push_back({ text.data(), text.data() + text.size(), passes - 1 });
    }
    return written;
}

std::string_view lsPassStream::fill()
{
    return { mBuffer.data(), expand(mStack, mBuffer.data(), mBuffer.size()) };
}

void lsPassStream::peek(const std::function<bool(std::string_view)> &take)
{
    std::vector<Frame> stack = mStack;
    char piece[4096];
    for (;;) {
        const std::size_t n = expand(stack, piece, sizeof piece);
        if (n == 0 || !take({ piece, n }))
            return;
    }
}

std::unique_ptr<lsCommandSource> lsPassStream::replica() const
{
    return std::make_unique<lsPassStream>(mRuleSet, mAxiom, mPasses);
}
