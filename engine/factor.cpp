#include "engine/factor.h"

#include <locale.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The value of a digit in base 16, or -1.
int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    const char lower = static_cast<char>(c | 0x20);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// White space as the C locale's isspace sees it.
bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The powers of ten that are exact doubles.
constexpr int kExactPowers = 22;
constexpr std::array<double, kExactPowers + 1> exactPowers = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
};

std::int64_t saturated(std::int64_t v, std::int64_t limit)
{
    return std::clamp(v, -limit, limit);
}

} // namespace

void lsFactorReader::digit(int value)
{
    mHasNumber = true;
    const bool fraction = mState == State::Fraction || mState == State::HexFraction;
    if (mDigitCount == 0 && value == 0) {
        // A leading zero: after the point it moves the first significant digit right.
        if (fraction)
            mScale = saturated(mScale - 1, kExponentLimit);
        return;
    }
    if (!fraction)
        mScale = saturated(mScale + 1, kExponentLimit);
    if (mDigitCount < (mHex ? kHexDigits : kDecimalDigits))
        mDigits[mDigitCount++] = static_cast<char>(value < 10 ? '0' + value : 'a' + value - 10);
    else if (value != 0)
        mSticky = true;
}

void lsFactorReader::step(char c)
{
    const char lower = static_cast<char>(c | 0x20);
    switch (mState) {
    case State::Blanks:
        if (isBlank(c))
            return;
        if (c == '+' || c == '-') {
            mNegative = c == '-';
            mState = State::Signed;
            return;
        }
        [[fallthrough]];
    case State::Signed:
        if (c == '0') {
            mHasNumber = true;
            mState = State::Zero;
        } else if (isDigit(c)) {
            mState = State::Digits;
            digit(c - '0');
        } else if (c == '.') {
            mState = State::Point;
        } else if (lower == 'i' || lower == 'n') {
            mLetters[mLetterCount++] = lower;
            mState = State::Letters;
        } else {
            mState = State::Done;
        }
        return;
    case State::Letters: {
        const char *const word = mLetters[0] == 'i' ? "inf" : "nan";
        if (lower != word[mLetterCount]) {
            mState = State::Done; // no number
            return;
        }
        mLetters[mLetterCount++] = lower;
        if (mLetterCount == 3) {
            // What follows ("inity", a NaN's payload) never changes the value.
            mSpecial = word[0] == 'i' ? Special::Infinity : Special::NaN;
            mState = State::Done;
        }
        return;
    }
    case State::Zero:
        if (lower == 'x') {
            mHex = true;
            mState = State::HexStart;
            return;
        }
        mState = State::Digits;
        step(c);
        return;
    case State::Point:
        if (isDigit(c)) {
            mState = State::Fraction;
            digit(c - '0');
        } else {
            mState = State::Done;
        }
        return;
    case State::Digits:
    case State::HexDigits:
        if (c == '.') {
            mState = mHex ? State::HexFraction : State::Fraction;
            return;
        }
        [[fallthrough]];
    case State::Fraction:
    case State::HexFraction:
        if (mHex ? hexValue(c) >= 0 : isDigit(c)) {
            digit(mHex ? hexValue(c) : c - '0');
        } else if (lower == (mHex ? 'p' : 'e')) {
            mState = State::ExponentMark;
        } else {
            mState = State::Done;
        }
        return;
    case State::HexStart:
    case State::HexPoint:
        if (hexValue(c) >= 0) {
            mState = mState == State::HexStart ? State::HexDigits : State::HexFraction;
            digit(hexValue(c));
        } else if (c == '.' && mState == State::HexStart) {
            mState = State::HexPoint;
        } else {
            mState = State::Done; // the '0' alone
        }
        return;
    case State::ExponentMark:
        if (c == '+' || c == '-') {
            mExponentNegative = c == '-';
            mState = State::ExponentSign;
            return;
        }
        [[fallthrough]];
    case State::ExponentSign:
    case State::Exponent:
        if (isDigit(c)) {
            mExponent = std::min(mExponent * 10 + (c - '0'), kExponentLimit);
            mState = State::Exponent;
        } else {
            if (mState != State::Exponent)
                mExponent = 0; // a mark without digits is not part of the number
            mState = State::Done;
        }
        return;
    case State::Done:
        return;
    }
}

bool lsFactorReader::feed(const char *text, const char *end)
{
    for (const char *p = text; p != end && mState != State::Done; ++p) {
        // The long runs a rule can make, zeros before the first significant digit and
        // digits after the kept ones, in tight loops.
        const bool mantissa = mState == State::Digits || mState == State::Fraction
                              || mState == State::HexDigits || mState == State::HexFraction;
        const bool fraction = mState == State::Fraction || mState == State::HexFraction;
        if (mantissa && mDigitCount == 0 && *p == '0') {
            const char *run = p;
            while (run != end && *run == '0')
                ++run;
            if (fraction)
                mScale = saturated(mScale - (run - p), kExponentLimit);
            p = run - 1;
            continue;
        }
        if (mantissa && mDigitCount == (mHex ? kHexDigits : kDecimalDigits)) {
            const char *run = p;
            while (run != end && (mHex ? hexValue(*run) >= 0 : isDigit(*run))) {
                mSticky |= *run != '0';
                ++run;
            }
            if (run != p) {
                if (!fraction)
                    mScale = saturated(mScale + (run - p), kExponentLimit);
                p = run - 1;
                continue;
            }
        }
        step(*p);
    }
    return mState != State::Done;
}

double lsFactorReader::value() const
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const double sign = mNegative ? -1.0 : 1.0;
    if (mSpecial == Special::Infinity)
        return sign * std::numeric_limits<double>::infinity();
    if (mSpecial == Special::NaN)
        return std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);
    if (!mHasNumber)
        return 0.0; // strtod's "no conversion"
    if (mDigitCount == 0)
        return sign * 0.0;
    const std::int64_t exponent =
            (mExponentNegative ? -mExponent : mExponent) + (mHex ? 4 * mScale : mScale);
    // A mantissa of at most 15 decimal digits and a power of ten up to 22 are exact doubles,
    // so one multiplication or division rounds as strtod does, at a fraction of its cost:
    // a figure may hold an '@' every few symbols.
    if (!mHex && !mSticky && mDigitCount <= 15) {
        const std::int64_t power = exponent - mDigitCount;
        if (power >= -kExactPowers && power <= kExactPowers) {
            std::int64_t mantissa = 0;
            for (int i = 0; i < mDigitCount; ++i)
                mantissa = mantissa * 10 + (mDigits[i] - '0');
            const double m = sign * static_cast<double>(mantissa);
            return power < 0 ? m / exactPowers[-power] : m * exactPowers[power];
        }
    }
    // Otherwise the number as strtod's own kind of text, of bounded length: "0.ddd...e-12" or
    // "0x0.hhh...p40", the digits kept and a 1 standing for the non-zero ones after them.
    char text[kDecimalDigits + 48];
    char *out = text;
    *out++ = mNegative ? '-' : '+';
    if (mHex) {
        *out++ = '0';
        *out++ = 'x';
    }
    *out++ = '0';
    *out++ = '.';
    out = std::copy(mDigits, mDigits + mDigitCount, out);
    if (mSticky)
        *out++ = '1';
    *out++ = mHex ? 'p' : 'e';
    std::snprintf(out, text + sizeof text - out, "%lld", static_cast<long long>(exponent));
    return strtod_l(text, nullptr, cLocale);
}

double lsReadFactor(const char *text, const char *end)
{
    lsFactorReader reader;
    reader.feed(text, end);
    return reader.value();
}
