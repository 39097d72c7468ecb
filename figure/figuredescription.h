#pragma once

#include "figure/figurepipeline.h"

#include <cstdint>
#include <string>

// The words for what became of a figure, one wording for the window's status line and for
// sprig-render's messages. Each is a phrase to which the caller adds its own full stop.

// Which pass a result shows and why no later one, for a message ("showing pass 5 of 7:
// pass 6 would make a figure of 2.7 GiB, more than the 2 GiB limit"), or why it shows none
// ("there was not enough memory for the figure"); "" for a complete figure. name (may be
// empty) is how the figure is named.
std::string describeOutcome(const FigureResult &result, const std::string &name = {});

// Why the pass a result shows could not be drawn: the memory for its picture could not be
// had. name as for describeOutcome.
std::string describeBuildFailure(const FigureResult &result, const std::string &name = {});

// What a figure shows, for a status line: the pass, its symbols and segments, and the
// seconds it took to show ("Pass 6 of 7: 129 symbols, 128 segments, 1.50 s").
std::string describeFigure(const FigureResult &result, double seconds);
// Why no later pass is shown, as a sentence ("Pass 7 would have ... may have."); "" for a
// complete figure.
std::string describeLimit(const FigureResult &result);

// The work under way, for a status line: "Generating pass 5 of 7".
std::string describeProgress(const FigureProgress &progress);
// A walk under way: "Drawing 1,234,567 of 4,177,501,395 symbols".
std::string describeDrawing(std::uint64_t done, std::uint64_t length);

// The phrase as a sentence's start: its first letter in upper case.
std::string capitalized(std::string phrase);
