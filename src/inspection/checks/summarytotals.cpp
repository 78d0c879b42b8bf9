// summary-totals (エラー): the summary's totals are the sums over the checkup
// claims: totalCostAmount = Σ unitAmount, totalPaymentAmount = Σ
// paymentAmount, totalPaymentByOtherProgram = Σ paymentByOtherProgram (0
// where a claim has none), totalClaimAmount = Σ claimAmount. Checkup archives
// only: where a guidance claim is among the claims the rule does not apply,
// since the guidance claim's amounts do not map onto these with certainty. A
// claim that cannot be read is left out of the sums and named.
#include "inspection/checks/checktools.h"

#include <array>

namespace morvik::inspection::checks {

namespace {

enum ClaimField : std::size_t { unitAmount, paymentAmount, otherProgram, claimAmount };

class SummaryTotalsCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override {
        m_summary.request(requests);
        m_claims.request(requests);
    }
    void document(const DocumentFacts& document, CheckOutput&) override {
        m_summary.take(document);
        if (document.stage != Stage::claims) {
            return;
        }
        if (!document.readable()) {
            m_unreadable.push_back(document.path);
            return;
        }
        if (document.rootName() != "checkupClaim") {
            ++m_otherClaims;
            return;
        }
        ++m_summed;
        for (std::size_t field = unitAmount; field <= claimAmount; ++field) {
            m_sums[field] += amountOf(m_claims.first(document, field)).value_or(0);
        }
    }
    void finish(const ArchiveFacts&, CheckOutput& out) override {
        if (!m_summary.present() || m_otherClaims != 0 || (m_summed == 0 && m_unreadable.empty())) {
            return;
        }
        Finding finding{"summary-totals",
                        FindingLevel::error,
                        "集計情報の総額が請求の合計と合わない",
                        {m_summary.path()},
                        {}};
        static constexpr std::array<std::pair<SummaryField, const char*>, 4> kPairs{{
            {summaryTotalCostAmount, "unitAmount"},
            {summaryTotalPaymentAmount, "paymentAmount"},
            {summaryTotalPaymentByOtherProgram, "paymentByOtherProgram"},
            {summaryTotalClaimAmount, "claimAmount"},
        }};
        static constexpr std::array<const char*, 4> kTotals{"totalCostAmount", "totalPaymentAmount",
                                                            "totalPaymentByOtherProgram",
                                                            "totalClaimAmount"};
        for (std::size_t i = 0; i < kPairs.size(); ++i) {
            const std::optional<std::string> total = m_summary[kPairs[i].first];
            if (!total) {
                continue;
            }
            const std::optional<std::int64_t> value = amountOf(std::string_view(*total));
            if (value && *value == m_sums[i]) {
                continue;
            }
            finding.compared.push_back({kTotals[i], *total});
            finding.compared.push_back(
                {std::string("Σ ") + kPairs[i].second, std::to_string(m_sums[i])});
        }
        if (finding.compared.empty()) {
            return;
        }
        finding.compared.push_back({"合計した請求", std::to_string(m_summed)});
        if (!m_unreadable.empty()) {
            finding.compared.push_back(
                {"読めない請求（合計に含めず）", std::to_string(m_unreadable.size())});
            finding.files.insert(finding.files.end(), m_unreadable.begin(), m_unreadable.end());
        }
        out.report(std::move(finding));
    }

private:
    KeptValues m_summary = summaryValues();
    Fields m_claims{Stage::claims,
                    {"settlement/unitAmount/@value", "settlement/paymentAmount/@value",
                     "settlement/paymentByOtherProgram/@value", "settlement/claimAmount/@value"}};
    std::array<std::int64_t, 4> m_sums{};
    std::size_t m_summed = 0;
    std::size_t m_otherClaims = 0;
    std::vector<std::string> m_unreadable;
};

} // namespace

std::unique_ptr<ArchiveCheck> makeSummaryTotalsCheck() {
    return std::make_unique<SummaryTotalsCheck>();
}

} // namespace morvik::inspection::checks
