// The unzip layer: one extraction from command line to the last file in
// place. The archive is opened once. Its directory is read and judged without
// inflating anything (zipdirectory, extractionplan), the destination is
// looked at (extractionwriter), and only then does libarchive read the data,
// each entry once, straight into fresh files that are put in place at the
// end (those a sink wants first, before the others); any failure on the way
// rolls the destination back.
#include "platform/zip/unzip.h"

#include "platform/fs/fd.h"
#include "platform/process/allocator.h"
#include "platform/text/utf8.h"
#include "platform/text/utf8locale.h"
#include "platform/zip/extractionplan.h"
#include "platform/zip/extractionwriter.h"
#include "platform/zip/unzipfailure.h"
#include "platform/zip/zipdirectory.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace morvik::platform {

namespace {

// How often a long entry asks the stop check: every this many bytes.
constexpr std::uint64_t kStopCheckBytes = std::uint64_t{4} << 20;

UnzipOutcome stoppedOutcome(const std::string& entry) {
    return unzipFailure(UnzipResult::interrupted, UnzipCause::stopped, entry,
                        "the extraction was stopped");
}

struct ArchiveReadFree {
    void operator()(archive* a) const noexcept { archive_read_free(a); }
};
using ArchiveReader = std::unique_ptr<archive, ArchiveReadFree>;

// The archive as libarchive reads it: everything up to the end record's last
// byte, with the comment's length read as 0. libarchive looks for the end
// record in the last 16 KiB only; a comment of up to 64 KiB, which ZIP
// allows, would otherwise hide it.
class ArchiveView {
public:
    ArchiveView(int fd, const ZipDirectory& directory)
        : m_fd(fd), m_size(directory.endRecordOffset + 22),
          m_commentLength(directory.endRecordOffset + 20) {}

    void open(archive* a) {
        archive_read_set_callback_data(a, this);
        archive_read_set_read_callback(a, &ArchiveView::read);
        archive_read_set_seek_callback(a, &ArchiveView::seek);
        archive_read_set_skip_callback(a, &ArchiveView::skip);
    }

private:
    static la_ssize_t read(archive* a, void* data, const void** buffer) {
        auto* view = static_cast<ArchiveView*>(data);
        *buffer = view->m_buffer.data();
        if (view->m_position >= view->m_size) {
            return 0;
        }
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(view->m_buffer.size(), view->m_size - view->m_position));
        ssize_t got = -1;
        do {
            got = ::pread(view->m_fd, view->m_buffer.data(), want,
                          static_cast<off_t>(view->m_position));
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            archive_set_error(a, errno, "the archive cannot be read");
            return ARCHIVE_FATAL;
        }
        const std::uint64_t start = view->m_position;
        const std::uint64_t end = start + static_cast<std::uint64_t>(got);
        for (std::uint64_t at = view->m_commentLength; at < view->m_commentLength + 2; ++at) {
            if (at >= start && at < end) {
                view->m_buffer[static_cast<std::size_t>(at - start)] = 0;
            }
        }
        view->m_position = end;
        return got;
    }

    static la_int64_t seek(archive*, void* data, la_int64_t offset, int whence) {
        auto* view = static_cast<ArchiveView*>(data);
        const auto size = static_cast<la_int64_t>(view->m_size);
        la_int64_t target = offset;
        if (whence == SEEK_CUR) {
            target += static_cast<la_int64_t>(view->m_position);
        } else if (whence == SEEK_END) {
            target += size;
        }
        if (target < 0) {
            return ARCHIVE_FATAL;
        }
        view->m_position = static_cast<std::uint64_t>(target);
        return target;
    }

    static la_int64_t skip(archive*, void* data, la_int64_t request) {
        auto* view = static_cast<ArchiveView*>(data);
        const std::uint64_t left =
            view->m_position < view->m_size ? view->m_size - view->m_position : 0;
        const auto skipped = static_cast<la_int64_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(request), left));
        view->m_position += static_cast<std::uint64_t>(skipped);
        return skipped;
    }

    int m_fd;
    std::uint64_t m_size;
    std::uint64_t m_commentLength; // offset of the comment's two length bytes
    std::uint64_t m_position = 0;
    std::vector<char> m_buffer = std::vector<char>(64 * 1024);
};

// The failure for an error that libarchive reported while reading.
UnzipOutcome readFailure(archive* a, const std::string& entry) {
    const char* message = archive_error_string(a);
    const std::string text = message != nullptr ? message : "unknown error";
    const std::string what = "libarchive: " + text;
    if (text.starts_with("Unsupported ZIP compression method")) {
        return unzipFailure(UnzipResult::unsupportedMethod, UnzipCause::unsupportedMethod, entry,
                            what);
    }
    if (text.find("Truncated") != std::string::npos) {
        return unzipFailure(UnzipResult::unexpectedEnd, UnzipCause::truncated, entry, what);
    }
    if (text.find("assphrase") != std::string::npos || text.find("ncrypt") != std::string::npos) {
        return unzipFailure(UnzipResult::encrypted, UnzipCause::encrypted, entry, what);
    }
    const bool data = text.find("CRC") != std::string::npos ||
                      text.find("ecompress") != std::string::npos ||
                      text.find("size") != std::string::npos;
    return unzipFailure(UnzipResult::archiveError,
                        data ? UnzipCause::badData : UnzipCause::damagedArchive, entry, what);
}

// An entry's name as a path, the way the plan writes it: backslashes
// separate, empty and "." components vanish.
std::string normalizedPath(std::string_view name) {
    std::string path;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) {
            end = name.size();
        }
        const std::string_view component = name.substr(start, end - start);
        if (!component.empty() && component != ".") {
            if (!path.empty()) {
                path += '/';
            }
            path += component;
        }
        start = end + 1;
    }
    return path;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Reads the data of selected entries with libarchive, each once, into the
// writer. libarchive reads the entries in the order of their local headers,
// as the directory lists them (names, one per entry, in the directory's
// order); each must be the entry the plan judged. With a sink, the files it
// wants first are written and put in place before the others: a first pass
// writes every entry up to the last of them except the others' files, which
// a second pass writes (libarchive skips an entry's data without inflating
// it).
class EntryWriter {
public:
    EntryWriter(int archiveFd, const ZipDirectory& directory,
                const std::vector<std::string_view>& names, const ExtractionPlan& plan,
                ExtractionWriter& writer, const StopCheck& stopRequested, ExtractionSink* sink)
        : m_archiveFd(archiveFd), m_directory(directory), m_names(names), m_plan(plan),
          m_writer(writer), m_stopRequested(stopRequested), m_sink(sink),
          m_first(sink != nullptr ? names.size() : 0, false),
          m_deferred(sink != nullptr ? names.size() : 0, false) {}

    UnzipOutcome run() {
        std::size_t lastFirst = m_names.size();
        if (m_sink != nullptr) {
            for (std::size_t i = 0; i < m_names.size(); ++i) {
                const PlannedEntry& planned = m_plan.entries[i];
                if (planned.selected && !planned.folder) {
                    ++m_files;
                    if (m_sink->first(nodePath(m_plan.nodes, planned.node))) {
                        m_first[i] = true;
                        lastFirst = i;
                    }
                }
            }
            if (lastFirst == m_names.size()) {
                m_sink->firstPlaced(m_files);
            }
        }
        m_lastFirst = lastFirst;
        if (UnzipOutcome failure = pass(false); failure.result != UnzipResult::ok) {
            return failure;
        }
        if (std::find(m_deferred.begin(), m_deferred.end(), true) == m_deferred.end()) {
            return {};
        }
        return pass(true);
    }

private:
    bool stopNow() const { return m_stopRequested && m_stopRequested(); }

    // One reading of the archive: the first, or the one for the deferred
    // files.
    UnzipOutcome pass(bool deferredOnly) {
        // Outlives the reader, which may call it until it is freed.
        ArchiveView view(m_archiveFd, m_directory);
        ArchiveReader reader(archive_read_new());
        if (!reader) {
            return unzipFailure(UnzipResult::archiveError, UnzipCause::damagedArchive, "",
                                "libarchive cannot be set up");
        }
        archive* a = reader.get();
        // The seekable reader takes names, types and sizes from the central
        // directory, the archive's own table of contents. Names without the
        // UTF-8 flag are CP932, as Japanese Windows tools write them; flagged
        // names stay UTF-8. (SHIFT_JIS would fail on "～" or "①".)
        if (archive_read_support_format_zip_seekable(a) != ARCHIVE_OK ||
            archive_read_set_options(a, "hdrcharset=CP932") != ARCHIVE_OK) {
            return readFailure(a, "");
        }
        view.open(a);
        if (archive_read_open1(a) != ARCHIVE_OK) {
            return readFailure(a, "");
        }
        for (std::size_t i = 0; i < m_names.size(); ++i) {
            const PlannedEntry& planned = m_plan.entries[i];
            const std::string shown = printableName(m_names[i]);
            if (stopNow()) {
                return stoppedOutcome(shown);
            }
            archive_entry* entry = nullptr;
            const int status = archive_read_next_header(a, &entry);
            if (status == ARCHIVE_EOF) {
                return unzipFailure(UnzipResult::archiveError, UnzipCause::damagedArchive, shown,
                                    "libarchive finds fewer entries than the directory lists");
            }
            // A warning here is a name that does not convert or headers that
            // contradict each other: not an archive to unpack.
            if (status != ARCHIVE_OK) {
                return readFailure(a, shown);
            }
            const char* name = archive_entry_pathname(entry);
            const bool folder = archive_entry_filetype(entry) == AE_IFDIR;
            if (name == nullptr || normalizedPath(name) != normalizedPath(m_names[i]) ||
                folder != planned.folder ||
                (!folder && archive_entry_filetype(entry) != AE_IFREG) ||
                archive_entry_hardlink(entry) != nullptr || archive_entry_is_encrypted(entry) ||
                (!folder && archive_entry_size_is_set(entry) &&
                 static_cast<std::uint64_t>(archive_entry_size(entry)) != planned.size)) {
                return unzipFailure(UnzipResult::archiveError, UnzipCause::damagedArchive, shown,
                                    "libarchive reads the entry otherwise than its headers say");
            }
            if (!planned.selected) {
                continue;
            }
            if (deferredOnly) {
                if (!m_deferred[i]) {
                    continue;
                }
            } else if (planned.folder) {
                if (UnzipOutcome failure = m_writer.makeFolder(planned.node);
                    failure.result != UnzipResult::ok) {
                    return failure;
                }
                continue;
            } else if (i < m_lastFirst && m_lastFirst < m_names.size() && !m_first[i]) {
                m_deferred[i] = true;
                continue;
            }
            if (UnzipOutcome failure = writeFile(a, planned, shown);
                failure.result != UnzipResult::ok) {
                return failure;
            }
            if (!deferredOnly && i == m_lastFirst) {
                if (UnzipOutcome failure = m_writer.placeWritten();
                    failure.result != UnzipResult::ok) {
                    return failure;
                }
                m_sink->firstPlaced(m_files);
            }
        }
        archive_entry* extra = nullptr;
        if (archive_read_next_header(a, &extra) != ARCHIVE_EOF) {
            return unzipFailure(UnzipResult::archiveError, UnzipCause::damagedArchive, "",
                                "libarchive finds more entries than the directory lists");
        }
        return {};
    }

    // The entry libarchive stands at into its file; its data to the sink
    // when the sink wants it.
    UnzipOutcome writeFile(archive* a, const PlannedEntry& planned, const std::string& shown) {
        std::string path;
        std::string data;
        bool keep = false;
        if (m_sink != nullptr) {
            path = nodePath(m_plan.nodes, planned.node);
            keep = m_sink->wanted(path, planned.size);
            if (keep) {
                data.reserve(static_cast<std::size_t>(planned.size));
            }
        }
        const auto fill = [&](int fd) -> UnzipOutcome {
            std::uint64_t total = 0;
            std::uint64_t nextStopCheck = kStopCheckBytes;
            for (;;) {
                if (total >= nextStopCheck) {
                    nextStopCheck += kStopCheckBytes;
                    if (stopNow()) {
                        return stoppedOutcome(shown);
                    }
                }
                const la_ssize_t n = archive_read_data(a, m_buffer.data(), m_buffer.size());
                if (n == 0) {
                    break;
                }
                // Warnings count too: libarchive reports a CRC error as one.
                if (n < 0) {
                    return readFailure(a, shown);
                }
                total += static_cast<std::uint64_t>(n);
                // The declared sizes are what the limits and the free space
                // were checked against.
                if (total > planned.size) {
                    return unzipFailure(UnzipResult::archiveError, UnzipCause::badData, shown,
                                        "the data is larger than the " +
                                            std::to_string(planned.size) + " bytes declared");
                }
                if (!writeAll(fd, m_buffer.data(), static_cast<std::size_t>(n))) {
                    return unzipFailure(UnzipResult::diskFull, UnzipCause::notWritable, shown,
                                        std::string("the file cannot be written (") +
                                            std::strerror(errno) + ")");
                }
                if (keep) {
                    data.append(m_buffer.data(), static_cast<std::size_t>(n));
                }
            }
            if (total != planned.size) {
                return unzipFailure(UnzipResult::archiveError, UnzipCause::badData, shown,
                                    "the data is " + std::to_string(total) + " bytes, not the " +
                                        std::to_string(planned.size) + " declared");
            }
            return {};
        };
        UnzipOutcome failure = m_writer.writeFile(planned.node, fill);
        if (failure.result == UnzipResult::ok && keep) {
            m_sink->inflated(path, std::move(data));
        }
        return failure;
    }

    int m_archiveFd;
    const ZipDirectory& m_directory;
    const std::vector<std::string_view>& m_names;
    const ExtractionPlan& m_plan;
    ExtractionWriter& m_writer;
    const StopCheck& m_stopRequested;
    ExtractionSink* m_sink;
    // The files the sink wants first, and those the first pass left to the
    // second; the last first entry (the number of entries when there is
    // none).
    std::vector<bool> m_first;
    std::vector<bool> m_deferred;
    std::size_t m_lastFirst = 0;
    std::uint64_t m_files = 0; // selected files
    std::vector<char> m_buffer = std::vector<char>(64 * 1024);
};

// What the archive file is, for an archive that cannot be read.
UnzipOutcome unreadableArchive(ArchiveFileProblem problem, int error, const std::string& archive) {
    static const char* const what[] = {
        "",         "is missing",          "is a folder", "is not a regular file", "cannot be read",
        "is empty", "is not a ZIP archive"};
    std::string text =
        "the archive " + printableName(archive) + " " + what[static_cast<int>(problem)];
    if (error != 0) {
        text += std::string(" (") + std::strerror(error) + ")";
    }
    UnzipOutcome outcome =
        unzipFailure(UnzipResult::archiveNotFound, UnzipCause::archiveUnreadable, "", text);
    outcome.archiveProblem = problem;
    outcome.error = error;
    return outcome;
}

UnzipOutcome extract(const UnzipRequest& request, std::vector<TopLevelName>& topLevel,
                     std::uint64_t& recovered, std::uint64_t& removedTemporaries) {
    // Opened once: every later step reads this file, whatever happens to the
    // name meanwhile. Never waits on a FIFO.
    const Fd archiveFd = openForReading(request.archive);
    if (!archiveFd) {
        const int error = errno;
        return error == ENOENT
                   ? unreadableArchive(ArchiveFileProblem::missing, 0, request.archive)
                   : unreadableArchive(ArchiveFileProblem::unreadable, error, request.archive);
    }
    struct stat archiveInfo {};
    if (::fstat(archiveFd.get(), &archiveInfo) != 0) {
        return unreadableArchive(ArchiveFileProblem::unreadable, errno, request.archive);
    }
    if (S_ISDIR(archiveInfo.st_mode)) {
        return unreadableArchive(ArchiveFileProblem::folder, 0, request.archive);
    }
    if (!S_ISREG(archiveInfo.st_mode)) {
        return unreadableArchive(ArchiveFileProblem::notRegular, 0, request.archive);
    }
    ZipDirectory directory;
    if (UnzipOutcome failure = readZipDirectory(archiveFd.get(), directory);
        failure.result != UnzipResult::ok) {
        if (failure.cause == UnzipCause::archiveUnreadable) {
            return unreadableArchive(archiveInfo.st_size == 0 ? ArchiveFileProblem::empty
                                                              : ArchiveFileProblem::notZip,
                                     0, request.archive);
        }
        return failure;
    }
    UnzipCommand command{request.archive, request.destination, request.patterns};
    // An earlier extraction into the same destination that was killed is
    // rolled back first, so that what it left is neither judged nor kept.
    recovered = recoverInterruptedExtractions(request.destination);
    ExtractionPlan plan;
    UnzipOutcome planned = planExtraction(directory, command, request.options.limits, plan,
                                          request.options.entriesBeside);
    topLevel = plan.topLevel;
    if (planned.result != UnzipResult::ok) {
        return planned;
    }
    // From here on an entry is its name (in the directory's store) and its
    // plan: the records go before libarchive reads the directory again.
    std::vector<std::string_view> names;
    names.reserve(directory.entries.size());
    for (const ZipEntryRecord& record : directory.entries) {
        names.push_back(record.name);
    }
    directory.entries = std::vector<ZipEntryRecord>();
    std::vector<std::string> topFolders;
    for (const TopLevelName& name : plan.topLevel) {
        if (name.folder) {
            topFolders.push_back(name.name);
        }
    }
    removedTemporaries = removeStaleTemporaries(request.destination, topFolders);
    const std::optional<std::uint64_t> available =
        request.freeSpace ? request.freeSpace(request.destination) : std::nullopt;
    if (available && plan.totalBytes > *available) {
        return unzipFailure(UnzipResult::diskFull, UnzipCause::freeSpace, "",
                            "the files declare " + std::to_string(plan.totalBytes) +
                                " bytes, the destination has " + std::to_string(*available) +
                                " free",
                            plan.totalBytes, *available);
    }
    ExtractionWriter writer(request.destination, plan, request.options.existingFiles,
                            archiveInfo.st_dev, archiveInfo.st_ino);
    if (UnzipOutcome failure = writer.inspect(); failure.result != UnzipResult::ok) {
        return failure;
    }
    UnzipOutcome written = EntryWriter(archiveFd.get(), directory, names, plan, writer,
                                       request.stopRequested, request.sink)
                               .run();
    if (written.result == UnzipResult::ok && request.stopRequested && request.stopRequested()) {
        written = stoppedOutcome("");
    }
    if (written.result != UnzipResult::ok) {
        writer.rollback();
        return written;
    }
    return writer.commit();
}

} // namespace

UnzipOutcome unzipFailure(UnzipResult result, UnzipCause cause, const std::string& entry,
                          const std::string& what, std::uint64_t needed, std::uint64_t allowed) {
    UnzipOutcome detail;
    detail.result = result;
    detail.cause = cause;
    detail.entry = entry;
    detail.needed = needed;
    detail.allowed = allowed;
    detail.message = entry.empty() ? what : "entry \"" + entry + "\": " + what;
    return detail;
}

bool hasControlCharacter(std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x20 || byte == 0x7F) {
            return true;
        }
        // U+0080 to U+009F are C2 80 to C2 9F in UTF-8.
        if (byte == 0xC2 && i + 1 < name.size() &&
            static_cast<unsigned char>(name[i + 1]) <= 0x9F &&
            static_cast<unsigned char>(name[i + 1]) >= 0x80) {
            return true;
        }
    }
    return false;
}

std::string printableName(std::string_view name) {
    std::string shown;
    const auto escape = [&](unsigned char byte) {
        static const char digits[] = "0123456789ABCDEF";
        shown += "\\x";
        shown += digits[byte >> 4];
        shown += digits[byte & 0xF];
    };
    while (!name.empty()) {
        const std::size_t length = utf8SequenceLength(name);
        const auto lead = static_cast<unsigned char>(name[0]);
        if (length == 0) {
            escape(lead);
            name.remove_prefix(1);
        } else if (hasControlCharacter(name.substr(0, length))) {
            for (std::size_t i = 0; i < length; ++i) {
                escape(static_cast<unsigned char>(name[i]));
            }
            name.remove_prefix(length);
        } else {
            shown.append(name.substr(0, length));
            name.remove_prefix(length);
        }
    }
    return shown;
}

std::optional<std::uint64_t> freeSpaceOf(const std::string& folder) {
    // A destination that does not exist yet will be created on the file system
    // of its nearest existing parent.
    std::filesystem::path path = folder;
    for (;;) {
        struct statvfs info {};
        if (::statvfs(path.c_str(), &info) == 0) {
            return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
        }
        const int error = errno;
        std::filesystem::path parent = path.parent_path();
        if (parent.empty()) {
            parent = ".";
        }
        if (error != ENOENT || parent == path) {
            return std::nullopt;
        }
        path = std::move(parent);
    }
}

UnzipOutcome extractArchive(const UnzipRequest& request) {
    // libarchive turns entry names into the text of the current locale's
    // character set; in the C locale every non-ASCII name fails to convert.
    const Utf8NamesForThisThread names;
    std::vector<TopLevelName> topLevel;
    std::uint64_t recovered = 0;
    std::uint64_t removedTemporaries = 0;
    UnzipOutcome outcome = extract(request, topLevel, recovered, removedTemporaries);
    // The directory, the plan and the journal are freed: what they took is
    // not to stay under whatever comes next.
    releaseFreeMemory();
    outcome.removedTemporaries = removedTemporaries;
    outcome.destination = request.destination;
    outcome.topLevel = std::move(topLevel);
    outcome.recovered = recovered > 0;
    outcome.recoveredSteps = recovered;
    return outcome;
}

UnzipOutcome unzipCommandLine(const std::string& commandLine, const FreeSpaceFunction& freeSpace,
                              const ExtractionOptions& options) {
    const std::optional<UnzipCommand> command = parseUnzipCommandLine(commandLine);
    if (!command) {
        return unzipFailure(UnzipResult::badCommandLine, UnzipCause::commandLine, "",
                            "the command line cannot be parsed");
    }
    UnzipRequest request;
    request.archive = command->archive;
    request.destination = command->destination;
    request.patterns = command->patterns;
    request.options = options;
    request.freeSpace = freeSpace;
    return extractArchive(request);
}

UnzipOutcome unzipCommandLine(const std::string& commandLine, const FreeSpaceFunction& freeSpace) {
    ExtractionOptions options;
    options.existingFiles = ExistingFiles::replace;
    return unzipCommandLine(commandLine, freeSpace, options);
}

int UnZip(void* /*owner*/, const std::string& commandLine, int, int) {
    return static_cast<int>(unzipCommandLine(commandLine, freeSpaceOf, ExtractionOptions()).result);
}

} // namespace morvik::platform
