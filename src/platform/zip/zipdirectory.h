// The directory of a ZIP archive, read from the archive's own bytes without
// inflating anything: the end record (ZIP64 too), the central directory and
// each entry's local header, checked against each other and for overlaps.
// Names, types and sizes come out as libarchive will report them when it
// reads the data later, so that everything that can be decided from them is
// decided before anything is written.
#pragma once

#include "platform/zip/namestore.h"
#include "platform/zip/unzip.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvik::platform {

enum class ZipEntryType {
    file,
    folder,
    special, // a symbolic link, device, socket or a type not known
};

struct ZipEntryRecord {
    // UTF-8, exactly as libarchive will name the entry (a backslash is still a
    // backslash here); kept in the directory's names, NUL-terminated.
    std::string_view name;
    ZipEntryType type = ZipEntryType::file;
    bool encrypted = false;
    std::uint16_t method = 0;
    std::uint64_t headerOffset = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
};

struct ZipDirectory {
    std::uint64_t archiveSize = 0;
    // Where the end record starts; the archive's comment follows its 22 bytes.
    std::uint64_t endRecordOffset = 0;
    // Sorted by the offset of their local headers: the order in which
    // libarchive reads them.
    std::vector<ZipEntryRecord> entries;
    // Where the entries' names are: one store, not a string per entry.
    NameStore names;
};

// Reads the directory of the archive open at fd (any position; the file
// offset is not moved). The result is ok when the directory is sound: one end
// record, the central directory right before it, every local header where the
// central directory says and agreeing with it, no two entries sharing a byte,
// every name decodable (UTF-8 when flagged, CP932 otherwise) and free of
// control characters.
UnzipOutcome readZipDirectory(int fd, ZipDirectory& directory);

} // namespace morvik::platform
