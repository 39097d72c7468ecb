#include "engine/vertexpipe.h"

#include <system_error>

lsVertexPipe::lsVertexPipe(Consumer consumer)
    : mConsumer(std::move(consumer))
{
    // A strip ends at most once per vertex, and once more at the walk's end: sending
    // never allocates.
    for (Slot &slot : mRing)
        slot.ends.reserve(batchVertices + 1);
    try {
        mThread = std::thread([this] { run(); });
    } catch (const std::system_error &) {
        // No thread to be had: the walk's thread takes each batch itself.
    }
}

lsVertexPipe::~lsVertexPipe()
{
    stop();
}

void lsVertexPipe::send(std::size_t n)
{
    Slot &slot = mRing[mSent % slots];
    slot.n = n;
    if (!mThread.joinable()) {
        take(slot);
    } else {
        publish();
        for (std::uint32_t taken = mTaken.load(std::memory_order_acquire); mSent - taken >= slots;
             taken = mTaken.load(std::memory_order_acquire))
            mTaken.wait(taken, std::memory_order_acquire);
    }
    if (mFailed.load(std::memory_order_acquire))
        std::rethrow_exception(mError);
    mRing[mSent % slots].ends.clear();
}

void lsVertexPipe::finish()
{
    stop();
    if (mError)
        std::rethrow_exception(mError);
}

void lsVertexPipe::publish()
{
    mPublished.store(++mSent, std::memory_order_release);
    mPublished.notify_one();
}

void lsVertexPipe::take(Slot &slot)
{
    if (mFailed.load(std::memory_order_relaxed))
        return; // after a failure the rest is only drained
    try {
        mConsumer(slot.xyz.data(), slot.n, slot.ends);
    } catch (...) {
        mError = std::current_exception();
        mFailed.store(true, std::memory_order_release);
    }
}

void lsVertexPipe::stop()
{
    if (!mThread.joinable())
        return;
    // The slot after the last one sent is always free: send() waited for it.
    mRing[mSent % slots].last = true;
    publish();
    mThread.join();
}

void lsVertexPipe::run()
{
    for (std::uint32_t taken = 0;;) {
        for (std::uint32_t published = mPublished.load(std::memory_order_acquire);
             published == taken; published = mPublished.load(std::memory_order_acquire))
            mPublished.wait(published, std::memory_order_acquire);
        Slot &slot = mRing[taken % slots];
        if (slot.last)
            return;
        take(slot);
        mTaken.store(++taken, std::memory_order_release);
        mTaken.notify_one();
    }
}
