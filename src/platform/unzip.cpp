// The unzip layer on libarchive. An archive from outside parties is read
// twice: the first pass reads every entry to the end and decides whether the
// archive may be unpacked at all; only then does the second pass write,
// below the destination and nowhere else.
#include "platform/unzip.h"

#include "platform/fd.h"
#include "platform/folderlisting.h"
#include "platform/utf8locale.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace morvik::platform {

namespace {

struct ArchiveReadFree {
    void operator()(archive* a) const noexcept { archive_read_free(a); }
};
using ArchiveReader = std::unique_ptr<archive, ArchiveReadFree>;

struct Piece {
    std::string text;
    bool quoted = false;
};

// Splits at blanks outside double quotes; nothing when a quote is left open.
std::optional<std::vector<Piece>> splitPieces(const std::string& text) {
    std::vector<Piece> pieces;
    Piece current;
    bool inPiece = false;
    bool inQuotes = false;
    for (const char c : text) {
        if (c == '"') {
            inQuotes = !inQuotes;
            current.quoted = true;
            inPiece = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (inPiece) {
                pieces.push_back(std::move(current));
                current = Piece();
                inPiece = false;
            }
        } else {
            current.text += c;
            inPiece = true;
        }
    }
    if (inQuotes) {
        return std::nullopt;
    }
    if (inPiece) {
        pieces.push_back(std::move(current));
    }
    return pieces;
}

bool isOption(const Piece& piece) {
    return !piece.quoted && piece.text.size() > 1 && piece.text.front() == '-';
}

// An entry's name as the components of a path below the destination, or
// nothing when the name would leave the destination. A backslash separates
// folders as a slash does: archives from Windows tools use either.
std::optional<std::vector<std::string>> safeComponents(std::string name) {
    for (char& c : name) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (name.empty() || name.front() == '/') {
        return std::nullopt;
    }
    const auto isAsciiLetter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    // "C:x" and "C:/x" name a drive's folder on the system the archive came from.
    if (name.size() >= 2 && isAsciiLetter(name[0]) && name[1] == ':') {
        return std::nullopt;
    }
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos) {
            end = name.size();
        }
        std::string component = name.substr(start, end - start);
        if (component == "..") {
            // An entry named ../x would escape the destination.
            return std::nullopt;
        }
        if (!component.empty() && component != ".") {
            components.push_back(std::move(component));
        }
        start = end + 1;
    }
    return components;
}

std::string joined(const std::vector<std::string>& components, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            path += '/';
        }
        path += components[i];
    }
    return path;
}

// The result for an error that libarchive reported while reading.
UnzipResult readFailure(archive* a) {
    const char* message = archive_error_string(a);
    const std::string_view text = message != nullptr ? message : "";
    if (text.starts_with("Unsupported ZIP compression method")) {
        return UnzipResult::unsupportedMethod;
    }
    if (text.find("Truncated") != std::string_view::npos) {
        return UnzipResult::unexpectedEnd;
    }
    if (text.find("assphrase") != std::string_view::npos ||
        text.find("ncrypt") != std::string_view::npos) {
        return UnzipResult::encrypted;
    }
    return UnzipResult::archiveError;
}

// The result for an archive that libarchive does not accept as a ZIP archive,
// told by its first bytes: a local header that never reaches its central
// directory is cut short, an end record alone is an empty archive.
UnzipResult unopenableArchive(const std::string& path) {
    const Fd fd = openForReading(path);
    char head[4] = {};
    if (fd.get() < 0 || ::read(fd.get(), head, sizeof head) != sizeof head) {
        return UnzipResult::archiveNotFound;
    }
    if (std::memcmp(head, "PK\x03\x04", 4) == 0) {
        return UnzipResult::unexpectedEnd;
    }
    if (std::memcmp(head, "PK\x05\x06", 4) == 0) {
        return UnzipResult::noMatchingFiles;
    }
    return UnzipResult::archiveNotFound;
}

UnzipResult openArchive(const std::string& path, ArchiveReader& reader) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        ::access(path.c_str(), R_OK) != 0) {
        return UnzipResult::archiveNotFound;
    }
    reader.reset(archive_read_new());
    if (!reader) {
        return UnzipResult::archiveError;
    }
    // The seekable reader takes names, types and sizes from the central
    // directory, the archive's own table of contents.
    if (archive_read_support_format_zip_seekable(reader.get()) != ARCHIVE_OK ||
        // Names without the UTF-8 flag are CP932, as Japanese Windows tools write
        // them; flagged names stay UTF-8. (SHIFT_JIS would fail on "～" or "①".)
        archive_read_set_options(reader.get(), "hdrcharset=CP932") != ARCHIVE_OK) {
        return UnzipResult::archiveError;
    }
    if (archive_read_open_filename(reader.get(), path.c_str(), 64 * 1024) != ARCHIVE_OK) {
        return unopenableArchive(path);
    }
    return UnzipResult::ok;
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

struct PlannedEntry {
    std::vector<std::string> components;
    bool folder = false;
    bool selected = false;
    std::optional<std::uint64_t> declaredSize;
};

class Extraction {
public:
    Extraction(const UnzipCommand& command, const FreeSpaceFunction& freeSpace)
        : m_command(command), m_freeSpace(freeSpace) {}

    UnzipResult run() {
        if (const UnzipResult checked = check(); checked != UnzipResult::ok) {
            return checked;
        }
        return write();
    }

private:
    bool selects(const std::vector<std::string>& components) const {
        if (m_command.patterns.empty()) {
            return true;
        }
        const std::string name = joined(components, components.size());
        for (const std::string& pattern : m_command.patterns) {
            if (wildcardMatch(pattern, name)) {
                return true;
            }
        }
        return false;
    }

    // The name, type and size of the next entry, as both passes see it.
    UnzipResult readHeader(archive* a, PlannedEntry& planned, bool& end) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(a, &entry);
        end = status == ARCHIVE_EOF;
        if (end) {
            return UnzipResult::ok;
        }
        // A warning here is a name that does not convert or headers that
        // contradict each other: not an archive to unpack.
        if (status != ARCHIVE_OK) {
            return readFailure(a);
        }
        if (archive_entry_is_encrypted(entry)) {
            return UnzipResult::encrypted;
        }
        const char* name = archive_entry_pathname(entry);
        if (name == nullptr) {
            return UnzipResult::archiveError;
        }
        const auto type = archive_entry_filetype(entry);
        // Links and devices are refused: a link planted by the archive would
        // let a later entry write through it, outside the destination.
        if (archive_entry_hardlink(entry) != nullptr || (type != AE_IFREG && type != AE_IFDIR)) {
            return UnzipResult::archiveError;
        }
        auto components = safeComponents(name);
        if (!components) {
            return UnzipResult::archiveError;
        }
        planned.folder = type == AE_IFDIR;
        // "./" stands for the destination itself; a file needs a name.
        if (components->empty() && !planned.folder) {
            return UnzipResult::archiveError;
        }
        planned.components = std::move(*components);
        planned.selected = !planned.components.empty() && selects(planned.components);
        planned.declaredSize.reset();
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0) {
            planned.declaredSize = static_cast<std::uint64_t>(archive_entry_size(entry));
        }
        return UnzipResult::ok;
    }

    // Reads the entry's data to its end and hands it on in blocks.
    template <typename Sink>
    UnzipResult readData(archive* a, const PlannedEntry& planned, Sink&& sink) {
        char buffer[64 * 1024];
        std::uint64_t total = 0;
        for (;;) {
            const la_ssize_t n = archive_read_data(a, buffer, sizeof buffer);
            if (n == 0) {
                return UnzipResult::ok;
            }
            // Warnings count too: libarchive reports a CRC error as one.
            if (n < 0) {
                return readFailure(a);
            }
            total += static_cast<std::uint64_t>(n);
            // Declared sizes are what the free space was checked against.
            if (planned.declaredSize && total > *planned.declaredSize) {
                return UnzipResult::archiveError;
            }
            if (const UnzipResult written = sink(buffer, static_cast<std::size_t>(n));
                written != UnzipResult::ok) {
                return written;
            }
        }
    }

    UnzipResult check() {
        ArchiveReader reader;
        if (const UnzipResult opened = openArchive(m_command.archive, reader);
            opened != UnzipResult::ok) {
            return opened;
        }
        const std::optional<std::uint64_t> available = m_freeSpace(m_command.destination);
        std::uint64_t needed = 0;
        std::set<std::string> files;
        std::set<std::string> folders;
        for (;;) {
            PlannedEntry planned;
            bool end = false;
            if (const UnzipResult status = readHeader(reader.get(), planned, end);
                status != UnzipResult::ok) {
                return status;
            }
            if (end) {
                break;
            }
            if (planned.selected && !planned.folder) {
                needed += planned.declaredSize.value_or(0);
                // Checked as the sizes come in, so that an archive declaring
                // more than fits is not decompressed first.
                if (available && needed > *available) {
                    return UnzipResult::diskFull;
                }
            }
            const auto ignore = [](const char*, std::size_t) { return UnzipResult::ok; };
            if (const UnzipResult status = readData(reader.get(), planned, ignore);
                status != UnzipResult::ok) {
                return status;
            }
            if (planned.selected) {
                const std::size_t parents =
                    planned.folder ? planned.components.size() : planned.components.size() - 1;
                for (std::size_t i = 1; i <= parents; ++i) {
                    folders.insert(joined(planned.components, i));
                }
                if (!planned.folder) {
                    files.insert(joined(planned.components, planned.components.size()));
                }
            }
            m_plan.push_back(std::move(planned));
        }
        // A name that is a file and a folder at once cannot be unpacked whole.
        for (const std::string& file : files) {
            if (folders.count(file) != 0) {
                return UnzipResult::archiveError;
            }
        }
        return files.empty() && folders.empty() ? UnzipResult::noMatchingFiles : UnzipResult::ok;
    }

    // Opens the first count components below the destination as folders,
    // creating those that are missing. Links are not followed: whatever is
    // below the destination is a real folder or the extraction stops.
    Fd openFolders(const std::vector<std::string>& components, std::size_t count) const {
        Fd folder(::open(m_command.destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        for (std::size_t i = 0; i < count && folder.get() >= 0; ++i) {
            const char* name = components[i].c_str();
            if (::mkdirat(folder.get(), name, 0777) != 0 && errno != EEXIST) {
                return Fd();
            }
            folder =
                Fd(::openat(folder.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
        return folder;
    }

    UnzipResult writeFile(archive* a, const PlannedEntry& planned) {
        const Fd parent = openFolders(planned.components, planned.components.size() - 1);
        if (parent.get() < 0) {
            return UnzipResult::diskFull;
        }
        // O_NOFOLLOW: an existing link of that name is not written through.
        Fd file(::openat(parent.get(), planned.components.back().c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666));
        if (file.get() < 0) {
            return UnzipResult::diskFull;
        }
        const UnzipResult copied = readData(a, planned, [&](const char* data, std::size_t size) {
            return writeAll(file.get(), data, size) ? UnzipResult::ok : UnzipResult::diskFull;
        });
        if (copied != UnzipResult::ok) {
            return copied;
        }
        // A full disk or quota may show only when the file is closed.
        return file.close() ? UnzipResult::ok : UnzipResult::diskFull;
    }

    UnzipResult write() {
        ArchiveReader reader;
        if (const UnzipResult opened = openArchive(m_command.archive, reader);
            opened != UnzipResult::ok) {
            return opened;
        }
        std::error_code error;
        std::filesystem::create_directories(m_command.destination, error);
        if (error) {
            return UnzipResult::diskFull;
        }
        for (const PlannedEntry& expected : m_plan) {
            PlannedEntry planned;
            bool end = false;
            if (const UnzipResult status = readHeader(reader.get(), planned, end);
                status != UnzipResult::ok) {
                return status;
            }
            // The archive changed between the passes.
            if (end || planned.components != expected.components ||
                planned.folder != expected.folder ||
                planned.declaredSize != expected.declaredSize) {
                return UnzipResult::archiveError;
            }
            if (!planned.selected) {
                continue;
            }
            if (planned.folder) {
                if (openFolders(planned.components, planned.components.size()).get() < 0) {
                    return UnzipResult::diskFull;
                }
            } else if (const UnzipResult status = writeFile(reader.get(), planned);
                       status != UnzipResult::ok) {
                return status;
            }
        }
        return UnzipResult::ok;
    }

    const UnzipCommand& m_command;
    const FreeSpaceFunction& m_freeSpace;
    std::vector<PlannedEntry> m_plan;
};

} // namespace

std::optional<UnzipCommand> parseUnzipCommandLine(const std::string& commandLine) {
    const auto pieces = splitPieces(commandLine);
    if (!pieces) {
        return std::nullopt;
    }
    std::size_t i = 0;
    for (; i < pieces->size() && isOption((*pieces)[i]); ++i) {
        const std::string& option = (*pieces)[i].text;
        // x extracts, o overwrites without asking, q is quiet: what this layer
        // always does. Other options are not understood.
        if (option.find_first_not_of("xoq", 1) != std::string::npos) {
            return std::nullopt;
        }
    }
    if (pieces->size() - i < 2) {
        return std::nullopt;
    }
    UnzipCommand command;
    command.archive = (*pieces)[i++].text;
    command.destination = (*pieces)[i++].text;
    if (command.archive.empty() || command.destination.empty() ||
        command.destination.back() != '/') {
        return std::nullopt;
    }
    while (command.destination.size() > 1 &&
           command.destination[command.destination.size() - 2] == '/') {
        command.destination.pop_back();
    }
    for (; i < pieces->size(); ++i) {
        if ((*pieces)[i].text.empty()) {
            return std::nullopt;
        }
        command.patterns.push_back((*pieces)[i].text);
    }
    return command;
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

UnzipResult unzipCommandLine(const std::string& commandLine, const FreeSpaceFunction& freeSpace) {
    const std::optional<UnzipCommand> command = parseUnzipCommandLine(commandLine);
    if (!command) {
        return UnzipResult::badCommandLine;
    }
    // libarchive turns entry names into the text of the current locale's
    // character set; in the C locale every non-ASCII name fails to convert.
    const Utf8NamesForThisThread names;
    return Extraction(*command, freeSpace).run();
}

int UnZip(void* /*owner*/, const std::string& commandLine, int, int) {
    return static_cast<int>(unzipCommandLine(commandLine, freeSpaceOf));
}

} // namespace morvik::platform
