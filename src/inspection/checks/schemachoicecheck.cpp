// schema-choice (注意): a DATA or CLAIMS document names its schema file in its
// root's xsi:schemaLocation; when that file is not in the schema folder the
// document is still checked, against the schema the run chose instead. The
// finding names the declared file, the schema used and whether the document
// passed it, so that a failure's reason is read against the right schema
// (a checkup document judged by the guidance schema fails for reasons that
// send the clerk to the wrong place). One finding per declared file, schema
// used and outcome.
#include "inspection/checks/checktools.h"

#include <filesystem>
#include <map>
#include <set>
#include <tuple>

namespace morvik::inspection::checks {

namespace {

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return text;
}

// The file name of the last location of a schemaLocation value (pairs of
// namespace and location).
std::string declaredFile(std::string_view value) {
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while ((pos = value.find_first_not_of(" \t\r\n", pos)) != std::string_view::npos) {
        const std::size_t end = value.find_first_of(" \t\r\n", pos);
        words.push_back(value.substr(pos, end - pos));
        pos = end;
    }
    if (words.empty()) {
        return {};
    }
    const std::string_view location = words.size() >= 2 ? words[1] : words[0];
    const std::size_t slash = location.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? location : location.substr(slash + 1));
}

class SchemaChoiceCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override {
        m_data = requests.add(Stage::data, "@schemaLocation");
        m_claims = requests.add(Stage::claims, "@schemaLocation");
    }
    void begin(const ArchiveFacts& archive) override {
        std::error_code error;
        for (std::filesystem::directory_iterator it(archive.schemaFolder, error), end;
             !error && it != end; it.increment(error)) {
            m_present.insert(lower(it->path().filename().string()));
        }
    }
    void document(const DocumentFacts& document, CheckOutput&) override {
        if (document.stage != Stage::data && document.stage != Stage::claims) {
            return;
        }
        const std::optional<std::string_view> location =
            document.first(document.stage == Stage::data ? m_data : m_claims);
        if (!location) {
            return;
        }
        const std::string declared = declaredFile(*location);
        if (declared.empty() || m_present.count(lower(declared)) != 0) {
            return;
        }
        m_groups[{declared, document.schemaName, document.valid}].push_back(document.path);
    }
    void finish(const ArchiveFacts&, CheckOutput& out) override {
        for (auto& [key, files] : m_groups) {
            const auto& [declared, used, valid] = key;
            out.report({"schema-choice",
                        FindingLevel::caution,
                        "文書が指定するスキーマがなく、別のスキーマで検証した",
                        std::move(files),
                        {{"指定されたスキーマ", declared},
                         {"検証に使ったスキーマ", used},
                         {"その結果", valid ? "OK" : "エラー"}}});
        }
    }

private:
    FactId m_data;
    FactId m_claims;
    std::set<std::string> m_present;
    std::map<std::tuple<std::string, std::string, bool>, std::vector<std::string>> m_groups;
};

} // namespace

std::unique_ptr<ArchiveCheck> makeSchemaChoiceCheck() {
    return std::make_unique<SchemaChoiceCheck>();
}

} // namespace morvik::inspection::checks
