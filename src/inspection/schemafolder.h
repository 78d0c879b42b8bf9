// Schema folder resolution: the folder whose XSD files the run validates
// against, from the user's folder text or from the extraction folder.
#pragma once

#include "inspection/paths.h"

#include <string>

namespace morvik::inspection {

// The six standard schema names, compared exactly with a listed file name.
bool isStandardSchemaName(const std::string& name);

// schemaText as typed (used when not empty) or else extractionFolder. Returns
// the schema folder, ending with the separator, or the empty text when no
// folder qualifies.
[[nodiscard]] std::string resolveSchemaFolder(const std::string& schemaText,
                                              const std::string& extractionFolder,
                                              char separator = kPathSeparator);

} // namespace morvik::inspection
