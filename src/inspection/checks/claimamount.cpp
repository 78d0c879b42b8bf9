// claim-amount (エラー): in each checkup claim, claimAmount = unitAmount −
// paymentAmount − paymentByOtherProgram (0 when absent), and claimAmount is
// more than 0 (a claim of 0 yen is refused). Checkup claims only.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class ClaimAmountCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override { m_fields.request(requests); }
    void document(const DocumentFacts& document, CheckOutput& out) override {
        if (document.stage != Stage::claims || document.rootName() != "checkupClaim" ||
            !document.readable()) {
            return;
        }
        const std::optional<std::int64_t> unit = amountOf(m_fields.first(document, 0));
        const std::optional<std::int64_t> payment = amountOf(m_fields.first(document, 1));
        const std::int64_t other = amountOf(m_fields.first(document, 2)).value_or(0);
        const std::optional<std::int64_t> claim = amountOf(m_fields.first(document, 3));
        if (!unit || !payment || !claim) {
            return; // the schema tells
        }
        const std::int64_t rest = *unit - *payment - other;
        if (rest == *claim && *claim > 0) {
            return;
        }
        out.report({"claim-amount",
                    FindingLevel::error,
                    *claim <= 0 && rest == *claim ? "請求金額が0円以下"
                                                  : "請求金額が単価から支払額を引いた額と合わない",
                    {document.path},
                    {{"unitAmount", std::to_string(*unit)},
                     {"paymentAmount", std::to_string(*payment)},
                     {"paymentByOtherProgram", std::to_string(other)},
                     {"差引", std::to_string(rest)},
                     {"claimAmount", std::to_string(*claim)}}});
    }
    void finish(const ArchiveFacts&, CheckOutput&) override {}

private:
    Fields m_fields{Stage::claims,
                    {"settlement/unitAmount/@value", "settlement/paymentAmount/@value",
                     "settlement/paymentByOtherProgram/@value", "settlement/claimAmount/@value"}};
};

} // namespace

std::unique_ptr<ArchiveCheck> makeClaimAmountCheck() {
    return std::make_unique<ClaimAmountCheck>();
}

} // namespace morvik::inspection::checks
