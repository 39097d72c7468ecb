#include "engine/vertexpipe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <new>
#include <thread>
#include <vector>

namespace {

// The consumer sees every batch as it was sent, in order and with its strip ends, also
// while it is slower than the sender, which then waits for slots the consumer still reads.
TEST(VertexPipe, DeliversEveryBatchInOrder)
{
    std::vector<double> seen;
    std::vector<std::size_t> seenEnds;
    int taken = 0;
    lsVertexPipe pipe([&](const double *xyz, std::size_t n, std::span<const std::size_t> ends) {
        if (taken++ % 8 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        seen.insert(seen.end(), xyz, xyz + 3 * n);
        seenEnds.insert(seenEnds.end(), ends.begin(), ends.end());
    });
    std::vector<double> sent;
    std::vector<std::size_t> sentEnds;
    for (std::size_t b = 0; b < 64; ++b) {
        const std::size_t n = b % 5 == 0 ? 0 : lsVertexPipe::batchVertices - b;
        double *out = pipe.batch();
        for (std::size_t i = 0; i < 3 * n; ++i)
            out[i] = sent.emplace_back(double(sent.size()));
        sentEnds.push_back(sent.size() / 3);
        pipe.endStrip(sentEnds.back());
        pipe.send(n);
    }
    pipe.finish();
    EXPECT_EQ(seen, sent);
    EXPECT_EQ(seenEnds, sentEnds);
}

// A consumer that fails stops the walk within a few batches, and the failure reaches the
// sender, whether it comes while batches are still being sent or with the last one.
TEST(VertexPipe, TheConsumersFailureReachesTheSender)
{
    const auto failingAt = [](int batch) {
        return [batch, taken = 0](const double *, std::size_t,
                                  std::span<const std::size_t>) mutable {
            if (++taken == batch)
                throw std::bad_alloc();
        };
    };
    lsVertexPipe early(failingAt(3));
    int sends = 0;
    EXPECT_THROW(
            while (sends < 100) {
                early.send(1);
                ++sends;
            },
            std::bad_alloc);
    EXPECT_LT(sends, 10);

    lsVertexPipe last(failingAt(1));
    EXPECT_THROW(
            {
                last.send(1);
                last.finish();
            },
            std::bad_alloc);
}

} // namespace
