#include "engine/unitrules.h"

#include "engine/factor.h"

#include <cmath>

lsUnitRules::lsUnitRules(const lsRuleSet &rules, std::string_view axiom)
{
    mIndex.fill(-1);
    const auto reach = [&](std::string_view text) {
        for (const char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if (lsIsRewritten(rules, c) && mIndex[c] < 0) {
                mIndex[c] = int(mLetters.size());
                mLetters.push_back(ch);
            }
        }
    };
    reach(axiom);
    for (std::size_t i = 0; i < mLetters.size(); ++i)
        reach(rules.rules[static_cast<unsigned char>(mLetters[i])]->text);

    mRefusal = checkFactors(rules, axiom, "the axiom", true);
    for (std::size_t i = 0; i < mLetters.size() && mRefusal.empty(); ++i) {
        const std::string &text = rules.rules[static_cast<unsigned char>(mLetters[i])]->text;
        const std::string name = std::string("rule ") + mLetters[i];
        mRefusal = checkBrackets(text, name);
        if (mRefusal.empty())
            mRefusal = checkFactors(rules, text, name, false);
    }
    if (!mRefusal.empty())
        return;
    mIdle.resize(mLetters.size());
    for (std::size_t i = 0; i < mLetters.size(); ++i)
        mRules.push_back(
                compile(rules.rules[static_cast<unsigned char>(mLetters[i])]->text, mIdle[i]));
    mAxiom = compile(axiom, mAxiomIdle);
}

std::vector<lsUnitOp> lsUnitRules::compile(std::string_view text, std::uint64_t &idle) const
{
    using lsDetail::Command;
    std::vector<lsUnitOp> ops;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const Command command = lsDetail::commands.command[c];
        if (command == Command::Ignore && mIndex[c] < 0) {
            ++idle;
            continue;
        }
        const double value = command == Command::Scale
                                     ? lsReadFactor(text.data() + i + 1, text.data() + text.size())
                                     : lsDetail::commands.sign[c];
        ops.push_back({ command, value, mIndex[c] });
    }
    return ops;
}

std::string lsUnitRules::checkBrackets(std::string_view text, const std::string &name)
{
    int depth = 0;
    for (const char ch : text) {
        depth += ch == '[' ? 1 : ch == ']' ? -1 : 0;
        if (depth < 0)
            return name + " closes a bracket it did not open";
    }
    return depth == 0 ? std::string() : name + " leaves a bracket open";
}

namespace {

// Where the number at text stops mattering: the character at which the reader needs no
// more (the one that ends the number, or its last when nothing after could change it), or
// end when more text could still change it.
const char *factorEnd(const char *text, const char *end)
{
    lsFactorReader reader;
    for (const char *p = text; p != end; ++p)
        if (!reader.feed(p, p + 1))
            return p;
    return end;
}

} // namespace

// The number after an '@' is read from the pass, where each letter of the rule has become
// its expansion: it is the one in the rule when the rule holds it whole, up to a character
// that ends it, and no character of it (the end included) is rewritten. A number that runs
// to the end of a rule is refused: whatever follows the rule's expansion could extend it.
std::string lsUnitRules::checkFactors(const lsRuleSet &rules,
                                      std::string_view text,
                                      const std::string &name,
                                      bool isAxiom)
{
    const char *const end = text.data() + text.size();
    for (const char *at = text.data(); at != end; ++at) {
        if (*at != '@')
            continue;
        const char *const numberEnd = factorEnd(at + 1, end);
        if (numberEnd == end && !isAxiom)
            return "the number after @ at the end of " + name + " can be extended by rewriting";
        for (const char *p = at + 1; p != numberEnd + (numberEnd != end); ++p) {
            if (lsIsRewritten(rules, static_cast<unsigned char>(*p)))
                return "the number after @ in " + name + " can be changed by rewriting";
        }
        if (!std::isfinite(lsReadFactor(at + 1, end)))
            return "the number after @ in " + name + " is not finite";
    }
    return {};
}
