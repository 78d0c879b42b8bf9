// Archive extraction: the request to the unzip layer, the already-extracted
// check, and the messages when extraction is refused or fails.
#include "inspection/zipextract.h"

#include "inspection/filenames.h"
#include "platform/fs/folderlisting.h"
#include "platform/text/utf8.h"

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
    const std::size_t length = error == std::errc() ? static_cast<std::size_t>(end - digits) : 0;
    return platform::upperAscii(std::string_view(digits, length));
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

int ZipExtract(const ExtractionRequest& request, std::string& extractionFolder,
               MessageBox& messages, ProgramStart& programs, ExtractionFacts* facts) {
    const char separator = request.separator;
    const ExtractionPlace place =
        extractionPlaceOf(request.zipPath, request.extractInto, separator);
    if (facts != nullptr) {
        *facts = ExtractionFacts{request.zipPath, place, {}, false, !request.extractInto.empty()};
    }

    // What a killed extraction left is rolled back before anything is judged:
    // its half tree must not count as an extracted copy.
    const bool recovered =
        !request.extractor && platform::recoverInterruptedExtractions(place.destination) > 0;
    if (facts != nullptr) {
        facts->unzip.recovered = recovered;
    }

    // The folder named like the ZIP file, however the earlier archive spelt
    // its letter case, counts: where the archives come from it is one folder.
    bool extracted = false;
    CaseInsensitiveNames names;
    std::vector<std::string> folders = names.folders(place.destination, place.baseName);
    if (folders.empty()) {
        folders.push_back(place.baseName);
    }
    for (const std::string& folder : folders) {
        extracted = extracted || holdsFileBelow(place.destination + folder + separator, separator);
    }
    if (extracted) {
        messages.show("XMLZip圧縮フォルダには、すでに解凍済みのXMLファイルが含まれています。",
                      kAppTitle, MessageIcon::none);
        programs.openFolder(place.destination);
        return -1;
    }

    platform::UnzipRequest unzip;
    unzip.archive = request.zipPath;
    unzip.destination = place.destination;
    unzip.options.limits = request.limits;
    unzip.options.existingFiles = platform::ExistingFiles::replaceOnlyInTopFolder;
    // Only the top folder is the archive's to write.
    unzip.options.entriesBeside = platform::EntriesBeside::leaveInArchive;
    unzip.stopRequested = request.stopRequested;
    unzip.sink = request.sink;
    platform::UnzipOutcome outcome =
        request.extractor ? request.extractor(unzip) : platform::extractArchive(unzip);
    const int result = static_cast<int>(outcome.result);
    const bool stopped = outcome.cause == platform::UnzipCause::stopped;
    if (facts != nullptr) {
        facts->unzip = std::move(outcome);
        facts->unzip.recovered = facts->unzip.recovered || recovered;
    }
    // Stopped on request: no failure to tell; the destination is as it was.
    if (stopped) {
        return -1;
    }
    if (result != 0) {
        messages.show("解凍に失敗しました。Error Code:0x" + hexCode(result), "Failed",
                      MessageIcon::critical);
        return -1;
    }
    extractionFolder = place.folder();
    return 0;
}

int ZipExtract(const std::string& zipPath, std::string& extractionFolder, MessageBox& messages,
               ProgramStart& programs) {
    ExtractionRequest request;
    request.zipPath = zipPath;
    return ZipExtract(request, extractionFolder, messages, programs);
}

} // namespace morvik::inspection
