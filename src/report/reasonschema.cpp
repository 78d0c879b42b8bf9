// Japanese reasons for schema validation errors: values against their types
// and facets, content models, attributes, nil, xsi:type, identity constraints.
#include "report/reasonwords.h"

#include "platform/xml/xmltext.h"

#include <libxml/xmlerror.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

namespace morvik::report::reasons {

namespace {

// --- what a value must be ------------------------------------------------------------

// The patterns of the standard schema set, in words, with an example. Other
// digits-only patterns are described without one; any other pattern is
// shown as it is.
struct PatternText {
    string_view pattern;
    string_view description;
};

constexpr PatternText kPatterns[] = {
    {"[0-9]{1,8}|([0-9]{9,14}|[0-9]{14,14}\\.[0-9]+)([+\\-][0-9]{1,4})?",
     "日付は半角数字8桁（YYYYMMDD、例：20240527）、日時は半角数字14桁（YYYYMMDDhhmmss）で"
     "書いてください"},
    {"([1-9][0-9][0-9][0-9])((0[1-9])|(1[0-2]))(([0-2][0-9])|(3[01]))",
     "日付は半角数字8桁（YYYYMMDD、例：19590427）で書いてください"},
    {"[0-9]{3}-[0-9]{4}",
     "郵便番号は半角数字3桁、「-」、半角数字4桁で書いてください（例：100-8916）"},
    {"[0-2](\\.(0|[1-9][0-9]*))*",
     "OIDは半角数字を「.」で区切って書いてください（例：1.2.392.200119.6.102）"},
    {"1.2.392.200119.6.209.1[0-9]{1,8}|1.2.392.200119.6.210.1[0-9]{1,8}",
     "「1.2.392.200119.6.209.1」か「1.2.392.200119.6.210.1」に続けて半角数字1〜8桁で書いてください"
     "（例：1.2.392.200119.6.209.112345678）"},
    {"[^\\s]+", "空白や改行を含めずに書いてください（コードの値など。例：9N001000000000001）"},
    {"true|false", "「true」か「false」で書いてください"},
    {"[A-Za-z][A-Za-z0-9\\-]*",
     "半角英字で始め、半角英数字と「-」だけで書いてください（例：A1-B2）"},
    // The numbers of the common types: digits only, the kinds of number that
    // use them named for the example.
    {"[0-9]{10}", "半角数字10桁で書いてください（特定健診機関番号など。例：2813304249）"},
    {"[0-9]{0,8}", "半角数字8桁以内で書いてください（保険者番号など。例：00280081）"},
    {"[0-9]{8}", "半角数字8桁で書いてください（代行機関番号など。例：12345678）"},
    {"[0-9]{11}", "半角数字11桁で書いてください（受診券番号・利用券番号など。例：24000000001）"},
    {"[0-9]{2}", "半角数字2桁で書いてください（被保険者枝番など。1桁なら前に0を付けます。例：01）"},
    {"[0-9]{6}",
     "半角数字6桁で書いてください（窓口負担金額・窓口負担率など。足りない桁は前を0で埋めます。"
     "例：001000）"},
    {"[0-9a-zA-Z]{8}-[0-9a-zA-Z]{4}-[0-9a-zA-Z]{4}-[0-9a-zA-Z]{4}-[0-9a-zA-Z]{12}",
     "半角英数字を8桁-4桁-4桁-4桁-12桁に「-」で区切って書いてください"
     "（例：1b4e28ba-2fa1-11d2-883f-0016d3cca427）"},
};

// "[0-9]{n}", "[0-9]{m,n}": digits only.
std::optional<std::string> digitsPattern(string_view pattern) {
    if (!eat(pattern, "[0-9]{") || !eatEnd(pattern, "}")) {
        return std::nullopt;
    }
    const std::size_t comma = pattern.find(',');
    if (comma == string_view::npos) {
        if (!number(pattern)) {
            return std::nullopt;
        }
        return "半角数字" + std::string(pattern) + "桁で書いてください";
    }
    const std::optional<long long> low = number(pattern.substr(0, comma));
    const std::optional<long long> high = number(pattern.substr(comma + 1));
    if (!low || !high) {
        return std::nullopt;
    }
    return *low == 0 ? "半角数字" + std::to_string(*high) + "桁以内で書いてください"
                     : "半角数字" + std::to_string(*low) + "〜" + std::to_string(*high) +
                           "桁で書いてください";
}

std::optional<std::string> patternDescription(string_view pattern) {
    for (const PatternText& known : kPatterns) {
        if (known.pattern == pattern) {
            return std::string(known.description);
        }
    }
    return digitsPattern(pattern);
}

// What a value of a named type must be, for the types a clerk meets: the
// verdict, and how such a value is written.
struct TypeMeaning {
    string_view type; // the local name
    string_view verdict;
    string_view how;
};

constexpr TypeMeaning kTypeMeanings[] = {
    {"real", "数値として正しくありません", "半角数字と小数点「.」で書きます。例：168.2"},
    {"int", "整数として正しくありません", "半角数字で書きます。カンマや小数点は使えません"},
    {"totalMonetaryAmount", "金額として正しくありません",
     "0以上の整数を半角数字で書きます。カンマや小数点、「円」は使えません"},
    {"NullFlavor", "値がない理由のコードとして正しくありません",
     "例：「NI」（情報なし）、「UNK」（不明）"},
    {"ts", "日時として正しくありません", "半角数字でYYYYMMDDかYYYYMMDDhhmmssと書きます"},
    // The other named types of the standard set that are neither a pattern
    // nor a list of codes.
    {"senderId", "機関番号として正しくありません",
     "特定健診機関番号・特定保健指導機関番号は半角数字10桁、保険者番号は8桁以内、代行機関番号は"
     "8桁で書きます"},
    {"receiverId", "機関番号として正しくありません",
     "特定健診機関番号・特定保健指導機関番号は半角数字10桁、保険者番号は8桁以内、代行機関番号は"
     "8桁で書きます"},
    {"uid", "識別子として正しくありません",
     "OIDは半角数字を「.」で区切って書きます。例：1.2.392.200119.6.102"},
    {"totalCount", "件数として正しくありません", "0〜999999の整数を半角数字で書きます"},
    {"grandTotalCount", "件数として正しくありません", "0〜99999999の整数を半角数字で書きます"},
    {"pointCount", "ポイント数として正しくありません", "0〜9999の整数を半角数字で書きます"},
    {"percentage", "割合として正しくありません", "0〜100の整数を半角数字で書きます"},
    {"bl", "真偽値として正しくありません", "「true」か「false」で書きます"},
    {"probability", "確率として正しくありません", "0〜1の数値を半角数字と小数点「.」で書きます"},
};

const TypeMeaning* typeMeaning(string_view type) {
    const std::optional<Name> name = nameOf(type);
    if (!name) {
        return nullptr;
    }
    for (const TypeMeaning& meaning : kTypeMeanings) {
        if (meaning.type == name->local) {
            return &meaning;
        }
    }
    return nullptr;
}

// Hints from the value itself: what a clerk typed that the form does not take.
std::string valueHints(string_view value) {
    if (value.empty()) {
        return "値が空です。";
    }
    std::string hints;
    const auto has = [&](string_view piece) { return value.find(piece) != string_view::npos; };
    bool fullWidth = false;
    for (const string_view digit : {"０", "１", "２", "３", "４", "５", "６", "７", "８", "９", "－",
                                    "ー", "−", "．", "，"}) {
        fullWidth = fullWidth || has(digit);
    }
    if (fullWidth) {
        hints += "全角の数字や記号が含まれています。半角で書いてください。";
    }
    if (has(",")) {
        hints += "カンマ「,」は使えません。";
    }
    if (has("\n") || has("\r")) {
        hints += "値に改行が含まれています。";
    } else if (value.front() == ' ' || value.back() == ' ' || value.front() == '\t' ||
               value.back() == '\t' || has("　")) {
        hints += "値に空白が含まれています。";
    }
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\n' && c != '\r' && c != '\t') {
            hints += "制御文字" + codePoint(u) + "が含まれています（画面には見えない文字です）。";
            break;
        }
    }
    return hints;
}

// The codes a type allows, quoted and joined with 、; a long list is cut
// after its first 30 codes (a code type gathers several lists, the one that
// was meant is often not among the first ten an enumeration shows), with how
// many more there are as an enumeration says it.
std::string codeList(const std::vector<std::string>& codes) {
    constexpr std::size_t kShown = 30;
    std::string list;
    for (std::size_t i = 0; i < codes.size() && i < kShown; ++i) {
        list += (i == 0 ? "" : "、") + quoted(codes[i]);
    }
    if (codes.size() > kShown) {
        list += "ほか" + std::to_string(codes.size() - kShown) + "件";
    }
    return list;
}

// The value as the message quotes it: on one line.
std::string shownValue(string_view value) {
    // Line breaks become spaces; a space at the end stays (the message goes on).
    std::string line = platform::oneLineUtf8(std::string(value) + "x");
    line.pop_back();
    return line;
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
        return "名前空間の宣言がありません：" + ownerValue(*subject, *value) + "の接頭辞" +
               documentValue(value->substr(0, colon)) + "。";
    }
    std::string what;
    std::optional<string_view> value;
    if (eat(rest, "The character content is not a valid value of the ")) {
        what = owner(*subject) + "の内容";
    } else if (eat(rest, "'")) {
        // The value is str1; a value of another message is read up to its end.
        constexpr string_view kEnd = "' is not a valid value of the ";
        if (!f.str1.empty() && rest.starts_with(shownValue(f.str1) + std::string(kEnd))) {
            value = string_view(f.str1);
            rest.remove_prefix(shownValue(f.str1).size() + kEnd.size());
        } else if (!f.str1.empty() && rest.starts_with(f.str1 + std::string(kEnd))) {
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
        if (rest == "xs:ID" && value) {
            // Our own check reports an ID used twice (OwnFacts::duplicateId);
            // libxml2 does so only for a document read into a tree. An ID
            // libxml2 refuses that is no plain ASCII name is badly written.
            if (isNcName(*value)) {
                return "IDが重複しています：ID" + documentValue(*value) +
                       "はファイルの中ですでに使われています。同じIDは1回しか使えません（" +
                       owner(*subject) + "）。";
            }
            return "IDとして正しくありません：" + ownerValue(*subject, *value) +
                   "。IDは半角英字か「_」で始め、半角英数字と「.」「-」「_」だけで書きます" +
                   "（全角文字や空白は使えません）。";
        }
    } else if (!rest.empty()) {
        return std::nullopt;
    }
    const std::string hints = value ? valueHints(*value) : std::string();
    if (!f.values.empty()) {
        // A code type: the codes it allows, the type's name for system people.
        const TypeMeaning* meaning = local ? nullptr : typeMeaning(rest);
        return std::string(meaning != nullptr ? meaning->verdict : "使える値ではありません") +
               "：" + what + "。" + hints + "定められたコードのいずれかで書いてください" +
               (type ? "（型" + *type + "）" : std::string()) + "：" + codeList(f.values) + "。";
    }
    if (!local) {
        if (const TypeMeaning* meaning = typeMeaning(rest)) {
            return std::string(meaning->verdict) + "：" + what + "。" + hints + "（" +
                   std::string(meaning->how) + "。型" + *type + "）";
        }
    }
    const std::string target = type ? "型" + *type
                                    : (subject->attribute ? std::string("この属性に定められた型")
                                                          : std::string("この要素に定められた型"));
    switch (variety) {
    case Variety::atomic:
        return "値が正しくありません：" + what + "は、" + target + "の値として正しくありません。" +
               hints;
    case Variety::list:
        return "値が正しくありません：" + what + "は、" + target +
               "（空白で区切った値の並び）として正しくありません。" + hints;
    case Variety::unionType:
        return "使える値ではありません：" + what + "は、" + target + "で使える値ではありません。" +
               hints;
    }
    return std::nullopt;
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
    std::string verdict;
    std::string expectation;
    if (f.code == XML_SCHEMAV_CVC_LENGTH_VALID &&
        eat(bound, "differs from the allowed length of '")) {
        verdict = "文字数が違います";
        expectation = "ちょうど";
    } else if (f.code == XML_SCHEMAV_CVC_MINLENGTH_VALID &&
               eat(bound, "underruns the allowed minimum length of '")) {
        verdict = "文字数が足りません";
        expectation = "以上";
    } else if (f.code == XML_SCHEMAV_CVC_MAXLENGTH_VALID &&
               eat(bound, "exceeds the allowed maximum length of '")) {
        verdict = "文字数が多すぎます";
        expectation = "以下";
    } else {
        return std::nullopt;
    }
    if (!number(bound)) {
        return std::nullopt;
    }
    const std::string limit = expectation == "ちょうど" ? "ちょうど" + std::string(bound) + "文字"
                                                        : std::string(bound) + "文字" + expectation;
    return verdict + "：" + what + "は" + std::string(*actual) + "文字です。" + limit +
           "で書いてください。";
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
         "値が小さすぎます：", "", "以上でなければなりません。"},
        {XML_SCHEMAV_CVC_MAXINCLUSIVE_VALID, "is greater than the maximum value allowed ('",
         "値が大きすぎます：", "", "以下でなければなりません。"},
        {XML_SCHEMAV_CVC_MINEXCLUSIVE_VALID, "must be greater than '", "値が小さすぎます：", "",
         "より大きくなければなりません。"},
        {XML_SCHEMAV_CVC_MAXEXCLUSIVE_VALID, "must be less than '", "値が大きすぎます：", "",
         "より小さくなければなりません。"},
        {XML_SCHEMAV_CVC_TOTALDIGITS_VALID, "has more digits than are allowed ('",
         "桁数が多すぎます：", "数字は全体で", "桁までです。"},
        {XML_SCHEMAV_CVC_FRACTIONDIGITS_VALID, "has more fractional digits than are allowed ('",
         "小数点以下の桁数が多すぎます：", "小数点以下は", "桁までです。"},
    };
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!facetOf(rest)) {
        return std::nullopt;
    }
    if (f.code == XML_SCHEMAV_CVC_PATTERN_VALID) {
        const std::string expected =
            "The value '" + shownValue(f.str1) + "' is not accepted by the pattern '" + f.str2;
        if (f.str2.empty() || !rest.starts_with(expected)) {
            return std::nullopt;
        }
        const std::optional<std::string> description = patternDescription(f.str2);
        return "形式が正しくありません：" + ownerValue(*subject, f.str1) + "。" +
               valueHints(f.str1) + (description ? *description + "。" : std::string()) +
               "（パターン：" + quoted(f.str2) + "）";
    }
    for (const Shape& shape : kShapes) {
        if (shape.code != f.code) {
            continue;
        }
        const std::string expected =
            "The value '" + shownValue(f.str1) + "' " + std::string(shape.phrase) + f.str2;
        if (f.str2.empty() || !rest.starts_with(expected)) {
            return std::nullopt;
        }
        const bool digits = f.code == XML_SCHEMAV_CVC_TOTALDIGITS_VALID ||
                            f.code == XML_SCHEMAV_CVC_FRACTIONDIGITS_VALID;
        const std::string bound = digits ? f.str2 : quoted(f.str2);
        return std::string(shape.problem) + ownerValue(*subject, f.str1) + "。" +
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
        rest != platform::oneLineUtf8("The value '" + f.str1 + "' is not an element of the set {" +
                                      f.str2 + "}")) {
        return std::nullopt;
    }
    const std::optional<std::vector<string_view>> values = quotedList(f.str2);
    if (!values) {
        return std::nullopt;
    }
    return "使える値ではありません：" + ownerValue(*subject, f.str1) + "。" + valueHints(f.str1) +
           "使える値：" + valueList(*values) + "。";
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
        const std::string written =
            element + (text.elementNamespaceNeeded ? namespaceNote(subject->element) : "");
        // A name that differs only in letter case is a misspelling.
        const auto lower = [](string_view name) {
            std::string result(name);
            std::transform(result.begin(), result.end(), result.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            return result;
        };
        for (const Expected& item : *items) {
            if (item.kind == Expected::Kind::element && item.name.local != subject->element.local &&
                lower(item.name.local) == lower(subject->element.local)) {
                return "要素名の書き間違いです：" + element + "は" + quoted(item.name.local) +
                       "の書き間違いではありませんか（大文字と小文字は区別されます）。";
            }
        }
        if (items->size() == 1) {
            return "要素が抜けているか順番が違います：ここには" + text.prefix + text.list +
                   "が必要ですが" + written + "が書かれています。";
        }
        if (items->size() > 1) {
            return "この位置には書けません：要素" + written + "。ここに書けるのは" + text.prefix +
                   "次のいずれかです：" + text.list + "（抜けている要素や順番を確かめてください）。";
        }
        return "この位置には書けない要素です：" + written + "。";
    }
    const ExpectedText text = expectedText(*items, nullptr);
    std::string result = "必要な子要素がありません：要素" + element + "には";
    if (items->size() == 1) {
        return result + text.list + "が必要です。";
    }
    if (items->size() > 1) {
        return result + "次のいずれかが必要です：" + text.list + "。";
    }
    return "必要な子要素がありません：要素" + element + "の中身が足りません。";
}

Reason emptyContent(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    const std::string tail = owner(*subject) + "は内容を持たない要素です。";
    if (subject->rest == "Character content is not allowed, because the content type is empty") {
        return "文字は書けません：" + tail;
    }
    if (subject->rest == "Element content is not allowed, because the content type is empty") {
        return "子要素は書けません：" + tail;
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
    return "子要素は書けません：" + owner(*subject) + "には値（文字）だけが書けます。";
}

Reason elementOnly(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || !subject->rest.starts_with("Character content other than whitespace is not "
                                               "allowed")) {
        return std::nullopt;
    }
    return "文字は書けません：" + owner(*subject) + "には子要素だけが書けます（空白以外の文字は" +
           "書けません）。";
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
    const std::string result = "書けない属性です：要素" + quoted(subject->element.local) +
                               "の属性" + attributeText(*subject->attribute) + "。";
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
    return "必須の属性がありません：" + owner(*subject) + "の属性" + attributeText(*attribute) +
           "。";
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
    return "定められた値と違います：" + ownerValue(*subject, f.str1) + "。定められた値は" +
           quoted(f.str2) + "です。";
}

Reason undeclaredElement(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->attribute) {
        return std::nullopt;
    }
    const std::string element = quoted(subject->element.local) + namespaceNote(subject->element);
    if (subject->rest == "No matching global declaration available for the validation root") {
        return "ルート要素が違います：" + element + "はスキーマで宣言されていません。";
    }
    if (subject->rest ==
        "No matching global element declaration available, but demanded by the strict wildcard") {
        return "宣言されていない要素です：" + element +
               "。この位置には宣言された要素だけが書けます。";
    }
    if (subject->rest == "No matching declaration available") {
        return "宣言されていない要素です：" + element + "はスキーマで宣言されていません。";
    }
    return std::nullopt;
}

Reason abstractElement(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->rest != "The element declaration is abstract") {
        return std::nullopt;
    }
    return "抽象要素は書けません：" + owner(*subject) + "は抽象要素として宣言されています。";
}

Reason notNillable(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->rest != "The element is not 'nillable'") {
        return std::nullopt;
    }
    return "「xsi:nil」は指定できません：" + owner(*subject) + "は値を省略できない要素です。";
}

Reason nilledWithContent(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject ||
        !subject->rest.starts_with("Neither character nor element content is allowed")) {
        return std::nullopt;
    }
    return "内容は書けません：" + owner(*subject) +
           "には「xsi:nil=\"true\"」が指定されているため、文字も子要素も書けません。";
}

Reason nilledWithFixedValue(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || !subject->rest.starts_with("The element cannot be 'nilled'")) {
        return std::nullopt;
    }
    return "「xsi:nil」は指定できません：" + owner(*subject) + "には定められた値があります。";
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
    return "型がスキーマにありません：要素" + quoted(subject->element.local) +
           "の「xsi:type」に指定された型" + *type + "。";
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
    return "この型は使えません：要素" + quoted(subject->element.local) +
           "の「xsi:type」に指定された型" + *type +
           "（要素の型から派生した型ではないか、使うことが禁止されています）。";
}

Reason abstractType(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->rest != "The type definition is abstract") {
        return std::nullopt;
    }
    return "抽象型は使えません：" + owner(*subject) +
           "の型は抽象型です。「xsi:type」で具体的な型を指定してください。";
}

Reason strictAttributeWildcard(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || !subject->attribute ||
        subject->rest != "No matching global attribute declaration available, but demanded by "
                         "the strict wildcard") {
        return std::nullopt;
    }
    return "宣言されていない属性です：" + owner(*subject) + "はスキーマで宣言されていません。";
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
        return "値が重複しています：" + element + "の値" + *values + "（" + *constraint +
               "では同じ値を2回使えません）。";
    }
    if (eat(rest, "Not all fields of ") && eatEnd(rest, " evaluate to a node")) {
        const std::optional<std::string> constraint = constraintText(rest);
        if (!constraint) {
            return std::nullopt;
        }
        return "キーの値がありません：" + element + "に" + *constraint + "の値となる項目が" +
               "ありません（" + *constraint + "の項目はすべて必要です）。";
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
        return "対応するキーがありません：" + element + "の値" + *values + "（参照の制約" +
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

constexpr ReasonRule kSchemaRules[] = {
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
};

static_assert(std::is_sorted(std::begin(kSchemaRules), std::end(kSchemaRules), ruleBefore),
              "the rules are looked up by binary search");
} // namespace

std::span<const ReasonRule> schemaRules() {
    return kSchemaRules;
}

} // namespace morvik::report::reasons
