#pragma once

#include "figure/figurepipeline.h"

#include <QString>

#include <array>
#include <string>

namespace sprig {

struct RenderOptions;

// Writes the animated GIF the options ask for (a turn or a growth) of the figure that
// `request` made, in the colours given (RGBA in 0-1, as the view gets them). False, with the
// message in *error, when it cannot be written; *warning says what a file written could not
// keep.
bool writeAnimationOutput(const FigureRequest &request,
                          const FigureResult &figure,
                          const std::array<double, 4> &lineColor,
                          const std::array<double, 4> &backgroundColor,
                          const RenderOptions &options,
                          const std::string &path,
                          QString *error,
                          std::string *warning);

} // namespace sprig
