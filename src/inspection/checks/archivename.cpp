// archive-name (注意): the ZIP file's name has the form receivers expect,
// <sender 10 digits>_<receiver 8 digits>_<YYYYMMDD><N>_<X>.zip, with a real
// date and a known 実施区分 X (1 to 5).
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class ArchiveNameCheck : public ArchiveCheck {
public:
    void finish(const ArchiveFacts& archive, CheckOutput& out) override {
        Finding finding{"archive-name",
                        FindingLevel::caution,
                        "ZIPファイル名が送付の形式に合わない",
                        {archive.zipName},
                        {}};
        const std::optional<ZipNameParts> parts = parseZipName(archive.zipName);
        if (!parts) {
            finding.compared.push_back({"形式", "<送付元10桁>_<送付先8桁>_<YYYYMMDD><N>_<X>.zip"});
        } else {
            if (!isCalendarDate(parts->date)) {
                finding.compared.push_back({"作成日", parts->date});
            }
            if (parts->kind < "1" || parts->kind > "5") {
                finding.compared.push_back({"実施区分X", parts->kind});
            }
        }
        if (!finding.compared.empty()) {
            out.report(std::move(finding));
        }
    }
};

} // namespace

std::unique_ptr<ArchiveCheck> makeArchiveNameCheck() {
    return std::make_unique<ArchiveNameCheck>();
}

} // namespace morvik::inspection::checks
