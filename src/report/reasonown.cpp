// Our own refusals in English and Japanese, worded from their fields: one
// row per case (OwnFacts), the two languages side by side. A new refusal is
// one enumerator in the XML layer and one row here.
#include "report/reasonwords.h"

#include "platform/xml/xmltext.h"

#include <algorithm>
#include <functional>

namespace morvik::report::reasons {

namespace {

using platform::OwnFacts;

struct ErrnoText {
    string_view english;
    string_view japanese;
};

constexpr ErrnoText kErrnoTexts[] = {
    {"No such file or directory", "ファイルかフォルダがありません"},
    {"Permission denied", "読み取る権限がありません"},
    {"Is a directory", "フォルダです"},
    {"Not a directory", "途中のパスがフォルダではありません"},
    {"File name too long", "ファイル名が長すぎます"},
    {"Too many levels of symbolic links", "シンボリックリンクが多すぎます"},
    {"Too many open files", "開いているファイルが多すぎます"},
    {"Input/output error", "読み書きの途中でエラーが起きました"},
    {"No such device or address", "装置がありません"},
};

// The system's text for an errno (a fact the XML layer copies) in Japanese;
// other texts (already in the user's language, or rare) stay as they are.
std::string errnoJapanese(string_view text) {
    for (const ErrnoText& known : kErrnoTexts) {
        if (known.english == text) {
            return std::string(known.japanese);
        }
    }
    return std::string(text);
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string result;
    for (const std::string& item : items) {
        result += (result.empty() ? "" : separator) + item;
    }
    return result;
}

std::string q(const std::string& text) {
    return "'" + text + "'";
}

// "Element '{ns}x', attribute 'a': " as libxml2 begins its schema errors.
std::string englishSubject(const XmlErrorFacts& f) {
    return "Element " + q(f.element) +
           (f.attribute.empty() ? "" : ", attribute " + q(f.attribute)) + ": ";
}

Subject subjectFrom(const XmlErrorFacts& f) {
    Subject subject;
    subject.element = nameOf(f.element).value_or(Name{});
    if (!f.attribute.empty()) {
        subject.attribute = nameOf(f.attribute);
    }
    return subject;
}

std::string ownEnglish(const XmlErrorFacts& f);
std::string ownJapanese(const XmlErrorFacts& f);

// " The schema '<path>' could not be used: <cause>" for each schema.
std::string schemaFailuresEnglish(const XmlErrorFacts& f) {
    std::string result;
    for (const XmlErrorFacts& failure : f.causes) {
        result += " " + ownEnglish(failure);
    }
    return result;
}

std::string schemaFailuresJapanese(const XmlErrorFacts& f) {
    std::string result;
    for (const XmlErrorFacts& failure : f.causes) {
        result += ownJapanese(failure);
    }
    return result;
}

std::string firstCauseEnglish(const XmlErrorFacts& f) {
    return f.causes.empty() ? std::string() : ownEnglish(f.causes.front());
}

std::string firstCauseJapanese(const XmlErrorFacts& f) {
    return f.causes.empty() ? std::string() : ownJapanese(f.causes.front());
}

// A document over its budget (a sentence), or a schema compilation (int1 1:
// the cause of schemaUnusable, a clause).
std::string overBudgetEnglish(const XmlErrorFacts& f) {
    const bool clause = f.int1 == 1;
    const std::string what = clause ? "compiling it" : "Checking the document";
    std::string text;
    if (f.str1 == "attributes") {
        text = "An element has more than " + f.str2 +
               " attributes, over the budget of one element (checking them takes time that grows "
               "with the square of their number)";
    } else if (f.str1 == "time") {
        text = what + " took longer than its time budget of " + f.str2 + " seconds";
    } else {
        text = what + " needed more than its memory budget of " + f.str2 + " bytes";
    }
    return clause ? text : text + ".";
}

std::string overBudgetJapanese(const XmlErrorFacts& f) {
    const bool clause = f.int1 == 1;
    std::string limit = f.str2;
    if (f.str1 == "memory" && limit.size() > 6) {
        const unsigned long long bytes = std::stoull(limit);
        if (bytes % (1024 * 1024) == 0) {
            limit = std::to_string(bytes / (1024 * 1024)) + " MiB";
        }
    }
    if (clause) {
        return f.str1 == "time" ? "コンパイルにかかる時間が上限の " + f.str2 + " 秒を超えました"
                                : "コンパイルに使うメモリが上限" + quoted(limit) + "を超えました";
    }
    if (f.str1 == "attributes") {
        return "検証を打ち切りました：1つの要素の属性が上限の " + f.str2 +
               " 個を超えています（属性の照合にかかる時間は数の2乗で増えます）。";
    }
    return "検証を打ち切りました：" +
           (f.str1 == "time" ? "XMLファイルの検証にかかる時間が上限の " + f.str2 + " 秒"
                             : "XMLファイルの検証に使うメモリが上限" + quoted(limit)) +
           "を超えました。ファイルが大きすぎるか、異常な構造になっています。";
}

// The kind of definition a schema's shape is measured from (values[0] of
// schemaTooComplex), in English and Japanese.
struct DefinitionKind {
    string_view name, english, japanese;
};

constexpr DefinitionKind kDefinitionKinds[] = {
    {"element", "element", "要素"},     {"type", "type", "型"},
    {"group", "group", "グループ"},     {"attributeGroup", "attribute group", "属性グループ"},
    {"attribute", "attribute", "属性"}, {"notation", "notation", "記法"},
};

const DefinitionKind& definitionKind(const XmlErrorFacts& f) {
    for (const DefinitionKind& kind : kDefinitionKinds) {
        if (!f.values.empty() && kind.name == f.values.front()) {
            return kind;
        }
    }
    static constexpr DefinitionKind kUnknown{"", "definition", "定義"};
    return kUnknown;
}

// A schema set refused for its shape before compiling (a clause, the cause
// of schemaUnusable).
std::string schemaTooComplexEnglish(const XmlErrorFacts& f) {
    if (f.str1 == "components") {
        return "it has more global definitions than the limit of " + f.str2 +
               " of the compilation budget";
    }
    const std::string file =
        f.values.size() > 1 && !f.values[1].empty() ? " in " + q(f.values[1]) : std::string();
    const std::string from =
        "the " + std::string(definitionKind(f).english) + " " + q(f.element) + file;
    if (f.str1 == "chain") {
        return "its definitions refer to one another in a chain of " + f.str3 + " from " + from +
               ", over the limit of " + f.str2 +
               " of the compilation budget (compiling a chain takes time that grows with the "
               "square of its length)";
    }
    return "following the references between its definitions from each of them means "
           "following " +
           f.str3 + " references (counted once for every path, the most from " + from +
           "), over the limit of " + f.str2 + " of the compilation budget";
}

std::string schemaTooComplexJapanese(const XmlErrorFacts& f) {
    if (f.str1 == "components") {
        return "グローバルな定義の数が上限の " + f.str2 + " 個を超えています";
    }
    const std::string from = (f.values.size() > 1 && !f.values[1].empty()
                                  ? "スキーマファイル" + quoted(f.values[1]) + "の"
                                  : std::string()) +
                             std::string(definitionKind(f).japanese) + quoted(f.element) + "から";
    if (f.str1 == "chain") {
        return "定義の参照の連なりが上限の " + f.str2 + " 個を超えています（" + from + " " +
               f.str3 + " 個。コンパイルにかかる時間は連なりの長さの2乗で増えます）";
    }
    return "定義から定義への参照をたどる数が上限の " + f.str2 +
           " 個を超えています（たどる道筋ごとに数えて " + f.str3 + " 個。最も多いのは" + from +
           "）";
}

std::string schemaUnusableEnglish(const XmlErrorFacts& f) {
    std::string cause = firstCauseEnglish(f);
    if (!f.str2.empty()) {
        cause += cause.empty() ? f.str2 : " (" + f.str2 + ")";
    }
    if (cause.empty()) {
        cause = "it is not a valid schema";
    }
    return "The schema " + q(f.str1) + " could not be used: " + cause;
}

std::string schemaUnusableJapanese(const XmlErrorFacts& f) {
    std::string cause = firstCauseJapanese(f);
    if (cause.empty()) {
        cause = f.str2.empty() ? std::string("正しいスキーマではありません")
                               : "スキーマとして読めません（詳細：" + quoted(f.str2) + "）";
    } else if (!f.str2.empty()) {
        cause += "（詳細：" + quoted(f.str2) + "）";
    }
    return "スキーマ" + quoted(f.str1) + "は使えません：" + cause + "。";
}

// Whether the schemas tried declare the namespace the document's folder
// needs (str3): when not, the schema tried last was a fallback, and naming its
// namespace would send the reader the wrong way.
bool folderNamespaceElsewhere(const XmlErrorFacts& f) {
    return !f.str3.empty() && std::find(f.values.begin(), f.values.end(), f.str3) == f.values.end();
}

std::string rootNotDeclaredEnglish(const XmlErrorFacts& f) {
    std::string namespaces;
    for (const std::string& ns : f.values) {
        namespaces += (namespaces.empty() ? "" : ", ") + q(ns);
    }
    const std::string note = folderNamespaceElsewhere(f)
                                 ? "documents in this folder need the namespace " + q(f.str3)
                                 : "the schema declares the target namespace " + namespaces;
    return "Element " + q(f.element) +
           ": No matching global declaration available for the validation root (" + note + ")." +
           schemaFailuresEnglish(f);
}

std::string rootNotDeclaredJapanese(const XmlErrorFacts& f) {
    const Name element = nameOf(f.element).value_or(Name{});
    const auto inNamespace = [&element](const std::string& ns) {
        return element.qualified ? element.ns == ns : ns.empty();
    };
    std::string list;
    bool namespaceKnown = !f.str3.empty() && inNamespace(f.str3);
    if (!f.str3.empty() && !namespaceKnown) {
        // What the folder needs says more than the schema tried last.
        return "名前空間が違います：ルート要素" + quoted(element.local) + namespaceNote(element) +
               "。このフォルダのファイルは名前空間" + quoted(f.str3) + "で書きます。" +
               schemaFailuresJapanese(f);
    }
    for (const std::string& ns : f.values) {
        list +=
            (list.empty() ? "" : "、") + (ns.empty() ? std::string("名前空間なし") : quoted(ns));
        namespaceKnown = namespaceKnown || inNamespace(ns);
    }
    if (!namespaceKnown) {
        return "名前空間が違います：ルート要素" + quoted(element.local) + namespaceNote(element) +
               "。スキーマの名前空間は" + list + "です。" + schemaFailuresJapanese(f);
    }
    return "ルート要素が違います：" + quoted(element.local) + namespaceNote(element) +
           "を宣言しているスキーマがありません。" + schemaFailuresJapanese(f);
}

std::string notANumberJapanese(const XmlErrorFacts& f) {
    std::string forms;
    for (const std::string& form : f.values) {
        forms += (forms.empty() ? "" : "・") + quoted(form);
    }
    const bool several = f.values.size() > 1;
    return "数値として正しくありません：" + ownerValue(subjectFrom(f), f.str1) + "（" + forms +
           (several ? "のどちらとしても" : "として") +
           "読めません。指数を表す「e」の後には数字が必要です）。";
}

struct OwnWording {
    OwnFacts own;
    std::function<std::string(const XmlErrorFacts&)> english;
    std::function<std::string(const XmlErrorFacts&)> japanese;
};

const std::vector<OwnWording>& ownWordings() {
    using F = const XmlErrorFacts&;
    static const std::vector<OwnWording> kWordings = {
        {OwnFacts::documentCannotOpen,
         [](F f) { return "The document " + q(f.str1) + " cannot be opened: " + f.str2 + "."; },
         [](F f) {
             return "ファイルを開けません：" + quoted(f.str1) + "（" + errnoJapanese(f.str2) +
                    "）。";
         }},
        {OwnFacts::documentCannotRead,
         [](F f) { return "The document " + q(f.str1) + " cannot be read: " + f.str2 + "."; },
         [](F f) {
             return "ファイルを読み込めません：" + quoted(f.str1) + "（" + errnoJapanese(f.str2) +
                    "）。";
         }},
        {OwnFacts::documentIsFolder,
         [](F f) { return q(f.str1) + " is a folder, not a document."; },
         [](F f) { return "XMLファイルではなくフォルダです：" + quoted(f.str1) + "。"; }},
        {OwnFacts::documentNotRegular, [](F f) { return q(f.str1) + " is not a regular file."; },
         [](F f) { return "通常のファイルではありません：" + quoted(f.str1) + "。"; }},
        {OwnFacts::documentLinkOutside,
         [](F f) {
             return q(f.str1) + " is a link that leads outside its folder; it is not read.";
         },
         [](F f) {
             return "フォルダの外を指すリンクのため読み込みません：" + quoted(f.str1) + "。";
         }},
        {OwnFacts::doctypeInDocument,
         [](F f) {
             return "DTD is prohibited: the document type declaration (" + f.str1 +
                    ") is refused, and nothing it declares or names is read.";
         },
         [](F f) {
             return "文書型宣言（DTD）は使えません：" + quoted(f.str1) +
                    "。宣言の内容も、宣言が指すファイルも読み込んでいません。";
         }},
        {OwnFacts::noSchema,
         [](F f) {
             return "No schema is available to validate the document against." +
                    schemaFailuresEnglish(f);
         },
         [](F f) { return "検証に使えるスキーマがありません。" + schemaFailuresJapanese(f); }},
        {OwnFacts::rootNotDeclared, rootNotDeclaredEnglish, rootNotDeclaredJapanese},
        {OwnFacts::parserNotCreated,
         [](F) { return std::string("The XML parser cannot be created."); },
         [](F) { return std::string("XMLパーサーを作れませんでした。"); }},
        {OwnFacts::noRootElement,
         [](F) { return std::string("The document has no root element."); },
         [](F) { return std::string("ルート要素がありません。"); }},
        {OwnFacts::validatorNotCreated,
         [](F) { return std::string("The schema validator cannot be created."); },
         [](F) { return std::string("スキーマによる検証を始められませんでした。"); }},
        {OwnFacts::validatorNotAttached,
         [](F) { return std::string("The schema validator cannot be attached to the parser."); },
         [](F) { return std::string("スキーマによる検証を始められませんでした。"); }},
        {OwnFacts::validatorRejected,
         [](F) { return std::string("The schema validator did not accept the document."); },
         [](F) {
             return std::string(
                 "スキーマによる検証で正しくないとされました（理由は報告されていません）。");
         }},
        {OwnFacts::outOfMemory, [](F) { return std::string("Out of memory."); },
         [](F) { return std::string("メモリが足りません。"); }},
        {OwnFacts::notLoaded, [](F) { return std::string("No document has been loaded."); },
         [](F) { return std::string("まだ読み込まれていません（検証していません）。"); }},
        {OwnFacts::refused, [](F f) { return "Refused: " + firstCauseEnglish(f) + "."; },
         [](F f) { return "読み込みを拒否しました：" + firstCauseJapanese(f) + "。"; }},
        {OwnFacts::parserStopped,
         [](F f) { return "The XML parser stopped with error " + std::to_string(f.int1) + "."; },
         [](F f) {
             return "XMLパーサーが理由を示さずに止まりました（コード" + std::to_string(f.int1) +
                    "）。";
         }},
        {OwnFacts::idrefNotFound,
         [](F f) {
             return englishSubject(f) + q(f.str1) + " does not match any ID in the document.";
         },
         [](F f) {
             return "参照先のIDがありません：" + ownerValue(subjectFrom(f), f.str1) +
                    "と同じIDがファイルの中にありません。";
         }},
        {OwnFacts::notANumber,
         [](F f) {
             return englishSubject(f) + q(f.str1) + " is not a valid value of the type " +
                    q(f.str2) + ": it is not a number in the lexical form of " +
                    joined(f.values, " or ") + " (an exponent needs digits).";
         },
         notANumberJapanese},
        {OwnFacts::byteOrderMarkConflict,
         [](F f) {
             return "The byte-order mark says " + f.str1 + " but the encoding declaration says " +
                    q(f.str2) + ".";
         },
         [](F f) {
             return "文字コードが矛盾しています：ファイルの先頭のバイト順マークは" +
                    quoted(f.str1) + "を示していますが、XML宣言の文字コードは" + quoted(f.str2) +
                    "です。どちらかが誤っています。";
         }},
        {OwnFacts::duplicateId,
         [](F f) {
             return englishSubject(f) + q(f.str1) + " is not a valid value of the atomic type " +
                    q(f.str2) + ".";
         },
         [](F f) {
             return "IDが重複しています：ID" + documentValue(f.str1) +
                    "はファイルの中ですでに使われています。同じIDは1回しか使えません（" +
                    owner(subjectFrom(f)) + "）。";
         }},
        {OwnFacts::schemaUnusable, schemaUnusableEnglish, schemaUnusableJapanese},
        {OwnFacts::overBudget, overBudgetEnglish, overBudgetJapanese},
        {OwnFacts::schemaTooComplex, schemaTooComplexEnglish, schemaTooComplexJapanese},
        {OwnFacts::schemaParserNotCreated,
         [](F) { return std::string("the schema parser cannot be created"); },
         [](F) { return std::string("スキーマを読み込む準備ができませんでした"); }},
        {OwnFacts::fileCannotOpen, [](F f) { return "cannot open " + q(f.str1) + ": " + f.str2; },
         [](F f) { return quoted(f.str1) + "を開けません（" + errnoJapanese(f.str2) + "）"; }},
        {OwnFacts::fileCannotRead, [](F f) { return "cannot read " + q(f.str1) + ": " + f.str2; },
         [](F f) { return quoted(f.str1) + "を読み込めません（" + errnoJapanese(f.str2) + "）"; }},
        {OwnFacts::fileNotAFile, [](F f) { return q(f.str1) + " is not a file"; },
         [](F f) { return quoted(f.str1) + "はファイルではありません"; }},
        {OwnFacts::schemaTooLarge,
         [](F f) { return q(f.str1) + " is too large for a schema file"; },
         [](F f) { return quoted(f.str1) + "はスキーマファイルとしては大きすぎます"; }},
        {OwnFacts::notLocal,
         [](F f) { return q(f.str1) + " is not a local file; nothing is fetched from a network"; },
         [](F f) {
             return quoted(f.str1) + "はこのコンピューター上のファイルではありません（ネットワーク"
                                     "からは取得しません）";
         }},
        {OwnFacts::doctypeInSchema,
         [](F f) {
             return "DTD is prohibited in the schema file " + q(f.str1) +
                    (f.str2.empty() ? "" : " (" + f.str2 + ")");
         },
         [](F f) {
             return "スキーマファイル" + quoted(f.str1) + "に文書型宣言（DTD）" +
                    (f.str2.empty() ? "" : quoted(f.str2)) + "があるため使えません";
         }},
        {OwnFacts::externalNotLoaded,
         [](F f) { return "the external resource " + q(f.str1) + " is not loaded"; },
         [](F f) { return "外部のファイル" + quoted(f.str1) + "は読み込みません"; }},
        {OwnFacts::outsideSchemaFolder,
         [](F f) {
             return "the schema file " + q(f.str1) + " lies outside the schema folder " + q(f.str2);
         },
         [](F f) {
             return "スキーマファイル" + quoted(f.str1) + "はスキーマのフォルダ" + quoted(f.str2) +
                    "の外にあるため読み込みません";
         }},
    };
    return kWordings;
}

const OwnWording* wordingOf(OwnFacts own) {
    const std::vector<OwnWording>& wordings = ownWordings();
    const auto it = std::find_if(wordings.begin(), wordings.end(),
                                 [own](const OwnWording& w) { return w.own == own; });
    return it != wordings.end() ? &*it : nullptr;
}

std::string ownEnglish(const XmlErrorFacts& f) {
    const OwnWording* wording = wordingOf(f.own);
    return wording != nullptr ? wording->english(f) : f.message;
}

std::string ownJapanese(const XmlErrorFacts& f) {
    const OwnWording* wording = wordingOf(f.own);
    return wording != nullptr ? wording->japanese(f) : ownEnglish(f);
}

} // namespace

std::string englishOf(const XmlErrorFacts& facts) {
    if (facts.own == platform::OwnFacts::none) {
        return facts.message;
    }
    // On one line, as libxml2's messages are kept.
    return platform::oneLineUtf8(ownEnglish(facts));
}

Reason ownReason(const XmlErrorFacts& facts) {
    if (facts.own == platform::OwnFacts::none || wordingOf(facts.own) == nullptr) {
        return std::nullopt;
    }
    return ownJapanese(facts);
}

bool everyOwnFactsWorded() {
    for (int own = 1; own <= static_cast<int>(OwnFacts::schemaTooComplex); ++own) {
        if (wordingOf(static_cast<OwnFacts>(own)) == nullptr) {
            return false;
        }
    }
    return true;
}

} // namespace morvik::report::reasons
