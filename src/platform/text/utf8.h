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

// Whether a tab stays a tab (in a document's source line) or is shown.
enum class Tabs { shown, kept };

// text as it may be shown on a terminal, in the log or in a report: each C0
// control character and DEL as its Unicode control picture (U+2400 to
// U+241F, U+2421), each C1 control (U+0080 to U+009F) as the escape \u0080
// to \u009F, so that no name or value can break a line, move the cursor or
// send an escape sequence. Every other byte stays as it is.
[[nodiscard]] std::string printableText(std::string_view text, Tabs tabs = Tabs::shown);

} // namespace morvik::platform
