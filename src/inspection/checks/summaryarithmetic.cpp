// summary-arithmetic (エラー): in the summary, totalCostAmount −
// totalPaymentAmount − totalPaymentByOtherProgram = totalClaimAmount (an
// absent other-programme total counts as 0).
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class SummaryArithmeticCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override { m_summary.request(requests); }
    void document(const DocumentFacts& document, CheckOutput&) override {
        m_summary.take(document);
    }
    void finish(const ArchiveFacts&, CheckOutput& out) override {
        const auto value = [&](std::size_t field) -> std::optional<std::int64_t> {
            const std::optional<std::string> text = m_summary[field];
            return text ? amountOf(std::string_view(*text)) : std::nullopt;
        };
        const std::optional<std::int64_t> cost = value(summaryTotalCostAmount);
        const std::optional<std::int64_t> payment = value(summaryTotalPaymentAmount);
        const std::optional<std::int64_t> claim = value(summaryTotalClaimAmount);
        const std::int64_t other = value(summaryTotalPaymentByOtherProgram).value_or(0);
        if (!cost || !payment || !claim) {
            return; // the schema tells what is missing
        }
        const std::int64_t rest = *cost - *payment - other;
        if (rest == *claim) {
            return;
        }
        out.report({"summary-arithmetic",
                    FindingLevel::error,
                    "集計情報の総額から支払額を引いた額が請求金額総計と合わない",
                    {m_summary.path()},
                    {{"totalCostAmount", std::to_string(*cost)},
                     {"totalPaymentAmount", std::to_string(*payment)},
                     {"totalPaymentByOtherProgram", std::to_string(other)},
                     {"差引", std::to_string(rest)},
                     {"totalClaimAmount", std::to_string(*claim)}}});
    }

private:
    KeptValues m_summary = summaryValues();
};

} // namespace

std::unique_ptr<ArchiveCheck> makeSummaryArithmeticCheck() {
    return std::make_unique<SummaryArithmeticCheck>();
}

} // namespace morvik::inspection::checks
