#pragma once

#include <sys/types.h>

#include <string>

// Why a file of this mode (from stat) is not a regular file to read or replace, as a clause
// about it: "it is a folder", "it is a FIFO, not a regular file". Empty for a regular file.
std::string notRegularFileReason(mode_t mode);

// The system's reason for an errno value ("No space left on device").
std::string systemReason(int errnoValue);
