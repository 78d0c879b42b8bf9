// The report files' destinations: what may be written over, and the write.
#include "app/reporttarget.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace morvik::app {

namespace {

namespace fs = std::filesystem;

std::string absoluteText(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// The same file: one inode, or (when either is missing) the same absolute
// name.
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    if (fs::equivalent(a, b, error) && !error) {
        return true;
    }
    return absoluteText(a) == absoluteText(b);
}

std::string errnoText(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "そのフォルダがありません";
    case EACCES:
    case EPERM:
        return "書き込みの権限がありません";
    case EROFS:
        return "読み取り専用のファイルシステムです";
    case ENOSPC:
    case EDQUOT:
        return "ディスクの空きがありません";
    default:
        return std::strerror(error);
    }
}

} // namespace

std::string prepareReportTarget(ReportTarget& target, const std::vector<std::string>& archives) {
    if (target.path == "-") {
        return {};
    }
    const std::string named = target.option + " の書き出し先 " + target.path;
    std::error_code error;
    const fs::file_status status = fs::status(target.path, error);
    if (fs::is_directory(status)) {
        return named + " はフォルダです。ファイル名を指定してください。";
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return named +
               " はパイプまたはデバイスです。標準出力に書き出すときは - を指定してください。";
    }
    for (const auto& archive : archives) {
        if (sameFile(target.path, archive)) {
            return named + " は調査するZIPファイルです。別のファイル名を指定してください。";
        }
    }
    auto file = platform::ReplacingFile::create(target.path);
    if (!file) {
        return named + " に書き込めません（" + errnoText(errno) + "）。";
    }
    target.file.emplace(std::move(*file));
    return {};
}

std::string clashOfTargets(const ReportTarget& a, const ReportTarget& b) {
    if (a.path == "-" && b.path == "-") {
        return "標準出力（-）に書き出せるのは " + a.option + " と " + b.option +
               " のどちらか一つです。";
    }
    if (a.path != "-" && b.path != "-" && sameFile(a.path, b.path)) {
        return a.option + " と " + b.option + " に同じファイル " + a.path + " が指定されています。";
    }
    return {};
}

std::string writeReport(ReportTarget& target, const std::string& bytes, std::ostream& out) {
    if (target.path == "-") {
        out << bytes << std::flush;
        return out ? std::string()
                   : target.option + " のレポートを標準出力に書き出せませんでした。";
    }
    if (!target.file) {
        return target.option + " のレポートを " + target.path + " に書き出せませんでした。";
    }
    if (const int error = target.file->commit(bytes); error != 0) {
        return target.option + " のレポートを " + target.path + " に書き出せませんでした（" +
               errnoText(error) + "）。元のファイルはそのままです。";
    }
    return {};
}

} // namespace morvik::app
