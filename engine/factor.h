#pragma once

// The number after an '@': the factor that scales the turtle's step.

#include <cstddef>
#include <cstdint>

// Reads the number after an '@' as strtod reads it in the C locale (leading blanks, sign,
// decimal point '.', exponent, hexadecimal, "inf"/"nan"), a piece of text at a time and in
// memory of its own whatever the number's length: a billion digits made by rewriting take
// what four do. The value of a long number is decided by a bounded prefix of its
// significant digits, whether any non-zero digit follows them, and how many digits there
// are; a NaN's payload never matters.
class lsFactorReader
{
public:
    // Takes the next characters of the text; true while more text could still change the
    // value, false once the number has ended (what follows is then not needed).
    bool feed(const char *text, const char *end);
    // The number read from the text fed so far, as if the text ended there; 0 when no number
    // can be read.
    double value() const;

private:
    enum class State : unsigned char {
        Blanks,       // before the number: blanks, then a sign
        Signed,       // after the sign
        Letters,      // "i", "in", "n", "na" so far
        Zero,         // a leading '0': maybe "0x"
        Point,        // a '.' before any digit
        Digits,       // mantissa digits before the point
        Fraction,     // after the point, with a digit
        HexStart,     // "0x" (the '0' alone is a number)
        HexPoint,     // "0x." (still the '0' alone)
        HexDigits,    // hexadecimal digits before the point
        HexFraction,  // after the point, with a digit
        ExponentMark, // 'e' or 'p' (not part of the number until a digit follows)
        ExponentSign, // and its sign
        Exponent,     // exponent digits
        Done,
    };

    // Enough significant digits that a value holding them, and a non-zero digit after them
    // when the number has more, rounds as the whole number does: a halfway point between
    // two doubles has at most 767 significant decimal digits (and 14 hexadecimal ones).
    static constexpr int kDecimalDigits = 800;
    static constexpr int kHexDigits = 40;
    // Exponents are kept within this, far beyond where every double is 0 or infinite.
    static constexpr std::int64_t kExponentLimit = std::int64_t(1) << 40;

    // One character in a state that reads one at a time; the digit runs are read in bulk.
    void step(char c);
    void digit(int value);

    State mState = State::Blanks;
    bool mNegative = false;
    bool mHex = false;
    bool mExponentNegative = false;
    bool mSticky = false; // a non-zero digit beyond the kept ones
    char mLetters[3] = {};
    int mLetterCount = 0;
    enum class Special : unsigned char {
        None,
        Infinity,
        NaN
    } mSpecial = Special::None;
    bool mHasNumber = false; // at least one mantissa digit was read
    // Significant digits (from the first non-zero one), as characters; the value is
    // 0.d1d2d3... times the base to the power mScale, times 2 to the power mExponent.
    char mDigits[kDecimalDigits];
    int mDigitCount = 0;
    std::int64_t mScale = 0;    // in digits of the mantissa's base
    std::int64_t mExponent = 0; // the exponent written after 'e' or 'p'
};

// The number at the start of [text, end) as lsFactorReader reads it.
double lsReadFactor(const char *text, const char *end);
