// calendar-date (エラー): every YYYYMMDD value the rules read names a day of
// the calendar (the schemas' pattern lets 20240231 through): the ZIP name's
// date, the index's creationTime, each DATA document's dates and each
// checkup claim's. A birth date is named by its element only, never shown.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

struct DatePath {
    const char* path;
    const char* name;
    bool shown; // false: a birth date, named but not shown
};

const DatePath kDataDates[] = {
    {"effectiveTime/@value", "effectiveTime", true},
    {"recordTarget/patientRole/patient/birthTime/@value", "birthTime", false},
    {"participant[@typeCode='HLD']/time/high/@value", "participant/time/high", true},
    {"documentationOf/serviceEvent/effectiveTime/@value", "serviceEvent/effectiveTime", true},
};
const DatePath kClaimDates[] = {
    {"subjectPerson/birthTime/@value", "birthTime", false},
    {"checkupCard/effectiveTime/high/@value", "checkupCard/effectiveTime/high", true},
};

class CalendarDateCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override {
        m_index.request(requests);
        for (const DatePath& date : kDataDates) {
            m_data.push_back(requests.add(Stage::data, date.path));
        }
        for (const DatePath& date : kClaimDates) {
            m_claims.push_back(requests.add(Stage::claims, date.path));
        }
    }
    void begin(const ArchiveFacts& archive) override {
        if (const std::optional<ZipNameParts> zip = parseZipName(archive.zipName);
            zip && !isCalendarDate(zip->date)) {
            m_zipDate = {archive.zipName, zip->date};
        }
    }
    void document(const DocumentFacts& document, CheckOutput& out) override {
        m_index.take(document);
        std::vector<ComparedFact> wrong;
        if (document.stage == Stage::index) {
            if (const std::optional<std::string> date = m_index[indexCreationTime];
                date && !isCalendarDate(*date)) {
                wrong.push_back({"creationTime", *date});
            }
        } else if (document.stage == Stage::data) {
            check(document, m_data, kDataDates, wrong);
        } else if (document.stage == Stage::claims && document.rootName() == "checkupClaim") {
            check(document, m_claims, kClaimDates, wrong);
        }
        if (!wrong.empty()) {
            out.report({"calendar-date",
                        FindingLevel::error,
                        "暦にない日付",
                        {document.path},
                        std::move(wrong)});
        }
    }
    void finish(const ArchiveFacts&, CheckOutput& out) override {
        if (!m_zipDate.first.empty()) {
            out.report({"calendar-date",
                        FindingLevel::error,
                        "暦にない日付",
                        {m_zipDate.first},
                        {{"ZIP名の作成日", m_zipDate.second}}});
        }
    }

private:
    template <std::size_t N>
    static void check(const DocumentFacts& document, const std::vector<FactId>& ids,
                      const DatePath (&dates)[N], std::vector<ComparedFact>& wrong) {
        for (std::size_t i = 0; i < N; ++i) {
            for (const std::string_view value : document.all(ids[i])) {
                if (!isCalendarDate(value)) {
                    wrong.push_back({dates[i].name, dates[i].shown
                                                        ? std::string(value)
                                                        : "（暦にない日付、値は表示しない）"});
                }
            }
        }
    }

    KeptValues m_index = indexValues();
    std::vector<FactId> m_data;
    std::vector<FactId> m_claims;
    std::pair<std::string, std::string> m_zipDate;
};

} // namespace

std::unique_ptr<ArchiveCheck> makeCalendarDateCheck() {
    return std::make_unique<CalendarDateCheck>();
}

} // namespace morvik::inspection::checks
