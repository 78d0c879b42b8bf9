// Listing an archive's top level with libarchive: headers only, no data read.
#include "platform/zip/archivelisting.h"

#include <archive.h>
#include <archive_entry.h>

#include "platform/fs/fd.h"
#include "platform/text/utf8locale.h"
#include "platform/zip/unzip.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
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

// Calls each(entry's name with '/' between folders, is a folder) for every
// entry of the archive, in its order.
template <typename Each>
std::optional<std::string> forEachEntry(const std::string& archivePath, Each each) {
    // Names are converted to UTF-8 by the C library, which needs a UTF-8
    // locale whatever the process runs in.
    const Utf8NamesForThisThread utf8Names;
    ArchiveReader reader(archive_read_new());
    if (!reader) {
        return "out of memory";
    }
    // The same reading as the unzip layer: the central directory, and names
    // without the UTF-8 flag as CP932, as Japanese Windows tools write them.
    if (archive_read_support_format_zip_seekable(reader.get()) != ARCHIVE_OK ||
        archive_read_set_options(reader.get(), "hdrcharset=CP932") != ARCHIVE_OK) {
        return errorText(reader.get());
    }
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), 64 * 1024) != ARCHIVE_OK) {
        // libarchive does not take an archive that is nothing but its end
        // record; it holds nothing.
        const Fd fd = openForReading(archivePath);
        char head[4] = {};
        if (fd && ::read(fd.get(), head, sizeof head) == sizeof head &&
            std::memcmp(head, "PK\x05\x06", sizeof head) == 0) {
            return std::nullopt;
        }
        return errorText(reader.get());
    }
    archive_entry* entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) {
            return std::nullopt;
        }
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            return errorText(reader.get());
        }
        const char* name = archive_entry_pathname(entry);
        std::string path = name != nullptr ? name : "";
        // Archives from Windows tools separate folders with either slash.
        std::replace(path.begin(), path.end(), '\\', '/');
        each(path, archive_entry_filetype(entry) == AE_IFDIR);
    }
}

} // namespace

Result<std::vector<std::string>> entriesBesideTopFolder(const std::string& archivePath,
                                                        const std::string& baseName) {
    std::vector<std::string> beside;
    const auto failure = forEachEntry(archivePath, [&](const std::string& path, bool folder) {
        // As the extraction plan reads a name: "./" and empty components
        // stand for nothing.
        std::size_t start = 0;
        while (path.compare(start, 2, "./") == 0 || path.compare(start, 1, "/") == 0) {
            start += path[start] == '.' ? 2 : 1;
        }
        const std::size_t cut = path.find('/', start);
        const std::string first = path.substr(start, cut - start);
        if (first.empty()) {
            return;
        }
        const bool inside = isTopFolderName(first, baseName) &&
                            (folder || (cut != std::string::npos && cut + 1 < path.size()));
        if (!inside) {
            beside.push_back(path);
        }
    });
    if (failure) {
        return Failure{*failure};
    }
    return beside;
}

Result<std::vector<TopLevelName>> listTopLevel(const std::string& archivePath) {
    std::vector<TopLevelName> names;
    const auto failure = forEachEntry(archivePath, [&](const std::string& path, bool isFolder) {
        const auto cut = path.find('/');
        const std::string first = path.substr(0, cut);
        if (first.empty()) {
            return; // an absolute name: the unzip layer refuses it anyway
        }
        const bool below = cut != std::string::npos && cut + 1 < path.size();
        const bool folder = below || isFolder;
        auto known = std::find_if(names.begin(), names.end(),
                                  [&](const TopLevelName& n) { return n.name == first; });
        if (known == names.end()) {
            names.push_back({first, folder});
        } else {
            known->folder = known->folder || folder;
        }
    });
    if (failure) {
        return Failure{*failure};
    }
    return names;
}

} // namespace morvik::platform
