#pragma once

// File names are bytes, and need not be UTF-8; a UTF-16 string (a QString) made by a plain
// UTF-8 decoder replaces the invalid bytes, and the name no longer reaches its file. These
// carry any name through UTF-16 and back unchanged: valid UTF-8 decodes as text, and each
// byte that is not part of a valid sequence becomes the lone surrogate U+DC00 + byte (which
// decoding valid UTF-8 never gives), turned back into that byte on the way out.

#include <string>
#include <string_view>

std::u16string decodeFileName(std::string_view bytes);
std::string encodeFileName(std::u16string_view name);
