#include "engine/factor.h"

#include "engine/ruleset.h"

#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// White space as the C locale's isspace sees it.
bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

const char *skipDigits(const char *p, const char *end, bool (*digit)(char))
{
    while (p != end && digit(*p))
        ++p;
    return p;
}

// Mantissa digits with an optional point, then an exponent (e or p) with optional sign.
const char *numberBody(const char *p, const char *end, bool (*digit)(char), char exponent)
{
    p = skipDigits(p, end, digit);
    if (p != end && *p == '.')
        p = skipDigits(p + 1, end, digit);
    if (p != end && (*p | 0x20) == exponent) {
        ++p;
        if (p != end && (*p == '+' || *p == '-'))
            ++p;
        p = skipDigits(p, end, isDigit);
    }
    return p;
}

} // namespace

// It may reach further than strtod will read, never less, so strtod on a copy of [text,
// lsFactorEnd) reads what it would read from the whole string; and it stops at a character
// (or after eight letters, or at a ')'), never because of what follows that.
const char *lsFactorEnd(const char *p, const char *end)
{
    while (p != end && isBlank(*p))
        ++p;
    if (p != end && (*p == '+' || *p == '-'))
        ++p;
    if (p != end && lsIsLetter(static_cast<unsigned char>(*p))) {
        // "inf", "infinity", "nan", "nan(chars)"
        for (int n = 0; n < 8 && p != end && lsIsLetter(static_cast<unsigned char>(*p)); ++n)
            ++p;
        if (p != end && *p == '(') {
            ++p;
            while (p != end
                   && (isDigit(*p) || lsIsLetter(static_cast<unsigned char>(*p)) || *p == '_'))
                ++p;
            if (p != end && *p == ')')
                ++p;
        }
        return p;
    }
    if (end - p >= 2 && p[0] == '0' && (p[1] | 0x20) == 'x')
        return numberBody(p + 2, end, isHexDigit, 'p');
    return numberBody(p, end, isDigit, 'e');
}

double lsReadFactor(const char *text, const char *end)
{
    // strtod needs a terminated string and follows the process locale: parse a terminated
    // copy of the number with the C locale.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const std::size_t length = static_cast<std::size_t>(lsFactorEnd(text, end) - text);
    char small[128];
    if (length < sizeof small) {
        std::memcpy(small, text, length);
        small[length] = '\0';
        return strtod_l(small, nullptr, cLocale);
    }
    const std::string number(text, length);
    return strtod_l(number.c_str(), nullptr, cLocale);
}
