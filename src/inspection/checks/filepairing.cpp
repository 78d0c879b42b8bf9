// file-pairing (エラー): when CLAIMS holds documents, DATA and CLAIMS pair one
// to one: each name equals its partner's after the prefix letter.
#include "inspection/checks/checktools.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace morvik::inspection::checks {

namespace {

class FilePairingCheck : public ArchiveCheck {
public:
    void finish(const ArchiveFacts& archive, CheckOutput& out) override {
        if (archive.count(Stage::claims) == 0) {
            return;
        }
        // Sorted views, 16 bytes a document: a tree would take four times that.
        std::vector<std::string_view> data;
        std::vector<std::string_view> claims;
        for (const ArchiveFacts::Document& document : archive.documents) {
            if (document.stage == Stage::data && !document.name.empty()) {
                data.push_back(document.name.substr(1));
            } else if (document.stage == Stage::claims && !document.name.empty()) {
                claims.push_back(document.name.substr(1));
            }
        }
        std::sort(data.begin(), data.end());
        std::sort(claims.begin(), claims.end());
        const auto count = [](const std::vector<std::string_view>& sorted, std::string_view key) {
            const auto [first, last] = std::equal_range(sorted.begin(), sorted.end(), key);
            return static_cast<std::size_t>(last - first);
        };
        const auto lonely = [&](const ArchiveFacts::Document& document) {
            return !document.name.empty() &&
                   ((document.stage == Stage::data && count(claims, document.name.substr(1)) != 1) ||
                    (document.stage == Stage::claims && count(data, document.name.substr(1)) != 1));
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
