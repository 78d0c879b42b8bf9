// body-number (注意): 10-digit numbers of checkup and guidance bodies — the
// sender in the ZIP name, the index's sender when its root is the body root,
// each DATA document's creating and performing body, each checkup claim's
// performing body — carry a valid check digit in their 10th digit over the
// first 9 (the method of insurer numbers). One finding per number.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class BodyNumberCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override {
        m_index.request(requests);
        m_data.request(requests);
        m_claims.request(requests);
    }
    void begin(const ArchiveFacts& archive) override {
        if (const std::optional<ZipNameParts> zip = parseZipName(archive.zipName)) {
            note(zip->sender, archive.zipName);
        }
    }
    void document(const DocumentFacts& document, CheckOutput&) override {
        m_index.take(document);
        if (document.stage == Stage::index) {
            if (m_index[indexSenderRoot] == std::optional<std::string>(kBodyRoot)) {
                if (const std::optional<std::string> number = m_index[indexSenderId]) {
                    note(*number, document.path);
                }
            }
        } else if (document.stage == Stage::data) {
            for (const std::size_t field : {0u, 1u}) {
                if (const auto number = m_data.first(document, field)) {
                    note(*number, document.path);
                }
            }
        } else if (document.stage == Stage::claims && document.rootName() == "checkupClaim") {
            if (const auto number = m_claims.first(document, 0)) {
                note(*number, document.path);
            }
        }
    }
    void finish(const ArchiveFacts&, CheckOutput& out) override {
        m_wrong.report(out, "body-number", FindingLevel::caution,
                       "機関番号の桁数または検証番号が正しくない", "機関番号");
    }

private:
    void note(std::string_view number, const std::string& path) {
        if (number.size() == 10 && checkDigitHolds(number)) {
            return;
        }
        m_wrong.add(number, path);
    }

    KeptValues m_index = indexValues();
    Fields m_data{Stage::data,
                  {"author/assignedAuthor/representedOrganization/id/@extension",
                   "documentationOf/serviceEvent/performer/assignedEntity/"
                   "representedOrganization/id/@extension"}};
    Fields m_claims{Stage::claims, {"subjectPerson/performerOrganization/id/@extension"}};
    WrongValues m_wrong;
};

} // namespace

std::unique_ptr<ArchiveCheck> makeBodyNumberCheck() {
    return std::make_unique<BodyNumberCheck>();
}

} // namespace morvik::inspection::checks
