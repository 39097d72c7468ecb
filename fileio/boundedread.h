#pragma once

// Reads a whole input file, refusing what is not one before reading anything: the file is
// opened without blocking (a FIFO without a writer would wait forever), and only a regular
// file no larger than the caller's limit is read. Devices such as /dev/zero, FIFOs, sockets
// and folders are refused with the reason, and so is a file that grows past the limit while
// it is being read.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// On failure `out` is untouched and *error, when error is not null (it may be), says why as a
// clause about the file: "it is a
// folder", "it is a FIFO, not a regular file", "it is larger than 4 MiB", or the system's
// reason ("Permission denied").
[[nodiscard]] bool readFileBounded(const std::string &path,
                                   std::size_t limit,
                                   std::vector<std::uint8_t> &out,
                                   std::string *error);
