// The reason of one XML error as a plain Japanese sentence, for the detail
// line of the result log that clerks read. The XML layer hands over the facts
// of its first error (libxml2's structured error, or one of its own refusals);
// reasonText says the same thing in Japanese, naming the element, attribute,
// value and what was expected, or gives the English message unchanged where
// no Japanese sentence exists or the message does not have the expected shape.
//
// Nothing here calls libxml2: the facts are plain copies.
#pragma once

#include <string>
#include <vector>

namespace morvik::platform {

// The facts of one error, copied from libxml2's xmlError (or made by our own
// layer for its own refusals).
struct XmlErrorFacts {
    // xmlError's domain (an xmlErrorDomain value: 1 parser, 3 namespaces,
    // 17 schema validation, 27 encoding conversion, ...); 0 for our own codes.
    int domain = 0;
    // xmlError's code (an xmlParserErrors value, positive) or an XmlLoadError
    // value (negative).
    int code = 0;
    // xmlError's str1..str3, empty when NULL. What they hold depends on the
    // code (for a facet error: the value and the facet's bound).
    std::string str1, str2, str3;
    // xmlError's int1 (a line number or a character value for some parser
    // errors).
    int int1 = 0;
    // libxml2's English message on one line, without its trailing line break
    // (or our own English reason).
    std::string message;
};

enum class ReasonLanguage { japanese, english };

// The language in which this process words the reasons of its loads;
// Japanese unless set otherwise.
void setReasonLanguage(ReasonLanguage language);
[[nodiscard]] ReasonLanguage reasonLanguage();

// The reason to show: Japanese for a covered code; otherwise (and for
// ReasonLanguage::english) the English message unchanged. Never empty when
// message is not empty.
std::string reasonText(const XmlErrorFacts& facts, ReasonLanguage language);

// The codes that have a Japanese sentence, in ascending order.
std::vector<int> japaneseReasonCodes();

// The code of an IDREF value that matches no ID of the document, a check
// libxml2's schema validator never makes (XmlLoadError::idrefNotFound).
inline constexpr int kIdrefNotFoundCode = -8;

// The English reason of that error, in the shape reasonText reads:
//   Element '{urn:hl7-org:v3}entry', attribute 'ref': 'a1' does not match any
//   ID in the document.
// namespaceUri is empty for an element in no namespace.
std::string idrefNotFoundMessage(const std::string& namespaceUri, const std::string& localName,
                                 const std::string& attribute, const std::string& value);

} // namespace morvik::platform
