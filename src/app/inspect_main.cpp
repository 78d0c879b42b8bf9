// morvik-inspect: the command-line front end.
#include "app/commandline.h"
#include "platform/process/allocator.h"
#include "platform/text/utf8locale.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    // File names in archives and folders are UTF-8; the C locale cannot
    // convert them.
    morvik::platform::useUtf8Locale();
    morvik::platform::tuneAllocatorForManyDocuments();
    try {
        return morvik::app::runCommandLine(std::vector<std::string>(argv + 1, argv + argc),
                                           std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "morvik-inspect: internal error: " << error.what() << '\n';
        return 70;
    }
}
