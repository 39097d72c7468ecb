#pragma once

#include "document/model/documentrules.h"
#include "engine/generation.h"
#include "engine/ruleset.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Everything a generation reads, copied when it is requested so that later edits in the window
// cannot reach a running generation.
struct GenerationRequest
{
    std::string axiom;                // UTF-8
    std::vector<std::string> letters; // the first byte of each is the rule's letter
    std::vector<std::string> rules;
    double angle = 0.0; // degrees
    int iterations = 4;
    std::uint64_t byteBudget = lsStringByteBudget;
};

struct GenerationResult
{
    std::uint64_t serial = 0; // which request this answers
    int requestedIterations = 0;
    std::shared_ptr<lsRuleSet> rules;
    lsGeneration generation;
    // When the generation stopped at the budget: the length the next pass would have had.
    std::uint64_t refusedLength = 0;
};

// Runs the generations of one document on a worker thread of its own, one at a time.
// A request made while one runs waits; a newer one replaces it, so after a burst of requests
// only the latest runs once the current one ends. Results come back on the receiver's thread
// (the main thread) through `deliver`, unless the generator has been destroyed by then.
//
// Destroying the generator never waits for a running generation: it cancels it, and the worker
// ends on its own without touching the receiver again.
class FigureGenerator
{
public:
    FigureGenerator(QObject *receiver, std::function<void(GenerationResult &)> deliver);
    ~FigureGenerator();

    FigureGenerator(const FigureGenerator &) = delete;
    FigureGenerator &operator=(const FigureGenerator &) = delete;

    // Main thread. Returns the request's serial.
    std::uint64_t request(GenerationRequest request);
    // The serial of the latest request (0 before the first).
    std::uint64_t latestSerial() const { return mSerial; }

private:
    struct State;
    static void run(std::shared_ptr<State> state);

    std::shared_ptr<State> mState;
    std::uint64_t mSerial = 0;
};
