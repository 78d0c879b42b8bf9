// Schema folder resolution: the folder typed in, or the extraction folder,
// or its XSD sub-folder, by the first *.xsd name each lists.
#include "inspection/schemafolder.h"

#include "inspection/standardnames.h"
#include "platform/fs/folderlisting.h"
#include "platform/text/utf8.h"

#include <string_view>

namespace morvik::inspection {

using platform::FolderListing;

bool isStandardSchemaName(const std::string& name) {
    for (const std::string_view standard : kStandardSchemaNames) {
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
        if (platform::upperAscii(entry) != kSchemaSubFolder) {
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
