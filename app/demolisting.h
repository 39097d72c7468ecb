#pragma once

#include <dirent.h>

// The demo directory listing's filter for scandir: keeps sub-directories (other than "." and
// "..") as the listing reports them, and entries whose name is longer than 4 bytes and ends
// in ".lsd" (case-sensitive). Reads only the entry record, no status call, so a symbolic link
// passes by its name alone. Non-zero keeps the entry.
int isLSDfile(const struct dirent *entry);

// The listing's order for scandir: entry names by byte value. glibc's alphasort collates by
// LC_COLLATE, which Qt takes from the user's environment; byte order keeps the demo menu the
// same under every locale.
int alphasortBytes(const struct dirent **a, const struct dirent **b);
