// The language of the XML layer's reasons, set for the life of a scope: the
// tests that check libxml2's own English facts run in English.
#pragma once

#include "platform/xmlreason.h"

namespace morvik::test {

class ReasonLanguageScope {
public:
    explicit ReasonLanguageScope(platform::ReasonLanguage language)
        : m_previous(platform::reasonLanguage()) {
        platform::setReasonLanguage(language);
    }
    ~ReasonLanguageScope() { platform::setReasonLanguage(m_previous); }
    ReasonLanguageScope(const ReasonLanguageScope&) = delete;
    ReasonLanguageScope& operator=(const ReasonLanguageScope&) = delete;

private:
    platform::ReasonLanguage m_previous;
};

} // namespace morvik::test
