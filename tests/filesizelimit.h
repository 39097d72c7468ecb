#pragma once

#include <sys/resource.h>

#include <csignal>

// While it lives, files this process (and any child it starts) writes cannot grow past
// `bytes`: writes beyond fail with EFBIG, as they fail on a full disk. The limit and the
// SIGXFSZ disposition come back however the scope is left, so a failed assertion inside
// cannot leave later tests unable to write.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
        : mHandler(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &mSaved);
        rlimit limited = mSaved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &mSaved);
        std::signal(SIGXFSZ, mHandler);
    }

    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    void (*mHandler)(int);
    rlimit mSaved{};
};
