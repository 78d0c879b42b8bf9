// file-name (注意): DATA and CLAIMS documents are named
// <h|c|g|p><body number 10><YYYYMMDD><N><X><serial 6>.xml, h and g in DATA
// (checkup and guidance data), c and p in CLAIMS (their claims).
#include "inspection/checks/checktools.h"

#include <algorithm>

namespace morvik::inspection::checks {

namespace {

bool wellNamed(const ArchiveFacts::Document& document) {
    const std::string_view name = document.name;
    if (name.size() != 31) {
        return false;
    }
    const char letter = name[0];
    const bool letterFits = document.stage == Stage::data ? letter == 'h' || letter == 'g'
                                                          : letter == 'c' || letter == 'p';
    std::string extension(name.substr(27));
    for (char& c : extension) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return letterFits && allDigits(name.substr(1, 26)) && extension == ".xml";
}

class FileNameCheck : public ArchiveCheck {
public:
    void finish(const ArchiveFacts& archive, CheckOutput& out) override {
        const auto misnamed = [](const ArchiveFacts::Document& document) {
            return (document.stage == Stage::data || document.stage == Stage::claims) &&
                   !wellNamed(document);
        };
        // Counted first: the list may name every document of the archive, and
        // a growing vector would hold it one and a half times over.
        std::vector<std::string> files;
        files.reserve(static_cast<std::size_t>(
            std::count_if(archive.documents.begin(), archive.documents.end(), misnamed)));
        for (const ArchiveFacts::Document& document : archive.documents) {
            if (misnamed(document)) {
                files.push_back(ArchiveFacts::pathOf(document));
            }
        }
        if (files.empty()) {
            return;
        }
        const std::size_t count = files.size();
        out.report({"file-name",
                    FindingLevel::caution,
                    "文書のファイル名が形式に合わない",
                    std::move(files),
                    {{"形式", "<h|c|g|p><機関番号10桁><YYYYMMDD><N><X><連番6桁>.xml"},
                     {"文書数", std::to_string(count)}}});
    }
};

} // namespace

std::unique_ptr<ArchiveCheck> makeFileNameCheck() {
    return std::make_unique<FileNameCheck>();
}

} // namespace morvik::inspection::checks
