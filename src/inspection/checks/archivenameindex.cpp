// archive-name-index (注意): the sender, receiver, date and 実施区分 in the
// ZIP file's name are the index file's sender, receiver, creationTime and
// serviceEventType.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class ArchiveNameIndexCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override { m_index.request(requests); }
    void document(const DocumentFacts& document, CheckOutput&) override { m_index.take(document); }
    void finish(const ArchiveFacts& archive, CheckOutput& out) override {
        const std::optional<ZipNameParts> parts = parseZipName(archive.zipName);
        if (!parts || !m_index.present()) {
            return; // archive-name, or stage 1, tells
        }
        Finding finding{"archive-name-index",
                        FindingLevel::caution,
                        "ZIPファイル名と交換用基本情報ファイルが合わない",
                        {archive.zipName, m_index.path()},
                        {}};
        const auto compare = [&](const std::string& fromName, std::size_t field,
                                 const char* nameLabel, const char* indexLabel) {
            const std::optional<std::string> inIndex = m_index[field];
            if (inIndex && *inIndex != fromName) {
                finding.compared.push_back({nameLabel, fromName});
                finding.compared.push_back({indexLabel, *inIndex});
            }
        };
        compare(parts->sender, indexSenderId, "ZIP名の送付元", "ix08 sender");
        compare(parts->receiver, indexReceiverId, "ZIP名の送付先", "ix08 receiver");
        compare(parts->date, indexCreationTime, "ZIP名の作成日", "ix08 creationTime");
        compare(parts->kind, indexServiceEventType, "ZIP名の実施区分", "ix08 serviceEventType");
        if (!finding.compared.empty()) {
            out.report(std::move(finding));
        }
    }

private:
    KeptValues m_index = indexValues();
};

} // namespace

std::unique_ptr<ArchiveCheck> makeArchiveNameIndexCheck() {
    return std::make_unique<ArchiveNameIndexCheck>();
}

} // namespace morvik::inspection::checks
