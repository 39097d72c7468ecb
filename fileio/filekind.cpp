#include "fileio/filekind.h"

#include <sys/stat.h>

#include <system_error>

std::string notRegularFileReason(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return "it is a folder";
    const char *kind = S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISFIFO(mode)               ? "a FIFO"
                       : S_ISSOCK(mode)               ? "a socket"
                                                      : "a special file";
    return std::string("it is ") + kind + ", not a regular file";
}

std::string systemReason(int errnoValue)
{
    return std::error_code(errnoValue, std::generic_category()).message();
}
