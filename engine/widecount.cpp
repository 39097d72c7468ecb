#include "engine/widecount.h"

#include <algorithm>

std::string lsDecimal(lsWideCount n)
{
    std::string digits;
    do {
        digits.push_back(char('0' + int(n % 10)));
        n /= 10;
    } while (n != 0);
    std::reverse(digits.begin(), digits.end());
    return digits;
}
