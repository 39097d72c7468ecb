#include "engine/lsstring.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

namespace {

constexpr std::size_t hugePage = std::size_t(2) << 20;

// The last large block freed, kept for the next large string of about its size: writing
// memory that is still mapped costs one pass over it, while fresh memory costs the kernel
// a page fault and a zeroing pass per page first (and, in a virtual machine, the host
// another fault per 4 KiB). Generating a string of about the same size again (after an
// edit of the rules, a revert) is common. Meanwhile the kernel may take the pages back
// when memory runs short.
class BlockCache
{
public:
    // The block kept, when it holds at least bytes and at most twice that; null otherwise,
    // and a block of another size is freed rather than kept for a string that may not come.
    void *take(std::size_t bytes, std::size_t *capacity)
    {
        void *data;
        {
            std::lock_guard lock(mMutex);
            data = std::exchange(mData, nullptr);
            *capacity = mCapacity;
        }
        if (data && *capacity >= bytes && *capacity / 2 <= bytes)
            return data;
        std::free(data);
        return nullptr;
    }

    // Keeps the block in place of the one kept before, which is freed.
    void put(void *data, std::size_t capacity)
    {
#ifdef MADV_FREE
        madvise(data, capacity, MADV_FREE);
#endif
        void *previous;
        {
            std::lock_guard lock(mMutex);
            previous = std::exchange(mData, data);
            mCapacity = capacity;
        }
        std::free(previous);
    }

private:
    std::mutex mMutex;
    void *mData = nullptr;
    std::size_t mCapacity = 0;
};

// Never destroyed: strings may be freed during the exit of the process.
BlockCache &blockCache()
{
    static BlockCache *const cache = new BlockCache;
    return *cache;
}

} // namespace

lsString::lsString(std::string_view text)
{
    *this = allocate(text.size());
    if (mData && !text.empty())
        std::memcpy(mData, text.data(), text.size());
}

lsString::~lsString()
{
    release();
}

lsString::lsString(lsString &&other) noexcept
    : mData(std::exchange(other.mData, nullptr))
    , mSize(std::exchange(other.mSize, 0))
    , mCapacity(std::exchange(other.mCapacity, 0))
{ }

lsString &lsString::operator=(lsString &&other) noexcept
{
    if (this != &other) {
        release();
        mData = std::exchange(other.mData, nullptr);
        mSize = std::exchange(other.mSize, 0);
        mCapacity = std::exchange(other.mCapacity, 0);
    }
    return *this;
}

lsString lsString::allocate(std::size_t length)
{
    lsString s;
    if (length >= SIZE_MAX - hugePage)
        return s;
    const std::size_t bytes = length + 1;
    void *p = nullptr;
    if (bytes >= hugePage) {
        // Large strings: 2 MiB-aligned with huge-page advice, so that the first write
        // faults in whole huge pages instead of one 4 KiB page at a time.
        const std::size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
        p = blockCache().take(rounded, &s.mCapacity);
        if (!p) {
            p = std::aligned_alloc(hugePage, rounded);
            lsAdviseHugePages(p, rounded);
            s.mCapacity = rounded;
        }
    } else {
        p = std::malloc(bytes);
    }
    if (!p)
        return s;
    s.mData = static_cast<char *>(p);
    s.mSize = length;
    s.mData[length] = '\0';
    return s;
}

void lsString::release()
{
    if (mCapacity)
        blockCache().put(mData, mCapacity);
    else
        std::free(mData);
    mData = nullptr;
    mSize = 0;
    mCapacity = 0;
}

void lsAdviseHugePages(void *data, std::size_t bytes)
{
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + hugePage - 1) / hugePage * hugePage;
    const std::uintptr_t last = (begin + bytes) / hugePage * hugePage;
    if (data && first < last)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
}
