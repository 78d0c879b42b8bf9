// The wording of one finding in the log.
#include "inspection/finding.h"

#include <algorithm>

namespace morvik::inspection {

const char* levelText(FindingLevel level) {
    return level == FindingLevel::error ? "エラー" : "注意";
}

const char* verdictName(SchemaFileVerdict verdict) {
    switch (verdict) {
    case SchemaFileVerdict::official:
        return "official";
    case SchemaFileVerdict::modified:
        return "modified";
    case SchemaFileVerdict::missing:
        return "missing";
    case SchemaFileVerdict::extra:
        return "extra";
    }
    return "extra";
}

std::size_t ReceptionReport::errors() const {
    return static_cast<std::size_t>(
        std::count_if(findings.begin(), findings.end(),
                      [](const Finding& f) { return f.level == FindingLevel::error; }));
}

std::size_t ReceptionReport::cautions() const {
    return findings.size() - errors();
}

std::string findingLine(const Finding& finding) {
    std::string line = std::string("【") + levelText(finding.level) + "】" + finding.rule;
    if (!finding.summary.empty()) {
        line += " " + finding.summary;
    }
    for (std::size_t i = 0; i < finding.compared.size(); ++i) {
        line += i == 0 ? "：" : "、";
        line += finding.compared[i].name + "=" + finding.compared[i].value;
    }
    if (!finding.files.empty()) {
        line += "（";
        const std::size_t shown = std::min(finding.files.size(), kFilesInLine);
        for (std::size_t i = 0; i < shown; ++i) {
            line += (i == 0 ? "" : "、") + finding.files[i];
        }
        if (finding.files.size() > shown) {
            line += " ほか" + std::to_string(finding.files.size() - shown) + "件";
        }
        line += "）";
    }
    return line;
}

} // namespace morvik::inspection
