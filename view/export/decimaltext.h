#pragma once

#include <string>

// Appends value in fixed notation rounded to `decimals` places, without trailing zeros or a
// trailing point, and "0" for a value that rounds to zero from either side (never "-0").
void appendDecimal(std::string &out, double value, int decimals);
