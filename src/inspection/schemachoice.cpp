// Schema choice for DATA and CLAIMS documents: the summary schema, or the
// standard schema that declares the document's root element.
#include "inspection/schemachoice.h"

#include "inspection/paths.h"
#include "inspection/standardnames.h"
#include "platform/xmlparser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <strings.h>

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
    if (auto it = m_declares.find(key); it != m_declares.end()) {
        return it->second;
    }
    const std::string path = m_schemaFolder + actual(schemaName);
    const bool answer =
        FileChk(path) == 0 && platform::schemaDeclaresGlobalElement(path, namespaceUri, localName);
    m_declares.emplace(key, answer);
    return answer;
}

std::string SchemaChoice::schemaFor(const std::string& documentFolder,
                                    const std::string& documentName, Stage stage) {
    return actual(standardSchemaFor(documentFolder, documentName, stage));
}

std::string SchemaChoice::standardSchemaFor(const std::string& documentFolder,
                                            const std::string& documentName, Stage stage) {
    const std::optional<platform::XmlRootElement> root =
        platform::readRootElement(documentFolder + documentName);
    if (!root) {
        return kSummarySchema;
    }
    if (declares(kSummarySchema, root->namespaceUri, root->localName)) {
        return kSummarySchema;
    }

    const auto& candidates = stage == Stage::data ? kDataCandidates : kClaimsCandidates;
    std::vector<const Candidate*> qualified;
    for (const Candidate& candidate : candidates) {
        if (declares(candidate.schemaName, root->namespaceUri, root->localName)) {
            qualified.push_back(&candidate);
        }
    }
    if (qualified.empty()) {
        return kSummarySchema;
    }
    // The document's own schema location names the file it was written for;
    // only the file name is used, nothing is loaded from there.
    for (const Candidate* candidate : qualified) {
        for (const std::string& hinted : root->schemaFileNames) {
            if (sameFileName(hinted, candidate->schemaName)) {
                return candidate->schemaName;
            }
        }
    }
    // Standard file names start with a letter that tells the kind of document.
    if (!documentName.empty()) {
        const char first =
            static_cast<char>(std::tolower(static_cast<unsigned char>(documentName.front())));
        for (const Candidate* candidate : qualified) {
            if (candidate->namePrefix == first) {
                return candidate->schemaName;
            }
        }
    }
    return qualified.front()->schemaName;
}

} // namespace morvik::inspection
