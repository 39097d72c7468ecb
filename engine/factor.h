#pragma once

// The number after an '@': the factor that scales the turtle's step.

// Reads the number after an '@' as the C locale does (strtod syntax: leading blanks,
// sign, decimal point '.', exponent, hexadecimal, "inf"/"nan"); 0 when no number can be
// read. Allocates nothing unless the number is hundreds of characters long.
double lsReadFactor(const char *text, const char *end);

// The end of the longest text the number at text can take: lsReadFactor reads no further,
// and a result below end does not change when more text follows.
const char *lsFactorEnd(const char *text, const char *end);
