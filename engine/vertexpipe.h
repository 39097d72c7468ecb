#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <span>
#include <thread>
#include <vector>

// Carries the turtle walk's vertices, a batch at a time, to a consumer on a thread of its
// own. The walk is bound by the latency of its turns, so work on its vertices that costs
// about as much as the walk (the reduction for a picture) runs alongside it on a second
// core instead of after each batch; light work (a box, floats) costs less than the hand-off
// and stays on the walk's thread (lsDetail::walkInto). The walk writes a batch into a slot
// of a small ring, which the consumer's thread takes in order; the walk waits only when
// every slot is still the consumer's. Where no thread can be started, the consumer takes
// each batch on the walk's thread as it is sent.
class lsVertexPipe
{
public:
    static constexpr std::size_t batchVertices = 4096;

    // Takes n vertices of three doubles each, and the numbers of the vertices at which
    // strips end among those sent so far (counted from the walk's first vertex, in order).
    using Consumer = std::function<
            void(const double *xyz, std::size_t n, std::span<const std::size_t> ends)>;

    explicit lsVertexPipe(Consumer consumer);
    // Stops the consumer's thread; what it had not taken yet is dropped.
    ~lsVertexPipe();
    lsVertexPipe(const lsVertexPipe &) = delete;
    lsVertexPipe &operator=(const lsVertexPipe &) = delete;

    // Where the next batch is written: room for batchVertices vertices.
    double *batch() { return mRing[mSent % slots].xyz.data(); }
    // That a strip ends at vertex number `vertex`, which is sent with the current batch.
    void endStrip(std::size_t vertex) { mRing[mSent % slots].ends.push_back(vertex); }
    // Sends the n vertices written into batch(). Throws what the consumer threw, so that a
    // walk stops at the consumer's first failure.
    void send(std::size_t n);
    // Waits until the consumer has taken every batch sent; throws what it threw.
    void finish();

private:
    static constexpr std::uint32_t slots = 4;

    struct Slot
    {
        std::array<double, 3 * batchVertices> xyz;
        std::vector<std::size_t> ends;
        std::size_t n = 0;
        bool last = false; // sent by finish(): the consumer's thread ends
    };

    void publish();
    void take(Slot &slot);
    void stop();
    void run();

    Consumer mConsumer;
    std::array<Slot, slots> mRing;
    std::uint32_t mSent = 0; // the walk's own count of the slots it sent
    // Slots sent and slots taken so far, counted modulo 2^32 (32 bits, so that waiting on
    // them is a plain futex).
    std::atomic<std::uint32_t> mPublished{ 0 };
    std::atomic<std::uint32_t> mTaken{ 0 };
    std::atomic<bool> mFailed{ false };
    std::exception_ptr mError; // written by the consumer's thread before mFailed is set
    std::thread mThread;
};
