// The cause lines: the facts of a run that ended early, worded once.
#include "report/causes.h"

#include "inspection/paths.h"
#include "inspection/standardnames.h"

#include <cstring>
#include <filesystem>

namespace morvik::report {

namespace {

namespace fs = std::filesystem;
using inspection::EarlyEnd;
using inspection::ExtractionFacts;
using platform::ArchiveFileProblem;

constexpr const char* kCodeTable = "コードの一覧は morvik-inspect(1) の UNZIP CODES にあります";

// A path as it is shown: absolute against the current folder, normalised,
// every character printable.
std::string absoluteText(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    std::error_code error;
    const fs::path absolute = fs::absolute(fs::path(path), error);
    return inspection::printable(error ? path : absolute.lexically_normal().string());
}

std::string bracketed(const std::string& text) {
    return "「" + inspection::printable(text) + "」";
}

// A front end's name for an option before a particle: an option of the
// command line is set off by a space, the window's words (「XMLスキーマ」欄)
// are not.
std::string spaced(const std::string& option) {
    const bool ascii = !option.empty() && static_cast<unsigned char>(option.back()) < 0x80;
    return ascii ? option + " " : option;
}

// A path shown absolute, in 「」.
std::string quotedPath(const std::string& path) {
    return "「" + absoluteText(path) + "」";
}

std::string destinationText(const ExtractionFacts& facts) {
    return inspection::printable(inspection::absolutePlace(facts.place).destination);
}

// Code 9: missing, not a file, unreadable, empty, or no ZIP archive.
std::string zipFileCause(const ExtractionFacts& facts) {
    const std::string shown = quotedPath(facts.zipPath);
    switch (facts.unzip.archiveProblem) {
    case ArchiveFileProblem::missing:
        return "ZIPファイル" + shown + "がありません。";
    case ArchiveFileProblem::folder:
        return shown + "はフォルダです。ZIPファイルを指定してください。";
    case ArchiveFileProblem::notRegular:
        return shown + "は通常のファイルではありません。ZIPファイルを指定してください。";
    case ArchiveFileProblem::unreadable:
        return "ZIPファイル" + shown + "を読めません（" + std::strerror(facts.unzip.error) + "）。";
    case ArchiveFileProblem::empty:
        return "ZIPファイル" + shown + "は空（0バイト）です。";
    case ArchiveFileProblem::notZip:
    case ArchiveFileProblem::none:
        break;
    }
    return shown + "はZIPファイルではありません（中身がZIP形式ではありません）。";
}

// The detail line: what the extractor found, from its facts, with the ZIP
// file's own entry name where one is concerned.
std::string unzipDetail(const platform::UnzipOutcome& u) {
    using platform::UnzipCause;
    const auto count = [](std::uint64_t n) { return std::to_string(n); };
    std::string what;
    switch (u.cause) {
    case UnzipCause::none:
    case UnzipCause::archiveUnreadable: // the cause line says it all
        return {};
    case UnzipCause::commandLine:
        what = "解凍の指示の形が正しくありません";
        break;
    case UnzipCause::damagedArchive:
        what = "ZIPファイルの目次または見出しが壊れているか、互いに食い違っています";
        break;
    case UnzipCause::truncated:
        what = "ZIPファイルが途中で切れています";
        break;
    case UnzipCause::overlappingEntries:
        what = "ZIP内のファイルどうしがデータを共有しているか、データがZIPファイルの外にあります";
        break;
    case UnzipCause::unsafeName:
        what = "名前が解凍先の外を指しています（絶対パス、ドライブ名、「..」、名前のないファイル）";
        break;
    case UnzipCause::controlCharacter:
        what = "名前に制御文字が含まれています";
        break;
    case UnzipCause::nameTooLong:
        what = "名前が長すぎます（フォルダ・ファイルの名前は255バイト、パス全体は4095バイトまで）";
        break;
    case UnzipCause::undecodableName:
        what = "名前の文字コードがUTF-8でもShift_JIS（CP932）でもありません";
        break;
    case UnzipCause::linkOrDevice:
        what = "リンクやデバイスなど、通常のファイルでもフォルダでもないものです";
        break;
    case UnzipCause::fileAndFolder:
        what = "同じ名前がファイルとフォルダの両方に使われているか、同じファイルが2度あります";
        break;
    case UnzipCause::encrypted:
        what = "暗号化されています";
        break;
    case UnzipCause::unsupportedMethod:
        what = "読めない圧縮方式です（読めるのは無圧縮とDeflateです）";
        break;
    case UnzipCause::totalSizeLimit:
        what = "解凍後の合計が" + count(u.needed) + "バイトで、上限の" + count(u.allowed) +
               "バイトを超えます";
        break;
    case UnzipCause::entryCountLimit:
        what =
            "中のファイルが" + count(u.needed) + "個で、上限の" + count(u.allowed) + "個を超えます";
        break;
    case UnzipCause::folderCountLimit:
        what = "解凍するとフォルダが" + count(u.needed) + "個以上になり、上限の" +
               count(u.allowed) + "個を超えます";
        break;
    case UnzipCause::multiDisk:
        what = "複数のファイルに分割されたZIPファイルの一部です";
        break;
    case UnzipCause::ratioLimit:
        what = "解凍すると圧縮されたときの" + count(u.needed) + "倍になり、上限の" +
               count(u.allowed) + "倍を超えます";
        break;
    case UnzipCause::existingFile:
        what = "既にあるファイルを置き換えることになります";
        break;
    case UnzipCause::freeSpace:
        what = "解凍には" + count(u.needed) + "バイト必要ですが、解凍先の空きは" +
               count(u.allowed) + "バイトです";
        break;
    case UnzipCause::notWritable:
        what = "フォルダまたはファイルを作れないか、書き込めません" +
               (u.error != 0 ? "（" + std::string(std::strerror(u.error)) + "）" : std::string());
        break;
    case UnzipCause::badData:
        what = "データが壊れています（CRCの誤り、または書かれている大きさと違います）";
        break;
    case UnzipCause::noMatchingFiles:
        what = "解凍するファイルがありません";
        break;
    case UnzipCause::stopped:
        what = "解凍を途中で止めました";
        break;
    }
    return u.entry.empty() ? what + "。" : bracketed(u.entry) + "：" + what + "。";
}

std::string unzipCause(const EarlyEnd& end, const CauseOptions& options) {
    const ExtractionFacts& facts = end.extraction;
    const std::string archive = "ZIPファイル" + quotedPath(facts.zipPath);
    switch (end.unzipCode()) {
    case 3:
        return archive +
               "が壊れているか、受け付けられないファイルを含んでいます（壊れたファイル・CRCの"
               "誤り、絶対パスや「..」を含む名前、リンクやデバイスなど）。";
    case 9:
        return zipFileCause(facts);
    case 10:
        return "解凍の指示を組み立てられませんでした（ZIPファイルのパス" +
               bracketed(facts.zipPath) + "）。";
    case 11:
        return archive + "には、中にファイルがありません（空のZIPファイルです）。";
    case 12:
        if (facts.unzip.cause == platform::UnzipCause::entryCountLimit) {
            return archive + "は中のファイルが多すぎます（" + std::to_string(facts.unzip.needed) +
                   "個、上限は" + std::to_string(facts.unzip.allowed) +
                   "個）。何も書き込んでいません。";
        }
        if (facts.unzip.cause == platform::UnzipCause::folderCountLimit) {
            return archive + "は解凍するとフォルダが多すぎます（" +
                   std::to_string(facts.unzip.needed) + "個、上限は" +
                   std::to_string(facts.unzip.allowed) + "個）。何も書き込んでいません。";
        }
        return archive +
               "は、解凍すると上限を超えます（解凍後の合計サイズ、または圧縮率の上限）。"
               "何も書き込んでいません。合計サイズの上限は " +
               spaced(options.sizeOption) + "で引き上げられます。";
    case 13:
        return archive +
               "の最上位フォルダの外にあるファイルが、既にあるファイルを置き換えようとしています。"
               "何も書き込んでいません。";
    case 50:
        // A ZIP file on a read-only share is the usual case: say where else
        // it can go (unless it was already sent elsewhere).
        return "解凍先フォルダ" + bracketed(destinationText(facts)) +
               "にファイルを書き込めません（空き容量の不足、書き込み権限がない、"
               "同じ名前のファイルやリンクがあるなど）。" +
               (!facts.destinationNamed && !options.intoOption.empty()
                    ? "読み取り専用の場所にあるZIPファイルは、" + spaced(options.intoOption) +
                          "で書き込めるフォルダを指定すると、そこに解凍できます。"
                    : std::string());
    case 51:
        if (facts.unzip.cause == platform::UnzipCause::multiDisk) {
            return archive + "は複数のファイルに分割されたZIPファイルの一部です。分割されていない"
                             "ZIPファイルを用意してください。";
        }
        return archive +
               "が途中で切れています（ダウンロードやコピーが途中で終わった可能性があります）。";
    case 80:
        return archive + "の解凍を中止しました。解凍先フォルダ" +
               bracketed(destinationText(facts)) + "は元のままです。";
    case 81:
        return archive + "に、読めない圧縮方式のファイルがあります。";
    case 82:
        return archive + "の中のファイルは暗号化されています（パスワード付きのZIPファイルは解凍"
                         "できません）。";
    default:
        return archive + "を解凍できませんでした。";
    }
}

// The archive's top-level names, each folder with its closing "/".
std::string topLevelText(const std::vector<platform::TopLevelName>& names) {
    std::string text;
    for (const auto& name : names) {
        text += bracketed(name.name + (name.folder ? "/" : ""));
    }
    return text;
}

} // namespace

std::string shownExtractionFolder(const inspection::ExtractionPlace& place) {
    return inspection::printable(inspection::absolutePlace(place).folder());
}

std::vector<std::string> causeOfMissingExtractionFolder(const ExtractionFacts& facts) {
    if (facts.folderFound) {
        return {};
    }
    const std::string& baseName = facts.place.baseName;
    const auto& names = facts.unzip.topLevel;
    std::vector<std::string> lines;
    std::string first = "ZIPファイル" + quotedPath(facts.zipPath) +
                        "の最上位に、ZIPファイルと同じ名前のフォルダ" + bracketed(baseName + "/") +
                        "がありません。";
    if (names.empty()) {
        lines.push_back(first + "アーカイブには何も入っていません。");
        return lines;
    }
    lines.push_back(first + "最上位にあるもの：" + topLevelText(names) + "。");
    const std::string destination = destinationText(facts);
    if (names.size() == 1 && names.front().folder) {
        const std::string original = names.front().name;
        lines.push_back(
            "フォルダ" + bracketed(baseName + "/") +
            "の外にあるものは解凍しないため、何も解凍していません。ZIPファイルの名前を" +
            bracketed(inspection::printable(original) + ".zip") +
            "に戻して、もう一度実行してください。");
    } else {
        lines.push_back("フォルダ" + bracketed(baseName + "/") + "の外にあるものは" +
                        bracketed(destination) +
                        "に解凍していません。XMLファイルは最上位のフォルダ" +
                        bracketed(baseName + "/") + "の下にある必要があります。");
    }
    return lines;
}

std::vector<std::string> causeOfRecovery(const ExtractionFacts& facts) {
    std::vector<std::string> lines;
    if (facts.unzip.recovered) {
        lines.push_back("前回中断された解凍の後始末をしました（解凍先フォルダ" +
                        bracketed(destinationText(facts)) + "を解凍前の状態に戻しました）。");
    }
    if (facts.unzip.removedTemporaries > 0) {
        lines.push_back("以前に中断された解凍が残した一時ファイル" +
                        std::to_string(facts.unzip.removedTemporaries) +
                        "個（「.unzip-…」）を解凍先フォルダ" + bracketed(destinationText(facts)) +
                        "から削除しました。");
    }
    return lines;
}

std::vector<std::string> causeOfEarlyEnd(const EarlyEnd& end, const CauseOptions& options) {
    std::vector<std::string> lines;
    switch (end.kind) {
    case EarlyEnd::Kind::zipPath:
        if (inspection::isBlank(end.zipPath)) {
            lines.push_back("ZIPファイルが指定されていません。");
        } else {
            lines.push_back(bracketed(end.zipPath) +
                            "は「.zip」で終わっていません。ZIPファイルを指定してください。");
        }
        break;
    case EarlyEnd::Kind::alreadyExtracted:
        lines.push_back("解凍先フォルダ" + bracketed(shownExtractionFolder(end.extraction.place)) +
                        "には前回解凍したファイルが残っています。次の実行の前に、このフォルダを"
                        "移動するか削除してください。");
        break;
    case EarlyEnd::Kind::extractionFailed:
        lines.push_back(unzipCause(end, options) + "（解凍コード " +
                        std::to_string(end.unzipCode()) + "。" + kCodeTable + "）");
        if (options.englishDetail) {
            if (!end.extraction.unzip.message.empty()) {
                lines.push_back("詳細: " + inspection::printable(end.extraction.unzip.message));
            }
        } else if (std::string detail = unzipDetail(end.extraction.unzip); !detail.empty()) {
            lines.push_back("詳細：" + detail);
        }
        break;
    case EarlyEnd::Kind::noSchemaFolder: {
        // A schema folder the user names is looked at before extraction.
        if (end.schemaText.empty()) {
            lines = causeOfMissingExtractionFolder(end.extraction);
            if (!lines.empty()) {
                break;
            }
        }
        const std::string xsd = std::string(inspection::kSchemaSubFolder) + "/";
        if (end.schemaText.empty()) {
            const std::string folder = shownExtractionFolder(end.extraction.place);
            lines.push_back(
                "解凍先フォルダ" + bracketed(folder) + "にも" + bracketed(folder + xsd) +
                "にも、標準の名前のスキーマファイル（「ix08_V08.xsd」など）がありません。" +
                spaced(options.schemaOption) + "でスキーマのフォルダを指定してください。");
            break;
        }
        if (!end.schemaFolderExists) {
            lines.push_back(spaced(options.schemaOption) + "のフォルダ" +
                            quotedPath(end.schemaText) + "がありません。");
            break;
        }
        std::string folder = absoluteText(end.schemaText);
        if (folder.empty() || folder.back() != inspection::kPathSeparator) {
            folder += inspection::kPathSeparator;
        }
        lines.push_back(spaced(options.schemaOption) + "のフォルダ" + bracketed(folder) + "にも" +
                        bracketed(folder + xsd) +
                        "にも、標準の名前のスキーマファイル（「ix08_V08.xsd」など）が"
                        "最初の「*.xsd」としてありません。");
        break;
    }
    }
    if (end.kind != EarlyEnd::Kind::zipPath) {
        std::vector<std::string> recovery = causeOfRecovery(end.extraction);
        lines.insert(lines.begin(), recovery.begin(), recovery.end());
    }
    return lines;
}

std::string leftInArchiveNotice(const std::string& zipPath, std::size_t entries) {
    return "ZIPファイル" + quotedPath(zipPath) + "の中の" + std::to_string(entries) +
           "個のファイルは、最上位のフォルダ" +
           bracketed(inspection::extractionPlaceOf(zipPath).baseName + "/") +
           "の外にあるため解凍せず、ZIPファイルに残しました。";
}

} // namespace morvik::report
