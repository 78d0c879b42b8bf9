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
    // The extraction was stopped before it finished (the run's stop check, or
    // an interrupting signal); the destination was rolled back.
    interrupted = 80,
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
    entryCountLimit,    // the archive lists more entries than maxEntries
    folderCountLimit,   // the entries would make more folders than maxFolders
    multiDisk,          // the archive is one part of an archive split over several disks
    ratioLimit,         // an entry or the archive unpacks past maxRatio
    existingFile,       // an entry would replace a file it may not replace
    freeSpace,          // the declared sizes exceed the destination's free space
    notWritable,        // a folder or file cannot be created, written or put in place
    badData,            // CRC error, or data larger or smaller than declared
    noMatchingFiles,    // nothing to unpack
    stopped,            // the stop check answered true
};

// For an archive that cannot be read at all (archiveUnreadable): what the
// archive file is.
enum class ArchiveFileProblem {
    none,
    missing,    // no such file
    folder,     // a folder
    notRegular, // a FIFO, device, socket
    unreadable, // cannot be opened (errno in UnzipOutcome::error)
    empty,      // 0 bytes
    notZip,     // no ZIP archive: no end record
};

// A name at the top level of an archive: the first component of its entries'
// names.
struct TopLevelName {
    std::string name;    // as UTF-8 (names without the UTF-8 flag read as CP932)
    bool folder = false; // some entry lies below it, or it is a folder entry
};

// The outcome of one extraction, as facts: no words for people, only what a
// front end needs to word them without looking at the disk or the archive
// again.
struct UnzipOutcome {
    UnzipResult result = UnzipResult::ok;
    UnzipCause cause = UnzipCause::none;
    // The entry concerned, control characters written as \xNN; empty when the
    // cause concerns no single entry.
    std::string entry;
    // For the limits and the free space: what the archive would need and what
    // is allowed (bytes, entries or folders; for ratios the ratio rounded up
    // and the limit).
    std::uint64_t needed = 0;
    std::uint64_t allowed = 0;
    // For archiveUnreadable: what the archive file is; for unreadable and
    // notWritable the system's error number (0 when none).
    ArchiveFileProblem archiveProblem = ArchiveFileProblem::none;
    int error = 0;
    // The destination folder as the request named it, with its closing '/':
    // where the files went (or would have gone).
    std::string destination;
    // The archive's top-level names in the order of their first entry, once
    // its directory was read (also when a later step failed).
    std::vector<TopLevelName> topLevel;
    // An extraction into the same destination was killed earlier and left
    // its journal; this one finished its rollback first (how many journals).
    std::uint64_t recoveredSteps = 0;
    bool recovered = false;
    // Temporaries of earlier extractions that were interrupted before
    // journals were kept, removed before this one began.
    std::uint64_t removedTemporaries = 0;
    // One English line with the above and libarchive's own message when it
    // had one: a fact for English output and --verbose, not for wording.
    std::string message;
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
    // The largest real archive lists about 20,000 entries in 5 folders.
    static constexpr std::uint64_t kDefaultMaxEntries = 1'000'000;
    static constexpr std::uint64_t kDefaultMaxFolders = 10'000;

    // The sum of the sizes that the selected files declare.
    std::uint64_t maxTotalBytes = kDefaultMaxTotalBytes;
    // Declared size over compressed size, for each entry and for the whole
    // archive (declared total over the archive file's size).
    double maxRatio = kDefaultMaxRatio;
    // Entries, and archives in total, up to this size are not held to maxRatio:
    // small files (an empty one, a page of blanks) compress far better than
    // documents and can do no harm.
    std::uint64_t ratioFloorBytes = kDefaultRatioFloorBytes;
    // Entries in the archive's directory, and folders the selected entries
    // make (named or implied by a file's path, the destination not counted):
    // every one costs an inode and time whatever its size.
    std::uint64_t maxEntries = kDefaultMaxEntries;
    std::uint64_t maxFolders = kDefaultMaxFolders;
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

// Finishes the rollback of extractions into destination that were killed
// (their journal files left there by processes that no longer run); returns
// how many. extractArchive does it first; callers that look at the
// destination before extracting call it before they look.
std::uint64_t recoverInterruptedExtractions(const std::string& destination);

// For the tests that kill an extraction at a chosen step: called in the
// extracting thread after each line its journal gains, with the line's step
// ('T' a temporary written, 'A' a file moved aside, 'P' a file put in place,
// ...) and how many lines of that step the journal holds now. None is set
// unless a test sets one (in the process it forks to be killed).
using JournalWatch = void (*)(char step, std::size_t lines);
void setJournalWatch(JournalWatch watch);

// Removes the temporaries that extractions left in destination and below
// its folders topFolders (named as ours are, .unzip-XXXXXXXX-N, regular
// files, named in no journal of an extraction under way; links are not
// followed, at most kMaxTemporaryDepth folders down): what an extraction
// interrupted before journals were kept left behind. Returns how many.
// extractArchive does it for the archive's top-level folders.
inline constexpr int kMaxTemporaryDepth = 64;
std::uint64_t removeStaleTemporaries(const std::string& destination,
                                     const std::vector<std::string>& topFolders);

// Free bytes for an unprivileged writer in folder, or nothing when unknown.
using FreeSpaceFunction = std::function<std::optional<std::uint64_t>(const std::string& folder)>;
std::optional<std::uint64_t> freeSpaceOf(const std::string& folder);

// Answers true when the extraction is to stop (asked between entries and
// every few megabytes inside one).
using StopCheck = std::function<bool()>;

// Takes part in one extraction (UnzipRequest::sink): chooses the files to
// be put in place before all others, and receives the data of other files
// as they are inflated, so that a caller can work on them while the
// extraction goes on. Entries are named by their path below the destination,
// '/'-separated, as their files are named there. Every call comes from the
// extracting thread. Nothing the sink is told makes the extraction
// succeed: it may still fail and be rolled back after any call.
class ExtractionSink {
public:
    virtual ~ExtractionSink() = default;
    // Whether this file is written and put in place before every file for
    // which this answers false, whatever its place in the archive.
    virtual bool first(std::string_view path) = 0;
    // Once every first file is in place (also when there is none), before
    // any other file is written; files: how many the extraction writes in
    // all.
    virtual void firstPlaced(std::uint64_t files) = 0;
    // Whether the data of this file (of size bytes, as declared) is wanted,
    // asked before it is inflated.
    virtual bool wanted(std::string_view path, std::uint64_t size) = 0;
    // The whole data of a wanted file, once its size and CRC were found
    // right and it was written (not yet in place).
    virtual void inflated(std::string_view path, std::string data) = 0;
};

// One extraction, as the program asks for it.
struct UnzipRequest {
    std::string archive;
    // The destination folder, with exactly one closing '/'.
    std::string destination;
    // File patterns matched against the entries' full names; none means all.
    std::vector<std::string> patterns;
    ExtractionOptions options;
    FreeSpaceFunction freeSpace = freeSpaceOf;
    StopCheck stopRequested;
    // Must outlive the call; none by default.
    ExtractionSink* sink = nullptr;
};

// Runs the request. First, without reading any entry's data: the archive's
// directory and local headers (no overlaps, no contradictions), every
// entry's name, type, method and encryption, the limits, the declared sizes
// against freeSpace(destination), and what is already in the destination. Then
// each selected entry is inflated once into a fresh temporary file beside its
// target (size and CRC checked as it is written); only when all are written are
// they renamed into place; with a sink, the files it wants first are written
// and renamed into place before any other is written, and the data of the
// files it wants is handed to it as they are written. Whatever fails, or
// when stopRequested answers true,
// or SIGINT or SIGTERM arrives, the destination is left as it was: files and
// folders this call created are removed and replaced files are put back. A
// journal beside the work (.morvik-unzip-journal-*) lets the next extraction
// into the same destination finish the rollback of one that was killed.
[[nodiscard]] UnzipOutcome extractArchive(const UnzipRequest& request);

// The command line's request with these options.
[[nodiscard]] UnzipOutcome unzipCommandLine(const std::string& commandLine,
                                            const FreeSpaceFunction& freeSpace,
                                            const ExtractionOptions& options);

// The same with the default limits, replacing existing regular files anywhere
// below the destination.
[[nodiscard]] UnzipOutcome unzipCommandLine(const std::string& commandLine,
                                            const FreeSpaceFunction& freeSpace);

// The unzip library's entry point, the outer edge for callers that speak
// command lines: owner window (unused), command line, 0, 0. The same as
// unzipCommandLine with the destination's real free space, the default
// limits and files replaced only inside the archive's top folder; the result
// as its number.
[[nodiscard]] int UnZip(void* owner, const std::string& commandLine, int, int);

} // namespace morvik::platform
