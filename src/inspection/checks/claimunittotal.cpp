// claim-unit-total (エラー): in each checkup claim, unitAmount = the basic
// unit price + every detailed-checkup unit price + every other unit price.
// Checkup claims only: the guidance claim has no such breakdown.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class ClaimUnitTotalCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override { m_fields.request(requests); }
    void document(const DocumentFacts& document, CheckOutput& out) override {
        if (document.stage != Stage::claims || document.rootName() != "checkupClaim" ||
            !document.readable()) {
            return;
        }
        const std::optional<std::int64_t> unit = amountOf(m_fields.first(document, 0));
        if (!unit) {
            return; // the schema tells
        }
        std::int64_t sum = amountOf(m_fields.first(document, 1)).value_or(0);
        for (const std::size_t field : {2u, 3u}) {
            for (const std::string_view amount : m_fields.all(document, field)) {
                sum += amountOf(amount).value_or(0);
            }
        }
        if (sum == *unit) {
            return;
        }
        out.report(
            {"claim-unit-total",
             FindingLevel::error,
             "単価の合計が各単価の和と合わない",
             {document.path},
             {{"unitAmount", std::to_string(*unit)},
              {"unitPriceBasic + Σ unitPriceDetail + Σ unitPriceOther", std::to_string(sum)}}});
    }
    void finish(const ArchiveFacts&, CheckOutput&) override {}

private:
    Fields m_fields{Stage::claims,
                    {"settlement/unitAmount/@value", "settlement/unitPriceBasic/amount/@value",
                     "settlement/unitPriceDetail/amount/@value",
                     "settlement/unitPriceOther/amount/@value"}};
};

} // namespace

std::unique_ptr<ArchiveCheck> makeClaimUnitTotalCheck() {
    return std::make_unique<ClaimUnitTotalCheck>();
}

} // namespace morvik::inspection::checks
