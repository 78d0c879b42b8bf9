// subject-count (エラー): the summary's totalSubjectCount is the number of
// persons: one per claim, or one per DATA document when there are no claims.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class SubjectCountCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override { m_summary.request(requests); }
    void document(const DocumentFacts& document, CheckOutput&) override {
        m_summary.take(document);
    }
    void finish(const ArchiveFacts& archive, CheckOutput& out) override {
        const std::optional<std::string> declared = m_summary[summaryTotalSubjectCount];
        if (!declared) {
            return;
        }
        const bool byClaims = archive.count(Stage::claims) != 0;
        const std::size_t persons =
            byClaims ? archive.count(Stage::claims) : archive.count(Stage::data);
        const std::optional<std::int64_t> value = amountOf(std::string_view(*declared));
        if (value && static_cast<std::size_t>(*value) == persons) {
            return;
        }
        out.report({"subject-count",
                    FindingLevel::error,
                    "受診者・利用者の総数が文書の数と合わない",
                    {m_summary.path()},
                    {{"totalSubjectCount", *declared},
                     {byClaims ? "CLAIMSの文書数" : "DATAの文書数", std::to_string(persons)}}});
    }

private:
    KeptValues m_summary = summaryValues();
};

} // namespace

std::unique_ptr<ArchiveCheck> makeSubjectCountCheck() {
    return std::make_unique<SubjectCountCheck>();
}

} // namespace morvik::inspection::checks
