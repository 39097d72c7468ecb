#include "engine/commandsource.h"

#include "engine/interpreter.h"

#include <algorithm>
#include <cstring>
#include <utility>

std::string_view lsCommandSource::next()
{
    if (mProgress)
        mProgress(mDone, mLength);
    if (mCancelled || (mCancel && mCancel->load(std::memory_order_relaxed))) {
        mCancelled = true;
        return {};
    }
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

void lsCommandSource::watch(const std::atomic<bool> *cancel, Progress progress)
{
    mCancel = cancel;
    mProgress = std::move(progress);
}

lsStringSource::lsStringSource(std::string_view commands)
    : lsCommandSource(commands.size())
    , mCommands(commands)
{ }

std::string_view lsStringSource::fill()
{
    const char *const begin = mCommands.data() + mNext;
    const char *const end = mCommands.data() + mCommands.size();
    const char *stop = begin + std::min<std::size_t>(lsChunkBytes, end - begin);
    // A chunk that cuts the number after its last '@' takes the rest of the number.
    if (stop != end) {
        if (const void *at = memrchr(begin, '@', stop - begin))
            stop = std::max(stop, lsFactorEnd(static_cast<const char *>(at) + 1, end));
    }
    mNext = stop - mCommands.data();
    return { begin, static_cast<std::size_t>(stop - begin) };
}
