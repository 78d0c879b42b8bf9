// Japanese reasons for XML errors: the rules for our own refusals and the
// lookup over every kind.
//
// One rule per error code. A rule reads the structured facts first (libxml2
// fills str1..str3 with the value, the bound, the pattern or the names for
// most errors) and the English message for what only the message holds: the
// element and attribute of a schema error ("Element '{ns}x', attribute 'y': "),
// the elements a content model expected, the variant of a parser error that
// several messages share a code. A rule that does not find the shape it knows
// returns nothing, and the English message is shown instead: a reason is
// never half translated.
//
// Style: です/ます, names and values in 「」, element names as written in the
// document (the local name; the namespace only where leaving it out would be
// wrong, e.g. an element in another namespace than the expected ones).
#include "report/reasons.h"

#include "platform/xml/xmlparser.h"
#include "report/reasonwords.h"

#include <libxml/xmlerror.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

namespace morvik::report {

using platform::XmlLoadError;

namespace {

using namespace reasons;

const ReasonRule* ruleIn(std::span<const ReasonRule> rules, int code) {
    const auto it = std::lower_bound(rules.begin(), rules.end(), code,
                                     [](const ReasonRule& rule, int c) { return rule.code < c; });
    return it != rules.end() && it->code == code ? &*it : nullptr;
}

const ReasonRule* ruleFor(int code) {
    for (const std::span<const ReasonRule> rules : {wellFormednessRules(), schemaRules()}) {
        if (const ReasonRule* rule = ruleIn(rules, code)) {
            return rule;
        }
    }
    return nullptr;
}

// The Japanese sentence with its document values marked; nullopt where no
// sentence of ours covers the error.
Reason markedJapanese(const XmlErrorFacts& facts) {
    try {
        if (facts.own != platform::OwnFacts::none) {
            return ownReason(facts);
        }
        if (const ReasonRule* rule = ruleFor(facts.code)) {
            return rule->translate(facts);
        }
    } catch (...) {
        // Out of memory while translating: the English message is shown.
    }
    return std::nullopt;
}

} // namespace

std::string reasonText(const XmlErrorFacts& facts, ReasonLanguage language) {
    if (language == ReasonLanguage::japanese) {
        if (Reason japanese = markedJapanese(facts)) {
            return reasons::withValuesShown(*japanese);
        }
    }
    return englishOf(facts);
}

std::string reasonText(const XmlErrorFacts& facts, ReasonLanguage language, DocumentValues values) {
    if (values == DocumentValues::shown) {
        return reasonText(facts, language);
    }
    const Reason marked = markedJapanese(facts);
    std::vector<std::string> hidden;
    const std::string japanese =
        marked ? reasons::withValuesHidden(*marked, hidden) : englishOf(facts);
    std::string english = englishOf(facts);
    const bool worded = japanese != english;
    if (!worded) {
        return language == ReasonLanguage::japanese
                   ? "XMLのエラー（コード " + std::to_string(facts.code) +
                         "）。理由の文は文書の内容を含むことがあるため、結果ログだけに書きます。"
                   : "XML error (code " + std::to_string(facts.code) +
                         "); its reason may quote the document and is in the result log only.";
    }
    if (language == ReasonLanguage::japanese) {
        return japanese;
    }
    // The English message quotes each value between apostrophes; those the
    // Japanese sentence took as the document's are hidden.
    // A value it does not quote (the bytes that do not decode) is hidden where
    // it stands.
    const auto hide = [&english](const std::string& text, const std::string& shown) {
        bool found = false;
        for (auto at = english.find(text); !text.empty() && at != std::string::npos;
             at = english.find(text, at + shown.size())) {
            english.replace(at, text.size(), shown);
            found = true;
        }
        return found;
    };
    for (const std::string& value : hidden) {
        if (!hide("'" + value + "'", "'…'")) {
            hide(value, "…");
        }
    }
    return english;
}

std::vector<int> japaneseReasonCodes() {
    std::vector<int> codes;
    for (const std::span<const ReasonRule> rules : {wellFormednessRules(), schemaRules()}) {
        for (const ReasonRule& rule : rules) {
            codes.push_back(rule.code);
        }
    }
    // Our own codes: every refusal has a Japanese sentence.
    for (int code = static_cast<int>(XmlLoadError::byteOrderMarkConflict); code < 0; ++code) {
        codes.push_back(code);
    }
    std::sort(codes.begin(), codes.end());
    return codes;
}

} // namespace morvik::report
