// Schema folder resolution (see schemafolder.h).
#include "inspection/schemafolder.h"

#include "platform/folderlisting.h"

#include <array>
#include <string_view>

namespace morvik::inspection {

namespace {

using platform::FolderListing;

std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

} // namespace

bool isStandardSchemaName(const std::string& name) {
    static constexpr std::array<std::string_view, 6> kStandardNames = {
        "cc08_V08.xsd", "co08_V08.xsd", "gc08_V08.xsd",
        "hc08_V08.xsd", "ix08_V08.xsd", "su08_V08.xsd",
    };
    for (const std::string_view standard : kStandardNames) {
        if (name == standard) {
            return true;
        }
    }
    return false;
}

std::string resolveSchemaFolder(const std::string& schemaText, const std::string& extractionFolder,
                                char separator) {
    const std::string& baseFolder = schemaText.empty() ? extractionFolder : schemaText;
    // Both texts empty would make the folder a lone separator, the root of the
    // file system; no schema folder is looked for there.
    if (baseFolder.empty()) {
        return {};
    }
    const std::string folder = baseFolder + Getpbsl(baseFolder, separator);

    // Only the first "*.xsd" name counts: the listing's name order makes a
    // complete standard set qualify through cc08_V08.xsd.
    FolderListing listing;
    if (isStandardSchemaName(listing.first(folder + "*.xsd", FolderListing::Mask::files))) {
        return folder;
    }
    for (std::string entry = listing.first(folder + "*.*", FolderListing::Mask::filesAndFolders);
         !entry.empty(); entry = listing.next()) {
        if (upperAscii(entry) != "XSD") {
            continue;
        }
        // The entry's own spelling: on this file system "XSD" does not reach a
        // folder named "xsd". Only this first XSD entry is examined.
        const std::string subFolder = folder + entry + separator;
        if (isStandardSchemaName(listing.first(subFolder + "*.xsd", FolderListing::Mask::files))) {
            return subFolder;
        }
        return {};
    }
    return {};
}

} // namespace morvik::inspection
