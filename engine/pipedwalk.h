#pragma once

// Internal to the engine: the walk whose vertices a consumer takes on a second thread
// (lsVertexPipe), shared by measuring, building and reducing geometry.

#include "engine/interpreter.h"
#include "engine/ruleset.h"
#include "engine/turtle.h"
#include "engine/vertexpipe.h"

#include <cstddef>
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
    // The same for n vertices of three doubles each, worked on in locals (through
    // members, the compiler would store the box back after every vertex).
    void grow(const double *xyz, std::size_t n)
    {
        Box b = *this;
        for (std::size_t i = 0; i < n; ++i, xyz += 3)
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

// The walk's side of a vertex pipe: the hot loop only stores three doubles per vertex into
// the batch being filled, and keeps its registers for the turtle. A consumer
// has take(const double *xyz, std::size_t n, std::span<const std::size_t> ends) for each
// batch, ends being the numbers of the vertices at which strips end (lsVertexPipe).
struct PipeSink
{
    explicit PipeSink(lsVertexPipe &p)
        : pipe(&p)
    {
        startBatch();
    }

    bool full() const { return next == limit; }
    // Sends the batch (at the end of the walk, with room to spare).
    void grow()
    {
        const auto n = static_cast<std::size_t>(next - first) / 3;
        pipe->send(n);
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
    void restart() { pipe->endStrip(sent + static_cast<std::size_t>(next - first) / 3); }

    void startBatch()
    {
        first = next = pipe->batch();
        limit = first + 3 * lsVertexPipe::batchVertices;
    }

    lsVertexPipe *pipe;
    double *first = nullptr;
    double *next = nullptr;
    double *limit = nullptr;
    std::size_t sent = 0; // vertices sent in earlier batches
};

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

// Walks the commands with the consumer taking their vertices on a thread of its own, and
// ends the last strip. Throws what the consumer threw.
template<typename Consumer>
void walkInto(const lsRuleSet &rules, lsCommandSource &commands, Consumer &consumer)
{
    pipeInto(consumer, [&](PipeSink &sink) { lsWalk(rules.angle, rules.step, commands, sink); });
}

} // namespace lsDetail
