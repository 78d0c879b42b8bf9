// Small inspection archives for end-to-end tests and documents that are valid
// or not against their schemas. The index is written as the real V08 index
// is (the ministry's namespace, values in attributes); the summary has the
// real summary's elements and attributes but stays in urn:hl7-org:v3, beside
// the made-up <doc> and <claim> roots its schema also declares, so that one
// schema file checks every document of these archives.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace morvik::test {

// Schema texts: the index schema declares <index> in the ministry's
// namespace, the summary schema declares <summary> and the document roots
// <doc> and <claim> in urn:hl7-org:v3.
extern const char* const kIndexSchema;
extern const char* const kSummarySchema;

std::string indexDocument();
std::string summaryDocument();
// <doc> with an integer value; valid unless the value is not a number.
std::string dataDocument(const std::string& value = "1");
std::string claimDocument();

// Files of an archive below its top-level folder: relative name and content.
// A name ending in "/" is a folder.
using ArchiveFiles = std::vector<std::pair<std::string, std::string>>;

// The usual layout: index, summary, XSD/ix08_V08.xsd and XSD/su08_V08.xsd.
ArchiveFiles standardFiles();

// Writes folder/<baseName>.zip holding the files under "<baseName>/";
// returns the ZIP path.
std::filesystem::path makeArchive(const std::filesystem::path& folder, const std::string& baseName,
                                  const ArchiveFiles& files);

} // namespace morvik::test
