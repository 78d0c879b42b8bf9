// Runs a built program of this project as a person would: arguments, an
// environment, standard input from /dev/null, and its two output streams
// and exit status collected.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace morvik::test {

struct ProcessResult {
    int status = -1; // the exit status; -1 when it did not exit normally
    int signal = 0;  // the signal that ended it, if any
    std::string out;
    std::string err;
};

// environment: variables to set (a value) or to remove (nullopt); the rest
// is this process's environment.
ProcessResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::optional<std::string>>& environment = {});

// morvik-inspect as built.
ProcessResult runInspect(const std::vector<std::string>& args);

// The lines of text, without their line breaks.
std::vector<std::string> linesOf(const std::string& text);

} // namespace morvik::test
