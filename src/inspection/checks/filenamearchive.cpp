// file-name-archive (注意): the send counter N and the 実施区分 X in each
// document's name are the ZIP file name's. Names that do not have the digits
// there are file-name's.
#include "inspection/checks/checktools.h"

#include <set>

namespace morvik::inspection::checks {

namespace {

class FileNameArchiveCheck : public ArchiveCheck {
public:
    void finish(const ArchiveFacts& archive, CheckOutput& out) override {
        const std::optional<ZipNameParts> zip = parseZipName(archive.zipName);
        if (!zip) {
            return;
        }
        std::vector<std::string> files;
        std::set<std::string> counters;
        std::set<std::string> kinds;
        for (const ArchiveFacts::Document& document : archive.documents) {
            if (document.stage != Stage::data && document.stage != Stage::claims) {
                continue;
            }
            const std::optional<DocumentNameParts> parts = parseDocumentName(document.name);
            if (!parts || (parts->counter == zip->counter && parts->kind == zip->kind)) {
                continue;
            }
            files.push_back(ArchiveFacts::pathOf(document));
            if (parts->counter != zip->counter) {
                counters.insert(parts->counter);
            }
            if (parts->kind != zip->kind) {
                kinds.insert(parts->kind);
            }
        }
        if (files.empty()) {
            return;
        }
        Finding finding{"file-name-archive",
                        FindingLevel::caution,
                        "文書のファイル名のNとXがZIPファイル名と合わない",
                        std::move(files),
                        {}};
        if (!counters.empty()) {
            finding.compared.push_back({"ZIP名のN", zip->counter});
            finding.compared.push_back(
                {"ファイル名のN", joined({counters.begin(), counters.end()}, "・")});
        }
        if (!kinds.empty()) {
            finding.compared.push_back({"ZIP名のX", zip->kind});
            finding.compared.push_back(
                {"ファイル名のX", joined({kinds.begin(), kinds.end()}, "・")});
        }
        finding.compared.push_back({"文書数", std::to_string(finding.files.size())});
        out.report(std::move(finding));
    }
};

} // namespace

std::unique_ptr<ArchiveCheck> makeFileNameArchiveCheck() {
    return std::make_unique<FileNameArchiveCheck>();
}

} // namespace morvik::inspection::checks
