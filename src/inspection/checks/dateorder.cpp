// date-order (エラー): in each DATA document, 2008-04-01 ≤ exam date ≤ the
// index's creationTime; birth date < exam date ≤ document date ≤
// creationTime; exam date ≤ ticket expiry. Dates that are not calendar dates
// are calendar-date's and are not compared. A birth date is never shown.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

enum DataField : std::size_t { examDate, documentDate, birthDate, ticketExpiry };

constexpr const char* kFirstExamDate = "20080401";

class DateOrderCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override {
        m_index.request(requests);
        m_data.request(requests);
    }
    void document(const DocumentFacts& document, CheckOutput& out) override {
        m_index.take(document);
        if (document.stage != Stage::data) {
            return;
        }
        const auto date = [&](std::size_t field) -> std::optional<std::string> {
            const std::optional<std::string_view> value = m_data.first(document, field);
            if (!value || !isCalendarDate(*value)) {
                return std::nullopt;
            }
            return std::string(*value);
        };
        const std::optional<std::string> exam = date(examDate);
        const std::optional<std::string> written = date(documentDate);
        const std::optional<std::string> birth = date(birthDate);
        const std::optional<std::string> expiry = date(ticketExpiry);
        std::optional<std::string> created = m_index[indexCreationTime];
        if (created && !isCalendarDate(*created)) {
            created.reset();
        }
        std::vector<ComparedFact> broken;
        const auto order = [&](const std::optional<std::string>& early, const char* earlyName,
                               const std::optional<std::string>& late, const char* lateName,
                               bool strict) {
            if (!early || !late || (strict ? *early < *late : *early <= *late)) {
                return;
            }
            broken.push_back({std::string(earlyName) + (strict ? " < " : " ≤ ") + lateName,
                              *early + " > " + *late});
        };
        order(std::string(kFirstExamDate), "20080401", exam, "実施日", false);
        order(exam, "実施日", created, "creationTime", false);
        order(exam, "実施日", written, "文書の日付", false);
        order(written, "文書の日付", created, "creationTime", false);
        order(exam, "実施日", expiry, "受診券の有効期限", false);
        if (birth && exam && !(*birth < *exam)) {
            broken.push_back({"生年月日 < 実施日", "生年月日が実施日以後（実施日 " + *exam + "）"});
        }
        if (!broken.empty()) {
            out.report({"date-order",
                        FindingLevel::error,
                        "日付の前後が正しくない",
                        {document.path},
                        std::move(broken)});
        }
    }
    void finish(const ArchiveFacts&, CheckOutput&) override {}

private:
    KeptValues m_index = indexValues();
    Fields m_data{Stage::data,
                  {"documentationOf/serviceEvent/effectiveTime/@value", "effectiveTime/@value",
                   "recordTarget/patientRole/patient/birthTime/@value",
                   "participant[@typeCode='HLD']/time/high/@value"}};
};

} // namespace

std::unique_ptr<ArchiveCheck> makeDateOrderCheck() {
    return std::make_unique<DateOrderCheck>();
}

} // namespace morvik::inspection::checks
