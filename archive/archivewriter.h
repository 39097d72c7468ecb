#pragma once

// Writes one root object as a little-endian typedstream archive ("streamtyped", system version
// 1000), with the class names and versions NSArchiver uses, the smallest integer
// forms, integral floats as integers, and strings, classes and objects shared after first use
// (objects by identity: a value reached twice through the same pointer is written once).

#include "archive/archivevalue.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sprig {

// Writes Nil, String, Array, Dictionary, Number and Color values (of kinds 1 to 6) into out.
// Other kinds hold nothing this writer can reproduce faithfully: they are refused, as is a
// colour whose components do not match its kind. On failure `out` is untouched and `*error`
// (if given; it may be null) says why in plain words.
[[nodiscard]] bool
writeArchive(const ArchiveValue &root, std::vector<std::uint8_t> &out, std::string *error);

} // namespace sprig
