#include "figure/figurerules.h"

#include <algorithm>
#include <array>
#include <optional>

std::shared_ptr<lsRuleSet> makeRuleSet(const std::vector<std::string> &letters,
                                       const std::vector<std::string> &rules,
                                       double degrees)
{
    std::shared_ptr<lsRuleSet> set = lsNewRuleSet();
    set->angle = radiansFromDegrees(degrees);
    const std::size_t count = std::min(letters.size(), rules.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (!letters[i].empty())
            lsNewRule(*set, letters[i].front(), rules[i]);
    }
    return set;
}

std::vector<RuleEffect> ruleEffects(const std::vector<std::string> &letters)
{
    std::vector<RuleEffect> effects(letters.size());
    std::array<std::optional<std::size_t>, 256> holder;
    for (std::size_t row = 0; row < letters.size(); ++row) {
        // Rewriting looks only at ASCII letters (lsIterateString), through the first byte.
        const auto byte = letters[row].empty() ? 0 : static_cast<unsigned char>(letters[row][0]);
        const bool letter = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
        if (!letter)
            effects[row].kind = RuleEffect::NotALetter;
        else if (holder[byte])
            effects[row] = { RuleEffect::Shadowed, *holder[byte] };
        else
            holder[byte] = row;
    }
    return effects;
}
