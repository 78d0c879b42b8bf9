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

// The codes that have a Japanese sentence, in ascending order.
std::vector<int> japaneseReasonCodes();

// The wording a run is given: reasonText in one language.
class ReasonWordingIn : public inspection::ReasonWording {
public:
    explicit ReasonWordingIn(ReasonLanguage language) : m_language(language) {}
    std::string reason(const XmlErrorFacts& facts) const override {
        return reasonText(facts, m_language);
    }
    ReasonLanguage language() const { return m_language; }

private:
    ReasonLanguage m_language;
};

} // namespace morvik::report
