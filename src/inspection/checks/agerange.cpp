// age-range (注意): in a checkup archive (実施区分 1), each checkup document's
// person is 40 or older at the end of the fiscal year of the exam (31 March)
// and not yet 75 on the exam date: a person who turns 75 during the year is
// checked up until that birthday, so 75 at the year's end alone is no
// finding. The finding shows the ages and the exam date, never the birth
// date.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class AgeRangeCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override {
        m_index.request(requests);
        m_data.request(requests);
    }
    void begin(const ArchiveFacts& archive) override { m_zip = parseZipName(archive.zipName); }
    void document(const DocumentFacts& document, CheckOutput& out) override {
        m_index.take(document);
        if (document.stage != Stage::data || !checkupArchive() ||
            m_data.first(document, 0) != std::optional<std::string_view>("10")) {
            return;
        }
        const std::optional<std::string_view> exam = m_data.first(document, 1);
        const std::optional<std::string_view> birth = m_data.first(document, 2);
        if (!exam || !birth || !isCalendarDate(*exam) || !isCalendarDate(*birth)) {
            return;
        }
        const int examYear = std::stoi(std::string(exam->substr(0, 4)));
        const int examMonth = std::stoi(std::string(exam->substr(4, 2)));
        const int yearEnd = examMonth >= 4 ? examYear + 1 : examYear;
        const int birthYear = std::stoi(std::string(birth->substr(0, 4)));
        // Born after 31 March: not yet had the birthday of yearEnd by then.
        const int ageAtYearEnd = yearEnd - birthYear - (birth->substr(4) > "0331" ? 1 : 0);
        const int ageAtExam = examYear - birthYear - (birth->substr(4) > exam->substr(4) ? 1 : 0);
        if (ageAtYearEnd >= 40 && ageAtExam <= 74) {
            return;
        }
        out.report({"age-range",
                    FindingLevel::caution,
                    "受診者の年齢が特定健診の対象（年度末に40歳以上、実施日に75歳未満）の外",
                    {document.path},
                    {{"年度末の年齢", std::to_string(ageAtYearEnd)},
                     {"実施日の年齢", std::to_string(ageAtExam)},
                     {"実施日", std::string(*exam)}}});
    }
    void finish(const ArchiveFacts&, CheckOutput&) override {}

private:
    bool checkupArchive() const {
        if (const std::optional<std::string> kind = m_index[indexServiceEventType]) {
            return *kind == "1";
        }
        return m_zip && m_zip->kind == "1";
    }

    std::optional<ZipNameParts> m_zip;
    KeptValues m_index = indexValues();
    Fields m_data{Stage::data,
                  {"code/@code", "documentationOf/serviceEvent/effectiveTime/@value",
                   "recordTarget/patientRole/patient/birthTime/@value"}};
};

} // namespace

std::unique_ptr<ArchiveCheck> makeAgeRangeCheck() {
    return std::make_unique<AgeRangeCheck>();
}

} // namespace morvik::inspection::checks
