#include "fileio/boundedread.h"

#include "fileio/filekind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

namespace {

std::string sizeText(std::size_t bytes)
{
    if (bytes >= (std::size_t(1) << 20) && bytes % (std::size_t(1) << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= (std::size_t(1) << 10) && bytes % (std::size_t(1) << 10) == 0)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

// Closes the descriptor on every way out.
struct Descriptor
{
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

bool readFileBounded(const std::string &path,
                     std::size_t limit,
                     std::vector<std::uint8_t> &out,
                     std::string *error)
{
    const auto failWith = [error](std::string reason) {
        if (error)
            *error = std::move(reason);
        return false;
    };
    // Without O_NONBLOCK, opening a FIFO waits for a writer before fstat can refuse it.
    const Descriptor file{ ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY) };
    if (file.fd < 0)
        return failWith(systemReason(errno));
    struct stat info;
    if (::fstat(file.fd, &info) != 0)
        return failWith(systemReason(errno));
    if (std::string reason = notRegularFileReason(info.st_mode); !reason.empty())
        return failWith(reason);
    const auto tooLarge = [&] {
        return failWith("it is larger than " + sizeText(limit));
    };
    if (static_cast<std::uint64_t>(info.st_size) > limit)
        return tooLarge();

    std::vector<std::uint8_t> bytes;
    try {
        // One byte more than the file holds shows whether it grew while being read.
        bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
    } catch (const std::bad_alloc &) {
        return failWith("there is not enough memory to read it");
    }
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() > limit)
                return tooLarge();
            try {
                bytes.resize(std::min(limit + 1, bytes.size() * 2));
            } catch (const std::bad_alloc &) {
                return failWith("there is not enough memory to read it");
            }
        }
        const ssize_t n = ::read(file.fd, bytes.data() + filled, bytes.size() - filled);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failWith(systemReason(errno));
        }
        if (n == 0)
            break;
        filled += static_cast<std::size_t>(n);
    }
    if (filled > limit)
        return tooLarge();
    bytes.resize(filled);
    out = std::move(bytes);
    return true;
}
