#pragma once

// Internal to the engine: the walk whose vertices a consumer takes a batch at a time, on the
// walk's own thread or on a second one (lsVertexPipe), shared by measuring, building and
// reducing geometry.

#include "engine/interpreter.h"
#include "engine/ruleset.h"
#include "engine/turtle.h"
#include "engine/vertexpipe.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <span>

namespace lsDetail {

// The bounding box as six separate values, which the compiler keeps in registers (an
// array it would shuffle in and out of vector registers on every character).
struct Box
{
    double minX = 0, maxX = 0, minY = 0, maxY = 0, minZ = 0, maxZ = 0;

    void grow(double x, double y, double z)
    {
        lsWiden(x, minX, maxX);
        lsWiden(y, minY, maxY);
        lsWiden(z, minZ, maxZ);
    }
    // The same for n vertices of three doubles each. Four vertices at a time go into six
    // pairs of lanes of minima and maxima, laid out as the vertices are: independent lanes,
    // so the comparisons overlap instead of waiting on one another, two to an instruction.
    // A lane takes only a value strictly beyond the box it started from, which holds the
    // start (0, 0, 0): no lane holds a zero of either sign or a NaN, so the lanes combine
    // into the very doubles that a pass vertex by vertex finds.
    void grow(const double *xyz, std::size_t n)
    {
        using Pair = double __attribute__((vector_size(16)));
        constexpr std::size_t lanes = 12, pairs = lanes / 2;
        double lo[lanes], hi[lanes];
        for (std::size_t i = 0; i < lanes; i += 3) {
            lo[i] = minX, lo[i + 1] = minY, lo[i + 2] = minZ;
            hi[i] = maxX, hi[i + 1] = maxY, hi[i + 2] = maxZ;
        }
        Pair pairLo[pairs], pairHi[pairs];
        std::memcpy(pairLo, lo, sizeof lo);
        std::memcpy(pairHi, hi, sizeof hi);
        const double *const blocksEnd = xyz + n / 4 * lanes;
        for (; xyz != blocksEnd; xyz += lanes) {
            for (std::size_t i = 0; i < pairs; ++i) {
                Pair v;
                std::memcpy(&v, xyz + 2 * i, sizeof v);
                pairLo[i] = v < pairLo[i] ? v : pairLo[i];
                pairHi[i] = v > pairHi[i] ? v : pairHi[i];
            }
        }
        std::memcpy(lo, pairLo, sizeof lo);
        std::memcpy(hi, pairHi, sizeof hi);
        Box b = *this;
        for (std::size_t i = 0; i < lanes; i += 3) {
            b.grow(lo[i], lo[i + 1], lo[i + 2]);
            b.grow(hi[i], hi[i + 1], hi[i + 2]);
        }
        for (std::size_t i = 0; i < n % 4; ++i, xyz += 3)
            b.grow(xyz[0], xyz[1], xyz[2]);
        *this = b;
    }
    void copyTo(double *box) const
    {
        box[lsMinX] = minX;
        box[lsMaxX] = maxX;
        box[lsMinY] = minY;
        box[lsMaxY] = maxY;
        box[lsMinZ] = minZ;
        box[lsMaxZ] = maxZ;
    }
};

// Hands each batch to the consumer on the walk's own thread, as soon as it is full: small
// enough that the batch is still in the L1 cache when the consumer reads it. The consumer
// also has endStrip(std::size_t vertex), which it is told as the walk meets each strip's
// end, as a number of vertices counted from the walk's first; its batches then come with
// no ends.
template<typename Consumer>
class DirectBatches
{
public:
    static constexpr std::size_t batchVertices = 512;

    explicit DirectBatches(Consumer &consumer)
        : mConsumer(consumer)
    { }

    double *batch() { return mXyz.data(); }
    void endStrip(std::size_t vertex) { mConsumer.endStrip(vertex); }
    void send(std::size_t n) { mConsumer.take(mXyz.data(), n, {}); }

private:
    Consumer &mConsumer;
    std::array<double, 3 * batchVertices> mXyz;
};

// The walk's side of a batch: the hot loop only stores three doubles per vertex into the
// batch being filled, and keeps its registers for the turtle. Full batches go to the
// consumer through a hand: DirectBatches, or an lsVertexPipe to a second thread. A
// consumer has take(const double *xyz, std::size_t n, std::span<const std::size_t> ends)
// for each batch, ends being the numbers of the vertices at which strips end.
template<typename Hand>
struct BatchSink
{
    explicit BatchSink(Hand &h)
        : hand(&h)
    {
        startBatch();
    }

    bool full() const { return next == limit; }
    // Sends the batch (at the end of the walk, with room to spare).
    void grow()
    {
        const auto n = static_cast<std::size_t>(next - first) / 3;
        hand->send(n);
        sent += n;
        startBatch();
    }
    void vertex(double x, double y, double z)
    {
        next[0] = x;
        next[1] = y;
        next[2] = z;
        next += 3;
    }
    void restart() { hand->endStrip(sent + static_cast<std::size_t>(next - first) / 3); }

    void startBatch()
    {
        first = next = hand->batch();
        limit = first + 3 * Hand::batchVertices;
    }

    Hand *hand;
    double *first = nullptr;
    double *next = nullptr;
    double *limit = nullptr;
    std::size_t sent = 0; // vertices sent in earlier batches
};

using PipeSink = BatchSink<lsVertexPipe>;

// Runs produce(sink) with the consumer taking what it sends to the PipeSink on a thread of
// its own, and ends the last strip. Throws what the consumer threw.
template<typename Consumer, typename Producer>
void pipeInto(Consumer &consumer, Producer &&produce)
{
    lsVertexPipe pipe(
            [&consumer](const double *xyz, std::size_t n, std::span<const std::size_t> ends) {
                consumer.take(xyz, n, ends);
            });
    PipeSink sink(pipe);
    produce(sink);
    sink.restart();
    sink.grow();
    pipe.finish();
}

// Walks the commands with the consumer taking their vertices on the walk's thread, and ends
// the last strip.
template<typename Consumer>
void walkInto(const lsRuleSet &rules, lsCommandSource &commands, Consumer &consumer)
{
    DirectBatches<Consumer> batches(consumer);
    BatchSink sink(batches);
    lsWalk(rules.angle, rules.step, commands, sink);
    sink.restart();
    sink.grow();
}

// The same with the consumer on a thread of its own. Throws what the consumer threw.
template<typename Consumer>
void walkPipedInto(const lsRuleSet &rules, lsCommandSource &commands, Consumer &consumer)
{
    pipeInto(consumer, [&](PipeSink &sink) { lsWalk(rules.angle, rules.step, commands, sink); });
}

} // namespace lsDetail
