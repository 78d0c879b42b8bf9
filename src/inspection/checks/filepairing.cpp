// file-pairing (エラー): when CLAIMS holds documents, DATA and CLAIMS pair one
// to one: each name equals its partner's after the prefix letter.
#include "inspection/checks/checktools.h"

#include <algorithm>
#include <set>

namespace morvik::inspection::checks {

namespace {

class FilePairingCheck : public ArchiveCheck {
public:
    void finish(const ArchiveFacts& archive, CheckOutput& out) override {
        if (archive.count(Stage::claims) == 0) {
            return;
        }
        std::multiset<std::string_view> data;
        std::multiset<std::string_view> claims;
        for (const ArchiveFacts::Document& document : archive.documents) {
            if (document.stage == Stage::data && !document.name.empty()) {
                data.insert(document.name.substr(1));
            } else if (document.stage == Stage::claims && !document.name.empty()) {
                claims.insert(document.name.substr(1));
            }
        }
        const auto lonely = [&](const ArchiveFacts::Document& document) {
            return !document.name.empty() &&
                   ((document.stage == Stage::data && claims.count(document.name.substr(1)) != 1) ||
                    (document.stage == Stage::claims && data.count(document.name.substr(1)) != 1));
        };
        // Counted first: the list may name every document of the archive, and
        // a growing vector would hold it one and a half times over.
        std::vector<std::string> files;
        files.reserve(static_cast<std::size_t>(
            std::count_if(archive.documents.begin(), archive.documents.end(), lonely)));
        std::size_t lonelyData = 0;
        std::size_t lonelyClaims = 0;
        for (const ArchiveFacts::Document& document : archive.documents) {
            if (lonely(document)) {
                files.push_back(ArchiveFacts::pathOf(document));
                ++(document.stage == Stage::data ? lonelyData : lonelyClaims);
            }
        }
        if (files.empty()) {
            return;
        }
        out.report({"file-pairing",
                    FindingLevel::error,
                    "DATAとCLAIMSの文書が一対一に対応しない",
                    std::move(files),
                    {{"対のないDATA", std::to_string(lonelyData)},
                     {"対のないCLAIMS", std::to_string(lonelyClaims)}}});
    }
};

} // namespace

std::unique_ptr<ArchiveCheck> makeFilePairingCheck() {
    return std::make_unique<FilePairingCheck>();
}

} // namespace morvik::inspection::checks
