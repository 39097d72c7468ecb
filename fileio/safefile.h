#pragma once

// Writes a file so that it is either replaced whole or left as it was. The bytes go to a new
// file in the target's folder, which is flushed, synced and closed with every step checked,
// and put in the target's place only when all of them succeeded; on any failure the new
// file goes and the reason is the system's own ("No space left on device").
//
// The new file has no name while it is written (O_TMPFILE) where the file system allows, so
// that a write killed half way leaves nothing behind; it is named only for the instant of
// the rename over the target. Elsewhere it is a short hidden name of its own
// (".sprig-tmp-PID-N"), whatever the length of the target's name. Each successful write
// removes from its folder the temporary files of processes that are gone.
//
// The target is the file a symbolic link finally names, so writing through a link updates the
// file it points to and keeps the link. An existing target keeps its permission bits, its
// owner and its group where the process may set them; where it may not, the new file is the
// process's own, without set-user-id or set-group-id bits, and warning() says so. A target
// with other hard links is replaced by a new file: the other names keep the old bytes, which
// warning() says as well. A new file gets the usual bits (0666 less the umask). A target that
// exists but is not a regular file (a folder, device, FIFO or socket) is refused, so that
// nothing replaces it.
//
// Errors: a function with an `error` parameter returns false on failure and sets *error when
// error is not null (it may be).

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
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
    // Buffers or writes the bytes at the end; the first failure sticks and is reported by
    // commit() too.
    [[nodiscard]] bool write(const void *data, std::size_t size, std::string *error);
    // Writes over bytes written before, at `offset` (a format that fills in a header last);
    // offset + size may reach past the end.
    [[nodiscard]] bool
    writeAt(std::uint64_t offset, const void *data, std::size_t size, std::string *error);
    // The bytes written so far.
    std::uint64_t size() const { return mWritten + mBuffer.size(); }
    // Puts the new file in the target's place; false, with the reason, when any step failed,
    // in which case the target is as it was before open().
    [[nodiscard]] bool commit(std::string *error);
    // Removes the new file and leaves the target alone.
    void cancel();
    // What the user should know about a write that succeeded (the owner could not be kept,
    // other hard links keep the old bytes), as clauses about the file; empty when nothing.
    const std::string &warning() const { return mWarning; }

private:
    bool createTemporary(const std::string &folder);
    void keepOwnerAndMode(const struct stat &existing);
    bool placeUnnamed();
    bool flushBuffer();
    // Keeps the first failure; false.
    bool failWith(int errnoValue);
    // Keeps the failure and reports the first one; false.
    bool fail(int errnoValue, std::string *error);
    // Reports the first failure; false.
    bool report(std::string *error) const;

    std::string mTarget;                  // the final file, after links
    std::optional<struct stat> mExisting; // the target as it was at open()
    std::string mFolder;                  // the target's
    std::string mTemporary;               // the new file's name, while it has one
    bool mUnnamed = false;                // the new file has no name yet (O_TMPFILE)
    int mFd = -1;
    std::string mBuffer;
    std::uint64_t mWritten = 0; // bytes written to the file, before the buffer
    std::string mFailure;       // the first failure, once there is one
    std::string mWarning;
};

// Writes `bytes` to `path` through a SafeFile; *warning (when not null) gets its warning.
[[nodiscard]] bool writeFileSafely(const std::string &path,
                                   std::span<const std::uint8_t> bytes,
                                   std::string *error,
                                   std::string *warning = nullptr);
