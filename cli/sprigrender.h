#pragma once

#include <iosfwd>

namespace sprig {

struct RenderOptions;

// Exit statuses of sprig-render.
enum ExitStatus {
    ExitSuccess = 0,
    ExitInputOutput = 1, // an input could not be read or an output not written
    ExitBadArguments = 2,
    ExitStoppedAtBudget = 3, // growth stopped at a size limit; the last iteration that fits
    ExitNotDrawable = 4,     // the figure's size is not finite: the picture shows nothing
};

// Does what the options ask; JSON goes to out, messages to err. Returns an ExitStatus.
int runSprigRender(const RenderOptions &options,
                   std::ostream &out,
                   std::ostream &err,
                   bool progressLine);

} // namespace sprig
