#pragma once

#include "view/imagerep.h"

#include <string>

// Writes the image as an uncompressed RGB TIFF, 8 bits per sample, no alpha. The picture is
// encoded in memory and committed through a SafeFile: a failure leaves any existing file
// untouched, a link is written through to its target, and the target keeps its permissions.
// On failure returns false and says why in *error, when error is not null (it may be).
[[nodiscard]] bool writeTiff(const lsImageRep &image, const std::string &path, std::string *error);
