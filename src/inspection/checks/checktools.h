// What several checks of the whole archive share: the namespaces and object
// identifiers of the V08 files, the values of the index and summary files,
// the parts of the ZIP and document names, numbers, dates and check digits.
#pragma once

#include "inspection/archivecheck.h"
#include "inspection/standardnames.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvik::inspection::checks {

inline constexpr const char* kLegacyNamespace = "http://tokuteikenshin.jp/checkup/2007";
inline constexpr const char* kHl7Namespace = "urn:hl7-org:v3";

inline constexpr const char* kInsurerRoot = "1.2.392.200119.6.101";
inline constexpr const char* kBodyRoot = "1.2.392.200119.6.102";
inline constexpr const char* kAgencyRoot = "1.2.392.200119.6.103";

inline constexpr const char* kIndexFile = "ix08_V08.xml";
inline constexpr const char* kSummaryFile = "su08_V08.xml";

// Values a check found wrong, each with the files it stands in (a file
// once, in the order met); finished, one finding per value, the value
// compared under its label.
class WrongValues {
public:
    void add(std::string_view value, const std::string& path);
    void report(CheckOutput& out, const char* rule, FindingLevel level, const char* summary,
                const char* label);

private:
    std::map<std::string, std::vector<std::string>> m_files;
};

// Paths of one stage that a check reads, by position.
class Fields {
public:
    Fields(Stage stage, std::initializer_list<const char*> paths);
    void request(FactRequests& requests);
    Stage stage() const { return m_stage; }
    std::size_t size() const { return m_paths.size(); }
    std::optional<std::string_view> first(const DocumentFacts& document, std::size_t field) const;
    std::vector<std::string_view> all(const DocumentFacts& document, std::size_t field) const;

private:
    Stage m_stage;
    std::vector<const char*> m_paths;
    std::vector<FactId> m_ids;
};

// The values of a one-document stage (index, summary), kept as text.
class KeptValues {
public:
    explicit KeptValues(Fields fields) : m_fields(std::move(fields)) {}
    void request(FactRequests& requests) { m_fields.request(requests); }
    // Keeps the document's values when it is of the fields' stage.
    void take(const DocumentFacts& document);
    bool present() const { return m_present; }
    bool readable() const { return m_readable; }
    const std::string& path() const { return m_path; }
    std::optional<std::string> operator[](std::size_t field) const;

private:
    Fields m_fields;
    bool m_present = false;
    bool m_readable = false;
    std::string m_path;
    std::vector<std::optional<std::string>> m_values;
};

// The index file's values.
enum IndexField : std::size_t {
    indexInteractionType,
    indexCreationTime,
    indexSenderId,
    indexSenderRoot,
    indexReceiverId,
    indexReceiverRoot,
    indexServiceEventType,
    indexTotalRecordCount,
};
KeptValues indexValues();

// The summary file's values.
enum SummaryField : std::size_t {
    summaryServiceEventType,
    summaryTotalSubjectCount,
    summaryTotalCostAmount,
    summaryTotalPaymentAmount,
    summaryTotalPaymentByOtherProgram,
    summaryTotalClaimAmount,
};
KeptValues summaryValues();

// <sender 10>_<receiver 8>_<YYYYMMDD><N>_<X>.zip
struct ZipNameParts {
    std::string sender, receiver, date, counter, kind;
};
std::optional<ZipNameParts> parseZipName(std::string_view zipName);

// <h|c|g|p><body 10><YYYYMMDD><N><X>… : the parts as far as they are there
// (the serial and what follows are not looked at).
struct DocumentNameParts {
    char letter = 0;
    std::string body, date, counter, kind;
};
std::optional<DocumentNameParts> parseDocumentName(std::string_view name);

bool allDigits(std::string_view text);
// A non-negative amount written in digits (leading zeros allowed).
std::optional<std::int64_t> amountOf(std::string_view text);
std::optional<std::int64_t> amountOf(const std::optional<std::string_view>& text);

// YYYYMMDD naming a day of the calendar.
bool isCalendarDate(std::string_view text);

// The check digit of digits (the last one) over those before it: from the
// right, weights 2, 1, 2, 1, ...; the digits of each product added; check =
// (10 - last digit of the sum) mod 10.
bool checkDigitHolds(std::string_view digits);

// The file's name for findings: the document's path, or the index file.
std::string joined(const std::vector<std::string>& parts, const char* separator = "、");

} // namespace morvik::inspection::checks
