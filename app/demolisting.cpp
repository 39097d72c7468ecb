#include "app/demolisting.h"

#include <cstring>

int isLSDfile(const struct dirent *entry)
{
    const char *name = entry->d_name;
    if (entry->d_type == DT_DIR && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
        return 1;
    const std::size_t length = std::strlen(name);
    return length > 4 && std::memcmp(name + length - 4, ".lsd", 4) == 0;
}

int alphasortBytes(const struct dirent **a, const struct dirent **b)
{
    return std::strcmp((*a)->d_name, (*b)->d_name);
}
