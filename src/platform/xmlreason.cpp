// Japanese reasons for XML errors (see xmlreason.h).
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
#include "platform/xmlreason.h"

#include "platform/xmlparser.h"

#include <libxml/xmlerror.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

namespace morvik::platform {

namespace {

using std::string_view;
using Reason = std::optional<std::string>;

// --- scanning --------------------------------------------------------------------

// Removes prefix from the front of text when it is there.
bool eat(string_view& text, string_view prefix) {
    if (!text.starts_with(prefix)) {
        return false;
    }
    text.remove_prefix(prefix.size());
    return true;
}

// Removes suffix from the end of text when it is there.
bool eatEnd(string_view& text, string_view suffix) {
    if (!text.ends_with(suffix)) {
        return false;
    }
    text.remove_suffix(suffix.size());
    return true;
}

// The text before the first delimiter; removes both from text.
std::optional<string_view> takeUntil(string_view& text, string_view delimiter) {
    const std::size_t at = text.find(delimiter);
    if (at == string_view::npos) {
        return std::nullopt;
    }
    const string_view taken = text.substr(0, at);
    text.remove_prefix(at + delimiter.size());
    return taken;
}

// The text before the last delimiter; removes both from text.
std::optional<string_view> takeUntilLast(string_view& text, string_view delimiter) {
    const std::size_t at = text.rfind(delimiter);
    if (at == string_view::npos) {
        return std::nullopt;
    }
    const string_view taken = text.substr(0, at);
    text.remove_prefix(at + delimiter.size());
    return taken;
}

std::optional<long long> number(string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// Splits "'a', 'b', 'c'" into a, b, c.
std::optional<std::vector<string_view>> quotedList(string_view text) {
    if (!eat(text, "'") || !eatEnd(text, "'")) {
        return std::nullopt;
    }
    std::vector<string_view> items;
    while (true) {
        const std::size_t at = text.find("', '");
        if (at == string_view::npos) {
            items.push_back(text);
            return items;
        }
        items.push_back(text.substr(0, at));
        text.remove_prefix(at + 4);
    }
}

std::size_t characterCount(string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// --- names ------------------------------------------------------------------------

constexpr string_view kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";
constexpr string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

// A name in libxml2's "{namespace}local" form, or a bare local name.
struct Name {
    string_view ns;
    string_view local;
    bool qualified = false;
};

std::optional<Name> nameOf(string_view text) {
    Name name;
    if (eat(text, "{")) {
        const std::optional<string_view> ns = takeUntil(text, "}");
        if (!ns) {
            return std::nullopt;
        }
        name.ns = *ns;
        name.qualified = true;
    }
    if (text.empty()) {
        return std::nullopt;
    }
    name.local = text;
    return name;
}

std::string quoted(string_view text) {
    std::string result = "「";
    result += text;
    result += "」";
    return result;
}

std::string namespaceNote(const Name& name) {
    return name.qualified ? "（名前空間" + quoted(name.ns) + "）" : std::string("（名前空間なし）");
}

// An attribute as a document writes it: xsi:type, xml:lang, a plain name, or
// the local name with its namespace.
std::string attributeText(const Name& name) {
    if (!name.qualified) {
        return quoted(name.local);
    }
    if (name.ns == kXsiNamespace) {
        return quoted("xsi:" + std::string(name.local));
    }
    if (name.ns == kXmlNamespace) {
        return quoted("xml:" + std::string(name.local));
    }
    return quoted(name.local) + namespaceNote(name);
}

// The element (and attribute) a schema error is about, and the rest of its
// message without the final full stop.
struct Subject {
    Name element;
    std::optional<Name> attribute;
    string_view rest;
};

std::optional<Subject> subjectOf(string_view message) {
    if (!eat(message, "Element '")) {
        return std::nullopt;
    }
    Subject subject;
    // A namespace may hold a quote; a name never does.
    std::size_t start = 0;
    if (message.starts_with('{')) {
        start = message.find('}');
        if (start == string_view::npos) {
            return std::nullopt;
        }
    }
    const std::size_t close = message.find('\'', start);
    if (close == string_view::npos) {
        return std::nullopt;
    }
    const std::optional<Name> element = nameOf(message.substr(0, close));
    if (!element) {
        return std::nullopt;
    }
    subject.element = *element;
    message.remove_prefix(close + 1);
    if (eat(message, ", attribute '")) {
        std::size_t from = 0;
        if (message.starts_with('{')) {
            from = message.find('}');
            if (from == string_view::npos) {
                return std::nullopt;
            }
        }
        const std::size_t end = message.find("': ", from);
        if (end == string_view::npos) {
            return std::nullopt;
        }
        subject.attribute = nameOf(message.substr(0, end));
        if (!subject.attribute) {
            return std::nullopt;
        }
        message.remove_prefix(end + 3);
    } else if (!eat(message, ": ")) {
        return std::nullopt;
    }
    eatEnd(message, ".");
    subject.rest = message;
    return subject;
}

// 要素「x」 or 要素「x」の属性「y」.
std::string owner(const Subject& subject) {
    std::string result = "要素" + quoted(subject.element.local);
    if (subject.attribute) {
        result += "の属性" + attributeText(*subject.attribute);
    }
    return result;
}

std::string valuePhrase(string_view value) {
    return value.empty() ? std::string("値（空）") : "値" + quoted(value);
}

// 要素「x」の値「v」 / 要素「x」の属性「y」の値「v」.
std::string ownerValue(const Subject& subject, string_view value) {
    return owner(subject) + "の" + valuePhrase(value);
}

// Values joined for reading, cut after ten values or about 200 characters.
std::string valueList(const std::vector<string_view>& values) {
    constexpr std::size_t kMaxValues = 10;
    constexpr std::size_t kMaxCharacters = 200;
    std::string result;
    std::size_t shown = 0;
    std::size_t characters = 0;
    for (const string_view value : values) {
        characters += characterCount(value) + 3;
        if (shown == kMaxValues || (shown > 0 && characters > kMaxCharacters)) {
            break;
        }
        result +=
            (shown == 0 ? "" : "、") + (value.empty() ? std::string("（空）") : quoted(value));
        ++shown;
    }
    if (shown < values.size()) {
        result += "ほか" + std::to_string(values.size() - shown) + "件";
    }
    return result;
}

// --- type names --------------------------------------------------------------------

struct BuiltInType {
    string_view name;
    string_view description;
};

constexpr BuiltInType kBuiltInTypes[] = {
    {"xs:anyURI", "URI"},
    {"xs:base64Binary", "Base64で表したデータ"},
    {"xs:boolean", "真偽値。「true」か「false」"},
    {"xs:byte", "整数"},
    {"xs:date", "日付。例: 「2024-05-27」"},
    {"xs:dateTime", "日時。例: 「2024-05-27T09:30:00」"},
    {"xs:decimal", "数値"},
    {"xs:double", "数値"},
    {"xs:float", "数値"},
    {"xs:gYear", "年。例: 「2024」"},
    {"xs:gYearMonth", "年月。例: 「2024-05」"},
    {"xs:hexBinary", "16進数で表したデータ"},
    {"xs:ID", "ID。英字か「_」で始まる名前"},
    {"xs:IDREF", "IDの参照。英字か「_」で始まる名前"},
    {"xs:int", "整数"},
    {"xs:integer", "整数"},
    {"xs:language", "言語コード"},
    {"xs:long", "整数"},
    {"xs:Name", "名前"},
    {"xs:NCName", "名前"},
    {"xs:negativeInteger", "負の整数"},
    {"xs:NMTOKEN", "名前に使える文字だけの語"},
    {"xs:nonNegativeInteger", "0以上の整数"},
    {"xs:nonPositiveInteger", "0以下の整数"},
    {"xs:positiveInteger", "1以上の整数"},
    {"xs:QName", "修飾名"},
    {"xs:short", "整数"},
    {"xs:time", "時刻。例: 「09:30:00」"},
    {"xs:token", "文字列"},
    {"xs:unsignedByte", "0以上の整数"},
    {"xs:unsignedInt", "0以上の整数"},
    {"xs:unsignedLong", "0以上の整数"},
    {"xs:unsignedShort", "0以上の整数"},
};

// 「xs:integer」（整数） for a built-in type, 「Name」 for a named type.
std::optional<std::string> typeText(string_view type) {
    if (type.starts_with("xs:")) {
        for (const BuiltInType& builtIn : kBuiltInTypes) {
            if (builtIn.name == type) {
                return quoted(type) + "（" + std::string(builtIn.description) + "）";
            }
        }
        return quoted(type);
    }
    const std::optional<Name> name = nameOf(type);
    if (!name) {
        return std::nullopt;
    }
    return quoted(name->local);
}

// A name as the XML names of IDs are made: a letter or '_' first, then
// letters, digits, '.', '-', '_'; characters beyond ASCII count as letters.
bool isNcName(string_view text) {
    if (text.empty()) {
        return false;
    }
    const auto letter = [](unsigned char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
    };
    if (!letter(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    return std::all_of(text.begin() + 1, text.end(), [&](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
    });
}

// 「U+0001」.
std::string codePoint(long long value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "U+%04llX", value);
    return quoted(buffer);
}

// --- the elements a content model expects -------------------------------------------

struct Expected {
    enum class Kind { element, anyElement, anyInNoNamespace, anyInNamespace, anyOutsideNamespace };
    Kind kind = Kind::element;
    Name name; // the element, or the namespace of a wildcard in name.ns
};

// The list of "Expected is ( a, b )." / "Expected is one of ( a, b )."; an
// empty list when the message has none, nullopt when it cannot be read.
std::optional<std::vector<Expected>> expectedList(string_view text) {
    std::vector<Expected> result;
    if (text.empty()) {
        return result;
    }
    if (!eat(text, " Expected is one of ( ") && !eat(text, " Expected is ( ")) {
        return std::nullopt;
    }
    if (!eatEnd(text, " )")) {
        return std::nullopt;
    }
    while (!text.empty()) {
        std::size_t end = text.find(", ");
        // A comma inside a namespace does not end the item.
        if (text.starts_with('{') || text.starts_with("##other{")) {
            const std::size_t close = text.find('}');
            if (close == string_view::npos) {
                return std::nullopt;
            }
            end = text.find(", ", close);
        }
        string_view item = text.substr(0, end);
        text.remove_prefix(end == string_view::npos ? text.size() : end + 2);
        Expected expected;
        if (item == "{*}*") {
            expected.kind = Expected::Kind::anyElement;
        } else if (item == "*") {
            expected.kind = Expected::Kind::anyInNoNamespace;
        } else if (eat(item, "##other")) {
            const std::optional<Name> name = nameOf(item);
            if (!name || !name->qualified || name->local != "*") {
                return std::nullopt;
            }
            expected.kind = Expected::Kind::anyOutsideNamespace;
            expected.name = *name;
        } else {
            const std::optional<Name> name = nameOf(item);
            if (!name || name->local.starts_with("not ") || item.starts_with("not ")) {
                return std::nullopt;
            }
            expected.kind =
                name->local == "*" ? Expected::Kind::anyInNamespace : Expected::Kind::element;
            expected.name = *name;
        }
        result.push_back(expected);
    }
    return result;
}

bool sameNamespace(const Name& a, const Name& b) {
    return a.qualified == b.qualified && a.ns == b.ns;
}

// How the expected elements read, and whether the namespaces have to be said.
struct ExpectedText {
    std::string list;   // 「a」、「b」 ("など" when libxml2 cut the list)
    std::string prefix; // 名前空間「ns」の, when the namespace is said once
    bool elementNamespaceNeeded = false;
};

ExpectedText expectedText(const std::vector<Expected>& items, const Name* element) {
    // The namespaces of the named elements.
    std::vector<Name> namespaces;
    for (const Expected& item : items) {
        if (item.kind == Expected::Kind::element &&
            std::none_of(namespaces.begin(), namespaces.end(),
                         [&](const Name& n) { return sameNamespace(n, item.name); })) {
            namespaces.push_back(item.name);
        }
    }
    ExpectedText text;
    text.elementNamespaceNeeded =
        element != nullptr && !namespaces.empty() &&
        std::none_of(namespaces.begin(), namespaces.end(),
                     [&](const Name& n) { return sameNamespace(n, *element); });
    const bool eachNamespace = text.elementNamespaceNeeded && namespaces.size() > 1;
    if (text.elementNamespaceNeeded && namespaces.size() == 1) {
        text.prefix = namespaces.front().qualified
                          ? "名前空間" + quoted(namespaces.front().ns) + "の"
                          : std::string("名前空間なしの");
    }
    for (const Expected& item : items) {
        if (!text.list.empty()) {
            text.list += "、";
        }
        switch (item.kind) {
        case Expected::Kind::element:
            text.list += quoted(item.name.local);
            if (eachNamespace) {
                text.list += namespaceNote(item.name);
            }
            break;
        case Expected::Kind::anyElement:
            text.list += "任意の要素";
            break;
        case Expected::Kind::anyInNoNamespace:
            text.list += "名前空間なしの任意の要素";
            break;
        case Expected::Kind::anyInNamespace:
            text.list += "名前空間" + quoted(item.name.ns) + "の任意の要素";
            break;
        case Expected::Kind::anyOutsideNamespace:
            text.list += "名前空間" + quoted(item.name.ns) + "以外の任意の要素";
            break;
        }
    }
    // libxml2 lists at most ten.
    if (items.size() >= 10) {
        text.list += "など";
    }
    return text;
}

// --- rules: well-formedness -----------------------------------------------------------

constexpr const char* kAmpersandHint = "文字として「&」を書くときは「&amp;」と書いてください。";

Reason tagMismatch(const XmlErrorFacts& f) {
    if (f.str1.empty() || f.str2.empty() ||
        !f.message.starts_with("Opening and ending tag mismatch")) {
        return std::nullopt;
    }
    const std::string line = f.int1 > 0 ? "（" + std::to_string(f.int1) + "行目）" : "";
    return "開始タグ" + quoted(f.str1) + line + "と終了タグ" + quoted(f.str2) +
           "が対応していません。";
}

Reason tagNotFinished(const XmlErrorFacts& f) {
    if (f.str1.empty() || !f.message.starts_with("Premature end of data in tag ")) {
        return std::nullopt;
    }
    const std::string line = f.int1 > 0 ? "（" + std::to_string(f.int1) + "行目で開始）" : "";
    return "要素" + quoted(f.str1) + line + "の終了タグがないまま、文書が終わっています。";
}

Reason gtRequired(const XmlErrorFacts& f) {
    if (f.message.starts_with("Couldn't find end of Start Tag ") && !f.str1.empty()) {
        const std::string line = f.int1 > 0 ? "（" + std::to_string(f.int1) + "行目）" : "";
        return "開始タグ" + quoted(f.str1) + line + "が「>」で閉じられていません。";
    }
    if (f.message == "expected '>'") {
        return std::string("タグが「>」で閉じられていません。");
    }
    return std::nullopt;
}

Reason nameRequired(const XmlErrorFacts& f) {
    if (f.message == "xmlParseEntityRef: no name") {
        return std::string("「&」の後に名前がありません。") + kAmpersandHint;
    }
    if (f.message == "StartTag: invalid element name") {
        return std::string("「<」の後に正しい要素名がありません。"
                           "文字として「<」を書くときは「&lt;」と書いてください。");
    }
    if (f.message == "error parsing attribute name") {
        return std::string("属性名が正しくありません。");
    }
    return std::nullopt;
}

Reason semicolonMissing(const XmlErrorFacts& f) {
    if (f.message != "EntityRef: expecting ';'") {
        return std::nullopt;
    }
    return std::string("「&」で始まる参照が「;」で終わっていません。") + kAmpersandHint;
}

Reason undeclaredEntity(const XmlErrorFacts& f) {
    if (f.str1.empty() || f.message != "Entity '" + f.str1 + "' not defined") {
        return std::nullopt;
    }
    return "実体参照" + quoted("&" + f.str1 + ";") +
           "は定義されていません。使えるのは「&amp;」「&lt;」「&gt;」「&quot;」「&apos;」と"
           "文字参照だけです。";
}

Reason hexCharRef(const XmlErrorFacts&) {
    return std::string("16進数の文字参照（「&#x…;」）の書き方が正しくありません。");
}

Reason decimalCharRef(const XmlErrorFacts&) {
    return std::string("10進数の文字参照（「&#…;」）の書き方が正しくありません。");
}

Reason invalidChar(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (eat(message, "Input is not proper UTF-8, indicate encoding ! Bytes: ")) {
        return "文書にUTF-8として読めないバイト列" + quoted(message) +
               "があります。UTF-8以外の文字コードで書かれているときは、XML宣言の「encoding」で"
               "その文字コードを指定してください。";
    }
    if (eat(message, "PCDATA invalid Char value ")) {
        if (const std::optional<long long> value = number(message)) {
            return "XMLで使えない文字" + codePoint(*value) + "が含まれています。";
        }
        return std::nullopt;
    }
    if (eat(message, "Char 0x")) {
        long long value = 0;
        const auto [end, error] =
            std::from_chars(message.data(), message.data() + message.size(), value, 16);
        if (error != std::errc() ||
            string_view(end, static_cast<std::size_t>(message.data() + message.size() - end)) !=
                " out of allowed range") {
            return std::nullopt;
        }
        return "XMLで使えない文字" + codePoint(value) + "が含まれています。";
    }
    if (eat(message, "xmlParseCharRef: invalid xmlChar value ")) {
        if (const std::optional<long long> value = number(message)) {
            return "文字参照がXMLで使えない文字" + codePoint(*value) + "を表しています。";
        }
        return std::nullopt;
    }
    if (message == "xmlParseCharRef: character reference out of bounds") {
        return std::string("文字参照の値が、文字として使える範囲を超えています。");
    }
    if (message == "invalid character in attribute value") {
        return std::string("属性値にXMLで使えない文字が含まれています。");
    }
    return std::nullopt;
}

Reason attributeWithoutValue(const XmlErrorFacts& f) {
    if (f.str1.empty() || !f.message.ends_with(" " + f.str1)) {
        return std::nullopt;
    }
    return "属性" + quoted(f.str1) + "に値がありません。" + quoted(f.str1 + "=\"値\"") +
           "の形で書いてください。";
}

Reason attributeRedefined(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (!eat(message, "Attribute ") || !eatEnd(message, " redefined") || message.empty()) {
        return std::nullopt;
    }
    return "属性" + quoted(message) + "が同じ要素に2回以上書かれています。";
}

Reason namespacedAttributeRedefined(const XmlErrorFacts& f) {
    if (f.str1.empty() || !f.message.starts_with("Namespaced Attribute ")) {
        return std::nullopt;
    }
    return "名前空間" + quoted(f.str2) + "の属性" + quoted(f.str1) +
           "が同じ要素に2回以上書かれています。";
}

Reason attributeNotStarted(const XmlErrorFacts&) {
    return std::string("属性値が引用符（「\"」か「'」）で囲まれていません。");
}

Reason attributeNotFinished(const XmlErrorFacts&) {
    return std::string("属性値を閉じる引用符がありません。");
}

Reason ltInAttribute(const XmlErrorFacts&) {
    return std::string("属性値の中に「<」がそのまま書かれています。「&lt;」と書いてください"
                       "（属性値を閉じる引用符がないときにも起こります）。");
}

Reason spaceRequired(const XmlErrorFacts& f) {
    if (f.message == "attributes construct error") {
        return std::string("属性の書き方が正しくありません（属性名、「=」、引用符、属性どうしの"
                           "間の空白を確かめてください）。");
    }
    if (f.message == "Blank needed here") {
        return std::string("空白が必要な位置に空白がありません。");
    }
    return std::nullopt;
}

Reason extraContent(const XmlErrorFacts& f) {
    if (f.message != "Extra content at the end of the document") {
        return std::nullopt;
    }
    return std::string("ルート要素の後に余分な内容があります。ルート要素は文書に1つだけ書けます。");
}

Reason documentEmpty(const XmlErrorFacts& f) {
    if (f.message == "Document is empty") {
        return std::string("文書が空です。");
    }
    if (f.message == "Start tag expected, '<' not found") {
        return std::string("文書の始めに要素の開始タグ（「<」）がありません。");
    }
    return std::nullopt;
}

Reason commentNotFinished(const XmlErrorFacts&) {
    return std::string("コメント（「<!--」から「-->」まで）が閉じられていません。");
}

Reason hyphenInComment(const XmlErrorFacts&) {
    return std::string(
        "コメントの中に「--」が含まれています。コメントの中では「--」は使えません。");
}

Reason cdataNotFinished(const XmlErrorFacts&) {
    return std::string("「<![CDATA[」で始まる部分が「]]>」で閉じられていません。");
}

Reason misplacedCdataEnd(const XmlErrorFacts&) {
    return std::string("本文に「]]>」がそのまま書かれています。「]]&gt;」と書いてください。");
}

Reason piNotStarted(const XmlErrorFacts&) {
    return std::string("処理命令（「<?」）の後に名前がありません。");
}

Reason piNotFinished(const XmlErrorFacts& f) {
    if (f.str1.empty()) {
        return std::nullopt;
    }
    return "処理命令" + quoted("<?" + f.str1) + "が「?>」で閉じられていません。";
}

Reason reservedXmlName(const XmlErrorFacts& f) {
    if (f.message != "XML declaration allowed only at the start of the document") {
        return std::nullopt;
    }
    return std::string("XML宣言（「<?xml … ?>」）は文書の先頭にしか書けません。前に空白や改行、"
                       "ほかの内容がないか確かめてください。");
}

Reason versionMissing(const XmlErrorFacts&) {
    return std::string("XML宣言に「version」がありません。");
}

Reason xmlDeclNotFinished(const XmlErrorFacts&) {
    return std::string("XML宣言が「?>」で閉じられていません。");
}

Reason unknownVersion(const XmlErrorFacts& f) {
    if (f.str1.empty()) {
        return std::nullopt;
    }
    return "XMLのバージョン" + quoted(f.str1) + "には対応していません。";
}

Reason standaloneValue(const XmlErrorFacts&) {
    return std::string("XML宣言の「standalone」には「yes」か「no」しか指定できません。");
}

Reason stringNotStarted(const XmlErrorFacts&) {
    return std::string("値が引用符で囲まれていません。");
}

Reason stringNotClosed(const XmlErrorFacts&) {
    return std::string("引用符で始まった値が閉じられていません。");
}

Reason unsupportedEncoding(const XmlErrorFacts& f) {
    if (f.str1.empty()) {
        return std::nullopt;
    }
    return "XML宣言の文字コード" + quoted(f.str1) + "には対応していません。";
}

Reason encodingName(const XmlErrorFacts&) {
    return std::string("XML宣言の文字コード名の書き方が正しくありません。");
}

Reason invalidEncoding(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (!eat(message, "Document labelled ") || !eatEnd(message, " content")) {
        return std::nullopt;
    }
    const std::optional<string_view> declared = takeUntil(message, " but has ");
    if (!declared || declared->empty() || message.empty()) {
        return std::nullopt;
    }
    return "文書は文字コード" + quoted(*declared) + "と宣言されていますが、内容は" +
           quoted(message) + "で書かれています。";
}

Reason conversionFailed(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (!eat(message, "input conversion failed due to input error, bytes ") || message.empty()) {
        return std::nullopt;
    }
    return "文書に、宣言された文字コードでは読めないバイト列" + quoted(message) +
           "があります。XML宣言の「encoding」と実際の文字コードが合っているか確かめてください。";
}

Reason xmlNamespaceError(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (eat(message, "xmlns:") && eatEnd(message, ": Empty XML namespace is not allowed")) {
        return "接頭辞" + quoted(message) +
               "の名前空間が空です。空でない名前空間を指定してください。";
    }
    if (message == "xml namespace prefix mapped to wrong URI") {
        return std::string("接頭辞「xml」には決められた名前空間以外は指定できません。");
    }
    if (message == "xml namespace URI mapped to wrong prefix") {
        return std::string("XMLの名前空間は接頭辞「xml」以外には割り当てられません。");
    }
    return std::nullopt;
}

Reason undefinedNamespace(const XmlErrorFacts& f) {
    if (f.str1.empty() || f.str2.empty() || !f.message.starts_with("Namespace prefix ")) {
        return std::nullopt;
    }
    const std::string declaration = quoted("xmlns:" + f.str1);
    if (!f.str3.empty()) {
        return "要素" + quoted(f.str3) + "の属性" + quoted(f.str1 + ":" + f.str2) + "の接頭辞" +
               quoted(f.str1) + "に対応する名前空間の宣言（" + declaration + "）がありません。";
    }
    return "要素" + quoted(f.str1 + ":" + f.str2) + "の接頭辞" + quoted(f.str1) +
           "に対応する名前空間の宣言（" + declaration + "）がありません。";
}

Reason qnameError(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (!eat(message, "Failed to parse QName '") || !eatEnd(message, "'") || message.empty()) {
        return std::nullopt;
    }
    return "名前" + quoted(message) +
           "の書き方が正しくありません（「:」は接頭辞と名前の区切りに1回だけ使えます）。";
}

// --- rules: schema validation -----------------------------------------------------------

// '<value>' is not a valid value of the (local) atomic|list|union type ('<type>').
Reason datatypeInvalid(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (eat(rest, "The QName value '")) {
        const std::optional<string_view> value =
            takeUntilLast(rest, "' has no corresponding namespace declaration in scope");
        if (!value || !rest.empty()) {
            return std::nullopt;
        }
        const std::size_t colon = value->find(':');
        if (colon == string_view::npos) {
            return std::nullopt;
        }
        return ownerValue(*subject, *value) + "の接頭辞" + quoted(value->substr(0, colon)) +
               "に対応する名前空間の宣言がありません。";
    }
    std::string what;
    std::optional<string_view> value;
    if (eat(rest, "The character content is not a valid value of the ")) {
        what = owner(*subject) + "の内容";
    } else if (eat(rest, "'")) {
        // The value is str1; a value of another message is read up to its end.
        constexpr string_view kEnd = "' is not a valid value of the ";
        if (!f.str1.empty() && rest.starts_with(f.str1 + std::string(kEnd))) {
            value = string_view(f.str1);
            rest.remove_prefix(f.str1.size() + kEnd.size());
        } else {
            value = takeUntilLast(rest, kEnd);
        }
        if (!value) {
            return std::nullopt;
        }
        what = ownerValue(*subject, *value);
    } else {
        return std::nullopt;
    }
    const bool local = eat(rest, "local ");
    enum class Variety { atomic, list, unionType } variety;
    if (eat(rest, "atomic type")) {
        variety = Variety::atomic;
    } else if (eat(rest, "list type")) {
        variety = Variety::list;
    } else if (eat(rest, "union type")) {
        variety = Variety::unionType;
    } else {
        return std::nullopt;
    }
    std::optional<std::string> type;
    if (!local) {
        if (!eat(rest, " '") || !eatEnd(rest, "'")) {
            return std::nullopt;
        }
        type = typeText(rest);
        if (!type) {
            return std::nullopt;
        }
        // A well-formed ID that is refused is one already used.
        if (rest == "xs:ID" && value && isNcName(*value)) {
            return "ID" + quoted(*value) + "は文書の中ですでに使われています。" +
                   "同じIDは1回しか使えません（" + owner(*subject) + "）。";
        }
    } else if (!rest.empty()) {
        return std::nullopt;
    }
    const std::string target = type ? "型" + *type
                                    : (subject->attribute ? std::string("この属性に決められた型")
                                                          : std::string("この要素に決められた型"));
    switch (variety) {
    case Variety::atomic:
        return what + "は、" + target + "の値として正しくありません。";
    case Variety::list:
        return what + "は、" + target + "（空白で区切った値の並び）として正しくありません。";
    case Variety::unionType:
        return what + "は、" + target + "で使える値ではありません。";
    }
    return std::nullopt;
}

// "[facet 'name'] " at the start of a facet error; returns the facet name.
std::optional<string_view> facetOf(string_view& rest) {
    if (!eat(rest, "[facet '")) {
        return std::nullopt;
    }
    const std::optional<string_view> facet = takeUntil(rest, "'] ");
    if (!facet || facet->empty()) {
        return std::nullopt;
    }
    return facet;
}

Reason lengthFacet(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!facetOf(rest)) {
        return std::nullopt;
    }
    std::string what;
    if (eat(rest, "The value has a length of '")) {
        what = owner(*subject) + "の値";
    } else if (eat(rest, "The value '")) {
        const std::optional<string_view> value = takeUntilLast(rest, "' has a length of '");
        if (!value) {
            return std::nullopt;
        }
        what = ownerValue(*subject, *value);
    } else {
        return std::nullopt;
    }
    const std::optional<string_view> actual = takeUntil(rest, "'; this ");
    if (!actual || !number(*actual) || !eatEnd(rest, "'")) {
        return std::nullopt;
    }
    string_view bound = rest;
    std::string expectation;
    if (f.code == XML_SCHEMAV_CVC_LENGTH_VALID &&
        eat(bound, "differs from the allowed length of '")) {
        expectation = "でなければなりません";
    } else if (f.code == XML_SCHEMAV_CVC_MINLENGTH_VALID &&
               eat(bound, "underruns the allowed minimum length of '")) {
        expectation = "以上でなければなりません";
    } else if (f.code == XML_SCHEMAV_CVC_MAXLENGTH_VALID &&
               eat(bound, "exceeds the allowed maximum length of '")) {
        expectation = "以下でなければなりません";
    } else {
        return std::nullopt;
    }
    if (!number(bound)) {
        return std::nullopt;
    }
    return what + "の長さは" + std::string(*actual) + "ですが、" + std::string(bound) +
           expectation + "。";
}

// The facets whose message is "The value '<str1>' <phrase>'<str2>'...".
Reason boundFacet(const XmlErrorFacts& f) {
    struct Shape {
        int code;
        string_view phrase;
        string_view problem;
        string_view before;
        string_view after;
    };
    static constexpr Shape kShapes[] = {
        {XML_SCHEMAV_CVC_MININCLUSIVE_VALID, "is less than the minimum value allowed ('",
         "は小さすぎます。", "", "以上でなければなりません。"},
        {XML_SCHEMAV_CVC_MAXINCLUSIVE_VALID, "is greater than the maximum value allowed ('",
         "は大きすぎます。", "", "以下でなければなりません。"},
        {XML_SCHEMAV_CVC_MINEXCLUSIVE_VALID, "must be greater than '", "は小さすぎます。", "",
         "より大きくなければなりません。"},
        {XML_SCHEMAV_CVC_MAXEXCLUSIVE_VALID, "must be less than '", "は大きすぎます。", "",
         "より小さくなければなりません。"},
        {XML_SCHEMAV_CVC_TOTALDIGITS_VALID, "has more digits than are allowed ('",
         "は桁数が多すぎます。", "数字は全体で", "桁までです。"},
        {XML_SCHEMAV_CVC_FRACTIONDIGITS_VALID, "has more fractional digits than are allowed ('",
         "は小数点以下の桁数が多すぎます。", "小数点以下は", "桁までです。"},
        {XML_SCHEMAV_CVC_PATTERN_VALID, "is not accepted by the pattern '",
         "は決められた書式に合っていません。", "書式のパターン: ", "。"},
    };
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!facetOf(rest)) {
        return std::nullopt;
    }
    for (const Shape& shape : kShapes) {
        if (shape.code != f.code) {
            continue;
        }
        const std::string expected =
            "The value '" + f.str1 + "' " + std::string(shape.phrase) + f.str2;
        if (f.str2.empty() || !rest.starts_with(expected)) {
            return std::nullopt;
        }
        const bool digits = f.code == XML_SCHEMAV_CVC_TOTALDIGITS_VALID ||
                            f.code == XML_SCHEMAV_CVC_FRACTIONDIGITS_VALID;
        const std::string bound = digits ? f.str2 : quoted(f.str2);
        return ownerValue(*subject, f.str1) + std::string(shape.problem) +
               std::string(shape.before) + bound + std::string(shape.after);
    }
    return std::nullopt;
}

Reason enumerationFacet(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!facetOf(rest) ||
        rest != "The value '" + f.str1 + "' is not an element of the set {" + f.str2 + "}") {
        return std::nullopt;
    }
    const std::optional<std::vector<string_view>> values = quotedList(f.str2);
    if (!values) {
        return std::nullopt;
    }
    return ownerValue(*subject, f.str1) +
           "は使える値ではありません。使える値: " + valueList(*values) + "。";
}

Reason elementContent(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->attribute) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    // The sentence ends with the message when no list follows.
    const bool unexpected = eat(rest, "This element is not expected");
    if (!unexpected && !eat(rest, "Missing child element(s)")) {
        return std::nullopt;
    }
    if (!rest.empty() && !eat(rest, ".")) {
        return std::nullopt;
    }
    const std::optional<std::vector<Expected>> items = expectedList(rest);
    if (!items) {
        return std::nullopt;
    }
    const std::string element = quoted(subject->element.local);
    if (unexpected) {
        const ExpectedText text = expectedText(*items, &subject->element);
        std::string result = "要素" + element +
                             (text.elementNamespaceNeeded ? namespaceNote(subject->element) : "") +
                             "はこの位置には書けません。";
        if (items->size() == 1) {
            result += "ここに書けるのは" + text.prefix + text.list + "です。";
        } else if (items->size() > 1) {
            result += "ここに書けるのは" + text.prefix + "次のいずれかです: " + text.list + "。";
        }
        return result;
    }
    const ExpectedText text = expectedText(*items, nullptr);
    std::string result = "要素" + element + "に必要な子要素がありません。";
    if (items->size() == 1) {
        result += text.list + "が必要です。";
    } else if (items->size() > 1) {
        result += "次のいずれかが必要です: " + text.list + "。";
    }
    return result;
}

Reason emptyContent(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    const std::string head = owner(*subject) + "は内容を持たない要素のため、";
    if (subject->rest == "Character content is not allowed, because the content type is empty") {
        return head + "文字は書けません。";
    }
    if (subject->rest == "Element content is not allowed, because the content type is empty") {
        return head + "子要素は書けません。";
    }
    return std::nullopt;
}

Reason simpleContent(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || (subject->rest != "Element content is not allowed, because the content type "
                                      "is a simple type definition" &&
                     subject->rest !=
                         "Element content is not allowed, because the type definition is simple")) {
        return std::nullopt;
    }
    return owner(*subject) + "には値（文字）だけが書けます。子要素は書けません。";
}

Reason elementOnly(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || !subject->rest.starts_with("Character content other than whitespace is not "
                                               "allowed")) {
        return std::nullopt;
    }
    return owner(*subject) + "には子要素だけが書けます。空白以外の文字は書けません。";
}

// "The attribute '<name>' is not allowed", for an element with attributes
// (complexType) or without (simple type).
Reason attributeNotAllowed(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || !subject->attribute) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!eat(rest, "The attribute '") || !eatEnd(rest, "' is not allowed")) {
        return std::nullopt;
    }
    const std::string result = "要素" + quoted(subject->element.local) + "には属性" +
                               attributeText(*subject->attribute) + "は書けません。";
    if (f.code == XML_SCHEMAV_CVC_TYPE_3_1_1) {
        return result + "この要素は値だけを持ち、属性を持てません。";
    }
    return result;
}

Reason attributeMissing(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!eat(rest, "The attribute '") || !eatEnd(rest, "' is required but missing")) {
        return std::nullopt;
    }
    const std::optional<Name> attribute = nameOf(rest);
    if (!attribute) {
        return std::nullopt;
    }
    return owner(*subject) + "に必須の属性" + attributeText(*attribute) + "がありません。";
}

// "The value '<str1>' does not match the fixed value constraint '<str2>'" and
// the element variants ("The actual value", "The initial value").
Reason fixedValue(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    const std::string tail =
        "value '" + f.str1 + "' does not match the fixed value constraint '" + f.str2 + "'";
    string_view rest = subject->rest;
    if (!eat(rest, "The ")) {
        return std::nullopt;
    }
    if (!eat(rest, "actual ")) {
        eat(rest, "initial ");
    }
    if (rest != tail) {
        return std::nullopt;
    }
    return ownerValue(*subject, f.str1) + "は、決められた値" + quoted(f.str2) + "と違います。";
}

Reason undeclaredElement(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->attribute) {
        return std::nullopt;
    }
    const std::string element = quoted(subject->element.local) + namespaceNote(subject->element);
    if (subject->rest == "No matching global declaration available for the validation root") {
        return "ルート要素" + element + "はスキーマで宣言されていません。";
    }
    if (subject->rest ==
        "No matching global element declaration available, but demanded by the strict wildcard") {
        return "要素" + element +
               "はスキーマで宣言されていません。この位置には宣言された要素だけが書けます。";
    }
    if (subject->rest == "No matching declaration available") {
        return "要素" + element + "はスキーマで宣言されていません。";
    }
    return std::nullopt;
}

Reason abstractElement(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->rest != "The element declaration is abstract") {
        return std::nullopt;
    }
    return owner(*subject) + "は抽象要素として宣言されているため、文書には書けません。";
}

Reason notNillable(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->rest != "The element is not 'nillable'") {
        return std::nullopt;
    }
    return owner(*subject) + "には「xsi:nil」を指定できません。";
}

Reason nilledWithContent(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject ||
        !subject->rest.starts_with("Neither character nor element content is allowed")) {
        return std::nullopt;
    }
    return owner(*subject) +
           "には「xsi:nil=\"true\"」が指定されているため、文字も子要素も書けません。";
}

Reason nilledWithFixedValue(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || !subject->rest.starts_with("The element cannot be 'nilled'")) {
        return std::nullopt;
    }
    return owner(*subject) + "には決められた値があるため、「xsi:nil=\"true\"」は指定できません。";
}

// 「PQ」（名前空間「urn:hl7-org:v3」）: the type of an xsi:type, always with its
// namespace, since a wrong prefix is a common cause.
std::optional<std::string> xsiTypeName(string_view text) {
    const std::optional<Name> name = nameOf(text);
    if (!name) {
        return std::nullopt;
    }
    return quoted(name->local) + namespaceNote(*name);
}

Reason xsiTypeUnknown(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!eat(rest, "The QName value '") ||
        !eatEnd(rest, "' of the xsi:type attribute does not resolve to a type definition")) {
        return std::nullopt;
    }
    const std::optional<std::string> type = xsiTypeName(rest);
    if (!type) {
        return std::nullopt;
    }
    return "要素" + quoted(subject->element.local) + "の「xsi:type」に指定された型" + *type +
           "はスキーマにありません。";
}

Reason xsiTypeNotDerived(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!eat(rest, "The type definition '")) {
        return std::nullopt;
    }
    const std::optional<string_view> typeName = takeUntil(rest, "', specified by xsi:type, is ");
    if (!typeName || !rest.starts_with("blocked or not validly derived")) {
        return std::nullopt;
    }
    const std::optional<std::string> type = xsiTypeName(*typeName);
    if (!type) {
        return std::nullopt;
    }
    return "要素" + quoted(subject->element.local) + "の「xsi:type」に指定された型" + *type +
           "は、この要素には使えません（要素の型から派生した型ではないか、使うことが禁止されて"
           "います）。";
}

Reason abstractType(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->rest != "The type definition is abstract") {
        return std::nullopt;
    }
    return owner(*subject) + "の型は抽象型のため、そのままでは使えません。「xsi:"
                             "type」で具体的な型を指定してください。";
}

Reason strictAttributeWildcard(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || !subject->attribute ||
        subject->rest != "No matching global attribute declaration available, but demanded by "
                         "the strict wildcard") {
        return std::nullopt;
    }
    return owner(*subject) + "はスキーマで宣言されていません。";
}

// "key identity-constraint '{ns}name'" and its kinds.
std::optional<std::string> constraintText(string_view text) {
    std::string kind;
    if (eat(text, "key identity-constraint '")) {
        kind = "キー";
    } else if (eat(text, "unique identity-constraint '")) {
        kind = "一意性の制約";
    } else if (eat(text, "keyref identity-constraint '")) {
        kind = "参照の制約";
    } else {
        return std::nullopt;
    }
    if (!eatEnd(text, "'")) {
        return std::nullopt;
    }
    const std::optional<Name> name = nameOf(text);
    if (!name) {
        return std::nullopt;
    }
    return kind + quoted(name->local);
}

// "['a', 'b']" as 「a」、「b」.
std::optional<std::string> keySequence(string_view text) {
    if (!eat(text, "[") || !eatEnd(text, "]")) {
        return std::nullopt;
    }
    const std::optional<std::vector<string_view>> values = quotedList(text);
    if (!values) {
        return std::nullopt;
    }
    std::string result;
    for (const string_view value : *values) {
        result += (result.empty() ? "" : "、") + quoted(value);
    }
    return result;
}

Reason identityConstraint(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    const std::string element = owner(*subject);
    if (eat(rest, "Duplicate key-sequence ")) {
        const std::optional<string_view> sequence = takeUntil(rest, " in ");
        const std::optional<std::string> values = sequence ? keySequence(*sequence) : std::nullopt;
        const std::optional<std::string> constraint = constraintText(rest);
        if (!values || !constraint) {
            return std::nullopt;
        }
        return element + "の値" + *values + "が重複しています（" + *constraint +
               "では同じ値を2回使えません）。";
    }
    if (eat(rest, "Not all fields of ") && eatEnd(rest, " evaluate to a node")) {
        const std::optional<std::string> constraint = constraintText(rest);
        if (!constraint) {
            return std::nullopt;
        }
        return element + "に" + *constraint + "の値となる項目がありません（" + *constraint +
               "の項目はすべて必要です）。";
    }
    if (eat(rest, "No match found for key-sequence ")) {
        const std::optional<string_view> sequence = takeUntil(rest, " of keyref '");
        const std::optional<std::string> values = sequence ? keySequence(*sequence) : std::nullopt;
        if (!values || !eatEnd(rest, "'")) {
            return std::nullopt;
        }
        const std::optional<Name> name = nameOf(rest);
        if (!name) {
            return std::nullopt;
        }
        return element + "の値" + *values + "に対応するキーがありません（参照の制約" +
               quoted(name->local) + "）。";
    }
    if (eat(rest, "The XPath '")) {
        const std::optional<string_view> path = takeUntil(rest, "' of a field of ");
        if (!path) {
            return std::nullopt;
        }
        const bool several = eatEnd(rest, " evaluates to a node-set with more than one member");
        if (!several && !eatEnd(rest, " does evaluate to a node of non-simple type")) {
            return std::nullopt;
        }
        const std::optional<std::string> constraint = constraintText(rest);
        if (!constraint) {
            return std::nullopt;
        }
        const std::string field = *constraint + "の項目" + quoted(*path);
        if (several) {
            return field + "に当たる" + element + "が2つ以上あります。";
        }
        return field + "が指す" + element + "は、値を持たない要素です。";
    }
    return std::nullopt;
}

// --- rules: our own errors -------------------------------------------------------------

struct ErrnoText {
    string_view english;
    string_view japanese;
};

constexpr ErrnoText kErrnoTexts[] = {
    {"No such file or directory", "ファイルかフォルダーがありません"},
    {"Permission denied", "読み取る権限がありません"},
    {"Is a directory", "フォルダーです"},
    {"Not a directory", "途中のパスがフォルダーではありません"},
    {"File name too long", "ファイル名が長すぎます"},
    {"Too many levels of symbolic links", "シンボリックリンクが多すぎます"},
    {"Too many open files", "開いているファイルが多すぎます"},
    {"Input/output error", "読み書きの途中でエラーが起きました"},
    {"No such device or address", "装置がありません"},
};

// The system's English text for an errno in Japanese; other texts (already
// in the user's language, or rare) stay as they are.
std::string errnoJapanese(string_view text) {
    for (const ErrnoText& known : kErrnoTexts) {
        if (known.english == text) {
            return std::string(known.japanese);
        }
    }
    return std::string(text);
}

// The English "a (b)" of a refusal followed by libxml2's report.
std::string withReport(std::string japanese, string_view report) {
    if (report.empty()) {
        return japanese;
    }
    return japanese + "（詳細: " + quoted(report) + "）";
}

// Why a file was not read, as our loader and the schema compiler say it:
// "cannot open '<path>': <errno>", "'<path>' is not a file", ... optionally
// followed by " (<libxml2's report>)". A cause of another shape is libxml2's
// own report and is kept as it is.
std::string causeJapanese(string_view cause) {
    string_view rest = cause;
    std::string japanese;
    const auto splitReport = [](string_view& tail) -> std::optional<string_view> {
        if (tail.empty()) {
            return string_view();
        }
        if (tail.starts_with(" (") && tail.ends_with(")")) {
            return tail.substr(2, tail.size() - 3);
        }
        return std::nullopt;
    };
    if (eat(rest, "cannot open '") || eat(rest, "cannot read '")) {
        const bool opening = cause.starts_with("cannot open");
        const std::optional<string_view> path = takeUntil(rest, "': ");
        if (path) {
            const std::size_t reportAt = rest.find(" (");
            string_view error = rest.substr(0, reportAt);
            string_view tail =
                reportAt == string_view::npos ? string_view() : rest.substr(reportAt);
            if (const std::optional<string_view> report = splitReport(tail)) {
                return withReport(quoted(*path) + (opening ? "を開けません" : "を読み込めません") +
                                      "（" + errnoJapanese(error) + "）",
                                  *report);
            }
        }
        return "スキーマを読み込めませんでした（詳細: " + quoted(cause) + "）";
    }
    struct PathShape {
        string_view before;
        string_view after;
        string_view japaneseBefore;
        string_view japaneseAfter;
    };
    static constexpr PathShape kShapes[] = {
        {"'", "' is not a file", "", "はファイルではありません"},
        {"'", "' is too large for a schema file", "", "はスキーマファイルとしては大きすぎます"},
        {"'", "' is not a local file; nothing is fetched from a network", "",
         "はこのコンピューター上のファイルではありません（ネットワークからは取得しません）"},
        {"DTD is prohibited in the schema file '", "'", "スキーマファイル",
         "に文書型宣言（DTD）があるため使えません"},
        {"the external resource '", "' is not loaded", "外部のファイル", "は読み込みません"},
    };
    for (const PathShape& shape : kShapes) {
        rest = cause;
        if (!eat(rest, shape.before)) {
            continue;
        }
        // The path ends where the shape's words end the refusal.
        for (std::size_t at = rest.find(shape.after); at != string_view::npos;
             at = rest.find(shape.after, at + 1)) {
            string_view tail = rest.substr(at + shape.after.size());
            if (const std::optional<string_view> report = splitReport(tail)) {
                return withReport(std::string(shape.japaneseBefore) + quoted(rest.substr(0, at)) +
                                      std::string(shape.japaneseAfter),
                                  *report);
            }
        }
    }
    rest = cause;
    if (eat(rest, "the schema parser cannot be created")) {
        if (const std::optional<string_view> report = splitReport(rest)) {
            return withReport("スキーマを読み込む準備ができませんでした", *report);
        }
    }
    rest = cause;
    if (eat(rest, "it is not a valid schema")) {
        if (const std::optional<string_view> report = splitReport(rest)) {
            return withReport("正しいスキーマではありません", *report);
        }
    }
    return "スキーマを読み込めませんでした（詳細: " + quoted(cause) + "）";
}

// The " The schema '<path>' could not be used: <cause>" sentences that follow
// a refusal, in Japanese; nullopt when text is not made of them.
std::optional<std::string> schemaFailures(string_view text) {
    std::string result;
    constexpr string_view kStart = " The schema '";
    while (!text.empty()) {
        if (!eat(text, kStart)) {
            return std::nullopt;
        }
        const std::optional<string_view> path = takeUntil(text, "' could not be used: ");
        if (!path) {
            return std::nullopt;
        }
        const std::size_t next = text.find(kStart);
        const string_view cause = text.substr(0, next);
        text.remove_prefix(next == string_view::npos ? text.size() : next);
        result += "スキーマ" + quoted(*path) + "は使えません: " + causeJapanese(cause) + "。";
    }
    return result;
}

Reason cannotRead(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (!eat(message, "The document '") || !eatEnd(message, ".")) {
        return std::nullopt;
    }
    for (const auto& [english, japanese] :
         {std::pair<string_view, string_view>{"' cannot be opened: ", "を開けません"},
          std::pair<string_view, string_view>{"' cannot be read: ", "を読み込めません"}}) {
        string_view rest = message;
        if (const std::optional<string_view> path = takeUntil(rest, english)) {
            return "文書" + quoted(*path) + std::string(japanese) + "（" + errnoJapanese(rest) +
                   "）。";
        }
    }
    return std::nullopt;
}

Reason notAFile(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (!eat(message, "'")) {
        return std::nullopt;
    }
    if (eatEnd(message, "' is a folder, not a document.")) {
        return quoted(message) + "はフォルダーです。文書ではありません。";
    }
    if (eatEnd(message, "' is not a regular file.")) {
        return quoted(message) + "は通常のファイルではありません。";
    }
    return std::nullopt;
}

Reason dtdProhibited(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (!eat(message, "DTD is prohibited: the document type declaration (") ||
        !eatEnd(message, ") is refused, and nothing it declares or names is read.")) {
        return std::nullopt;
    }
    return "文書型宣言" + quoted(message) +
           "は使えません。宣言の内容も、宣言が指すファイルも読み込んでいません。";
}

Reason noSchema(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (!eat(message, "No schema is available to validate the document against.")) {
        return std::nullopt;
    }
    const std::optional<std::string> failures = schemaFailures(message);
    if (!failures) {
        return std::nullopt;
    }
    return "検証に使えるスキーマがありません。" + *failures;
}

Reason rootNotDeclared(const XmlErrorFacts& f) {
    const std::size_t end = f.message.find(")."); // the end of the first sentence
    if (end == std::string::npos) {
        return std::nullopt;
    }
    const std::optional<Subject> subject = subjectOf(string_view(f.message).substr(0, end + 2));
    if (!subject || subject->attribute) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!eat(rest, "No matching global declaration available for the validation root (the "
                   "schema declares the target namespace ") ||
        !eatEnd(rest, ")")) {
        return std::nullopt;
    }
    const std::optional<std::vector<string_view>> namespaces = quotedList(rest);
    const std::optional<std::string> failures =
        schemaFailures(string_view(f.message).substr(end + 2));
    if (!namespaces || !failures) {
        return std::nullopt;
    }
    std::string list;
    bool namespaceKnown = false;
    for (const string_view ns : *namespaces) {
        list +=
            (list.empty() ? "" : "、") + (ns.empty() ? std::string("名前空間なし") : quoted(ns));
        namespaceKnown =
            namespaceKnown || (subject->element.qualified ? subject->element.ns == ns : ns.empty());
    }
    std::string result = "ルート要素" + quoted(subject->element.local) +
                         namespaceNote(subject->element) +
                         "を宣言しているスキーマがありません（スキーマの名前空間: " + list + "）。";
    if (!namespaceKnown) {
        result += "文書の名前空間がスキーマと違います。";
    }
    return result + *failures;
}

Reason parserFailure(const XmlErrorFacts& f) {
    static constexpr std::pair<string_view, string_view> kFixed[] = {
        {"The XML parser cannot be created.", "XMLパーサーを作れませんでした。"},
        {"The document has no root element.", "文書にルート要素がありません。"},
        {"The schema validator cannot be created.", "スキーマによる検証を始められませんでした。"},
        {"The schema validator cannot be attached to the parser.",
         "スキーマによる検証を始められませんでした。"},
        {"The schema validator did not accept the document.",
         "スキーマによる検証で、文書は正しくないとされました（理由は報告されていません）。"},
        {"Out of memory.", "メモリが足りません。"},
    };
    for (const auto& [english, japanese] : kFixed) {
        if (f.message == english) {
            return std::string(japanese);
        }
    }
    string_view message = f.message;
    if (eat(message, "Refused: ") && eatEnd(message, ".")) {
        return "読み込みを拒否しました: " + causeJapanese(message) + "。";
    }
    return std::nullopt;
}

Reason notLoaded(const XmlErrorFacts& f) {
    if (f.message != "No document has been loaded.") {
        return std::nullopt;
    }
    return std::string("文書はまだ読み込まれていません（検査していません）。");
}

Reason idrefNotFound(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || !subject->attribute) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!eat(rest, "'") || !eatEnd(rest, "' does not match any ID in the document")) {
        return std::nullopt;
    }
    return ownerValue(*subject, rest) + "と同じIDが文書の中にありません。";
}

// --- the table -----------------------------------------------------------------------------

constexpr int own(XmlLoadError code) {
    return static_cast<int>(code);
}

struct Rule {
    int code;
    Reason (*translate)(const XmlErrorFacts&);
};

constexpr Rule kRules[] = {
    {kIdrefNotFoundCode, idrefNotFound},
    {own(XmlLoadError::notLoaded), notLoaded},
    {own(XmlLoadError::parserFailure), parserFailure},
    {own(XmlLoadError::rootNotDeclared), rootNotDeclared},
    {own(XmlLoadError::noSchema), noSchema},
    {own(XmlLoadError::dtdProhibited), dtdProhibited},
    {own(XmlLoadError::notAFile), notAFile},
    {own(XmlLoadError::cannotRead), cannotRead},
    {XML_ERR_DOCUMENT_EMPTY, documentEmpty},
    {XML_ERR_DOCUMENT_END, extraContent},
    {XML_ERR_INVALID_HEX_CHARREF, hexCharRef},
    {XML_ERR_INVALID_DEC_CHARREF, decimalCharRef},
    {XML_ERR_INVALID_CHAR, invalidChar},
    {XML_ERR_ENTITYREF_SEMICOL_MISSING, semicolonMissing},
    {XML_ERR_UNDECLARED_ENTITY, undeclaredEntity},
    {XML_ERR_UNSUPPORTED_ENCODING, unsupportedEncoding},
    {XML_ERR_STRING_NOT_STARTED, stringNotStarted},
    {XML_ERR_STRING_NOT_CLOSED, stringNotClosed},
    {XML_ERR_LT_IN_ATTRIBUTE, ltInAttribute},
    {XML_ERR_ATTRIBUTE_NOT_STARTED, attributeNotStarted},
    {XML_ERR_ATTRIBUTE_NOT_FINISHED, attributeNotFinished},
    {XML_ERR_ATTRIBUTE_WITHOUT_VALUE, attributeWithoutValue},
    {XML_ERR_ATTRIBUTE_REDEFINED, attributeRedefined},
    {XML_ERR_COMMENT_NOT_FINISHED, commentNotFinished},
    {XML_ERR_PI_NOT_STARTED, piNotStarted},
    {XML_ERR_PI_NOT_FINISHED, piNotFinished},
    {XML_ERR_XMLDECL_NOT_FINISHED, xmlDeclNotFinished},
    {XML_ERR_MISPLACED_CDATA_END, misplacedCdataEnd},
    {XML_ERR_CDATA_NOT_FINISHED, cdataNotFinished},
    {XML_ERR_RESERVED_XML_NAME, reservedXmlName},
    {XML_ERR_SPACE_REQUIRED, spaceRequired},
    {XML_ERR_NAME_REQUIRED, nameRequired},
    {XML_ERR_GT_REQUIRED, gtRequired},
    {XML_ERR_TAG_NAME_MISMATCH, tagMismatch},
    {XML_ERR_TAG_NOT_FINISHED, tagNotFinished},
    {XML_ERR_STANDALONE_VALUE, standaloneValue},
    {XML_ERR_ENCODING_NAME, encodingName},
    {XML_ERR_HYPHEN_IN_COMMENT, hyphenInComment},
    {XML_ERR_INVALID_ENCODING, invalidEncoding},
    {XML_ERR_VERSION_MISSING, versionMissing},
    {XML_ERR_UNKNOWN_VERSION, unknownVersion},
    {XML_NS_ERR_XML_NAMESPACE, xmlNamespaceError},
    {XML_NS_ERR_UNDEFINED_NAMESPACE, undefinedNamespace},
    {XML_NS_ERR_QNAME, qnameError},
    {XML_NS_ERR_ATTRIBUTE_REDEFINED, namespacedAttributeRedefined},
    {XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1, datatypeInvalid},
    {XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_2, datatypeInvalid},
    {XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3, datatypeInvalid},
    {XML_SCHEMAV_CVC_TYPE_3_1_1, attributeNotAllowed},
    {XML_SCHEMAV_CVC_TYPE_3_1_2, simpleContent},
    {XML_SCHEMAV_CVC_LENGTH_VALID, lengthFacet},
    {XML_SCHEMAV_CVC_MINLENGTH_VALID, lengthFacet},
    {XML_SCHEMAV_CVC_MAXLENGTH_VALID, lengthFacet},
    {XML_SCHEMAV_CVC_MININCLUSIVE_VALID, boundFacet},
    {XML_SCHEMAV_CVC_MAXINCLUSIVE_VALID, boundFacet},
    {XML_SCHEMAV_CVC_MINEXCLUSIVE_VALID, boundFacet},
    {XML_SCHEMAV_CVC_MAXEXCLUSIVE_VALID, boundFacet},
    {XML_SCHEMAV_CVC_TOTALDIGITS_VALID, boundFacet},
    {XML_SCHEMAV_CVC_FRACTIONDIGITS_VALID, boundFacet},
    {XML_SCHEMAV_CVC_PATTERN_VALID, boundFacet},
    {XML_SCHEMAV_CVC_ENUMERATION_VALID, enumerationFacet},
    {XML_SCHEMAV_CVC_COMPLEX_TYPE_2_1, emptyContent},
    {XML_SCHEMAV_CVC_COMPLEX_TYPE_2_2, simpleContent},
    {XML_SCHEMAV_CVC_COMPLEX_TYPE_2_3, elementOnly},
    {XML_SCHEMAV_CVC_ELT_1, undeclaredElement},
    {XML_SCHEMAV_CVC_ELT_2, abstractElement},
    {XML_SCHEMAV_CVC_ELT_3_1, notNillable},
    {XML_SCHEMAV_CVC_ELT_3_2_1, nilledWithContent},
    {XML_SCHEMAV_CVC_ELT_3_2_2, nilledWithFixedValue},
    {XML_SCHEMAV_CVC_ELT_4_2, xsiTypeUnknown},
    {XML_SCHEMAV_CVC_ELT_4_3, xsiTypeNotDerived},
    {XML_SCHEMAV_CVC_ELT_5_2_2_2_1, fixedValue},
    {XML_SCHEMAV_CVC_ELT_5_2_2_2_2, fixedValue},
    {XML_SCHEMAV_CVC_COMPLEX_TYPE_3_2_1, attributeNotAllowed},
    {XML_SCHEMAV_CVC_COMPLEX_TYPE_3_2_2, attributeNotAllowed},
    {XML_SCHEMAV_CVC_COMPLEX_TYPE_4, attributeMissing},
    {XML_SCHEMAV_ELEMENT_CONTENT, elementContent},
    {XML_SCHEMAV_CVC_AU, fixedValue},
    {XML_SCHEMAV_CVC_TYPE_2, abstractType},
    {XML_SCHEMAV_CVC_IDC, identityConstraint},
    {XML_SCHEMAV_CVC_WILDCARD, strictAttributeWildcard},
    {XML_I18N_CONV_FAILED, conversionFailed},
};

static_assert(std::is_sorted(std::begin(kRules), std::end(kRules),
                             [](const Rule& a, const Rule& b) { return a.code < b.code; }),
              "the rules are looked up by binary search");

const Rule* ruleFor(int code) {
    const auto it = std::lower_bound(std::begin(kRules), std::end(kRules), code,
                                     [](const Rule& rule, int c) { return rule.code < c; });
    return it != std::end(kRules) && it->code == code ? &*it : nullptr;
}

} // namespace

std::string reasonText(const XmlErrorFacts& facts, ReasonLanguage language) {
    if (language == ReasonLanguage::japanese) {
        if (const Rule* rule = ruleFor(facts.code)) {
            try {
                if (Reason japanese = rule->translate(facts)) {
                    return std::move(*japanese);
                }
            } catch (...) {
                // Out of memory while translating: the English message is shown.
            }
        }
    }
    return facts.message;
}

std::vector<int> japaneseReasonCodes() {
    std::vector<int> codes;
    codes.reserve(std::size(kRules));
    for (const Rule& rule : kRules) {
        codes.push_back(rule.code);
    }
    return codes;
}

std::string idrefNotFoundMessage(const std::string& namespaceUri, const std::string& localName,
                                 const std::string& attribute, const std::string& value) {
    const std::string element =
        namespaceUri.empty() ? localName : "{" + namespaceUri + "}" + localName;
    return "Element '" + element + "', attribute '" + attribute + "': '" + value +
           "' does not match any ID in the document.";
}

} // namespace morvik::platform
