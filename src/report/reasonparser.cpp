// Japanese reasons for well-formedness errors: tags, attributes, character
// and entity references, comments, declarations, encodings, namespaces.
#include "report/reasonwords.h"

#include <libxml/xmlerror.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

namespace morvik::report::reasons {

namespace {

// --- rules: well-formedness -----------------------------------------------------------

constexpr const char* kAmpersandHint = "文字として「&」を書くときは「&amp;」と書いてください。";

// Said where a file that ends too early gives the same error: a file cut off
// in transfer or when it was written.
constexpr const char* kCutHint = "ファイルが途中で切れている可能性もあります。";

// libxml2 gives up inside an element's content when the bytes end in the
// middle of a character (a file cut inside a Japanese character).
Reason internalError(const XmlErrorFacts& f) {
    if (f.message.find("detected an error in element content") == std::string::npos) {
        return std::nullopt;
    }
    return std::string("要素の内容の途中で読めなくなりました。ファイルが途中で切れている"
                       "（文字の途中で終わっている）か、壊れている可能性があります。");
}

Reason tagMismatch(const XmlErrorFacts& f) {
    if (f.str1.empty() || f.str2.empty() ||
        !f.message.starts_with("Opening and ending tag mismatch")) {
        return std::nullopt;
    }
    const std::string line = f.int1 > 0 ? "（" + std::to_string(f.int1) + "行目）" : "";
    return "タグが対応していません：開始タグ" + quoted(f.str1) + line + "と終了タグ" +
           quoted(f.str2) + "。";
}

Reason tagNotFinished(const XmlErrorFacts& f) {
    if (f.str1.empty() || !f.message.starts_with("Premature end of data in tag ")) {
        return std::nullopt;
    }
    const std::string line = f.int1 > 0 ? "（" + std::to_string(f.int1) + "行目で開始）" : "";
    return "終了タグがありません：要素" + quoted(f.str1) + line +
           "の終了タグがないまま、ファイルが終わっています。" + kCutHint;
}

Reason gtRequired(const XmlErrorFacts& f) {
    if (f.message.starts_with("Couldn't find end of Start Tag ") && !f.str1.empty()) {
        const std::string line = f.int1 > 0 ? "（" + std::to_string(f.int1) + "行目）" : "";
        return "タグが「>」で閉じられていません：開始タグ" + quoted(f.str1) + line + "。" +
               kCutHint;
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

std::string invalidCharacter(long long value) {
    if (value < 0x20) {
        return "XMLで使えない制御文字" + codePoint(value) +
               "が含まれています（画面には見えない文字です。削除してください）。";
    }
    return "XMLで使えない文字" + codePoint(value) + "が含まれています。";
}

Reason invalidChar(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (eat(message, "Input is not proper UTF-8, indicate encoding ! Bytes: ")) {
        return "文字コードが違います：UTF-8として読めないバイト列" + documentValue(message) +
               "があります。UTF-8以外の文字コードで書かれているときは、XML宣言の「encoding」で"
               "その文字コードを指定してください。";
    }
    if (eat(message, "PCDATA invalid Char value ")) {
        if (const std::optional<long long> value = number(message)) {
            return invalidCharacter(*value);
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
        return invalidCharacter(value);
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
           "の形で書いてください。ファイルが属性名の途中で切れている可能性もあります。";
}

Reason attributeRedefined(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (!eat(message, "Attribute ") || !eatEnd(message, " redefined") || message.empty()) {
        return std::nullopt;
    }
    return "属性が重複しています：属性" + quoted(message) + "が同じ要素に2回以上書かれています。";
}

Reason namespacedAttributeRedefined(const XmlErrorFacts& f) {
    if (f.str1.empty() || !f.message.starts_with("Namespaced Attribute ")) {
        return std::nullopt;
    }
    return "属性が重複しています：名前空間" + quoted(f.str2) + "の属性" + quoted(f.str1) +
           "が同じ要素に2回以上書かれています。";
}

Reason attributeNotStarted(const XmlErrorFacts&) {
    return std::string("属性値が引用符（「\"」か「'」）で囲まれていません。");
}

Reason attributeNotFinished(const XmlErrorFacts&) {
    return "属性値を閉じる引用符がありません。" + std::string(kCutHint);
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
    return std::string("ルート要素の後に余分な内容があります。ルート要素はファイルに1つだけ書けます。");
}

Reason documentEmpty(const XmlErrorFacts& f) {
    if (f.message == "Document is empty") {
        return std::string("ファイルが空です。");
    }
    if (f.message == "Start tag expected, '<' not found") {
        return std::string("ファイルの始めに要素の開始タグ（「<」）がありません。");
    }
    return std::nullopt;
}

Reason commentNotFinished(const XmlErrorFacts&) {
    return "コメント（「<!--」から「-->」まで）が閉じられていません。" + std::string(kCutHint);
}

Reason hyphenInComment(const XmlErrorFacts&) {
    return std::string(
        "コメントの中に「--」が含まれています。コメントの中では「--」は使えません。");
}

Reason cdataNotFinished(const XmlErrorFacts&) {
    return "「<![CDATA[」で始まる部分が「]]>」で閉じられていません。" + std::string(kCutHint);
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
    return std::string("XML宣言（「<?xml … ?>」）はファイルの先頭にしか書けません。前に空白や改行、"
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
    return "文字コードが矛盾しています：ファイルは文字コード" + quoted(*declared) +
           "と宣言されていますが、内容は" + quoted(message) + "で書かれています。";
}

Reason conversionFailed(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (!eat(message, "input conversion failed due to input error, bytes ") || message.empty()) {
        return std::nullopt;
    }
    return "文字コードが違います：宣言された文字コードでは読めないバイト列" +
           documentValue(message) +
           "があります。XML宣言の「encoding」と実際の文字コードが合っているか確かめてください。";
}

Reason xmlNamespaceError(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (eat(message, "xmlns:") && eatEnd(message, ": Empty XML namespace is not allowed")) {
        return "接頭辞" + quoted(message) +
               "の名前空間が空です。空でない名前空間を指定してください。";
    }
    if (message == "xml namespace prefix mapped to wrong URI") {
        return std::string("接頭辞「xml」には定められた名前空間以外は指定できません。");
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
        return "名前空間の宣言がありません：要素" + quoted(f.str3) + "の属性" +
               quoted(f.str1 + ":" + f.str2) + "の接頭辞" + quoted(f.str1) + "（" + declaration +
               "の宣言が必要です）。";
    }
    return "名前空間の宣言がありません：要素" + quoted(f.str1 + ":" + f.str2) + "の接頭辞" +
           quoted(f.str1) + "（" + declaration + "の宣言が必要です）。";
}

Reason qnameError(const XmlErrorFacts& f) {
    string_view message = f.message;
    if (!eat(message, "Failed to parse QName '") || !eatEnd(message, "'") || message.empty()) {
        return std::nullopt;
    }
    return "名前" + quoted(message) +
           "の書き方が正しくありません（「:」は接頭辞と名前の区切りに1回だけ使えます）。";
}

constexpr ReasonRule kWellFormednessRules[] = {
    {XML_ERR_INTERNAL_ERROR, internalError},
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
    {XML_I18N_CONV_FAILED, conversionFailed},
};

static_assert(std::is_sorted(std::begin(kWellFormednessRules), std::end(kWellFormednessRules),
                             ruleBefore),
              "the rules are looked up by binary search");
} // namespace

std::span<const ReasonRule> wellFormednessRules() {
    return kWellFormednessRules;
}

} // namespace morvik::report::reasons
