// The unzip layer: unpacks a ZIP archive named in an unzip command line into
// the destination named there, all or nothing. Archives come from outside
// parties: one that would write outside the destination, hold anything but
// plain files and folders, replace what it may not, or unpack past the
// limits is refused before anything is written.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvik::platform {

// Results, with the meanings of the classic unzip exit codes where one fits;
// UnZip gives them to its caller as those numbers.
enum class UnzipResult : int {
    ok = 0,
    // Severe error in the archive: a damaged or self-contradicting directory,
    // overlapping entries, a CRC error, a refused entry (absolute name, drive
    // letter, "..", control character, too long a name, link, device), a name
    // that cannot be decoded, an entry larger or smaller than it declared.
    archiveError = 3,
    // The archive is missing, unreadable or not a ZIP archive.
    archiveNotFound = 9,
    // The command line cannot be parsed.
    badCommandLine = 10,
    // No entry matches the file patterns (also an empty archive).
    noMatchingFiles = 11,
    // The archive would unpack past a limit: the total size, or the ratio of
    // unpacked to packed size of one entry or of the whole archive.
    limitExceeded = 12,
    // An entry would replace a file that it may not replace: outside the
    // archive's top folder, or the archive itself.
    wouldReplaceFile = 13,
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

// Why the last extraction failed, finer than the result.
enum class UnzipCause {
    none,
    commandLine,        // the command line has not the expected shape
    archiveUnreadable,  // missing, not a regular file, not readable, not a ZIP archive
    damagedArchive,     // the directory or a header is damaged or contradicts another
    truncated,          // the archive ends early
    overlappingEntries, // entries share bytes or lie outside the archive's data
    unsafeName,         // absolute, drive letter, "..", or empty for a file
    controlCharacter,   // a name holds a control character (NUL, C0, DEL, C1)
    nameTooLong,        // a name component over 255 bytes or a path over 4095
    undecodableName,    // neither valid UTF-8 (flagged) nor CP932
    linkOrDevice,       // a symbolic link, device, socket or other special entry
    fileAndFolder,      // one name as a file and a folder, or a file twice
    encrypted,          // an encrypted entry
    unsupportedMethod,  // a compression method other than stored and deflate
    totalSizeLimit,     // the selected files declare more than maxTotalBytes
    ratioLimit,         // an entry or the archive unpacks past maxRatio
    existingFile,       // an entry would replace a file it may not replace
    freeSpace,          // the declared sizes exceed the destination's free space
    notWritable,        // a folder or file cannot be created, written or put in place
    badData,            // CRC error, or data larger or smaller than declared
    noMatchingFiles,    // nothing to unpack
};

// The facts of the last extraction's failure: no words for people, only what
// a front end needs to word them. All empty or zero after a success.
struct UnzipDetail {
    UnzipResult result = UnzipResult::ok;
    UnzipCause cause = UnzipCause::none;
    // The entry concerned, control characters written as \xNN; empty when the
    // cause concerns no single entry.
    std::string entry;
    // For the limits and the free space: what the archive would need and what
    // is allowed (bytes; for ratios the ratio rounded up and the limit).
    std::uint64_t needed = 0;
    std::uint64_t allowed = 0;
    // One English line with all of the above, and libarchive's own message
    // when it had one.
    std::string message;
};

// The detail of the last unzipCommandLine (or UnZip) call on this thread.
[[nodiscard]] const UnzipDetail& lastUnzipDetail();

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
// "/a/"), then any patterns. Double quotes group blanks into one piece; inside
// quotes a doubled quote ("") stands for one quote character, so any path can
// be written as one piece (see quotedUnzipPiece). A NUL character, which no
// file name holds, makes the text unparseable. Returns nothing when the text
// does not have that shape.
[[nodiscard]] std::optional<UnzipCommand> parseUnzipCommandLine(const std::string& commandLine);

// text as one quoted piece of an unzip command line: in double quotes, each
// quote inside doubled. A text without quotes only gains the outer pair.
[[nodiscard]] std::string quotedUnzipPiece(const std::string& text);

// Bounds that no real archive reaches and a zip bomb does. Real archives of
// health-checkup documents hold tens of thousands of documents of some 30 KB
// (10,000 DATA and 10,000 CLAIMS documents unpack to 340 MB), packed 6 to 15
// times per entry.
struct ExtractionLimits {
    static constexpr std::uint64_t kDefaultMaxTotalBytes = std::uint64_t{8} << 30; // 8 GiB
    static constexpr double kDefaultMaxRatio = 100.0;
    static constexpr std::uint64_t kDefaultRatioFloorBytes = std::uint64_t{1} << 20; // 1 MiB

    // The sum of the sizes that the selected files declare.
    std::uint64_t maxTotalBytes = kDefaultMaxTotalBytes;
    // Declared size over compressed size, for each entry and for the whole
    // archive (declared total over the archive file's size).
    double maxRatio = kDefaultMaxRatio;
    // Entries, and archives in total, up to this size are not held to maxRatio:
    // small files (an empty one, a page of blanks) compress far better than
    // documents and can do no harm.
    std::uint64_t ratioFloorBytes = kDefaultRatioFloorBytes;
};

// Which existing files an entry may replace. Folders are merged either way;
// an existing link or special file outside the top folder is never replaced,
// nor the archive being read.
enum class ExistingFiles {
    // Regular files anywhere below the destination (what "-o" classically
    // means).
    replace,
    // Only inside the top folder: the folder of the destination named like
    // the archive without its extension, where an earlier extraction of the
    // same archive put its files. Elsewhere an entry may only add new files.
    replaceOnlyInTopFolder,
};

// Entries that lie beside the archive's top folder (a readme, a __MACOSX/
// folder, a hidden file aimed at the folder the archive is unpacked into).
enum class EntriesBeside {
    // Unpacked like the others (what unzip classically does).
    write,
    // Left in the archive: only the top folder is written. An archive with no
    // entry inside its top folder then writes nothing and succeeds.
    leaveInArchive,
};

struct ExtractionOptions {
    ExtractionLimits limits;
    ExistingFiles existingFiles = ExistingFiles::replaceOnlyInTopFolder;
    EntriesBeside entriesBeside = EntriesBeside::write;
};

// Whether a top-level name is the archive's top folder: the ZIP file's name
// without its extension, in any letter case (where the archives come from,
// EX1/ and ex1/ are one folder).
[[nodiscard]] bool isTopFolderName(std::string_view component, std::string_view baseName);

// Free bytes for an unprivileged writer in folder, or nothing when unknown.
using FreeSpaceFunction = std::function<std::optional<std::uint64_t>(const std::string& folder)>;
std::optional<std::uint64_t> freeSpaceOf(const std::string& folder);

// Runs the command line. First, without reading any entry's data: the
// archive's directory and local headers (no overlaps, no contradictions), every
// entry's name, type, method and encryption, the limits, the declared sizes
// against freeSpace(destination), and what is already in the destination. Then
// each selected entry is inflated once into a fresh temporary file beside its
// target (size and CRC checked as it is written); only when all are written are
// they renamed into place. Whatever fails, the destination is left as it was:
// files and folders this call created are removed and replaced files are put
// back. lastUnzipDetail() tells why it failed.
[[nodiscard]] UnzipResult unzipCommandLine(const std::string& commandLine,
                                           const FreeSpaceFunction& freeSpace,
                                           const ExtractionOptions& options);

// The same with the default limits, replacing existing regular files anywhere
// below the destination.
[[nodiscard]] UnzipResult unzipCommandLine(const std::string& commandLine,
                                           const FreeSpaceFunction& freeSpace);

// The unzip library's entry point: owner window (unused), command line, 0, 0.
// The same as unzipCommandLine with the destination's real free space, the
// default limits and files replaced only inside the archive's top folder;
// the result as its number.
[[nodiscard]] int UnZip(void* owner, const std::string& commandLine, int, int);

// UnZip with other options, for callers that pass their own limits.
[[nodiscard]] int UnZip(void* owner, const std::string& commandLine,
                        const ExtractionOptions& options);

} // namespace morvik::platform
