#pragma once

#include "engine/generation.h"
#include "engine/interpreter.h"
#include "engine/lsstring.h"
#include "engine/ruleset.h"

#include <cstdint>
#include <iosfwd>
#include <memory>

struct DocumentData;
struct RenderOptions;

// Exit statuses of sprig-render.
enum ExitStatus {
    ExitSuccess = 0,
    ExitInputOutput = 1, // an input could not be read or an output not written
    ExitBadArguments = 2,
    ExitStoppedAtBudget = 3, // growth stopped at a size limit; the last iteration that fits
};

// A document's generated figure, as the window would show it.
struct Figure
{
    std::shared_ptr<lsRuleSet> rules;
    lsString string;
    int iterations = 0; // passes done
    int requested = 0;  // passes the document asked for
    bool stoppedAtBudget = false;
    bool stringLimit = false; // stopped by the string budget (else by the figure budget)
    bool outOfMemory = false;
    bool hasAxiom = false;      // a document without an axiom draws nothing
    std::uint64_t vertices = 0; // vertices the interpreter's draw mode emits
    std::uint64_t strips = 0;   // line strips: 1 + the ']' that pop
};

// Builds the rule set and rewrites the axiom as a generation of the window does, stopping at
// the last iteration whose string fits stringBudget and whose figure fits figureBudget.
Figure generateFigure(const DocumentData &document,
                      std::uint64_t stringBudget = lsStringByteBudget,
                      std::uint64_t figureBudget = lsGeometryByteBudget);

// Does what the options ask; JSON goes to out, messages to err. Returns an ExitStatus.
int runSprigRender(const RenderOptions &options,
                   std::ostream &out,
                   std::ostream &err,
                   bool progressLine);
