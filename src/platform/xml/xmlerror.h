// The facts of one XML error, as the XML layer hands them over: libxml2's
// structured error copied field by field, or the code and fields of one of
// our own refusals. No words for people beyond libxml2's own English
// message, which stays a fact (the English reasons show it unchanged); the
// wording lives above the run.
#pragma once

#include <string>

namespace morvik::platform {

struct XmlErrorFacts {
    // xmlError's domain (an xmlErrorDomain value: 1 parser, 3 namespaces,
    // 17 schema validation, 27 encoding conversion, ...); 0 for our own codes.
    int domain = 0;
    // xmlError's code (an xmlParserErrors value, positive) or an XmlLoadError
    // value (negative).
    int code = 0;
    // xmlError's str1..str3, empty when NULL. What they hold depends on the
    // code (for a facet error: the value and the facet's bound; for our own
    // refusals: the names and values the refusal concerns).
    std::string str1, str2, str3;
    // xmlError's int1 (a line number or a character value for some parser
    // errors).
    int int1 = 0;
    // libxml2's English message on one line, without its trailing line break
    // (or the English sentence of our own refusal).
    std::string message;
};

// The code of an IDREF value that matches no ID of the document, a check
// libxml2's schema validator never makes (XmlLoadError::idrefNotFound).
inline constexpr int kIdrefNotFoundCode = -8;

// The English message of that error:
//   Element '{urn:hl7-org:v3}entry', attribute 'ref': 'a1' does not match any
//   ID in the document.
// namespaceUri is empty for an element in no namespace.
std::string idrefNotFoundMessage(const std::string& namespaceUri, const std::string& localName,
                                 const std::string& attribute, const std::string& value);

} // namespace morvik::platform
