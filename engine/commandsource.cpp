#include "engine/commandsource.h"

#include "engine/factor.h"

#include <algorithm>
#include <cstring>
#include <utility>

std::string_view lsCommandSource::next()
{
    if (mProgress)
        mProgress(mDone, mLength);
    if (lookForCancel())
        return {};
    const std::string_view chunk = fill();
    mDone += chunk.size();
    return chunk;
}

void lsCommandSource::rewind()
{
    restart();
    mDone = 0;
    mCancelled = false;
}

void lsCommandSource::readAhead(lsFactorReader &reader)
{
    peek([&](std::string_view piece) {
        return !lookForCancel() && reader.feed(piece.data(), piece.data() + piece.size());
    });
}

bool lsCommandSource::lookForCancel()
{
    if (mCancel && mCancel->load(std::memory_order_relaxed))
        mCancelled = true;
    return mCancelled;
}

void lsCommandSource::watch(const std::atomic<bool> *cancel, Progress progress)
{
    mCancel = cancel;
    mProgress = std::move(progress);
}

std::unique_ptr<lsCommandSource> lsCommandSource::fork() const
{
    auto forked = replica();
    forked->mCancel = mCancel;
    return forked;
}

lsStringSource::lsStringSource(std::string_view commands)
    : lsCommandSource(commands.size())
    , mCommands(commands)
{ }

std::string_view lsStringSource::fill()
{
    const std::string_view chunk = mCommands.substr(mNext, lsChunkBytes);
    mNext += chunk.size();
    return chunk;
}

void lsStringSource::peek(const std::function<bool(std::string_view)> &take)
{
    for (std::size_t at = mNext; at < mCommands.size() && take(mCommands.substr(at, lsChunkBytes));)
        at += lsChunkBytes;
}

std::unique_ptr<lsCommandSource> lsStringSource::replica() const
{
    return std::make_unique<lsStringSource>(mCommands);
}
