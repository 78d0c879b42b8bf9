// The unzip layer: unpacks a ZIP archive named in an unzip command line into
// the destination named there, refusing archives that would write outside
// the destination or anything but plain files and folders.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace morvik::platform {

// Results, with the meanings of the classic unzip exit codes; UnZip gives
// them to its caller as those numbers.
enum class UnzipResult : int {
    ok = 0,
    // Severe error in the archive: a damaged entry, a CRC error, a refused
    // entry (absolute name, drive letter, "..", link, device), a name that
    // cannot be decoded, an entry larger than it declared.
    archiveError = 3,
    // The archive is missing, unreadable or not a ZIP archive.
    archiveNotFound = 9,
    // The command line cannot be parsed.
    badCommandLine = 10,
    // No entry matches the file patterns (also an empty archive).
    noMatchingFiles = 11,
    // The destination cannot take the files: too little free space for the
    // declared sizes, or a folder or file there cannot be created or written.
    diskFull = 50,
    // The archive ends early (truncated).
    unexpectedEnd = 51,
    // An entry uses a compression method that cannot be read.
    unsupportedMethod = 81,
    // An entry is encrypted; there is no password to give.
    encrypted = 82,
};

// What the command line asks for.
struct UnzipCommand {
    std::string archive;
    // The destination folder, with exactly one closing '/'.
    std::string destination;
    // File patterns matched against the entries' full names; none means all.
    std::vector<std::string> patterns;
};

// Parses "-x -o -q "ARCHIVE" "DEST/" PATTERN...": options first (each of x, o,
// q, alone or together), then the archive, then the destination, which must
// end with '/' (extra closing separators are dropped, "/a//" is the folder
// "/a/"), then any patterns. Double quotes group blanks into one piece.
// Returns nothing when the text does not have that shape.
[[nodiscard]] std::optional<UnzipCommand> parseUnzipCommandLine(const std::string& commandLine);

// Free bytes for an unprivileged writer in folder, or nothing when unknown.
using FreeSpaceFunction = std::function<std::optional<std::uint64_t>(const std::string& folder)>;
std::optional<std::uint64_t> freeSpaceOf(const std::string& folder);

// Runs the command line: checks every entry of the archive (names, types,
// encryption, readable data) before anything is written, so that a refused
// or damaged archive writes nothing; checks the declared sizes against
// freeSpace(destination); then unpacks, creating folders and overwriting
// existing files.
[[nodiscard]] UnzipResult unzipCommandLine(const std::string& commandLine,
                                           const FreeSpaceFunction& freeSpace);

// The unzip library's entry point: owner window (unused), command line, 0, 0.
// The same as unzipCommandLine with the destination's real free space; the
// result as its number.
[[nodiscard]] int UnZip(void* owner, const std::string& commandLine, int, int);

} // namespace morvik::platform
