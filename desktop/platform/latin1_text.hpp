#pragma once

// Latin-1 text (X11's STRING selections) as UTF-8.

#include <string>
#include <string_view>

namespace tarvo::desktop {

inline std::string latin1ToUTF8(std::string_view latin1) {
    std::string utf8;
    utf8.reserve(latin1.size());
    for (const char byte : latin1) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x80) {
            utf8 += byte;
        } else {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

} // namespace tarvo::desktop
