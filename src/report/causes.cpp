// The cause lines: what the command line finds out about a run that ended
// early, from the ZIP file, the archive's table of contents and the folders.
#include "report/causes.h"

#include "inspection/paths.h"
#include "inspection/standardnames.h"
#include "platform/fs/fd.h"
#include "platform/zip/archivelisting.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace morvik::report {

namespace {

namespace fs = std::filesystem;
using inspection::EarlyEnd;

constexpr const char* kCodeTable = "コードの一覧は morvik-inspect(1) の UNZIP CODES にあります";

std::string absoluteText(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    std::error_code error;
    const fs::path absolute = fs::absolute(fs::path(path), error);
    return error ? path : absolute.lexically_normal().string();
}

// The folder as text with one closing separator.
std::string folderText(const std::string& folder) {
    std::string text = absoluteText(folder);
    if (text.empty() || text.back() != inspection::kPathSeparator) {
        text += inspection::kPathSeparator;
    }
    return text;
}

std::string baseNameOf(const std::string& zipPath) {
    std::string baseName;
    std::string fileName;
    inspection::GetDirectoryMemberSplit(zipPath, baseName, fileName);
    return baseName;
}

// The folder the archive is unpacked into, absolute, with its closing separator.
std::string destinationOf(const RunContext& context) {
    if (!context.extractInto.empty()) {
        return folderText(context.extractInto);
    }
    std::string baseName;
    std::string fileName;
    const std::string zipFolder =
        inspection::GetDirectoryMemberSplit(context.zipPath, baseName, fileName);
    return folderText(zipFolder.empty() ? "." : zipFolder);
}

std::string quoted(const std::string& text) {
    return "「" + text + "」";
}

// Code 9: missing, not a file, unreadable, empty, or no ZIP archive.
std::string zipFileCause(const std::string& zipPath) {
    const std::string shown = absoluteText(zipPath);
    std::error_code error;
    const fs::file_status status = fs::status(fs::path(zipPath), error);
    if (status.type() == fs::file_type::not_found) {
        return "ZIPファイル " + shown + " がありません。";
    }
    if (status.type() == fs::file_type::directory) {
        return shown + " はフォルダです。ZIPファイルを指定してください。";
    }
    if (status.type() != fs::file_type::regular) {
        return shown + " は通常のファイルではありません。ZIPファイルを指定してください。";
    }
    const platform::Fd fd = platform::openForReading(zipPath);
    if (!fd) {
        return "ZIPファイル " + shown + " を読めません（" + std::strerror(errno) + "）。";
    }
    if (fs::file_size(fs::path(zipPath), error) == 0 && !error) {
        return "ZIPファイル " + shown + " は空（0バイト）です。";
    }
    return shown + " はZIPアーカイブではありません（中身がZIP形式ではありません）。";
}

std::string unzipCause(const EarlyEnd& end, const RunContext& context) {
    const std::string archive = "ZIPアーカイブ " + absoluteText(context.zipPath);
    switch (end.unzipCode) {
    case 3:
        return archive +
               " が壊れているか、受け付けられない項目を含んでいます（壊れた項目・CRCの誤り、"
               "絶対パスや「..」を含む名前、リンクやデバイスなど）。";
    case 9:
        return zipFileCause(context.zipPath);
    case 10:
        return "解凍の指示を組み立てられませんでした（ZIPファイルのパス " + context.zipPath +
               "）。";
    case 11:
        return archive + " には項目がありません（空のアーカイブです）。";
    case 12:
        return archive + " は、解凍すると上限を超えます（展開後の合計サイズ、または圧縮率の上限）。"
                         "何も書き込んでいません。合計サイズの上限は --max-extracted-size "
                         "で引き上げられます。";
    case 13:
        return archive +
               " の最上位フォルダの外にある項目が、既にあるファイルを置き換えようとしています。"
               "何も書き込んでいません。";
    case 50:
        // A ZIP file on a read-only share is the usual case: say where else
        // it can go (unless it was already sent elsewhere).
        return "解凍先フォルダ " + destinationOf(context) +
               " にファイルを書き込めません（空き容量の不足、書き込み権限がない、"
               "同じ名前のファイルやリンクがあるなど）。" +
               (context.extractInto.empty()
                    ? std::string("読み取り専用の場所にあるZIPファイルは、--into "
                                  "で書き込めるフォルダを指定すると、そこに解凍できます。")
                    : std::string());
    case 51:
        return archive +
               " が途中で切れています（ダウンロードやコピーが途中で終わった可能性があります）。";
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

std::string extractionFolderOf(const RunContext& context) {
    return destinationOf(context) + baseNameOf(context.zipPath) + inspection::kPathSeparator;
}

std::vector<std::string> causeOfMissingExtractionFolder(const RunContext& context) {
    const std::string folder = extractionFolderOf(context);
    std::error_code error;
    if (fs::is_directory(fs::path(folder), error)) {
        return {};
    }
    const std::string baseName = baseNameOf(context.zipPath);
    std::vector<std::string> lines;
    const auto names = platform::listTopLevel(context.zipPath);
    std::string first = "ZIPアーカイブ " + absoluteText(context.zipPath) +
                        " の最上位に、ZIPファイルと同じ名前のフォルダ" + quoted(baseName + "/") +
                        "がありません。";
    if (!names) {
        lines.push_back(first);
        return lines;
    }
    if (names->empty()) {
        lines.push_back(first + "アーカイブには何も入っていません。");
        return lines;
    }
    lines.push_back(first + "最上位にあるもの: " + topLevelText(*names) + "。");
    const std::string destination = destinationOf(context);
    if (names->size() == 1 && names->front().folder) {
        const std::string original = names->front().name;
        lines.push_back(
            "中身は " + destination + original + "/ に解凍されました。ZIPファイルの名前を " +
            quoted(original + ".zip") +
            " に戻し、このフォルダを移動または削除してから、もう一度実行してください。");
    } else {
        lines.push_back("中身は " + destination + " に解凍されました。書類は最上位のフォルダ " +
                        quoted(baseName + "/") + " の下にある必要があります。");
    }
    return lines;
}

std::vector<std::string> causeOfEarlyEnd(const EarlyEnd& end, const RunContext& context) {
    std::vector<std::string> lines;
    switch (end.kind) {
    case EarlyEnd::Kind::zipPath:
        if (inspection::isBlank(context.zipPath)) {
            lines.push_back("ZIPファイルが指定されていません。");
        } else {
            lines.push_back(quoted(context.zipPath) +
                            " は .zip で終わっていません。ZIPファイルを指定してください。");
        }
        break;
    case EarlyEnd::Kind::alreadyExtracted:
        lines.push_back("解凍先フォルダ " + extractionFolderOf(context) +
                        " には前回解凍したファイルが残っています。次の実行の前に、このフォルダを"
                        "移動するか削除してください。");
        break;
    case EarlyEnd::Kind::extractionFailed:
        lines.push_back(unzipCause(end, context) + "（解凍コード " + std::to_string(end.unzipCode) +
                        "。" + kCodeTable + "）");
        if (!end.unzipDetail.empty()) {
            lines.push_back("詳細: " + end.unzipDetail);
        }
        break;
    case EarlyEnd::Kind::noSchemaFolder: {
        lines = causeOfMissingExtractionFolder(context);
        if (!lines.empty()) {
            break;
        }
        const std::string xsd = std::string(inspection::kSchemaSubFolder) + "/";
        if (context.schemaText.empty()) {
            const std::string folder = extractionFolderOf(context);
            lines.push_back("解凍先フォルダ " + folder + " にも " + folder + xsd +
                            " にも、標準の名前のスキーマファイル（ix08_V08.xsd など）がありません。"
                            "--schema でスキーマのフォルダを指定してください。");
            break;
        }
        std::error_code error;
        if (!fs::is_directory(fs::path(context.schemaText), error)) {
            lines.push_back("--schema のフォルダ " + absoluteText(context.schemaText) +
                            " がありません。");
            break;
        }
        const std::string folder = folderText(context.schemaText);
        lines.push_back("--schema のフォルダ " + folder + " にも " + folder + xsd +
                        " にも、標準の名前のスキーマファイル（ix08_V08.xsd など）が"
                        "最初の *.xsd としてありません。");
        break;
    }
    }
    return lines;
}

} // namespace morvik::report
