// UTF-8 decoding and ASCII upper case.
#include "platform/text/utf8.h"

namespace morvik::platform {

std::size_t utf8SequenceLength(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char min = 0x80;
    unsigned char max = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            min = 0xA0; // no overlong forms
        } else if (lead == 0xED) {
            max = 0x9F; // no surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            min = 0x90;
        } else if (lead == 0xF4) {
            max = 0x8F; // nothing above U+10FFFF
        }
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    if (byte(1) < min || byte(1) > max) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

std::u32string decodeUtf8(std::string_view text) {
    static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    std::u32string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = utf8SequenceLength(text.substr(i));
        const auto lead = static_cast<unsigned char>(text[i]);
        if (length == 0) {
            out.push_back(0xDC00 + lead);
            ++i;
            continue;
        }
        char32_t cp = lead & kLeadMask[length];
        for (std::size_t k = 1; k < length; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        out.push_back(cp);
        i += length;
    }
    return out;
}

std::string upperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

std::string printableText(std::string_view text, Tabs tabs) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && !(byte == '\t' && tabs == Tabs::kept)) || byte == 0x7F) {
            // U+2400 + byte, or U+2421 for DEL, in UTF-8: E2 90 80+.
            const unsigned int picture = byte == 0x7F ? 0x2421 : 0x2400 + byte;
            shown += static_cast<char>(0xE0 | (picture >> 12));
            shown += static_cast<char>(0x80 | ((picture >> 6) & 0x3F));
            shown += static_cast<char>(0x80 | (picture & 0x3F));
        } else if (byte == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            static const char digits[] = "0123456789ABCDEF";
            const auto code = static_cast<unsigned char>(text[i + 1]);
            shown += "\\u00";
            shown += digits[code >> 4];
            shown += digits[code & 0xF];
            ++i;
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown;
}

} // namespace morvik::platform
