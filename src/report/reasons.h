// The reason of one XML error as a plain Japanese sentence, for the detail
// line of the result log that clerks read. The XML layer hands over the facts
// of its first error (libxml2's structured error, or one of its own refusals);
// reasonText says the same thing in Japanese, naming the element, attribute,
// value and what was expected, or gives the English message unchanged where
// no Japanese sentence exists or the message does not have the expected shape.
//
// Nothing here calls libxml2: the facts are plain copies; only libxml2's
// code numbers are read from its header.
#pragma once

#include "inspection/services.h"
#include "platform/xml/xmlerror.h"

#include <string>
#include <vector>

namespace morvik::report {

using platform::XmlErrorFacts;

enum class ReasonLanguage { japanese, english };

// The reason to show: Japanese for a covered code; otherwise (and for
// ReasonLanguage::english) the English message unchanged. Never empty when
// message is not empty.
std::string reasonText(const XmlErrorFacts& facts, ReasonLanguage language);

// Whether a reason may quote what the document holds: the values of its
// elements and attributes, its keys, bytes that do not decode. The result log
// and the JSON report show them beside the source line; the CSV report, which
// must never carry a person's name or insured-person number, hides them.
enum class DocumentValues { shown, hidden };

// The reason with the document's values shown as 「…」 (Japanese) or '…'
// (English). Where no sentence of ours covers the error, its English message
// may quote the document in ways no rule knows: a sentence naming the code
// stands instead.
std::string reasonText(const XmlErrorFacts& facts, ReasonLanguage language, DocumentValues values);

// The codes that have a Japanese sentence, in ascending order.
std::vector<int> japaneseReasonCodes();

// What sets a Japanese reason off from the document's text before it on the
// detail line ("12行　<value … />　→ 形式が正しくありません：…").
inline constexpr const char* kJapaneseReasonMark = "　→ ";

// The wording a run is given: reasonText in one language; a Japanese reason
// begins with kJapaneseReasonMark, an English one is the message unchanged.
class ReasonWordingIn : public inspection::ReasonWording {
public:
    explicit ReasonWordingIn(ReasonLanguage language) : m_language(language) {}
    std::string reason(const XmlErrorFacts& facts) const override {
        std::string text = reasonText(facts, m_language);
        if (m_language == ReasonLanguage::japanese && !text.empty()) {
            return kJapaneseReasonMark + text;
        }
        return text;
    }
    ReasonLanguage language() const { return m_language; }

private:
    ReasonLanguage m_language;
};

} // namespace morvik::report
