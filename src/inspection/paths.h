// Path and file helpers: taking a path apart, the closing separator of a
// folder path, and whether a file exists and can be opened for reading.
// Paths are UTF-8; the separator and the extension dot are ASCII, so a scan
// by bytes finds the same positions as a scan by characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvik::inspection {

inline constexpr char kPathSeparator = '/';

// Splits FileName at its last separator. Returns the folder part (up to and
// including that separator), sets MakeFile to the name part and MakeDir to
// the name part without its extension. A path without any separator is all
// name part, with an empty folder part; callers that need a folder decide
// what that means for them.
std::string GetDirectoryMemberSplit(const std::string& FileName, std::string& MakeDir,
                                    std::string& MakeFile, char separator = kPathSeparator);

// True when text holds nothing but spaces (U+0020), the empty text included.
bool isBlank(const std::string& text);

// The empty text when FileName ends with the separator, else the separator.
std::string Getpbsl(const std::string& FileName, char separator = kPathSeparator);

// text with each control character shown (platform::printableText): C0 and
// DEL as Unicode control pictures, C1 as \u0080 to \u009F. A file name printed
// in the log or on a terminal can neither break a line nor send an escape
// sequence.
[[nodiscard]] std::string printable(std::string_view text);

// 0 when the file exists and can be opened for reading; -1 for a blank path;
// -2 when it is not found; another non-zero code (the errno value) otherwise.
// A folder is not a file. Nothing is created, changed or left open.
[[nodiscard]] std::int32_t FileChk(const std::string& FilePathName);

} // namespace morvik::inspection
