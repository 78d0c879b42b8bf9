// Fuzzes the command line's argument parser with argument lists (the input
// split at NUL bytes). Whatever the arguments, the parser either names what
// is wrong, or asks for help, the version, or at least one archive; it never
// reads past its arguments, and a size it accepts is more than zero.
#include "app/commandline.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args;
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    args.push_back(current);
    // --into tests that its folder exists; keep the fuzzer away from the disk.
    for (std::string& arg : args) {
        if (arg.starts_with("--into")) {
            arg = "--verbose";
        }
    }
    morvik::app::Options options;
    const std::string error = morvik::app::parseCommandLine(args, options);
    if (error.empty() && !options.help && !options.version && options.zipPaths.empty()) {
        std::fprintf(stderr, "commandline_fuzz: accepted without an archive\n");
        std::abort();
    }
    if (error.empty() && options.jsonPath && options.jsonPath->empty()) {
        std::fprintf(stderr, "commandline_fuzz: an empty report file name accepted\n");
        std::abort();
    }
    return 0;
}
