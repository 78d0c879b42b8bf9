// What a ZIP archive holds at its top level, read from its table of contents
// without unpacking anything: lets a front end say why the documents are not
// where the run looks for them.
#pragma once

#include "platform/result.h"
#include "platform/zip/unzip.h"

#include <string>
#include <vector>

namespace morvik::platform {

// The distinct top-level names in the order of their first entry. A failure
// when the file cannot be opened or read as a ZIP archive.
Result<std::vector<TopLevelName>> listTopLevel(const std::string& archivePath);

// The entries that lie beside the top folder named baseName (in any letter
// case, as isTopFolderName says), which the extraction leaves in the archive:
// their names as the archive gives them, in its order.
Result<std::vector<std::string>> entriesBesideTopFolder(const std::string& archivePath,
                                                        const std::string& baseName);

} // namespace morvik::platform
