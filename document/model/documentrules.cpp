#include "document/model/documentrules.h"

#include <algorithm>

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
