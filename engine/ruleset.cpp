#include "engine/ruleset.h"

#include <cstring>

std::unique_ptr<lsRuleSet> lsNewRuleSet()
{
    return std::make_unique<lsRuleSet>();
}

lsRule *lsNewRule(lsRuleSet &ruleSet, char letter, std::string_view text)
{
    std::unique_ptr<lsRule> &slot = ruleSet.rules[static_cast<unsigned char>(letter)];
    if (slot)
        return nullptr;
    slot = std::make_unique<lsRule>(lsRule{ std::string(text) });
    return slot.get();
}

std::uint64_t lsNextLength(const lsRuleSet &ruleSet, std::string_view input)
{
    // Each character's contribution, looked up instead of tested per character.
    std::uint64_t grows[256];
    for (int c = 0; c < 256; ++c) {
        grows[c] = lsIsRewritten(ruleSet, static_cast<unsigned char>(c))
                           ? ruleSet.rules[c]->text.size()
                           : 1;
    }
    std::uint64_t n = 0;
    for (const char ch : input) {
        const std::uint64_t add = grows[static_cast<unsigned char>(ch)];
        if (n > lsLengthOverflow - add)
            return lsLengthOverflow;
        n += add;
    }
    return n;
}

lsString lsIterateString(const lsRuleSet &ruleSet, std::string_view input)
{
    const std::uint64_t n = lsNextLength(ruleSet, input);
    if (n >= SIZE_MAX)
        return {};
    lsString out = lsString::allocate(static_cast<std::size_t>(n));
    if (out.isNull())
        return out;
    char *w = out.data();
    for (const char ch : input) {
        const auto c = static_cast<unsigned char>(ch);
        if (lsIsRewritten(ruleSet, c)) {
            const std::string &text = ruleSet.rules[c]->text;
            std::memcpy(w, text.data(), text.size());
            w += text.size();
        } else {
            *w++ = ch;
        }
    }
    return out;
}
