#include "fileio/safefile.h"

#include "fileio/filekind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Writes smaller than this are gathered, so that a writer of many small pieces (SVG) makes
// few system calls.
constexpr std::size_t kBufferSize = std::size_t(1) << 20;
// As the kernel's own limit on links followed while resolving one path.
constexpr int kMaxLinks = 40;

// The file `path` finally names after its symbolic links; false with errno set on failure.
// A dangling link names the file it would create.
bool resolveLinks(const std::string &path, std::string &target)
{
    fs::path current(path);
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(current, ec);
        if (status.type() == fs::file_type::not_found) {
            target = current.string();
            return true;
        }
        if (ec) {
            errno = ec.value();
            return false;
        }
        if (status.type() != fs::file_type::symlink) {
            target = current.string();
            return true;
        }
        const fs::path link = fs::read_symlink(current, ec);
        if (ec) {
            errno = ec.value();
            return false;
        }
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
    errno = ELOOP;
    return false;
}

bool writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

SafeFile::~SafeFile()
{
    cancel();
}

bool SafeFile::open(const std::string &path, std::string *error)
{
    cancel();
    mFailure.clear();
    if (!resolveLinks(path, mTarget))
        return fail(errno, error);

    struct stat existing;
    const bool exists = ::stat(mTarget.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT)
        return fail(errno, error);
    if (exists) {
        mFailure = notRegularFileReason(existing.st_mode);
        if (!mFailure.empty())
            return report(error);
    }

    static std::atomic<unsigned> counter{ 0 };
    const fs::path target(mTarget);
    std::string hidden = target.filename().string();
    hidden.insert(hidden.begin(), '.');
    hidden += ".tmp-";
    hidden += std::to_string(getpid());
    hidden += '-';
    const std::string stem = (target.parent_path() / hidden).string();
    for (;;) {
        mTemporary = stem + std::to_string(counter++);
        // 0666 less the umask, as any new file; an existing target's bits are copied below.
        mFd = ::open(mTemporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (mFd >= 0 || errno != EEXIST)
            break;
    }
    if (mFd < 0) {
        mTemporary.clear();
        return fail(errno, error);
    }
    if (exists && ::fchmod(mFd, existing.st_mode & 07777) != 0)
        return fail(errno, error);
    return true;
}

bool SafeFile::write(const void *data, std::size_t size, std::string *error)
{
    if (mFd < 0 && mFailure.empty())
        mFailure = "the file is not open";
    if (!mFailure.empty())
        return report(error);
    const char *bytes = static_cast<const char *>(data);
    if (mBuffer.size() + size <= kBufferSize) {
        mBuffer.append(bytes, size);
        return true;
    }
    if (!flushBuffer() || !writeAll(mFd, bytes, size))
        return fail(errno, error);
    return true;
}

bool SafeFile::commit(std::string *error)
{
    if (mFd < 0 && mFailure.empty())
        mFailure = "the file is not open";
    if (mFailure.empty()) {
        // Synced before the rename, so that the new name never refers to missing bytes.
        if (!flushBuffer() || ::fsync(mFd) != 0)
            failWith(errno);
        const int fd = mFd;
        mFd = -1;
        if (::close(fd) != 0 && mFailure.empty())
            failWith(errno);
        if (mFailure.empty() && std::rename(mTemporary.c_str(), mTarget.c_str()) != 0)
            failWith(errno);
        if (mFailure.empty()) {
            mTemporary.clear();
            return true;
        }
    }
    cancel();
    return report(error);
}

void SafeFile::cancel()
{
    if (mFd >= 0)
        ::close(mFd);
    mFd = -1;
    if (!mTemporary.empty())
        ::unlink(mTemporary.c_str());
    mTemporary.clear();
    mBuffer.clear();
}

bool SafeFile::flushBuffer()
{
    const bool written = writeAll(mFd, mBuffer.data(), mBuffer.size());
    mBuffer.clear();
    return written;
}

bool SafeFile::failWith(int errnoValue)
{
    if (mFailure.empty())
        mFailure = systemReason(errnoValue);
    return false;
}

bool SafeFile::fail(int errnoValue, std::string *error)
{
    failWith(errnoValue);
    return report(error);
}

bool SafeFile::report(std::string *error) const
{
    if (error)
        *error = mFailure;
    return false;
}

bool writeFileSafely(const std::string &path,
                     std::span<const std::uint8_t> bytes,
                     std::string *error)
{
    SafeFile file;
    return file.open(path, error) && file.write(bytes.data(), bytes.size(), error)
           && file.commit(error);
}
