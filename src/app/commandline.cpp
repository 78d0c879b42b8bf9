#include "app/commandline.h"

#include <ostream>

namespace morvik::app {

int runCommandLine(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "not yet\n";
    return 64;
}

} // namespace morvik::app
