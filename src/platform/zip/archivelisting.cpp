// Listing an archive's top level with libarchive: headers only, no data read.
#include "platform/zip/archivelisting.h"

#include <archive.h>
#include <archive_entry.h>

#include "platform/fs/fd.h"
#include "platform/text/utf8locale.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace morvik::platform {

namespace {

struct ArchiveReadFree {
    void operator()(archive* a) const noexcept { archive_read_free(a); }
};
using ArchiveReader = std::unique_ptr<archive, ArchiveReadFree>;

std::string errorText(archive* a) {
    const char* text = archive_error_string(a);
    return text != nullptr ? text : "unreadable archive";
}

} // namespace

Result<std::vector<TopLevelName>> listTopLevel(const std::string& archivePath) {
    // Names are converted to UTF-8 by the C library, which needs a UTF-8
    // locale whatever the process runs in.
    const Utf8NamesForThisThread utf8Names;
    ArchiveReader reader(archive_read_new());
    if (!reader) {
        return Failure{"out of memory"};
    }
    // The same reading as the unzip layer: the central directory, and names
    // without the UTF-8 flag as CP932, as Japanese Windows tools write them.
    if (archive_read_support_format_zip_seekable(reader.get()) != ARCHIVE_OK ||
        archive_read_set_options(reader.get(), "hdrcharset=CP932") != ARCHIVE_OK) {
        return Failure{errorText(reader.get())};
    }
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), 64 * 1024) != ARCHIVE_OK) {
        // libarchive does not take an archive that is nothing but its end
        // record; it holds nothing.
        const Fd fd = openForReading(archivePath);
        char head[4] = {};
        if (fd && ::read(fd.get(), head, sizeof head) == sizeof head &&
            std::memcmp(head, "PK\x05\x06", sizeof head) == 0) {
            return std::vector<TopLevelName>{};
        }
        return Failure{errorText(reader.get())};
    }
    std::vector<TopLevelName> names;
    archive_entry* entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            return Failure{errorText(reader.get())};
        }
        const char* name = archive_entry_pathname(entry);
        std::string path = name != nullptr ? name : "";
        // Archives from Windows tools separate folders with either slash.
        std::replace(path.begin(), path.end(), '\\', '/');
        const auto cut = path.find('/');
        const std::string first = path.substr(0, cut);
        if (first.empty()) {
            continue; // an absolute name: the unzip layer refuses it anyway
        }
        const bool below = cut != std::string::npos && cut + 1 < path.size();
        const bool folder = below || archive_entry_filetype(entry) == AE_IFDIR;
        auto known = std::find_if(names.begin(), names.end(),
                                  [&](const TopLevelName& n) { return n.name == first; });
        if (known == names.end()) {
            names.push_back({first, folder});
        } else {
            known->folder = known->folder || folder;
        }
    }
    return names;
}

} // namespace morvik::platform
