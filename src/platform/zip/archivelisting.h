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

} // namespace morvik::platform
