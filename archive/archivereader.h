#pragma once

// Reads typedstream archives in either byte order. Any input gives either the archive's groups
// or an error naming the cause and the byte offset: lengths and counts are checked against the
// remaining input, nesting is limited, and nothing is allocated beyond what the input can hold.

#include "archive/archivevalue.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sprig {

struct Archive
{
    bool bigEndian = false;
    std::int64_t systemVersion = 0;
    std::vector<ArchiveGroup> groups;

    // The root object of an archive of one object (one group "@"), or null.
    const ArchiveValue *root() const;
};

struct ArchiveError
{
    std::string message;      // what is wrong, in plain words
    std::size_t offset = 0;   // the byte at which reading failed
    bool outOfMemory = false; // nothing is wrong with the bytes: memory ran out
};

// Objects nested deeper than this are refused.
inline constexpr int kMaxArchiveDepth = 64;
// Class chains longer than this are refused.
inline constexpr int kMaxArchiveClassChain = 32;
// Archives of more values than this are refused: a value takes about a hundred times the
// bytes in memory that it takes in the stream.
inline constexpr std::size_t kMaxArchiveValues = std::size_t(1) << 20;
// What reading may materialise: every value counts one, every byte of text (type encodings and
// class names included) its length, and a reference to an earlier object or string counts all
// that it refers to, as a reader of the tree copies it once per reference. An archive written
// without references stays near its own size, so 8 times the input (and at least 1 MiB) keeps
// every real document while one string referred to a million times is refused at once.
inline constexpr std::uint64_t kArchiveExpansionFactor = 8;
inline constexpr std::uint64_t kMinArchiveBudget = std::uint64_t(1) << 20;

// True when `bytes` starts like a typedstream archive (version, signature).
bool looksLikeArchive(std::span<const std::uint8_t> bytes);

// Reads the whole of `bytes`. On failure `out` is untouched and `*error` is set when error is
// not null (it may be).
[[nodiscard]] bool
readArchive(std::span<const std::uint8_t> bytes, Archive &out, ArchiveError *error);

} // namespace sprig
