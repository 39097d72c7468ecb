#pragma once

#include <cstddef>
#include <string_view>

// An owned, NUL-terminated byte string: the engine's generated strings.
// Move-only; allocating does not touch the bytes, so a large generation is written once.
// The block of a large string (2 MiB and more) is kept when it is freed and given to the
// next large string of about its size.
class lsString
{
public:
    lsString() = default;
    explicit lsString(std::string_view text);
    ~lsString();

    lsString(lsString &&other) noexcept;
    lsString &operator=(lsString &&other) noexcept;
    lsString(const lsString &) = delete;
    lsString &operator=(const lsString &) = delete;

    // A string of exactly length bytes whose content is left unwritten, NUL at [length].
    // Returns an empty (null) string when the memory cannot be had.
    static lsString allocate(std::size_t length);

    bool isNull() const { return mData == nullptr; }
    std::size_t size() const { return mSize; }
    char *data() { return mData; }
    const char *data() const { return mData; }
    // Always a valid NUL-terminated string, "" for a null one.
    const char *c_str() const { return mData ? mData : ""; }
    std::string_view view() const { return { c_str(), mSize }; }

private:
    void release();

    char *mData = nullptr;
    std::size_t mSize = 0;
    std::size_t mCapacity = 0; // bytes of a large block, 0 for a small one
};

// Asks the kernel to back the 2 MiB-aligned part of [data, data + bytes) with huge pages,
// so that writing fresh memory faults in 2 MiB at a time instead of 4 KiB. Only advice.
void lsAdviseHugePages(void *data, std::size_t bytes);
