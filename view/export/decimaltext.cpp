#include "view/export/decimaltext.h"

#include <charconv>

void appendDecimal(std::string &out, double value, int decimals)
{
    char text[400]; // the longest double in fixed notation, with the decimals asked for
    auto end =
            std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    if (decimals > 0) {
        while (end[-1] == '0')
            --end;
        if (end[-1] == '.')
            --end;
    }
    if (end - text == 2 && text[0] == '-' && text[1] == '0')
        out += '0';
    else
        out.append(text, end);
}
