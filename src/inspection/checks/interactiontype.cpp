// interaction-type (注意): the index file's interactionType fits its two ends:
// 1 a checkup or guidance body to an agency, 3 an agency to an insurer, 6 a
// body to an insurer (the ends told by the roots of sender/id and
// receiver/id).
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class InteractionTypeCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override { m_index.request(requests); }
    void document(const DocumentFacts& document, CheckOutput&) override { m_index.take(document); }
    void finish(const ArchiveFacts&, CheckOutput& out) override {
        const std::optional<std::string> code = m_index[indexInteractionType];
        if (!code) {
            return;
        }
        const std::string sender = m_index[indexSenderRoot].value_or("");
        const std::string receiver = m_index[indexReceiverRoot].value_or("");
        const char* wantSender = nullptr;
        const char* wantReceiver = nullptr;
        const char* meaning = nullptr;
        if (*code == "1") {
            wantSender = kBodyRoot;
            wantReceiver = kAgencyRoot;
            meaning = "機関→代行機関";
        } else if (*code == "3") {
            wantSender = kAgencyRoot;
            wantReceiver = kInsurerRoot;
            meaning = "代行機関→保険者";
        } else if (*code == "6") {
            wantSender = kBodyRoot;
            wantReceiver = kInsurerRoot;
            meaning = "機関→保険者";
        }
        if (wantSender != nullptr && sender == wantSender && receiver == wantReceiver) {
            return;
        }
        Finding finding{"interaction-type",
                        FindingLevel::caution,
                        "種別が送付元と送付先に合わない",
                        {m_index.path()},
                        {}};
        finding.compared.push_back({"interactionType", *code});
        if (meaning != nullptr) {
            finding.compared.push_back({"種別" + *code + "の向き", meaning});
        }
        finding.compared.push_back({"sender/id/@root", sender});
        finding.compared.push_back({"receiver/id/@root", receiver});
        out.report(std::move(finding));
    }

private:
    KeptValues m_index = indexValues();
};

} // namespace

std::unique_ptr<ArchiveCheck> makeInteractionTypeCheck() {
    return std::make_unique<InteractionTypeCheck>();
}

} // namespace morvik::inspection::checks
