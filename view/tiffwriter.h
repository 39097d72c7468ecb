#pragma once

#include "view/imagerep.h"

#include <string>

// Writes the image as an uncompressed RGB TIFF, 8 bits per sample, no alpha. The file is
// written under a temporary name and renamed over `path` only when complete, so a failure
// leaves any existing file untouched. On failure returns false and says why in *error.
bool writeTiff(const lsImageRep &image, const std::string &path, std::string *error);
