// Which schema file of the schema folder checks a DATA or CLAIMS document.
//
// The summary schema is used whenever it declares the document's root
// element. Real schema sets declare checkup and guidance documents and claims
// in schemas of their own, so a document whose root the summary schema does
// not know is checked against the standard schema that does declare it:
// checkup or guidance result for DATA, checkup or guidance claim for CLAIMS.
#pragma once

#include "inspection/filenames.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlparser.h"

#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace morvik::inspection {

class SchemaChoice {
public:
    enum class Stage { data, claims };

    // names finds the schema files in any letter case; it must outlive this.
    SchemaChoice(std::string schemaFolder, CaseInsensitiveNames& names);

    // The schema file name (relative to the schema folder, as the folder
    // spells it) for one document. When the document's root element cannot
    // be read, that is the summary schema and rootProblem (if given) receives
    // the facts of why not. When opened is given, it receives the document as
    // far as it was read, for its validation to go on from there. bytes,
    // when given, are the document's (taken): its file is not read, and
    // opened receives the document also when its root cannot be read.
    std::string schemaFor(const std::string& documentFolder, const std::string& documentName,
                          Stage stage, platform::XmlErrorFacts* rootProblem = nullptr,
                          platform::OpenedDocumentHandle* opened = nullptr,
                          std::string* bytes = nullptr);

    const std::string& folder() const { return m_schemaFolder; }

private:
    bool declares(const std::string& schemaName, const std::string& namespaceUri,
                  const std::string& localName);

    std::string standardSchemaFor(const std::string& documentFolder,
                                  const std::string& documentName, Stage stage,
                                  platform::XmlErrorFacts* rootProblem,
                                  platform::OpenedDocumentHandle* opened, std::string* bytes);
    std::string actual(const std::string& standardName);

    std::string m_schemaFolder;
    CaseInsensitiveNames& m_names;
    // Answers for this run's schema folder, which does not change during a
    // run; asked from the validation threads.
    std::mutex m_mutex;
    std::map<std::tuple<std::string, std::string, std::string>, bool> m_declares;
};

} // namespace morvik::inspection
