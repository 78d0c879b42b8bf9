// Small inspection archives for end-to-end tests: a schema set in
// urn:hl7-org:v3 and documents that are valid or not against it.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace morvik::test {

// Schema texts: the index schema declares <index>, the summary schema
// declares <summary> and the document roots <doc> and <claim>.
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
