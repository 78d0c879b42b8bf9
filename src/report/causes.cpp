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

std::string quoted(const std::string& text) {
    return "「" + inspection::printable(text) + "」";
}

std::string destinationText(const ExtractionFacts& facts) {
    return inspection::printable(inspection::absolutePlace(facts.place).destination);
}

// Code 9: missing, not a file, unreadable, empty, or no ZIP archive.
std::string zipFileCause(const ExtractionFacts& facts) {
    const std::string shown = absoluteText(facts.zipPath);
    switch (facts.unzip.archiveProblem) {
    case ArchiveFileProblem::missing:
        return "ZIPファイル " + shown + " がありません。";
    case ArchiveFileProblem::folder:
        return shown + " はフォルダです。ZIPファイルを指定してください。";
    case ArchiveFileProblem::notRegular:
        return shown + " は通常のファイルではありません。ZIPファイルを指定してください。";
    case ArchiveFileProblem::unreadable:
        return "ZIPファイル " + shown + " を読めません（" + std::strerror(facts.unzip.error) +
               "）。";
    case ArchiveFileProblem::empty:
        return "ZIPファイル " + shown + " は空（0バイト）です。";
    case ArchiveFileProblem::notZip:
    case ArchiveFileProblem::none:
        break;
    }
    return shown + " はZIPアーカイブではありません（中身がZIP形式ではありません）。";
}

std::string unzipCause(const EarlyEnd& end, const CauseOptions& options) {
    const ExtractionFacts& facts = end.extraction;
    const std::string archive = "ZIPアーカイブ " + absoluteText(facts.zipPath);
    switch (end.unzipCode()) {
    case 3:
        return archive +
               " が壊れているか、受け付けられない項目を含んでいます（壊れた項目・CRCの誤り、"
               "絶対パスや「..」を含む名前、リンクやデバイスなど）。";
    case 9:
        return zipFileCause(facts);
    case 10:
        return "解凍の指示を組み立てられませんでした（ZIPファイルのパス " +
               inspection::printable(facts.zipPath) + "）。";
    case 11:
        return archive + " には項目がありません（空のアーカイブです）。";
    case 12:
        if (facts.unzip.cause == platform::UnzipCause::entryCountLimit) {
            return archive + " は項目が多すぎます（" + std::to_string(facts.unzip.needed) +
                   " 個、上限は " + std::to_string(facts.unzip.allowed) +
                   " 個）。何も書き込んでいません。";
        }
        if (facts.unzip.cause == platform::UnzipCause::folderCountLimit) {
            return archive + " は解凍するとフォルダが多すぎます（" +
                   std::to_string(facts.unzip.needed) + " 個、上限は " +
                   std::to_string(facts.unzip.allowed) + " 個）。何も書き込んでいません。";
        }
        return archive +
               " は、解凍すると上限を超えます（展開後の合計サイズ、または圧縮率の上限）。"
               "何も書き込んでいません。合計サイズの上限は " +
               options.sizeOption + " で引き上げられます。";
    case 13:
        return archive +
               " の最上位フォルダの外にある項目が、既にあるファイルを置き換えようとしています。"
               "何も書き込んでいません。";
    case 50:
        // A ZIP file on a read-only share is the usual case: say where else
        // it can go (unless it was already sent elsewhere).
        return "解凍先フォルダ " + destinationText(facts) +
               " にファイルを書き込めません（空き容量の不足、書き込み権限がない、"
               "同じ名前のファイルやリンクがあるなど）。" +
               (!facts.destinationNamed && !options.intoOption.empty()
                    ? "読み取り専用の場所にあるZIPファイルは、" + options.intoOption +
                          " で書き込めるフォルダを指定すると、そこに解凍できます。"
                    : std::string());
    case 51:
        if (facts.unzip.cause == platform::UnzipCause::multiDisk) {
            return archive +
                   " は複数のファイルに分割されたZIPアーカイブの一部です。分割されていない"
                   "ZIPファイルを用意してください。";
        }
        return archive +
               " が途中で切れています（ダウンロードやコピーが途中で終わった可能性があります）。";
    case 80:
        return archive + " の解凍を中止しました。解凍先フォルダ " + destinationText(facts) +
               " は元のままです。";
    case 81:
        return archive + " に、読めない圧縮方式の項目があります。";
    case 82:
        return archive + " の項目は暗号化されています（パスワード付きのZIPは解凍できません）。";
    default:
        return archive + " を解凍できませんでした。";
    }
}

// The archive's top-level names, each folder with its closing "/".
std::string topLevelText(const std::vector<platform::TopLevelName>& names) {
    std::string text;
    for (const auto& name : names) {
        text += quoted(name.name + (name.folder ? "/" : ""));
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
    std::string first = "ZIPアーカイブ " + absoluteText(facts.zipPath) +
                        " の最上位に、ZIPファイルと同じ名前のフォルダ" + quoted(baseName + "/") +
                        "がありません。";
    if (names.empty()) {
        lines.push_back(first + "アーカイブには何も入っていません。");
        return lines;
    }
    lines.push_back(first + "最上位にあるもの: " + topLevelText(names) + "。");
    const std::string destination = destinationText(facts);
    if (names.size() == 1 && names.front().folder) {
        const std::string original = names.front().name;
        lines.push_back(
            "フォルダ " + quoted(baseName + "/") +
            " の外にあるものは解凍しないため、何も解凍していません。ZIPファイルの名前を " +
            quoted(inspection::printable(original) + ".zip") + " に戻して、もう一度実行してください。");
    } else {
        lines.push_back("フォルダ " + quoted(baseName + "/") + " の外にあるものは " + destination +
                        " に解凍していません。書類は最上位のフォルダ " + quoted(baseName + "/") +
                        " の下にある必要があります。");
    }
    return lines;
}

std::vector<std::string> causeOfRecovery(const ExtractionFacts& facts) {
    std::vector<std::string> lines;
    if (facts.unzip.recovered) {
        lines.push_back("前回中断された解凍の後始末をしました（解凍先フォルダ " +
                        destinationText(facts) + " を解凍前の状態に戻しました）。");
    }
    if (facts.unzip.removedTemporaries > 0) {
        lines.push_back("以前に中断された解凍が残した一時ファイル " +
                        std::to_string(facts.unzip.removedTemporaries) + " 個（.unzip-…）を解凍先フォルダ " +
                        destinationText(facts) + " から削除しました。");
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
            lines.push_back(quoted(end.zipPath) +
                            " は .zip で終わっていません。ZIPファイルを指定してください。");
        }
        break;
    case EarlyEnd::Kind::alreadyExtracted:
        lines.push_back("解凍先フォルダ " + shownExtractionFolder(end.extraction.place) +
                        " には前回解凍したファイルが残っています。次の実行の前に、このフォルダを"
                        "移動するか削除してください。");
        break;
    case EarlyEnd::Kind::extractionFailed:
        lines.push_back(unzipCause(end, options) + "（解凍コード " +
                        std::to_string(end.unzipCode()) + "。" + kCodeTable + "）");
        if (!end.extraction.unzip.message.empty()) {
            lines.push_back("詳細: " + inspection::printable(end.extraction.unzip.message));
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
                "解凍先フォルダ " + folder + " にも " + folder + xsd +
                " にも、標準の名前のスキーマファイル（ix08_V08.xsd など）がありません。" +
                options.schemaOption + " でスキーマのフォルダを指定してください。");
            break;
        }
        if (!end.schemaFolderExists) {
            lines.push_back(options.schemaOption + " のフォルダ " + absoluteText(end.schemaText) +
                            " がありません。");
            break;
        }
        std::string folder = absoluteText(end.schemaText);
        if (folder.empty() || folder.back() != inspection::kPathSeparator) {
            folder += inspection::kPathSeparator;
        }
        lines.push_back(options.schemaOption + " のフォルダ " + folder + " にも " + folder + xsd +
                        " にも、標準の名前のスキーマファイル（ix08_V08.xsd など）が"
                        "最初の *.xsd としてありません。");
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
    return "ZIPファイル " + absoluteText(zipPath) + " の " + std::to_string(entries) +
           " 個の項目は、最上位のフォルダ " + quoted(inspection::extractionPlaceOf(zipPath).baseName + "/") +
           " の外にあるため解凍せず、アーカイブに残しました。";
}

} // namespace morvik::report
