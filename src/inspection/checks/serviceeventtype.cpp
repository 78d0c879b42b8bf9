// service-event-type (エラー): the 実施区分 is one and the same in the ZIP
// file's name, the index, the summary and every checkup claim, and it
// matches every DATA document's report category (10 ↔ 1; 21 to 25 ↔ 2). The
// index's value is the one the others are held against (the ZIP name's when
// the index has none). Guidance claims carry no serviceEventType: they are not
// looked at.
#include "inspection/checks/checktools.h"

#include <map>

namespace morvik::inspection::checks {

namespace {

// The 実施区分 a DATA report category stands for; empty when unknown.
std::string kindOfCategory(std::string_view code) {
    if (code == "10") {
        return "1";
    }
    if (code.size() == 2 && code[0] == '2' && code[1] >= '1' && code[1] <= '5') {
        return "2";
    }
    return {};
}

class ServiceEventTypeCheck : public ArchiveCheck {
public:
    void request(FactRequests& requests) override {
        m_index.request(requests);
        m_summary.request(requests);
        m_claims.request(requests);
        m_data.request(requests);
    }
    void begin(const ArchiveFacts& archive) override { m_zip = parseZipName(archive.zipName); }
    void document(const DocumentFacts& document, CheckOutput&) override {
        m_index.take(document);
        m_summary.take(document);
        // The index and summary come before every DATA and CLAIMS document:
        // the reference is known here, and only disagreements are kept.
        if (document.stage == Stage::claims && document.rootName() == "checkupClaim") {
            if (const auto code = m_claims.first(document, 0)) {
                note({"CLAIMS encounter/serviceEventType", std::string(*code), std::string(*code),
                      document.path});
            }
        } else if (document.stage == Stage::data) {
            if (const auto code = m_data.first(document, 0)) {
                note({"DATA code", std::string(*code), kindOfCategory(*code), document.path});
            }
        }
    }
    void finish(const ArchiveFacts& archive, CheckOutput& out) override {
        const std::optional<std::pair<std::string, std::string>> ref = reference();
        if (!ref) {
            return;
        }
        std::vector<Seen> seen;
        if (m_zip) {
            seen.push_back({"ZIP名の実施区分", m_zip->kind, m_zip->kind, archive.zipName});
        }
        if (const std::optional<std::string> kind = m_summary[summaryServiceEventType]) {
            seen.push_back({"su08 serviceEventType", *kind, *kind, m_summary.path()});
        }
        seen.insert(seen.end(), m_disagreeing.begin(), m_disagreeing.end());
        // Each disagreeing source and value once, with how many files.
        std::map<std::pair<std::string, std::string>, std::size_t> disagreeing;
        std::vector<std::string> files;
        for (const Seen& one : seen) {
            if (one.kind == ref->second) {
                continue;
            }
            ++disagreeing[{one.source, one.value}];
            files.push_back(one.file);
        }
        if (files.empty()) {
            return;
        }
        Finding finding{"service-event-type",
                        FindingLevel::error,
                        "実施区分が一致しない",
                        std::move(files),
                        {{ref->first, ref->second}}};
        for (const auto& [key, count] : disagreeing) {
            finding.compared.push_back(
                {key.first, key.second + (count > 1 ? "（" + std::to_string(count) + "件）" : "")});
        }
        out.report(std::move(finding));
    }

private:
    struct Seen {
        std::string source;
        std::string value;
        std::string kind; // the 実施区分 the value stands for
        std::string file;
    };
    // The value the others are held against, and where it comes from.
    std::optional<std::pair<std::string, std::string>> reference() const {
        if (const std::optional<std::string> kind = m_index[indexServiceEventType]) {
            return std::pair<std::string, std::string>{"ix08 serviceEventType", *kind};
        }
        if (m_zip) {
            return std::pair<std::string, std::string>{"ZIP名の実施区分", m_zip->kind};
        }
        return std::nullopt;
    }
    void note(Seen seen) {
        const std::optional<std::pair<std::string, std::string>> ref = reference();
        if (!ref || seen.kind == ref->second) {
            return;
        }
        // DATA categories are held against checkups and guidance alone.
        if (seen.source == "DATA code" && ref->second != "1" && ref->second != "2") {
            return;
        }
        m_disagreeing.push_back(std::move(seen));
    }

    std::optional<ZipNameParts> m_zip;
    KeptValues m_index = indexValues();
    KeptValues m_summary = summaryValues();
    Fields m_claims{Stage::claims, {"encounter/serviceEventType/@code"}};
    Fields m_data{Stage::data, {"code/@code"}};
    std::vector<Seen> m_disagreeing;
};

} // namespace

std::unique_ptr<ArchiveCheck> makeServiceEventTypeCheck() {
    return std::make_unique<ServiceEventTypeCheck>();
}

} // namespace morvik::inspection::checks
