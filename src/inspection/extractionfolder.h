// Where an archive is unpacked and where its documents are then looked for:
// the destination folder (the ZIP file's own folder, or the folder the user
// named instead), and below it the extraction folder, named like the ZIP file
// without its extension. Every part of the program that needs either asks
// here.
#pragma once

#include "inspection/paths.h"

#include <string>

namespace morvik::inspection {

struct ExtractionPlace {
    // The folder the archive is unpacked into, with one closing separator.
    std::string destination;
    // The ZIP file's name without its extension.
    std::string baseName;
    char separator = kPathSeparator;

    // destination + base name + separator: where the documents are expected.
    [[nodiscard]] std::string folder() const { return destination + baseName + separator; }
};

// The place for zipPath. extractInto, when not empty, takes the place of the
// ZIP file's folder (closing separators made one). A ZIP path without any
// separator names a file in the current folder: the destination is then "."
// and a separator, never a lone separator, the root of the file system.
[[nodiscard]] ExtractionPlace extractionPlaceOf(const std::string& zipPath,
                                                const std::string& extractInto = {},
                                                char separator = kPathSeparator);

// The same place with its destination made absolute (against the current
// folder) and normalised, as it is shown to people.
[[nodiscard]] ExtractionPlace absolutePlace(const ExtractionPlace& place);

} // namespace morvik::inspection
