// Scanning libxml2's English messages and saying names, values and expected
// elements as the Japanese reasons show them.
#include "report/reasonwords.h"

#include <libxml/xmlerror.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

namespace morvik::report::reasons {

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

namespace {
// The marks around a document's value inside a worded reason: characters of
// Unicode's private use area, which no wording of ours writes; a value's own
// copies of them are escaped with the third.
constexpr string_view kValueOpen = "\xEE\x80\x80";   // U+E000
constexpr string_view kValueClose = "\xEE\x80\x81";  // U+E001
constexpr string_view kValueEscape = "\xEE\x80\x82"; // U+E002, then '0', '1' or '2'
constexpr string_view kMarks[] = {kValueOpen, kValueClose, kValueEscape};

// A marked value as the document holds it.
std::string unescaped(string_view value) {
    std::string text;
    text.reserve(value.size());
    for (std::size_t at = 0; at < value.size();) {
        const string_view rest = value.substr(at);
        if (rest.starts_with(kValueEscape) && rest.size() > kValueEscape.size()) {
            text += kMarks[rest[kValueEscape.size()] - '0'];
            at += kValueEscape.size() + 1;
        } else {
            text += value[at++];
        }
    }
    return text;
}

// Calls each(before, value) for every marked value of text (the value as the
// document holds it), then each(rest, nullopt) once for what follows the
// last one.
template <typename Each> void forEachValue(string_view text, Each each) {
    for (;;) {
        const std::size_t open = text.find(kValueOpen);
        const std::size_t close =
            open == string_view::npos ? open : text.find(kValueClose, open + kValueOpen.size());
        if (close == string_view::npos) {
            each(text, std::optional<std::string>());
            return;
        }
        const std::size_t start = open + kValueOpen.size();
        each(text.substr(0, open),
             std::optional<std::string>(unescaped(text.substr(start, close - start))));
        text.remove_prefix(close + kValueClose.size());
    }
}
} // namespace

std::string documentValue(string_view value) {
    std::string marked(kValueOpen);
    for (std::size_t at = 0; at < value.size();) {
        const string_view rest = value.substr(at);
        bool escaped = false;
        for (std::size_t mark = 0; mark < std::size(kMarks) && !escaped; ++mark) {
            if (rest.starts_with(kMarks[mark])) {
                marked += kValueEscape;
                marked += static_cast<char>('0' + mark);
                at += kMarks[mark].size();
                escaped = true;
            }
        }
        if (!escaped) {
            marked += value[at++];
        }
    }
    marked += kValueClose;
    return quoted(marked);
}

std::string withValuesShown(string_view marked) {
    std::string text;
    text.reserve(marked.size());
    forEachValue(marked, [&text](string_view before, const std::optional<std::string>& value) {
        text += before;
        if (value) {
            text += *value;
        }
    });
    return text;
}

std::string withValuesHidden(string_view marked, std::vector<std::string>& hidden) {
    std::string text;
    forEachValue(marked, [&](string_view before, const std::optional<std::string>& value) {
        text += before;
        if (value) {
            text += "…";
            hidden.emplace_back(*value);
        }
    });
    return text;
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
    return value.empty() ? std::string("値（空）") : "値" + documentValue(value);
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

namespace {

struct BuiltInType {
    string_view name;
    string_view description;
};

constexpr BuiltInType kBuiltInTypes[] = {
    {"xs:anyURI", "URI"},
    {"xs:base64Binary", "Base64で表したデータ"},
    {"xs:boolean", "真偽値。「true」か「false」"},
    {"xs:byte", "整数"},
    {"xs:date", "日付。例：「2024-05-27」"},
    {"xs:dateTime", "日時。例：「2024-05-27T09:30:00」"},
    {"xs:decimal", "数値"},
    {"xs:double", "数値"},
    {"xs:float", "数値"},
    {"xs:gYear", "年。例：「2024」"},
    {"xs:gYearMonth", "年月。例：「2024-05」"},
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
    {"xs:time", "時刻。例：「09:30:00」"},
    {"xs:token", "文字列"},
    {"xs:unsignedByte", "0以上の整数"},
    {"xs:unsignedInt", "0以上の整数"},
    {"xs:unsignedLong", "0以上の整数"},
    {"xs:unsignedShort", "0以上の整数"},
};

} // namespace

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

// A name as the IDs of the standard files are made: an ASCII letter or '_'
// first, then ASCII letters, digits, '.', '-', '_'.
bool isNcName(string_view text) {
    if (text.empty()) {
        return false;
    }
    const auto letter = [](unsigned char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
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

// 「PQ」（名前空間「urn:hl7-org:v3」）: the type of an xsi:type, always with its
// namespace, since a wrong prefix is a common cause.
std::optional<std::string> xsiTypeName(string_view text) {
    const std::optional<Name> name = nameOf(text);
    if (!name) {
        return std::nullopt;
    }
    return quoted(name->local) + namespaceNote(*name);
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
        result += (result.empty() ? "" : "、") + documentValue(value);
    }
    return result;
}
} // namespace morvik::report::reasons
