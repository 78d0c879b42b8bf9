// Schema choice for DATA and CLAIMS documents: the summary schema, or the
// standard schema that declares the document's root element.
#include "inspection/schemachoice.h"

#include "inspection/paths.h"
#include "inspection/standardnames.h"
#include "platform/xml/xmlparser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <strings.h>
#include <vector>

namespace morvik::inspection {

namespace {

struct Candidate {
    const char* schemaName;
    char namePrefix; // first letter of the standard document file name
};

constexpr std::array<Candidate, 2> kDataCandidates{{{kCheckupSchema, 'h'}, {kGuidanceSchema, 'g'}}};
constexpr std::array<Candidate, 2> kClaimsCandidates{
    {{kCheckupClaimSchema, 'c'}, {kGuidanceClaimSchema, 'p'}}};

bool sameFileName(const std::string& a, const char* b) {
    return ::strcasecmp(a.c_str(), b) == 0;
}

} // namespace

SchemaChoice::SchemaChoice(std::string schemaFolder, CaseInsensitiveNames& names)
    : m_schemaFolder(std::move(schemaFolder)), m_names(names) {}

std::string SchemaChoice::actual(const std::string& standardName) {
    return m_names.actual(m_schemaFolder, standardName, CaseInsensitiveNames::Kind::file);
}

bool SchemaChoice::declares(const std::string& schemaName, const std::string& namespaceUri,
                            const std::string& localName) {
    const auto key = std::make_tuple(schemaName, namespaceUri, localName);
    {
        std::lock_guard lock(m_mutex);
        if (auto it = m_declares.find(key); it != m_declares.end()) {
            return it->second;
        }
    }
    const std::string path = m_schemaFolder + actual(schemaName);
    const bool answer =
        FileChk(path) == 0 && platform::schemaDeclaresGlobalElement(path, namespaceUri, localName);
    std::lock_guard lock(m_mutex);
    m_declares.emplace(key, answer);
    return answer;
}

std::string SchemaChoice::schemaFor(const std::string& documentFolder,
                                    const std::string& documentName, Stage stage,
                                    platform::XmlErrorFacts* rootProblem,
                                    platform::OpenedDocumentHandle* opened, std::string* bytes) {
    return actual(
        standardSchemaFor(documentFolder, documentName, stage, rootProblem, opened, bytes));
}

std::string SchemaChoice::standardSchemaFor(const std::string& documentFolder,
                                            const std::string& documentName, Stage stage,
                                            platform::XmlErrorFacts* rootProblem,
                                            platform::OpenedDocumentHandle* opened,
                                            std::string* bytes) {
    const std::string path = documentFolder + documentName;
    const std::optional<platform::XmlRootElement> root =
        bytes != nullptr
            ? platform::readRootElementFromBytes(path, std::move(*bytes), rootProblem, opened)
            : platform::readRootElement(path, rootProblem, opened);
    if (!root) {
        return kSummarySchema;
    }
    if (declares(kSummarySchema, root->namespaceUri, root->localName)) {
        return kSummarySchema;
    }

    // Of the candidates that declare the root, the one the document's own
    // schema location names (only the file name is used, nothing is loaded
    // from there), else the one whose standard file names start with the
    // document name's first letter, else the first. Asked in that order, so
    // that a schema is compiled only when the answer may depend on it.
    const auto& candidates = stage == Stage::data ? kDataCandidates : kClaimsCandidates;
    const auto hinted = [&](const Candidate& candidate) {
        return std::any_of(
            root->schemaFileNames.begin(), root->schemaFileNames.end(),
            [&](const std::string& name) { return sameFileName(name, candidate.schemaName); });
    };
    const char first =
        documentName.empty()
            ? '\0'
            : static_cast<char>(std::tolower(static_cast<unsigned char>(documentName.front())));
    const auto rank = [&](const Candidate* candidate) {
        return hinted(*candidate) ? 0 : first != '\0' && candidate->namePrefix == first ? 1 : 2;
    };
    std::vector<const Candidate*> order;
    for (const Candidate& candidate : candidates) {
        order.push_back(&candidate);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](const Candidate* a, const Candidate* b) { return rank(a) < rank(b); });
    for (const Candidate* candidate : order) {
        if (declares(candidate->schemaName, root->namespaceUri, root->localName)) {
            return candidate->schemaName;
        }
    }
    return kSummarySchema;
}

} // namespace morvik::inspection
