#include "engine/generation.h"

std::uint64_t lsLengthAfter(const lsRuleSet &ruleSet, std::string_view axiom, int iterations)
{
    // lengthOf[c] is the length that one character c grows to after the passes so far.
    std::uint64_t lengthOf[256];
    for (std::uint64_t &l : lengthOf)
        l = 1;
    for (int pass = 0; pass < iterations; ++pass) {
        std::uint64_t next[256];
        for (int c = 0; c < 256; ++c) {
            if (!lsIsRewritten(ruleSet, static_cast<unsigned char>(c))) {
                next[c] = 1;
                continue;
            }
            std::uint64_t n = 0;
            for (const char r : ruleSet.rules[c]->text) {
                const std::uint64_t add = lengthOf[static_cast<unsigned char>(r)];
                n = n > lsLengthOverflow - add ? lsLengthOverflow : n + add;
            }
            next[c] = n;
        }
        std::copy(std::begin(next), std::end(next), std::begin(lengthOf));
    }
    std::uint64_t total = 0;
    for (const char a : axiom) {
        const std::uint64_t add = lengthOf[static_cast<unsigned char>(a)];
        total = total > lsLengthOverflow - add ? lsLengthOverflow : total + add;
    }
    return total;
}

lsGeneration lsGenerate(const lsRuleSet &ruleSet,
                        std::string_view axiom,
                        int iterations,
                        std::uint64_t byteBudget,
                        const std::atomic<bool> *cancel)
{
    lsGeneration g;
    g.string = lsString(axiom);
    if (g.string.isNull()) {
        g.outOfMemory = true;
        return g;
    }
    for (int pass = 0; pass < iterations; ++pass) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            break;
        if (lsNextLength(ruleSet, g.string.view()) > byteBudget) {
            g.stoppedAtBudget = true;
            break;
        }
        lsString next = lsIterateString(ruleSet, g.string.view());
        if (next.isNull()) {
            g.outOfMemory = true;
            break;
        }
        g.string = std::move(next);
        g.iterations = pass + 1;
    }
    return g;
}
