// file-pairing (エラー): when CLAIMS holds documents, DATA and CLAIMS pair one
// to one: each name equals its partner's after the prefix letter.
#include "inspection/checks/checktools.h"

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
        std::vector<std::string> files;
        std::size_t lonelyData = 0;
        std::size_t lonelyClaims = 0;
        for (const ArchiveFacts::Document& document : archive.documents) {
            if (document.name.empty()) {
                continue;
            }
            if (document.stage == Stage::data && claims.count(document.name.substr(1)) != 1) {
                files.push_back(ArchiveFacts::pathOf(document));
                ++lonelyData;
            } else if (document.stage == Stage::claims &&
                       data.count(document.name.substr(1)) != 1) {
                files.push_back(ArchiveFacts::pathOf(document));
                ++lonelyClaims;
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
