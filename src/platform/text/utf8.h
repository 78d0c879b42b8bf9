// UTF-8 text as the rest of the program needs it: how long the valid
// sequence at a position is, the code points of a text (invalid bytes kept
// apart, never lost), and upper case for ASCII letters only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morvik::platform {

// Length of the valid UTF-8 sequence at the start of text; 0 when it is not
// one (overlong forms, surrogates and values past U+10FFFF are not valid).
std::size_t utf8SequenceLength(std::string_view text);

// The code points of text. A byte that does not start a valid sequence
// becomes a code point of its own in the low surrogate range (0xDC00 + the
// byte), which no valid character uses, so such texts still compare.
std::u32string decodeUtf8(std::string_view text);

// text with the ASCII letters a-z upper-cased and every other byte as it is;
// the same whatever the locale.
std::string upperAscii(std::string_view text);

} // namespace morvik::platform
