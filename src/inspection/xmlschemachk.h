// Document validation: one XML document against one XSD file of the schema
// folder, with the outcome as status, message and detail.
#pragma once

#include "inspection/runreport.h"
#include "inspection/services.h"
#include "platform/xml/xmlparser.h"

#include <string>

namespace morvik::inspection {

inline constexpr const char* kTargetNamespace = "urn:hl7-org:v3";

// Validates documentFolder + documentName against schemaFolder + schemaName
// (joined as they are, nothing inserted). Returns 0 when the document is
// valid, -1 otherwise. message is written on every path; detail only when the
// parser reported an error (line + "行　" + source text + reason). The three
// progress texts go to status.MsgDisp. When facts is given, it receives the
// parser's error code and its error (line, column, source text, reason) as
// far as they could be read. reasons words each error's reason; without it
// libxml2's English message is shown (our own refusals carry no sentence:
// only a wording says them). opened, when given, is the
// document as the schema choice read it, for the load to go on from there.
[[nodiscard]] int XmlSchemaChk(const std::string& documentFolder, const std::string& documentName,
                               const std::string& schemaFolder, const std::string& schemaName,
                               std::string& message, std::string& detail, StatusLine& status,
                               platform::XmlParserFactory& parser, ValidationFacts* facts = nullptr,
                               const ReasonWording* reasons = nullptr,
                               platform::OpenedDocumentHandle opened = {});

// The same with the libxml2 parser of this process.
[[nodiscard]] int XmlSchemaChk(const std::string& documentFolder, const std::string& documentName,
                               const std::string& schemaFolder, const std::string& schemaName,
                               std::string& message, std::string& detail, StatusLine& status,
                               ValidationFacts* facts = nullptr,
                               const ReasonWording* reasons = nullptr);

} // namespace morvik::inspection
