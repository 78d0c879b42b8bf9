// record-count (エラー): the index file's totalRecordCount is the number of
// documents found in DATA and CLAIMS.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class RecordCountCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override { m_index.request(requests); }
    void document(const DocumentFacts& document, CheckOutput&) override { m_index.take(document); }
    void finish(const ArchiveFacts& archive, CheckOutput& out) override {
        const std::optional<std::string> declared = m_index[indexTotalRecordCount];
        if (!declared) {
            return; // no index, or no count in it: stage 1 tells
        }
        const std::size_t found = archive.count(Stage::data) + archive.count(Stage::claims);
        const std::optional<std::int64_t> value = amountOf(std::string_view(*declared));
        if (value && static_cast<std::size_t>(*value) == found) {
            return;
        }
        out.report({"record-count",
                    FindingLevel::error,
                    "総ファイル数が文書の数と合わない",
                    {m_index.path()},
                    {{"totalRecordCount", *declared},
                     {"DATAの文書数", std::to_string(archive.count(Stage::data))},
                     {"CLAIMSの文書数", std::to_string(archive.count(Stage::claims))}}});
    }

private:
    KeptValues m_index = indexValues();
};

} // namespace

std::unique_ptr<ArchiveCheck> makeRecordCountCheck() {
    return std::make_unique<RecordCountCheck>();
}

} // namespace morvik::inspection::checks
