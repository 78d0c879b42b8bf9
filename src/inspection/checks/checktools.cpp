// Shared pieces of the checks of the whole archive.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

Fields::Fields(Stage stage, std::initializer_list<const char*> paths)
    : m_stage(stage), m_paths(paths) {}

void Fields::request(FactRequests& requests) {
    m_ids.clear();
    for (const char* path : m_paths) {
        m_ids.push_back(requests.add(m_stage, path));
    }
}

std::optional<std::string_view> Fields::first(const DocumentFacts& document,
                                              std::size_t field) const {
    return document.first(m_ids.at(field));
}

std::vector<std::string_view> Fields::all(const DocumentFacts& document, std::size_t field) const {
    return document.all(m_ids.at(field));
}

void KeptValues::take(const DocumentFacts& document) {
    if (document.stage != m_fields.stage()) {
        return;
    }
    m_present = true;
    m_readable = document.readable();
    m_path = document.path;
    m_values.clear();
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const std::optional<std::string_view> value = m_fields.first(document, i);
        m_values.push_back(value ? std::optional<std::string>(std::string(*value)) : std::nullopt);
    }
}

std::optional<std::string> KeptValues::operator[](std::size_t field) const {
    return field < m_values.size() ? m_values[field] : std::nullopt;
}

KeptValues indexValues() {
    return KeptValues(Fields(Stage::index, {"interactionType/@code", "creationTime/@value",
                                            "sender/id/@extension", "sender/id/@root",
                                            "receiver/id/@extension", "receiver/id/@root",
                                            "serviceEventType/@code", "totalRecordCount/@value"}));
}

KeptValues summaryValues() {
    return KeptValues(
        Fields(Stage::summary, {"serviceEventType/@code", "totalSubjectCount/@value",
                                "totalCostAmount/@value", "totalPaymentAmount/@value",
                                "totalPaymentByOtherProgram/@value", "totalClaimAmount/@value"}));
}

bool allDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

std::optional<std::int64_t> amountOf(std::string_view text) {
    if (!allDigits(text) || text.size() > 15) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char c : text) {
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<std::int64_t> amountOf(const std::optional<std::string_view>& text) {
    return text ? amountOf(*text) : std::nullopt;
}

std::optional<ZipNameParts> parseZipName(std::string_view zipName) {
    // 10 + 1 + 8 + 1 + 8 + 1 + 1 + 1 + ".zip"
    if (zipName.size() != 35) {
        return std::nullopt;
    }
    std::string lower(zipName.substr(31));
    for (char& c : lower) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    if (lower != ".zip" || zipName[10] != '_' || zipName[19] != '_' || zipName[29] != '_') {
        return std::nullopt;
    }
    ZipNameParts parts{std::string(zipName.substr(0, 10)), std::string(zipName.substr(11, 8)),
                       std::string(zipName.substr(20, 8)), std::string(zipName.substr(28, 1)),
                       std::string(zipName.substr(30, 1))};
    if (!allDigits(parts.sender) || !allDigits(parts.receiver) || !allDigits(parts.date) ||
        !allDigits(parts.counter) || !allDigits(parts.kind)) {
        return std::nullopt;
    }
    return parts;
}

std::optional<DocumentNameParts> parseDocumentName(std::string_view name) {
    if (name.size() < 21) {
        return std::nullopt;
    }
    DocumentNameParts parts;
    parts.letter = name[0];
    parts.body = std::string(name.substr(1, 10));
    parts.date = std::string(name.substr(11, 8));
    parts.counter = std::string(name.substr(19, 1));
    parts.kind = std::string(name.substr(20, 1));
    if (!allDigits(parts.body) || !allDigits(parts.date) || !allDigits(parts.counter) ||
        !allDigits(parts.kind)) {
        return std::nullopt;
    }
    return parts;
}

bool isCalendarDate(std::string_view text) {
    if (text.size() != 8 || !allDigits(text)) {
        return false;
    }
    const int year = std::stoi(std::string(text.substr(0, 4)));
    const int month = std::stoi(std::string(text.substr(4, 2)));
    const int day = std::stoi(std::string(text.substr(6, 2)));
    if (year < 1 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = month == 2 && leap ? 29 : kDays[month - 1];
    return day <= last;
}

void WrongValues::add(std::string_view value, const std::string& path) {
    std::vector<std::string>& files = m_files[std::string(value)];
    if (files.empty() || files.back() != path) {
        files.push_back(path);
    }
}

void WrongValues::report(CheckOutput& out, const char* rule, FindingLevel level,
                         const char* summary, const char* label) {
    for (auto& [value, files] : m_files) {
        out.report({rule, level, summary, std::move(files), {{label, value}}});
    }
    m_files.clear();
}

bool checkDigitHolds(std::string_view digits) {
    if (digits.size() < 2 || !allDigits(digits)) {
        return false;
    }
    int sum = 0;
    int weight = 2;
    for (std::size_t i = digits.size() - 1; i-- > 0;) {
        const int product = (digits[i] - '0') * weight;
        sum += product / 10 + product % 10;
        weight = weight == 2 ? 1 : 2;
    }
    return (10 - sum % 10) % 10 == digits.back() - '0';
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        text += (i == 0 ? "" : separator) + parts[i];
    }
    return text;
}

} // namespace morvik::inspection::checks
