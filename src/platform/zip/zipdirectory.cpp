// Reading a ZIP archive's directory with pread alone. The layout (APPNOTE):
// local header + name + extra + data [+ descriptor] for each entry, then the
// central directory (one record per entry), [ZIP64 end record and locator],
// then the end record and the archive comment. Where libarchive reads a field
// from the local header rather than the central one (name, flags, method),
// both must agree here, so that what is checked is what gets written.
#include "platform/zip/zipdirectory.h"

#include "platform/zip/unzipfailure.h"
#include "platform/zip/zipfields.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace morvik::platform {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kEnd64Signature = 0x06064b50;
constexpr std::uint32_t kLocator64Signature = 0x07064b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;

constexpr std::uint16_t kFlagEncrypted = 1u << 0;
constexpr std::uint16_t kFlagDescriptor = 1u << 3;
constexpr std::uint16_t kFlagStrongEncryption = 1u << 6;
constexpr std::uint16_t kFlagUtf8 = 1u << 11;
constexpr std::uint16_t kMethodAes = 99;

// The end record (22 bytes) is followed by a comment of at most 65,535 bytes.
// (libarchive looks in the last 16 KiB only; the unzip layer hands it the
// archive without its comment.)
constexpr std::size_t kEndSearch = 65535 + 22;
constexpr std::size_t kCentralReadAhead = 64 * 1024;

// The archive's bytes by offset. Sequential reads of the central directory
// go through a read-ahead window; local headers are read as they are needed.
class ArchiveBytes {
public:
    ArchiveBytes(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}

    // n bytes at offset, valid until the next call; nullptr when they are not
    // all inside the archive or cannot be read.
    const char* at(std::uint64_t offset, std::size_t n, std::size_t readAhead = 0) {
        if (offset > m_size || n > m_size - offset) {
            return nullptr;
        }
        if (offset >= m_start && offset + n <= m_start + m_buffer.size()) {
            return m_buffer.data() + (offset - m_start);
        }
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::max(n, readAhead), m_size - offset));
        m_buffer.resize(want);
        m_start = offset;
        std::size_t done = 0;
        while (done < want) {
            const ssize_t got = ::pread(m_fd, m_buffer.data() + done, want - done,
                                        static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                m_buffer.clear();
                return nullptr;
            }
            done += static_cast<std::size_t>(got);
        }
        return m_buffer.data();
    }

private:
    int m_fd;
    std::uint64_t m_size;
    std::uint64_t m_start = 0;
    std::string m_buffer;
};

// The first bytes tell how an archive without a usable end record fails: a
// local header that never reaches its directory is cut short, an end record
// alone is an empty archive.
UnzipOutcome withoutDirectory(ArchiveBytes& bytes) {
    const char* head = bytes.at(0, 4);
    const auto signature = head != nullptr ? static_cast<std::uint32_t>(littleEndian(head, 4)) : 0;
    if (signature == kLocalSignature) {
        return unzipFailure(UnzipResult::unexpectedEnd, UnzipCause::truncated, "",
                            "the archive ends before its directory");
    }
    if (signature == kEndSignature) {
        return unzipFailure(UnzipResult::noMatchingFiles, UnzipCause::noMatchingFiles, "",
                            "the archive is empty");
    }
    return unzipFailure(UnzipResult::archiveNotFound, UnzipCause::archiveUnreadable, "",
                        "not a ZIP archive");
}

UnzipOutcome damaged(const std::string& entry, const std::string& what) {
    return unzipFailure(UnzipResult::archiveError, UnzipCause::damagedArchive, entry, what);
}

// Where the central directory is and how many records it holds.
struct CentralDirectory {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t entries = 0;
    std::uint64_t endOffset = 0;
};

UnzipOutcome findCentralDirectory(ArchiveBytes& bytes, std::uint64_t archiveSize,
                                  CentralDirectory& central) {
    if (archiveSize < 22) {
        return withoutDirectory(bytes);
    }
    const std::size_t tail =
        static_cast<std::size_t>(std::min<std::uint64_t>(kEndSearch, archiveSize));
    const char* window = bytes.at(archiveSize - tail, tail);
    if (window == nullptr) {
        return unzipFailure(UnzipResult::archiveNotFound, UnzipCause::archiveUnreadable, "",
                            "the archive cannot be read");
    }
    // The end record is the one whose comment ends the file (a comment may
    // hold the signature too); failing that, the last signature.
    std::optional<std::size_t> found;
    std::optional<std::size_t> last;
    for (std::size_t i = tail - 22 + 1; i-- > 0;) {
        if (littleEndian(window + i, 4) == kEndSignature) {
            if (!last) {
                last = i;
            }
            if (i + 22 + littleEndian(window + i + 20, 2) == tail) {
                found = i;
                break;
            }
        }
    }
    if (!found) {
        found = last;
    }
    if (!found) {
        return withoutDirectory(bytes);
    }
    const std::uint64_t endOffset = archiveSize - tail + *found;
    const std::string end(window + *found, 22);
    const char* e = end.data();
    central.endOffset = endOffset;
    // The last part of an archive split over several disks (or files) names
    // a disk other than 0: the other parts hold the entries.
    if ((littleEndian(e + 4, 2) != 0 || littleEndian(e + 6, 2) != 0) &&
        endOffset + 22 + littleEndian(e + 20, 2) == archiveSize) {
        return unzipFailure(UnzipResult::unexpectedEnd, UnzipCause::multiDisk, "",
                            "the archive is part " + std::to_string(littleEndian(e + 4, 2) + 1) +
                                " of an archive split over several disks");
    }
    const bool endUsable = littleEndian(e + 4, 2) == 0 && littleEndian(e + 6, 2) == 0 &&
                           littleEndian(e + 8, 2) == littleEndian(e + 10, 2) &&
                           littleEndian(e + 16, 4) + littleEndian(e + 12, 4) <= endOffset;
    bool zip64 = false;
    std::uint64_t end64Offset = 0;
    if (endOffset >= 20) {
        const char* locator = bytes.at(endOffset - 20, 20);
        if (locator != nullptr && littleEndian(locator, 4) == kLocator64Signature) {
            const std::string l(locator, 20);
            end64Offset = littleEndian(l.data() + 8, 8);
            const char* r =
                littleEndian(l.data() + 4, 4) == 0 && littleEndian(l.data() + 16, 4) == 1
                    ? bytes.at(end64Offset, 56)
                    : nullptr;
            if (r != nullptr && littleEndian(r, 4) == kEnd64Signature &&
                littleEndian(r + 16, 4) == 0 && littleEndian(r + 20, 4) == 0 &&
                littleEndian(r + 24, 8) == littleEndian(r + 32, 8)) {
                const std::uint64_t recordSize = littleEndian(r + 4, 8) + 12;
                // libarchive takes records of 56 bytes to 16 KiB only.
                if (recordSize < 56 || recordSize > 16384 ||
                    end64Offset + recordSize != endOffset - 20) {
                    return damaged("", "the ZIP64 end record is damaged");
                }
                zip64 = true;
                central.entries = littleEndian(r + 32, 8);
                central.size = littleEndian(r + 40, 8);
                central.offset = littleEndian(r + 48, 8);
            } else if (!endUsable) {
                return withoutDirectory(bytes);
            } else {
                return damaged("", "the ZIP64 end record is damaged");
            }
        }
    }
    if (!zip64) {
        if (!endUsable) {
            return withoutDirectory(bytes);
        }
        central.entries = littleEndian(e + 10, 2);
        central.size = littleEndian(e + 12, 4);
        central.offset = littleEndian(e + 16, 4);
    }
    // Nothing may lie between the directory and its end record, and nothing
    // after the comment: libarchive finds the directory by counting back from
    // the end record and would otherwise read other bytes than these.
    const std::uint64_t directoryEnd = zip64 ? end64Offset : endOffset;
    if (central.offset > directoryEnd || central.size != directoryEnd - central.offset) {
        return damaged("", "the central directory is not where the end record says");
    }
    if (endOffset + 22 + littleEndian(e + 20, 2) != archiveSize) {
        return damaged("", "bytes follow the end of the archive");
    }
    return {};
}

struct CentralRecord {
    ZipEntryRecord entry;
    std::string nameBytes;
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    std::uint32_t mode = 0;
};

UnzipOutcome readCentralRecord(ArchiveBytes& bytes, std::uint64_t& at, std::uint64_t end,
                               CentralRecord& record) {
    const char* p = bytes.at(at, 46, kCentralReadAhead);
    if (p == nullptr || at + 46 > end || littleEndian(p, 4) != kCentralSignature) {
        return damaged("", "a central directory record is damaged");
    }
    const unsigned system = static_cast<unsigned>(littleEndian(p + 5, 1));
    record.flags = static_cast<std::uint16_t>(littleEndian(p + 8, 2));
    record.entry.method = static_cast<std::uint16_t>(littleEndian(p + 10, 2));
    record.crc = static_cast<std::uint32_t>(littleEndian(p + 16, 4));
    ExtraFields fields;
    fields.compressedSize = littleEndian(p + 20, 4);
    fields.size = littleEndian(p + 24, 4);
    const std::size_t nameLength = littleEndian(p + 28, 2);
    const std::size_t extraLength = littleEndian(p + 30, 2);
    const std::size_t commentLength = littleEndian(p + 32, 2);
    const auto externalAttributes = static_cast<std::uint32_t>(littleEndian(p + 38, 4));
    fields.headerOffset = littleEndian(p + 42, 4);
    fields.system = system;
    fields.mode = modeFrom(system, externalAttributes);
    const std::uint64_t recordEnd = at + 46 + nameLength + extraLength + commentLength;
    const char* v = bytes.at(at + 46, nameLength + extraLength, kCentralReadAhead);
    if (recordEnd > end || v == nullptr) {
        return damaged("", "a central directory record runs past the directory");
    }
    record.nameBytes.assign(v, nameLength);
    if (!readExtraFields(v + nameLength, extraLength, fields)) {
        return damaged(printableName(record.nameBytes), "malformed extra field in the directory");
    }
    record.mode = fields.mode;
    record.entry.size = fields.size;
    record.entry.compressedSize = fields.compressedSize;
    record.entry.headerOffset = fields.headerOffset;
    record.entry.encrypted = (record.flags & (kFlagEncrypted | kFlagStrongEncryption)) != 0 ||
                             record.entry.method == kMethodAes;
    at = recordEnd;
    return {};
}

// Reads the local header of a record, decodes its name and settles its type;
// extent is where the entry's bytes end (data and descriptor).
UnzipOutcome readLocalHeader(ArchiveBytes& bytes, std::uint64_t archiveSize, CentralRecord& record,
                             std::uint64_t& extent, NameStore& names) {
    ZipEntryRecord& entry = record.entry;
    const std::string shown = printableName(record.nameBytes);
    const char* p = bytes.at(entry.headerOffset, 30);
    if (p == nullptr || littleEndian(p, 4) != kLocalSignature) {
        return damaged(shown, "no local header where the directory says");
    }
    const auto flags = static_cast<std::uint16_t>(littleEndian(p + 6, 2));
    const auto method = static_cast<std::uint16_t>(littleEndian(p + 8, 2));
    const auto crc = static_cast<std::uint32_t>(littleEndian(p + 14, 4));
    ExtraFields fields;
    fields.system = static_cast<unsigned>(littleEndian(p + 5, 1));
    fields.mode = record.mode;
    fields.compressedSize = littleEndian(p + 18, 4);
    fields.size = littleEndian(p + 22, 4);
    fields.headerOffset = 0;
    const std::size_t nameLength = littleEndian(p + 26, 2);
    const std::size_t extraLength = littleEndian(p + 28, 2);
    const char* v = bytes.at(entry.headerOffset + 30, nameLength + extraLength);
    if (v == nullptr) {
        return damaged(shown, "the local header runs past the archive");
    }
    if (std::string_view(v, nameLength) != record.nameBytes) {
        return damaged(shown, "the local header names the entry otherwise");
    }
    if (!readExtraFields(v + nameLength, extraLength, fields)) {
        return damaged(shown, "malformed extra field in the local header");
    }
    if ((flags & kFlagUtf8) != (record.flags & kFlagUtf8) || method != entry.method) {
        return damaged(shown, "the local header contradicts the directory");
    }
    entry.encrypted = entry.encrypted || (flags & (kFlagEncrypted | kFlagStrongEncryption)) != 0;
    // libarchive takes a local value where it is set and refuses one that differs.
    const auto differs = [](std::uint64_t local, std::uint64_t central) {
        return local != 0 && local != kUnset32 && local != central;
    };
    if ((crc != 0 && crc != record.crc) || differs(fields.size, entry.size) ||
        differs(fields.compressedSize, entry.compressedSize)) {
        return damaged(shown, "the local header's sizes or CRC differ from the directory");
    }

    // The name, as libarchive reads it from the local header.
    if (record.nameBytes.find('\0') != std::string::npos) {
        return unzipFailure(UnzipResult::archiveError, UnzipCause::controlCharacter, shown,
                            "the name holds a control character");
    }
    std::string_view name;
    std::optional<std::string> decoded;
    if ((flags & kFlagUtf8) != 0) {
        if (!isValidUtf8(record.nameBytes)) {
            return unzipFailure(UnzipResult::archiveError, UnzipCause::undecodableName, shown,
                                "the name is flagged UTF-8 but is not");
        }
        name = record.nameBytes;
    } else if ((decoded = fromCp932(record.nameBytes))) {
        name = *decoded;
    } else {
        return unzipFailure(UnzipResult::archiveError, UnzipCause::undecodableName, shown,
                            "the name cannot be decoded as CP932");
    }
    for (const auto& [nameCrc, unicodeName] : fields.unicodePaths) {
        if (nameCrc != crc32Of(name)) {
            continue; // written for another name: libarchive ignores it
        }
        if (!isValidUtf8(unicodeName) || unicodeName.find('\0') != std::string::npos) {
            return unzipFailure(UnzipResult::archiveError, UnzipCause::undecodableName, shown,
                                "the Unicode path field is not UTF-8 text");
        }
        name = unicodeName;
    }
    if (hasControlCharacter(name)) {
        return unzipFailure(UnzipResult::archiveError, UnzipCause::controlCharacter,
                            printableName(name), "the name holds a control character");
    }
    entry.name = names.keep(name);

    // The type: the mode's, a name ending in '/' is a folder, no type is a file.
    std::uint32_t type = fields.mode & S_IFMT;
    if (type == S_IFIFO) {
        type = S_IFREG;
    }
    if (type != S_IFDIR) {
        // Windows tools may separate with backslashes only.
        const bool backslashesOnly = fields.system == 0 && name.find('/') == std::string::npos;
        const char last = name.empty() ? '\0' : name.back();
        if (last == '/' || (backslashesOnly && last == '\\')) {
            type = S_IFDIR;
        } else if (type == 0) {
            type = S_IFREG;
        }
    }
    entry.type = type == S_IFDIR   ? ZipEntryType::folder
                 : type == S_IFREG ? ZipEntryType::file
                                   : ZipEntryType::special;

    const std::uint64_t dataOffset = entry.headerOffset + 30 + nameLength + extraLength;
    if (entry.compressedSize > archiveSize) {
        extent = UINT64_MAX; // past any archive: refused as running outside the data
        return {};
    }
    extent = dataOffset + entry.compressedSize;
    if ((flags & kFlagDescriptor) != 0) {
        const char* signature = bytes.at(extent, 4);
        const bool withSignature =
            signature != nullptr && littleEndian(signature, 4) == kDescriptorSignature;
        extent += (withSignature ? 4 : 0) + (fields.zip64 ? 20 : 12);
    }
    return {};
}

} // namespace

UnzipOutcome readZipDirectory(int fd, ZipDirectory& directory) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return unzipFailure(UnzipResult::archiveNotFound, UnzipCause::archiveUnreadable, "",
                            "the archive is not a regular file");
    }
    directory.archiveSize = static_cast<std::uint64_t>(info.st_size);
    directory.entries.clear();
    directory.names = NameStore();
    ArchiveBytes bytes(fd, directory.archiveSize);
    CentralDirectory central;
    if (UnzipOutcome failure = findCentralDirectory(bytes, directory.archiveSize, central);
        failure.result != UnzipResult::ok) {
        return failure;
    }
    directory.endRecordOffset = central.endOffset;

    // Each record takes at least 46 bytes, so the count cannot make this
    // reserve more than the directory's size allows.
    std::vector<CentralRecord> records;
    records.reserve(static_cast<std::size_t>(std::min(central.entries, central.size / 46)));
    std::uint64_t at = central.offset;
    const std::uint64_t end = central.offset + central.size;
    for (std::uint64_t i = 0; i < central.entries; ++i) {
        CentralRecord record;
        if (UnzipOutcome failure = readCentralRecord(bytes, at, end, record);
            failure.result != UnzipResult::ok) {
            return failure;
        }
        records.push_back(std::move(record));
    }
    if (at != end) {
        return damaged("", "the central directory holds more than its records");
    }

    std::sort(records.begin(), records.end(), [](const CentralRecord& a, const CentralRecord& b) {
        return a.entry.headerOffset < b.entry.headerOffset;
    });
    // Entries that share a local header are found before their headers are read.
    for (std::size_t i = 1; i < records.size(); ++i) {
        if (records[i].entry.headerOffset == records[i - 1].entry.headerOffset) {
            return unzipFailure(UnzipResult::archiveError, UnzipCause::overlappingEntries,
                                printableName(records[i].nameBytes),
                                "two entries share one local header");
        }
    }
    std::uint64_t previousExtent = 0;
    std::string previousName;
    directory.entries.reserve(records.size());
    for (CentralRecord& record : records) {
        // An entry's bytes must end before the next entry and before the
        // directory: overlapping entries let a small archive unpack without end.
        if (record.entry.headerOffset < previousExtent) {
            return unzipFailure(UnzipResult::archiveError, UnzipCause::overlappingEntries,
                                printableName(record.nameBytes),
                                "the entry overlaps " + previousName);
        }
        std::uint64_t extent = 0;
        if (UnzipOutcome failure =
                readLocalHeader(bytes, directory.archiveSize, record, extent, directory.names);
            failure.result != UnzipResult::ok) {
            return failure;
        }
        // The name is kept in the directory's store now.
        record.nameBytes = std::string();
        if (extent > central.offset) {
            return unzipFailure(UnzipResult::archiveError, UnzipCause::overlappingEntries,
                                printableName(record.entry.name),
                                "the entry's data runs past the archive's data");
        }
        previousExtent = extent;
        previousName = "\"" + printableName(record.entry.name) + "\"";
        directory.entries.push_back(std::move(record.entry));
    }
    return {};
}

} // namespace morvik::platform
