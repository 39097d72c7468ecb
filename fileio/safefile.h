#pragma once

// Writes a file so that it is either replaced whole or left as it was. The bytes go to a new
// file beside the target, which is flushed, synced and closed with every step checked, and
// renamed over the target only when all of them succeeded; on any failure the new file is
// removed and the reason is the system's own ("No space left on device").
//
// The target is the file a symbolic link finally names, so writing through a link updates the
// file it points to and keeps the link. An existing target keeps its permission bits (a new
// file gets the usual ones, 0666 less the umask); a target that exists but is not a regular
// file (a folder, device, FIFO or socket) is refused, so that nothing replaces it.
//
// Errors: a function with an `error` parameter returns false on failure and sets *error when
// error is not null (it may be).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

class SafeFile
{
public:
    SafeFile() = default;
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;
    // Discards whatever was written unless commit() succeeded.
    ~SafeFile();

    // Starts writing `path`. False, with the reason in *error, when it cannot be written.
    [[nodiscard]] bool open(const std::string &path, std::string *error);
    // Buffers or writes the bytes; the first failure sticks and is reported by commit() too.
    [[nodiscard]] bool write(const void *data, std::size_t size, std::string *error);
    // Puts the new file in the target's place; false, with the reason, when any step failed,
    // in which case the target is as it was before open().
    [[nodiscard]] bool commit(std::string *error);
    // Removes the new file and leaves the target alone.
    void cancel();

private:
    bool flushBuffer();
    // Keeps the first failure; false.
    bool failWith(int errnoValue);
    // Keeps the failure and reports the first one; false.
    bool fail(int errnoValue, std::string *error);
    // Reports the first failure; false.
    bool report(std::string *error) const;

    std::string mTarget;    // the final file, after links
    std::string mTemporary; // the new file beside it
    int mFd = -1;
    std::string mBuffer;
    std::string mFailure; // the first failure, once there is one
};

// Writes `bytes` to `path` through a SafeFile.
[[nodiscard]] bool
writeFileSafely(const std::string &path, std::span<const std::uint8_t> bytes, std::string *error);
