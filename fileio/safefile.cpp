#include "fileio/safefile.h"

#include "fileio/filekind.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

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

bool writeAllAt(int fd, const char *data, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

constexpr std::string_view kTemporaryPrefix = ".sprig-tmp-";

// A short name for a new file in the folder, the same length whatever the target's.
std::string temporaryName(const std::string &folder)
{
    static std::atomic<unsigned> counter{ 0 };
    return folder + '/' + std::string(kTemporaryPrefix) + std::to_string(getpid()) + '-'
           + std::to_string(counter++);
}

// The process that named a temporary file so, for ours and for those of earlier versions
// (".NAME.tmp-PID-N"); 0 for any other name.
pid_t temporaryOwner(std::string_view name)
{
    std::string_view rest;
    if (name.starts_with(kTemporaryPrefix)) {
        rest = name.substr(kTemporaryPrefix.size());
    } else if (const std::size_t at = name.rfind(".tmp-");
               name.starts_with('.') && at != std::string_view::npos && at > 0) {
        rest = name.substr(at + 5);
    } else {
        return 0;
    }
    const std::size_t dash = rest.find('-');
    const auto digits = [](std::string_view d) {
        return !d.empty() && d.size() <= 10
               && std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (dash == std::string_view::npos || !digits(rest.substr(0, dash))
        || !digits(rest.substr(dash + 1)))
        return 0;
    const long long pid = std::stoll(std::string(rest.substr(0, dash)));
    return pid > 0 && pid <= INT32_MAX ? static_cast<pid_t>(pid) : 0;
}

// Removes the temporary files in the folder that processes of this user left when they were
// killed before finishing a write: those whose process no longer exists.
void sweepTemporaries(const std::string &folder)
{
    DIR *const dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const int fd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const pid_t owner = temporaryOwner(entry->d_name);
        if (owner == 0 || owner == getpid() || ::kill(owner, 0) == 0 || errno != ESRCH)
            continue;
        struct stat info;
        if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)
            && info.st_uid == ::geteuid())
            ::unlinkat(fd, entry->d_name, 0);
    }
    ::closedir(dir);
}

// The name of a user or group, or its number when it has none.
std::string userName(uid_t uid)
{
    char buffer[1024];
    passwd entry;
    passwd *found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return found->pw_name;
    return "user " + std::to_string(uid);
}

std::string groupName(gid_t gid)
{
    char buffer[1024];
    group entry;
    group *found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return found->gr_name;
    return "group " + std::to_string(gid);
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
    mWarning.clear();
    mWritten = 0;
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
    const fs::path parent = fs::path(mTarget).parent_path();
    mFolder = parent.empty() ? std::string(".") : parent.string();
    if (!createTemporary(mFolder))
        return fail(errno, error);
    mExisting = exists ? std::optional<struct stat>(existing) : std::nullopt;
    return true;
}

bool SafeFile::createTemporary(const std::string &folder)
{
    // An unnamed file needs /proc to be given a name later.
    static const bool canName = ::access("/proc/self/fd", X_OK) == 0;
    if (canName) {
        // 0666 less the umask, as any new file; an existing target's bits are set later.
        mFd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (mFd >= 0) {
            mUnnamed = true;
            return true;
        }
        // Where the kernel or the file system has no unnamed files: a named one.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return false;
    }
    do {
        mTemporary = temporaryName(folder);
        mFd = ::open(mTemporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (mFd < 0 && errno == EEXIST);
    if (mFd < 0)
        mTemporary.clear();
    return mFd >= 0;
}

void SafeFile::keepOwnerAndMode(const struct stat &existing)
{
    struct stat made;
    if (::fstat(mFd, &made) != 0) {
        failWith(errno);
        return;
    }
    bool ownerKept = made.st_uid == existing.st_uid;
    bool groupKept = made.st_gid == existing.st_gid;
    int reason = 0;
    if (!ownerKept || !groupKept) {
        if (::fchown(mFd, existing.st_uid, existing.st_gid) == 0) {
            ownerKept = groupKept = true;
        } else {
            reason = errno;
            // A member of the group may still give it the group.
            if (!groupKept && ::fchown(mFd, uid_t(-1), existing.st_gid) == 0)
                groupKept = true;
        }
    }
    // Set-id bits never pass to an owner (or group) other than the file's own.
    mode_t mode = existing.st_mode & 07777;
    if (!ownerKept)
        mode &= ~mode_t(S_ISUID);
    if (!groupKept)
        mode &= ~mode_t(S_ISGID);
    if (::fchmod(mFd, mode) != 0) {
        failWith(errno);
        return;
    }
    const auto warn = [this](const std::string &clause) {
        mWarning += (mWarning.empty() ? "" : "; ") + clause;
    };
    if (!ownerKept || !groupKept) {
        std::string now = ownerKept ? "" : "to " + userName(made.st_uid);
        if (!groupKept)
            now += (ownerKept ? "to the group " : " and the group ") + groupName(made.st_gid);
        std::string was = ownerKept ? "" : userName(existing.st_uid);
        if (!groupKept)
            was += (ownerKept ? "the group " : " and the group ") + groupName(existing.st_gid);
        warn("it now belongs " + now + " instead of " + was + " (" + systemReason(reason) + ")");
    }
    if (const auto others = existing.st_nlink - 1; others == 1)
        warn("its other name (a hard link) keeps the old contents");
    else if (others > 1)
        warn("its " + std::to_string(others) + " other names (hard links) keep the old contents");
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
    mWritten += size;
    return true;
}

bool SafeFile::writeAt(std::uint64_t offset, const void *data, std::size_t size, std::string *error)
{
    if (offset >= this->size())
        return offset == this->size() ? write(data, size, error) : fail(EINVAL, error);
    if (mFd < 0 && mFailure.empty())
        mFailure = "the file is not open";
    if (!mFailure.empty())
        return report(error);
    if (!flushBuffer() || !writeAllAt(mFd, static_cast<const char *>(data), size, offset))
        return fail(errno, error);
    mWritten = std::max(mWritten, offset + size);
    return true;
}

bool SafeFile::commit(std::string *error)
{
    if (mFd < 0 && mFailure.empty())
        mFailure = "the file is not open";
    if (mFailure.empty()) {
        // The owner and the mode after the last write, which would clear set-id bits. Synced
        // before it is named, so that no name ever refers to missing bytes.
        if (!flushBuffer())
            failWith(errno);
        if (mFailure.empty() && mExisting)
            keepOwnerAndMode(*mExisting);
        if (mFailure.empty() && ::fsync(mFd) != 0)
            failWith(errno);
        if (mFailure.empty() && mUnnamed && !placeUnnamed())
            failWith(errno);
        const int fd = mFd;
        mFd = -1;
        if (::close(fd) != 0 && mFailure.empty())
            failWith(errno);
        if (mFailure.empty() && std::rename(mTemporary.c_str(), mTarget.c_str()) != 0)
            failWith(errno);
        if (mFailure.empty()) {
            mTemporary.clear();
            sweepTemporaries(mFolder);
            return true;
        }
    }
    cancel();
    return report(error);
}

// Names the unnamed file, for the rename over the target.
bool SafeFile::placeUnnamed()
{
    const std::string self = "/proc/self/fd/" + std::to_string(mFd);
    for (;;) {
        std::string name = temporaryName(mFolder);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            mTemporary = std::move(name); // allocates nothing: the name is the file's to remove
            mUnnamed = false;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
}

void SafeFile::cancel()
{
    if (mFd >= 0)
        ::close(mFd);
    mFd = -1;
    mUnnamed = false;
    if (!mTemporary.empty())
        ::unlink(mTemporary.c_str());
    mTemporary.clear();
    mBuffer.clear();
}

bool SafeFile::flushBuffer()
{
    const bool written = writeAll(mFd, mBuffer.data(), mBuffer.size());
    if (written)
        mWritten += mBuffer.size();
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
                     std::string *error,
                     std::string *warning)
{
    SafeFile file;
    if (!file.open(path, error) || !file.write(bytes.data(), bytes.size(), error)
        || !file.commit(error))
        return false;
    if (warning)
        *warning = file.warning();
    return true;
}
