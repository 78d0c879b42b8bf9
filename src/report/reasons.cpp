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

#include "platform/xml/xmlbudget.h"
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

using platform::kIdrefNotFoundCode;
using platform::XmlLoadError;

namespace {

using namespace reasons;

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
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!eat(rest, "'") || !eatEnd(rest, "' does not match any ID in the document")) {
        return std::nullopt;
    }
    return ownerValue(*subject, rest) + "と同じIDが文書の中にありません。";
}

// Element '{ns}e', attribute 'a': '1e' is not a valid value of the type 'T':
// it is not a number in the lexical form of xs:decimal or xs:double (an
// exponent needs digits). The value is str1, the forms str3.
Reason notANumber(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || f.str1.empty() || f.str3.empty()) {
        return std::nullopt;
    }
    // "xs:decimal or xs:double": each form named in quotes.
    std::string forms;
    string_view rest = f.str3;
    while (!rest.empty()) {
        const std::size_t cut = rest.find(" or ");
        forms += (forms.empty() ? "" : "・") + quoted(rest.substr(0, cut));
        rest = cut == string_view::npos ? string_view() : rest.substr(cut + 4);
    }
    const bool several = f.str3.find(" or ") != std::string::npos;
    return ownerValue(*subject, f.str1) + "は数値の正しい書き方ではありません（" + forms +
           (several ? "のどちらとしても" : "として") +
           "読めません。指数を表す「e」の後には数字が必要です）。";
}

// The byte-order mark says UTF-16LE but the encoding declaration says 'UTF-8'.
Reason byteOrderMarkConflict(const XmlErrorFacts& f) {
    if (f.str1.empty() || f.str2.empty()) {
        return std::nullopt;
    }
    return "ファイルの先頭のバイト順マークは" + quoted(f.str1) + "を示していますが、XML宣言の" +
           "文字コードは" + quoted(f.str2) + "です。どちらかが誤っています。";
}

// The document 'a.xml' needed more than its memory budget of 1073741824 bytes.
// The document 'a.xml' took longer than its time budget of 120 seconds.
// The document 'a.xml' has an element with more than 10000 attributes, over
// the budget of one element (checking them takes ...).
Reason budgetExceeded(const XmlErrorFacts& f) {
    std::uint64_t limit = 0;
    const auto [end, error] = std::from_chars(f.str2.data(), f.str2.data() + f.str2.size(), limit);
    if (error != std::errc() || end != f.str2.data() + f.str2.size()) {
        return std::nullopt;
    }
    if (f.str1 == platform::kBudgetTime) {
        return "文書の検証にかかる時間が上限の " + std::to_string(limit) +
               " 秒を超えたため、ここで検証を打ち切りました。文書が大きすぎるか、"
               "異常な構造になっています。";
    }
    if (f.str1 == platform::kBudgetAttributes) {
        return "1つの要素の属性が上限の " + std::to_string(limit) +
               " 個を超えているため、検証を打ち切りました（属性の照合にかかる時間は数の2乗で増えます）。";
    }
    if (f.str1 != platform::kBudgetMemory) {
        return std::nullopt;
    }
    // Whole MiB as the options take them; anything else in bytes.
    const std::string shown = limit % (1024 * 1024) == 0
                                  ? quoted(std::to_string(limit / (1024 * 1024)) + " MiB")
                                  : quoted(std::to_string(limit)) + "バイト";
    return "文書の検証に使うメモリーが上限" + shown +
           "を超えたため、ここで検証を打ち切りました。文書が大きすぎるか、異常な構造になっています。";
}

constexpr int own(XmlLoadError code) {
    return static_cast<int>(code);
}

constexpr ReasonRule kOwnRules[] = {
    {own(XmlLoadError::budgetExceeded), budgetExceeded},
    {own(XmlLoadError::byteOrderMarkConflict), byteOrderMarkConflict},
    {own(XmlLoadError::notANumber), notANumber},
    {own(XmlLoadError::idrefNotFound), idrefNotFound},
    {own(XmlLoadError::notLoaded), notLoaded},
    {own(XmlLoadError::parserFailure), parserFailure},
    {own(XmlLoadError::rootNotDeclared), rootNotDeclared},
    {own(XmlLoadError::noSchema), noSchema},
    {own(XmlLoadError::dtdProhibited), dtdProhibited},
    {own(XmlLoadError::notAFile), notAFile},
    {own(XmlLoadError::cannotRead), cannotRead},
};

static_assert(kIdrefNotFoundCode == own(XmlLoadError::idrefNotFound));

static_assert(std::is_sorted(std::begin(kOwnRules), std::end(kOwnRules), ruleBefore),
              "the rules are looked up by binary search");
const ReasonRule* ruleIn(std::span<const ReasonRule> rules, int code) {
    const auto it = std::lower_bound(rules.begin(), rules.end(), code,
                                     [](const ReasonRule& rule, int c) { return rule.code < c; });
    return it != rules.end() && it->code == code ? &*it : nullptr;
}

const ReasonRule* ruleFor(int code) {
    for (const std::span<const ReasonRule> rules :
         {std::span<const ReasonRule>(kOwnRules), wellFormednessRules(), schemaRules()}) {
        if (const ReasonRule* rule = ruleIn(rules, code)) {
            return rule;
        }
    }
    return nullptr;
}

} // namespace

std::string reasonText(const XmlErrorFacts& facts, ReasonLanguage language) {
    if (language == ReasonLanguage::japanese) {
        if (const ReasonRule* rule = ruleFor(facts.code)) {
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

std::string reasonText(const XmlErrorFacts& facts, ReasonLanguage language, DocumentValues values) {
    if (values == DocumentValues::shown) {
        return reasonText(facts, language);
    }
    reasons::HiddenValues hidden;
    std::string japanese = reasonText(facts, ReasonLanguage::japanese);
    const bool worded = japanese != facts.message;
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
    std::string english = facts.message;
    const auto hide = [&english](const std::string& text, const std::string& shown) {
        bool found = false;
        for (auto at = english.find(text); !text.empty() && at != std::string::npos;
             at = english.find(text, at + shown.size())) {
            english.replace(at, text.size(), shown);
            found = true;
        }
        return found;
    };
    for (const std::string& value : hidden.seen()) {
        if (!hide("'" + value + "'", "'…'")) {
            hide(value, "…");
        }
    }
    return english;
}

std::vector<int> japaneseReasonCodes() {
    std::vector<int> codes;
    for (const std::span<const ReasonRule> rules :
         {std::span<const ReasonRule>(kOwnRules), wellFormednessRules(), schemaRules()}) {
        for (const ReasonRule& rule : rules) {
            codes.push_back(rule.code);
        }
    }
    std::sort(codes.begin(), codes.end());
    return codes;
}

} // namespace morvik::report
