// Used only by the Japanese reasons' own files: scanning libxml2's English
// messages, names as a document writes them, the elements a content model
// expects, and the rule tables of each kind of error.
//
// Words of the Japanese reasons (docs/reason-wording.md):
//   use                                   instead of
//   形式, 定められた                      書式, 決められた
//   文字数, 桁                            長さ
//   フォルダ                              フォルダー
//   ファイル / XMLファイル                書類, 文書 (文書型宣言 stays)
//   ZIPファイル; ZIP内のファイル          ZIPアーカイブ; 項目
//   解凍                                  展開
//   検証 (schema check), 調査 (the run)   検査
// The verdict first, then the element, attribute and value; 「」 around
// names, values and paths; full-width （） and ：.
#pragma once

#include "report/reasons.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvik::report::reasons {

using std::string_view;
using Reason = std::optional<std::string>;

// One code and the rule that says its error in Japanese; a rule gives
// nothing when the facts do not have the shape it knows.
struct ReasonRule {
    int code;
    Reason (*translate)(const XmlErrorFacts&);
};
constexpr bool ruleBefore(const ReasonRule& a, const ReasonRule& b) {
    return a.code < b.code;
}

// The English sentence of the facts: libxml2's message, or the words of our
// own refusal made from its fields.
std::string englishOf(const XmlErrorFacts& facts);

// Our own refusal in Japanese; nothing for libxml2's errors.
std::optional<std::string> ownReason(const XmlErrorFacts& facts);

// Whether every case of OwnFacts has its row of wording.
bool everyOwnFactsWorded();

// The rules of each kind, sorted by code.
std::span<const ReasonRule> wellFormednessRules();
std::span<const ReasonRule> schemaRules();

// Removes prefix from the front of text when it is there.
bool eat(string_view& text, string_view prefix);

// Removes suffix from the end of text when it is there.
bool eatEnd(string_view& text, string_view suffix);

// The text before the first delimiter; removes both from text.
std::optional<string_view> takeUntil(string_view& text, string_view delimiter);

// The text before the last delimiter; removes both from text.
std::optional<string_view> takeUntilLast(string_view& text, string_view delimiter);

std::optional<long long> number(string_view text);

// Splits "'a', 'b', 'c'" into a, b, c.
std::optional<std::vector<string_view>> quotedList(string_view text);

std::size_t characterCount(string_view text);

inline constexpr string_view kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
// A name in libxml2's "{namespace}local" form, or a bare local name.
struct Name {
    string_view ns;
    string_view local;
    bool qualified = false;
};

std::optional<Name> nameOf(string_view text);

std::string quoted(string_view text);

// A value the document holds (an element's text, an attribute's value, a
// key, bytes that do not decode), quoted: 「v」, the value itself marked, so
// that a wording for a report that must not carry a name or an
// insured-person number can leave it out. Every worded reason goes through
// withValuesShown or withValuesHidden before anyone reads it.
std::string documentValue(string_view value);

// A worded reason with its document values as they are.
std::string withValuesShown(string_view marked);

// A worded reason with each document value written 「…」; the values left
// out are added to hidden, in the order met.
std::string withValuesHidden(string_view marked, std::vector<std::string>& hidden);

std::string namespaceNote(const Name& name);

// An attribute as a document writes it: xsi:type, xml:lang, a plain name, or
// the local name with its namespace.
std::string attributeText(const Name& name);

// The element (and attribute) a schema error is about, and the rest of its
// message without the final full stop.
struct Subject {
    Name element;
    std::optional<Name> attribute;
    string_view rest;
};

std::optional<Subject> subjectOf(string_view message);

// 要素「x」 or 要素「x」の属性「y」.
std::string owner(const Subject& subject);

std::string valuePhrase(string_view value);

// 要素「x」の値「v」 / 要素「x」の属性「y」の値「v」.
std::string ownerValue(const Subject& subject, string_view value);

// Values joined for reading, cut after ten values or about 200 characters.
std::string valueList(const std::vector<string_view>& values);

// 「xs:integer」（整数） for a built-in type, 「Name」 for a named type.
std::optional<std::string> typeText(string_view type);

// A name as the IDs of the standard files are made: an ASCII letter or '_'
// first, then ASCII letters, digits, '.', '-', '_'.
bool isNcName(string_view text);

// 「U+0001」.
std::string codePoint(long long value);

struct Expected {
    enum class Kind { element, anyElement, anyInNoNamespace, anyInNamespace, anyOutsideNamespace };
    Kind kind = Kind::element;
    Name name; // the element, or the namespace of a wildcard in name.ns
};

// The list of "Expected is ( a, b )." / "Expected is one of ( a, b )."; an
// empty list when the message has none, nullopt when it cannot be read.
std::optional<std::vector<Expected>> expectedList(string_view text);

bool sameNamespace(const Name& a, const Name& b);

// How the expected elements read, and whether the namespaces have to be said.
struct ExpectedText {
    std::string list;   // 「a」、「b」 ("など" when libxml2 cut the list)
    std::string prefix; // 名前空間「ns」の, when the namespace is said once
    bool elementNamespaceNeeded = false;
};

ExpectedText expectedText(const std::vector<Expected>& items, const Name* element);

// "[facet 'name'] " at the start of a facet error; returns the facet name.
std::optional<string_view> facetOf(string_view& rest);

// 「PQ」（名前空間「urn:hl7-org:v3」）: the type of an xsi:type, always with its
// namespace, since a wrong prefix is a common cause.
std::optional<std::string> xsiTypeName(string_view text);

// "key identity-constraint '{ns}name'" and its kinds.
std::optional<std::string> constraintText(string_view text);

// "['a', 'b']" as 「a」、「b」.
std::optional<std::string> keySequence(string_view text);
} // namespace morvik::report::reasons
