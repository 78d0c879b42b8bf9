// schema-set (注意): each file of the schema folder in use — the archive's
// or the one the user named — is compared with the official set by its
// normalised SHA-256: official, modified, missing or extra. A schema that is
// not the official one can let an invalid document pass (a widened pattern),
// which is why the set is compared at all. Every verdict goes to the report;
// the finding names the modified and the missing files.
#include "inspection/checks/schemaset.h"

#include "inspection/checks/checktools.h"
#include "platform/text/sha256.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace morvik::inspection::checks {

std::string normalisedSha256(std::string_view text) {
    std::string normal;
    normal.reserve(text.size());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        const std::size_t lineEnd = end == std::string_view::npos ? text.size() : end;
        std::string_view line = text.substr(start, lineEnd - start);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        normal.append(line);
        if (end == std::string_view::npos) {
            break;
        }
        normal.push_back('\n');
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    // Every line ends in LF, the last one too; trailing empty lines go.
    while (!normal.empty() && normal.back() == '\n') {
        normal.pop_back();
    }
    if (!normal.empty()) {
        normal.push_back('\n');
    }
    return platform::sha256Hex(normal);
}

namespace {

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return text;
}

class SchemaSetCheck : public ArchiveCheck {
public:
    void finish(const ArchiveFacts& archive, CheckOutput& out) override {
        namespace fs = std::filesystem;
        // The folder's *.xsd files, by their lower-cased relative path (the run
        // finds schema files in any letter case).
        std::map<std::string, std::string> found;
        std::error_code error;
        const fs::path folder(archive.schemaFolder);
        for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            if (!it->is_regular_file(error) || lower(it->path().extension().string()) != ".xsd") {
                continue;
            }
            const std::string relative = it->path().lexically_relative(folder).generic_string();
            found.emplace(lower(relative), relative);
        }
        std::vector<std::string> modified;
        std::vector<std::string> missing;
        for (const auto& [name, digest] : kOfficialSchemaSet) {
            const auto it = found.find(lower(name));
            if (it == found.end()) {
                out.schemaFile({name, SchemaFileVerdict::missing});
                missing.emplace_back(name);
                continue;
            }
            std::ifstream file(folder / it->second, std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(file),
                                    std::istreambuf_iterator<char>()};
            const bool same = file.good() || file.eof() ? normalisedSha256(bytes) == digest : false;
            out.schemaFile(
                {it->second, same ? SchemaFileVerdict::official : SchemaFileVerdict::modified});
            if (!same) {
                modified.push_back(it->second);
            }
            found.erase(it);
        }
        for (const auto& [key, relative] : found) {
            out.schemaFile({relative, SchemaFileVerdict::extra});
        }
        if (modified.empty() && missing.empty()) {
            return;
        }
        Finding finding{
            "schema-set", FindingLevel::caution, "スキーマが公式のスキーマ一式と異なる", {}, {}};
        std::string shown = archive.schemaFolder;
        if (shown.starts_with(archive.extractionFolder)) {
            shown.erase(0, archive.extractionFolder.size());
        }
        finding.files.push_back(shown.empty() ? "." : shown);
        if (!modified.empty()) {
            finding.compared.push_back({"改変", joined(modified)});
        }
        if (!missing.empty()) {
            finding.compared.push_back({"欠落", joined(missing)});
        }
        out.report(std::move(finding));
    }
};

} // namespace

std::unique_ptr<ArchiveCheck> makeSchemaSetCheck() {
    return std::make_unique<SchemaSetCheck>();
}

} // namespace morvik::inspection::checks
