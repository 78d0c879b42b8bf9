// pair-identity (エラー): a DATA document and its claim (the same name after
// the prefix letter) agree on insurer number, insured-person number, birth
// date, sex, performing body and ticket number. The finding names the fields
// that differ, never their values. Only a DATA document that has a claim
// among the names found is kept until its claim comes, and then only as a
// hash of each field. Checkup claims only.
#include "inspection/checks/checktools.h"

#include <array>
#include <functional>
#include <unordered_map>
#include <unordered_set>

namespace morvik::inspection::checks {

namespace {

constexpr std::size_t kFields = 6;
constexpr std::array<const char*, kFields> kFieldNames{"保険者番号", "被保険者番号", "生年月日",
                                                       "性別",       "実施機関番号", "受診券番号"};

using Identity = std::array<std::optional<std::size_t>, kFields>;

class PairIdentityCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override {
        m_data.request(requests);
        m_claims.request(requests);
    }
    void begin(const ArchiveFacts& archive) override {
        for (const ArchiveFacts::Document& document : archive.documents) {
            if (document.stage == Stage::claims && !document.name.empty()) {
                m_claimKeys.insert(std::string(document.name.substr(1)));
            }
        }
    }
    void document(const DocumentFacts& document, CheckOutput& out) override {
        if (document.name.empty() || !document.readable()) {
            return;
        }
        const std::string key = document.name.substr(1);
        if (document.stage == Stage::data && m_claimKeys.count(key) != 0) {
            m_pending[key] = Pending{identityOf(m_data, document), document.path};
            return;
        }
        if (document.stage != Stage::claims || document.rootName() != "checkupClaim") {
            return;
        }
        const auto partner = m_pending.find(key);
        if (partner == m_pending.end()) {
            return; // file-pairing tells
        }
        const Identity claim = identityOf(m_claims, document);
        std::vector<std::string> differing;
        for (std::size_t i = 0; i < kFields; ++i) {
            if (claim[i] != partner->second.identity[i]) {
                differing.emplace_back(kFieldNames[i]);
            }
        }
        if (!differing.empty()) {
            out.report({"pair-identity",
                        FindingLevel::error,
                        "健診データと請求で受診者の項目が異なる",
                        {partner->second.path, document.path},
                        {{"異なる項目", joined(differing)}}});
        }
        m_pending.erase(partner);
    }
    void finish(const ArchiveFacts&, CheckOutput&) override {}

private:
    struct Pending {
        Identity identity;
        std::string path;
    };
    static Identity identityOf(const Fields& fields, const DocumentFacts& document) {
        Identity identity;
        for (std::size_t i = 0; i < kFields; ++i) {
            if (const std::optional<std::string_view> value = fields.first(document, i)) {
                identity[i] = std::hash<std::string_view>{}(*value);
            }
        }
        return identity;
    }

    Fields m_data{Stage::data,
                  {"recordTarget/patientRole/id[@root='1.2.392.200119.6.101']/@extension",
                   "recordTarget/patientRole/id[@root='1.2.392.200119.6.205']/@extension",
                   "recordTarget/patientRole/patient/birthTime/@value",
                   "recordTarget/patientRole/patient/administrativeGenderCode/@code",
                   "documentationOf/serviceEvent/performer/assignedEntity/"
                   "representedOrganization/id/@extension",
                   "participant[@typeCode='HLD']/associatedEntity/id/@extension"}};
    Fields m_claims{Stage::claims,
                    {"subjectPerson/insuranceCard/insurerNumber/@extension",
                     "subjectPerson/insuranceCard/number/@extension",
                     "subjectPerson/birthTime/@value", "subjectPerson/administrativeGender/@code",
                     "subjectPerson/performerOrganization/id/@extension",
                     "checkupCard/id/@extension"}};
    std::unordered_set<std::string> m_claimKeys;
    std::unordered_map<std::string, Pending> m_pending;
};

} // namespace

std::unique_ptr<ArchiveCheck> makePairIdentityCheck() {
    return std::make_unique<PairIdentityCheck>();
}

} // namespace morvik::inspection::checks
