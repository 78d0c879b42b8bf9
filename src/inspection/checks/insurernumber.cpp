// insurer-number (エラー): every insurer number — the index's receiver when
// its root is the insurer root, each DATA document's and each checkup
// claim's — has 8 digits (6-digit national-insurance numbers are read
// zero-padded) and a valid check digit. One finding per number, naming its
// files.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class InsurerNumberCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override {
        m_index.request(requests);
        m_data.request(requests);
        m_claims.request(requests);
    }
    void document(const DocumentFacts& document, CheckOutput&) override {
        m_index.take(document);
        if (document.stage == Stage::index) {
            if (m_index[indexReceiverRoot] == std::optional<std::string>(kInsurerRoot)) {
                if (const std::optional<std::string> number = m_index[indexReceiverId]) {
                    note(*number, document.path);
                }
            }
        } else if (document.stage == Stage::data) {
            if (const auto number = m_data.first(document, 0)) {
                note(*number, document.path);
            }
        } else if (document.stage == Stage::claims && document.rootName() == "checkupClaim") {
            if (const auto number = m_claims.first(document, 0)) {
                note(*number, document.path);
            }
        }
    }
    void finish(const ArchiveFacts&, CheckOutput& out) override {
        m_wrong.report(out, "insurer-number", FindingLevel::error,
                       "保険者番号の桁数または検証番号が正しくない", "保険者番号");
    }

private:
    void note(std::string_view number, const std::string& path) {
        std::string digits(number);
        if (digits.size() == 6 && allDigits(digits)) {
            digits = "00" + digits;
        }
        if (digits.size() == 8 && checkDigitHolds(digits)) {
            return;
        }
        m_wrong.add(number, path);
    }

    KeptValues m_index = indexValues();
    Fields m_data{Stage::data,
                  {"recordTarget/patientRole/id[@root='1.2.392.200119.6.101']/@extension"}};
    Fields m_claims{Stage::claims, {"subjectPerson/insuranceCard/insurerNumber/@extension"}};
    WrongValues m_wrong;
};

} // namespace

std::unique_ptr<ArchiveCheck> makeInsurerNumberCheck() {
    return std::make_unique<InsurerNumberCheck>();
}

} // namespace morvik::inspection::checks
