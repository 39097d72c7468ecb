#include "engine/lsstring.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr std::size_t hugePage = std::size_t(2) << 20;

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
{ }

lsString &lsString::operator=(lsString &&other) noexcept
{
    if (this != &other) {
        release();
        mData = std::exchange(other.mData, nullptr);
        mSize = std::exchange(other.mSize, 0);
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
        p = std::aligned_alloc(hugePage, rounded);
        lsAdviseHugePages(p, rounded);
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
    std::free(mData);
    mData = nullptr;
    mSize = 0;
}

void lsAdviseHugePages(void *data, std::size_t bytes)
{
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + hugePage - 1) / hugePage * hugePage;
    const std::uintptr_t last = (begin + bytes) / hugePage * hugePage;
    if (data && first < last)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
}
