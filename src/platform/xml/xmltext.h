// Text helpers of the XML parser layer that need no XML parser: which
// encoding a document is written in, one source line of a document as UTF-8
// (cut around the error column when it is long), and one-line UTF-8 texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvik::platform {

// Characters of a source line shown at most; a longer line is cut to a window
// of this many characters around the error column.
inline constexpr std::size_t kSourceWindow = 200;

// The marker of a cut in a shortened source line.
inline constexpr const char* kCutMarker = "…";

// Encoding labels of Shift_JIS (compared without letter case). Documents
// under these labels are read as Windows code page 932: Japanese producers
// write its extra characters (Ⅰ, ①, ～) under them.
inline constexpr const char* kShiftJisLabels[] = {"SHIFT_JIS", "SHIFT-JIS",  "SJIS",
                                                  "MS_KANJI",  "CSSHIFTJIS", "X-SJIS"};
inline constexpr const char* kShiftJisConverter = "CP932";

// The converter name for an encoding label found in a document.
std::string converterNameForLabel(std::string_view label);

// The encoding of an XML document, from its first bytes: a byte-order mark,
// the UTF-16 form of "<?", or the encoding declaration; "UTF-8" otherwise.
// Returned as a converter name.
[[nodiscard]] std::string detectDocumentEncoding(std::string_view head);

// The label of the encoding declaration at the start of head (an ASCII
// "<?xml ... encoding='...'" form), or nothing when there is none.
[[nodiscard]] std::optional<std::string> declaredEncodingLabel(std::string_view head);

// A UTF-16 byte-order mark followed by a declaration of another encoding
// ("UTF-8", "Shift_JIS", or UTF-16 in the other byte order): a fatal error,
// as the mark and the declaration cannot both be right.
struct ByteOrderMarkConflict {
    std::string byteOrderMark; // "UTF-16LE" or "UTF-16BE"
    std::string declared;      // the label as the declaration spells it
};
[[nodiscard]] std::optional<ByteOrderMarkConflict> byteOrderMarkConflict(std::string_view head);

// Where a document's text is read from for its source lines: the file
// already open as descriptor fd (read from its start with pread, its offset
// left alone), or, when fd is negative, the bytes in memory. Never a path: the
// text shown is that of what was validated, whatever is at its name now.
struct DocumentText {
    int fd = -1;
    std::string_view bytes;
};

// The text of line number `line` (1-based; a CR, a CR LF pair and an LF
// each end one line) of the file at path, decoded to UTF-8 without its line
// break. When the line is longer than kSourceWindow
// characters, only a window around `column` (1-based, 0 when unknown) is kept
// and each cut is marked with kCutMarker. Empty when the line does not exist
// or the file cannot be read. Undecodable bytes and control characters other
// than tab become U+FFFD.
[[nodiscard]] std::string sourceLineText(const std::string& path, std::int32_t line,
                                         std::int32_t column);
// The same from an open document or its bytes.
[[nodiscard]] std::string sourceLineText(DocumentText document, std::int32_t line,
                                         std::int32_t column);

struct TextPosition {
    std::int32_t line = 0;   // 1-based
    std::int32_t column = 0; // 1-based, in characters
};

// A place in a document as a person counts it, with the text of its line.
struct SourceSpot {
    TextPosition position; // line 0 when unknown
    std::string text;      // as sourceLineText gives it
};

// Where the positions that libxml2's parser reports for the document at path
// really are, with their lines' texts. The parser starts a new line only
// after an LF and counts a CR as a character of its line, so in a document
// whose lines end in a bare CR everything is on its line 1; XML counts a CR,
// a CR LF pair and an LF each as one line end. A position of line 0 stays
// unknown; a column of 0 (unknown) keeps the line and stays 0.
[[nodiscard]] std::vector<SourceSpot>
locateInDocument(const std::string& path, const std::vector<TextPosition>& parserPositions);
[[nodiscard]] std::vector<SourceSpot>
locateInDocument(DocumentText document, const std::vector<TextPosition>& parserPositions);

// Where the document at path first holds bytes that its encoding cannot
// decode; nullopt when there are none or the file cannot be read. The
// parser converts ahead of where it parses, so its own report of such an
// error names the wrong line.
[[nodiscard]] std::optional<TextPosition> firstUndecodablePosition(const std::string& path);
[[nodiscard]] std::optional<TextPosition> firstUndecodablePosition(DocumentText document);

// text as valid UTF-8 on one line: invalid bytes become U+FFFD, line breaks
// become spaces, and trailing white space is dropped.
std::string oneLineUtf8(std::string_view text);

} // namespace morvik::platform
