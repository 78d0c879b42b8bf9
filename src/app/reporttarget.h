// Where --json and --csv write: checked before any archive is touched, then
// written through a temporary file beside the target that replaces it only
// when the report is whole.
#pragma once

#include "platform/fs/replacingfile.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace morvik::app {

struct ReportTarget {
    std::string option;                          // "--json" or "--csv"
    std::string path;                            // as given; "-" for standard output
    std::optional<platform::ReplacingFile> file; // the temporary, once prepared
};

// Refuses a target that is one of the archives about to be inspected, a
// folder, or a FIFO, device or socket (standard output is "-"), and creates
// the temporary beside any other. Returns the usage error's one line (in
// Japanese), or the empty text. Nothing of the user's is changed either way.
[[nodiscard]] std::string prepareReportTarget(ReportTarget& target,
                                              const std::vector<std::string>& archives);

// Two targets that name the same file, or both standard output: the usage
// error's line, or the empty text.
[[nodiscard]] std::string clashOfTargets(const ReportTarget& a, const ReportTarget& b);

// Writes the report: to out for "-", else into the temporary, renamed over
// the target. The error's line (in Japanese) when it could not be written,
// else the empty text.
[[nodiscard]] std::string writeReport(ReportTarget& target, const std::string& bytes,
                                      std::ostream& out);

} // namespace morvik::app
