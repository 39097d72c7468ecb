#include "document/figuregenerator.h"

#include <QMetaObject>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

struct FigureGenerator::State
{
    std::mutex lock;
    std::condition_variable wake;
    // All guarded by lock.
    std::optional<std::pair<std::uint64_t, GenerationRequest>> pending;
    bool workerRunning = false;
    bool stopping = false;
    QObject *receiver = nullptr;
    std::function<void(GenerationResult &)> deliver;

    std::atomic<bool> cancel{ false };
};

FigureGenerator::FigureGenerator(QObject *receiver, std::function<void(GenerationResult &)> deliver)
    : mState(std::make_shared<State>())
{
    mState->receiver = receiver;
    mState->deliver = std::move(deliver);
}

FigureGenerator::~FigureGenerator()
{
    std::lock_guard guard(mState->lock);
    mState->stopping = true;
    mState->pending.reset();
    mState->receiver = nullptr;
    mState->cancel = true;
    mState->wake.notify_all();
}

std::uint64_t FigureGenerator::request(GenerationRequest request)
{
    const std::uint64_t serial = ++mSerial;
    std::lock_guard guard(mState->lock);
    mState->pending.emplace(serial, std::move(request));
    if (!mState->workerRunning) {
        mState->workerRunning = true;
        // The worker owns a share of the state, so it outlives the generator safely.
        std::thread(&FigureGenerator::run, mState).detach();
    } else {
        mState->wake.notify_all();
    }
    return serial;
}

void FigureGenerator::run(std::shared_ptr<State> state)
{
    std::unique_lock guard(state->lock);
    for (;;) {
        // An idle worker ends; the next request starts a new one. No thread lingers for a
        // document that is not generating.
        if (state->stopping || !state->pending) {
            state->workerRunning = false;
            return;
        }
        auto [serial, request] = std::move(*state->pending);
        state->pending.reset();
        guard.unlock();

        auto result = std::make_shared<GenerationResult>();
        result->serial = serial;
        result->requestedIterations = request.iterations;
        result->rules = makeRuleSet(request.letters, request.rules, request.angle);
        result->generation = lsGenerate(*result->rules, request.axiom, request.iterations,
                                        request.byteBudget, &state->cancel);
        if (result->generation.stoppedAtBudget) {
            result->refusedLength =
                    lsLengthAfter(*result->rules, request.axiom, result->generation.iterations + 1);
        }

        guard.lock();
        if (state->receiver) {
            // Queued to the receiver's thread; Qt drops it if the receiver is deleted first.
            QMetaObject::invokeMethod(
                    state->receiver,
                    [state, result] {
                        // Main thread: the generator (and so `deliver`) is alive exactly while
                        // receiver is set, and only the main thread clears it.
                        if (state->receiver)
                            state->deliver(*result);
                    },
                    Qt::QueuedConnection);
        }
    }
}
