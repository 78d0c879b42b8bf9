// The command-line front end: one inspection run from arguments, with the
// result log on out and messages on err.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace morvik::app {

// Returns the process exit status: 0 all valid, 1 some failed, 2 ended before
// validating, 64 usage error.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace morvik::app
