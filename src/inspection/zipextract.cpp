// Archive extraction: the unzip command line, the already-extracted check,
// and the messages when extraction is refused or fails.
#include "inspection/zipextract.h"

#include "inspection/filenames.h"
#include "platform/fs/folderlisting.h"
#include "platform/text/utf8.h"
#include "platform/zip/unzip.h"

#include <charconv>
#include <cstdint>

namespace morvik::inspection {

namespace {

// Upper-case hexadecimal without leading zeros; a negative value as the
// eight digits of its 32-bit two's complement (-1 gives FFFFFFFF).
std::string hexCode(int value) {
    char digits[8];
    const auto [end, error] =
        std::to_chars(digits, digits + sizeof digits, static_cast<std::uint32_t>(value), 16);
    return platform::upperAscii(std::string_view(digits, error == std::errc() ? end : digits));
}

// Whether folder holds an ordinary file at any depth. A file further down
// (the user's own edited DATA/…xml, a note) is as much in the way as one at
// the top: the archive's documents would replace it, or it would be
// inspected as the archive's own. Folders with nothing but empty sub-folders
// are free.
bool holdsFileBelow(const std::string& folder, char separator, int depth = 0) {
    // Deeper than any archive's folders: a loop of links.
    constexpr int kMaxDepth = 64;
    if (depth > kMaxDepth) {
        return true;
    }
    for (const platform::FolderEntry& entry : platform::folderEntries(folder)) {
        if (!entry.folder ||
            holdsFileBelow(folder + entry.name + separator, separator, depth + 1)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::string unzipCommandLineFor(const std::string& zipPath, const std::string& zipFolder,
                                char separator) {
    return "-x -o -q " + platform::quotedUnzipPiece(zipPath) + " " +
           platform::quotedUnzipPiece(zipFolder + separator) + " *.*";
}

UnZipFunction platformUnZip(const platform::ExtractionLimits& limits) {
    platform::ExtractionOptions options;
    options.limits = limits;
    options.existingFiles = platform::ExistingFiles::replaceOnlyInTopFolder;
    options.entriesBeside = platform::EntriesBeside::leaveInArchive;
    return [options](void* owner, const std::string& commandLine, int, int) {
        return platform::UnZip(owner, commandLine, options);
    };
}

int ZipExtract(const std::string& zipPath, std::string& extractionFolder, MessageBox& messages,
               ProgramStart& programs, const UnZipFunction& unzip, void* owner, char separator,
               int* unzipCode, const std::string& destinationFolder) {
    std::string baseName;
    std::string fileName;
    std::string zipFolder = GetDirectoryMemberSplit(zipPath, baseName, fileName, separator);
    // A ZIP path without any separator names a file in the current folder. An
    // empty folder part must not stay empty: the destination would then read
    // as a lone separator, the root of the file system.
    if (zipFolder.empty()) {
        zipFolder = std::string(".") + separator;
    }
    // Another destination is used like the ZIP folder: with one closing
    // separator, to which the command line adds the second.
    if (!destinationFolder.empty()) {
        zipFolder = destinationFolder;
        while (zipFolder.size() > 1 && zipFolder.back() == separator) {
            zipFolder.pop_back();
        }
        if (zipFolder.back() != separator) {
            zipFolder += separator;
        }
    }
    const std::string commandLine = unzipCommandLineFor(zipPath, zipFolder, separator);

    // The folder named like the ZIP file, however the earlier archive spelt
    // its letter case, counts: where the archives come from it is one folder.
    bool extracted = false;
    CaseInsensitiveNames names;
    std::vector<std::string> folders = names.folders(zipFolder, baseName);
    if (folders.empty()) {
        folders.push_back(baseName);
    }
    for (const std::string& folder : folders) {
        extracted = extracted || holdsFileBelow(zipFolder + folder + separator, separator);
    }
    if (extracted) {
        messages.show("XMLZip圧縮フォルダには、すでに解凍済みのXMLファイルが含まれています。",
                      kAppTitle, MessageIcon::none);
        programs.openFolder(zipFolder);
        return -1;
    }

    const int result = unzip(owner, commandLine, 0, 0);
    if (result != 0) {
        if (unzipCode != nullptr) {
            *unzipCode = result;
        }
        messages.show("解凍に失敗しました。Error Code:0x" + hexCode(result), "Failed",
                      MessageIcon::critical);
        return -1;
    }
    extractionFolder = zipFolder + baseName + separator;
    return 0;
}

int ZipExtract(const std::string& zipPath, std::string& extractionFolder, MessageBox& messages,
               ProgramStart& programs, int* unzipCode, const std::string& destinationFolder) {
    return ZipExtract(zipPath, extractionFolder, messages, programs, platform::ExtractionLimits(),
                      unzipCode, destinationFolder);
}

int ZipExtract(const std::string& zipPath, std::string& extractionFolder, MessageBox& messages,
               ProgramStart& programs, const platform::ExtractionLimits& limits, int* unzipCode,
               const std::string& destinationFolder) {
    return ZipExtract(zipPath, extractionFolder, messages, programs, platformUnZip(limits), nullptr,
                      kPathSeparator, unzipCode, destinationFolder);
}

} // namespace morvik::inspection
