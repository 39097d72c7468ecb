#include "fileio/filename.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The code point of the valid UTF-8 sequence at the start of `bytes` and its length, or a
// length of 0 when the sequence is not valid (truncated, overlong, a surrogate, too large).
std::pair<char32_t, std::size_t> decodeOne(std::string_view bytes)
{
    const auto at = [&](std::size_t i) {
        return static_cast<unsigned char>(bytes[i]);
    };
    const unsigned char lead = at(0);
    std::size_t length;
    char32_t c;
    if (lead < 0x80)
        return { lead, 1 };
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return { 0, 0 };
    }
    if (bytes.size() < length)
        return { 0, 0 };
    for (std::size_t i = 1; i < length; ++i) {
        if (!isContinuation(at(i)))
            return { 0, 0 };
        c = (c << 6) | (at(i) & 0x3F);
    }
    const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return { 0, 0 };
    return { c, length };
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::u16string decodeFileName(std::string_view bytes)
{
    std::u16string name;
    name.reserve(bytes.size());
    while (!bytes.empty()) {
        const auto [c, length] = decodeOne(bytes);
        if (length == 0) {
            name += static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[0]));
            bytes.remove_prefix(1);
            continue;
        }
        if (c >= 0x10000) {
            name += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            name += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            name += static_cast<char16_t>(c);
        }
        bytes.remove_prefix(length);
    }
    return name;
}

std::string encodeFileName(std::u16string_view name)
{
    std::string bytes;
    bytes.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00
            && name[i + 1] <= 0xDFFF) {
            appendUtf8(bytes, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (name[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            bytes += static_cast<char>(unit - kEscapeBase);
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return bytes;
}
