#include "figure/figuredescription.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

std::string dataSize(std::uint64_t bytes)
{
    const char *units[] = { "bytes", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB" };
    double value = double(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 6) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    if (unit == 0)
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    else
        std::snprintf(text, sizeof text,
                      value < 10.0 && value != std::floor(value) ? "%.1f %s" : "%.0f %s", value,
                      units[unit]);
    return text;
}

// 1234567 as "1,234,567".
std::string grouped(std::uint64_t n)
{
    const std::string digits = std::to_string(n);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

std::string passOf(const FigureResult &result)
{
    return "pass " + std::to_string(result.pass) + " of " + std::to_string(result.requested);
}

// Why the pass after the one shown is not shown; "" for a complete figure.
std::string reason(const FigureResult &result)
{
    const std::string next = "pass " + std::to_string(result.pass + 1);
    switch (result.outcome) {
    case FigureOutcome::Complete:
        return {};
    case FigureOutcome::LengthLimit:
        return next + " would have "
               + (result.refusedBytes == lsLengthOverflow
                          ? "too many symbols to count"
                          : grouped(result.refusedBytes) + " symbols")
               + ", more than the " + grouped(result.budgetBytes) + " a figure may have";
    case FigureOutcome::GeometryBudget:
        // Rounded, a need just over the limit reads as the limit ("2.0 GiB", "2 GiB"): then
        // both are given in bytes.
        if (result.refusedBytes >= 1024
            && (result.refusedBytes - result.budgetBytes) * 20 < result.budgetBytes)
            return next + " would need " + grouped(result.refusedBytes)
                   + " bytes to draw, more than the " + dataSize(result.budgetBytes) + " ("
                   + grouped(result.budgetBytes) + " bytes) limit";
        return next + " would need " + dataSize(result.refusedBytes) + " to draw, more than the "
               + dataSize(result.budgetBytes) + " limit";
    case FigureOutcome::OutOfMemory:
        return "there was not enough memory for " + next;
    case FigureOutcome::Cancelled:
        return "stopped: the figure shown before stays";
    }
    return {};
}

std::string named(const std::string &name, const std::string &why)
{
    return name.empty() ? why : name + ": " + why;
}

} // namespace

std::string describeOutcome(const FigureResult &result, const std::string &name)
{
    if (result.outcome == FigureOutcome::Complete)
        return {};
    if (result.outcome == FigureOutcome::Cancelled)
        return named(name, reason(result));
    if (result.nothing)
        return named(name, "there was not enough memory for the figure");
    return named(name, "showing " + passOf(result) + ": " + reason(result));
}

std::string describeBuildFailure(const FigureResult &result, const std::string &name)
{
    return named(name, "there was not enough memory to draw " + passOf(result));
}

std::string describeFigure(const FigureResult &result, double seconds)
{
    const std::uint64_t segments = result.count.vertices - result.count.strips;
    char time[32];
    std::snprintf(time, sizeof time, "%.2f s", seconds);
    return capitalized(passOf(result)) + ": " + grouped(result.length) + " symbols, "
           + grouped(segments) + " segments, " + time;
}

std::string describeLimit(const FigureResult &result)
{
    const std::string why = reason(result);
    return why.empty() ? why : capitalized(why) + ".";
}

std::string describeProgress(const FigureProgress &progress)
{
    return "Generating pass " + std::to_string(progress.pass) + " of "
           + std::to_string(progress.passes);
}

std::string describeDrawing(std::uint64_t done, std::uint64_t length)
{
    return "Drawing " + grouped(done) + " of " + grouped(length) + " symbols";
}

std::string capitalized(std::string phrase)
{
    if (!phrase.empty())
        phrase[0] = char(std::toupper(static_cast<unsigned char>(phrase[0])));
    return phrase;
}
