// What a ZIP archive holds at its top level, read from its table of contents
// without unpacking anything: lets a front end say why the documents are not
// where the run looks for them.
#pragma once

#include "platform/result.h"

#include <string>
#include <vector>

namespace morvik::platform {

// A top-level name of an archive: the first component of its entries' names.
struct TopLevelName {
    std::string name;    // as UTF-8 (names without the UTF-8 flag read as CP932)
    bool folder = false; // some entry lies below it, or it is a folder entry
};

// The distinct top-level names in the order of their first entry. A failure
// when the file cannot be opened or read as a ZIP archive.
Result<std::vector<TopLevelName>> listTopLevel(const std::string& archivePath);

// The entries that lie beside the top folder named baseName (in any letter
// case, as isTopFolderName says), which the extraction leaves in the archive:
// their names as the archive gives them, in its order.
Result<std::vector<std::string>> entriesBesideTopFolder(const std::string& archivePath,
                                                        const std::string& baseName);

} // namespace morvik::platform
