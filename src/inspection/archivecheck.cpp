// The facts the checks see, and the driver of the checks of one run.
#include "inspection/archivecheck.h"

#include <algorithm>
#include <stdexcept>

namespace morvik::inspection {

namespace {

std::size_t slot(Stage stage) {
    return static_cast<std::size_t>(stage) - 1;
}

} // namespace

std::size_t ArchiveFacts::count(Stage stage) const {
    return static_cast<std::size_t>(std::count_if(
        documents.begin(), documents.end(), [&](const Document& d) { return d.stage == stage; }));
}

std::string ArchiveFacts::pathOf(const Document& document) {
    switch (document.stage) {
    case Stage::data:
        return "DATA/" + std::string(document.name);
    case Stage::claims:
        return "CLAIMS/" + std::string(document.name);
    case Stage::index:
    case Stage::summary:
        break;
    }
    return std::string(document.name);
}

FactId FactRequests::add(Stage stage, std::string_view path) {
    const std::optional<std::uint32_t> index = m_paths[slot(stage)].add(path);
    if (!index) {
        throw std::logic_error("not a value path: " + std::string(path));
    }
    return {stage, *index};
}

const platform::ValuePaths* FactRequests::paths(Stage stage) const {
    const platform::ValuePaths& paths = m_paths[slot(stage)];
    return paths.empty() ? nullptr : &paths;
}

std::optional<std::string_view> DocumentFacts::first(FactId id) const {
    if (id.stage != stage) {
        return std::nullopt;
    }
    for (const auto& [index, value] : values.values) {
        if (index == id.index) {
            return std::string_view(value);
        }
    }
    return std::nullopt;
}

std::vector<std::string_view> DocumentFacts::all(FactId id) const {
    std::vector<std::string_view> found;
    if (id.stage != stage) {
        return found;
    }
    for (const auto& [index, value] : values.values) {
        if (index == id.index) {
            found.emplace_back(value);
        }
    }
    return found;
}

ReceptionCheck::ReceptionCheck(std::vector<std::unique_ptr<ArchiveCheck>> checks)
    : m_checks(std::move(checks)) {
    for (const auto& check : m_checks) {
        check->request(m_requests);
    }
    m_outputs.reserve(m_checks.size());
    for (std::size_t i = 0; i < m_checks.size(); ++i) {
        m_outputs.emplace_back(m_report);
    }
}

void ReceptionCheck::begin(ArchiveFacts archive) {
    m_archive = std::move(archive);
    for (const auto& check : m_checks) {
        check->begin(m_archive);
    }
}

void ReceptionCheck::document(const DocumentFacts& document) {
    for (std::size_t i = 0; i < m_checks.size(); ++i) {
        m_checks[i]->document(document, m_outputs[i]);
    }
}

ReceptionReport ReceptionCheck::finish() {
    for (std::size_t i = 0; i < m_checks.size(); ++i) {
        m_checks[i]->finish(m_archive, m_outputs[i]);
        for (Finding& finding : m_outputs[i].findings()) {
            m_report.findings.push_back(std::move(finding));
        }
        m_outputs[i].findings().clear();
    }
    return std::move(m_report);
}

} // namespace morvik::inspection
