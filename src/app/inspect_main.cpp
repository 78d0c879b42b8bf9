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
    // Ctrl-C and SIGTERM stop the run; an extraction under way is rolled back.
    morvik::app::stopOnInterruptingSignals();
    morvik::platform::tuneAllocatorForManyDocuments();
    try {
        const int status = morvik::app::runCommandLine(
            std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
        if (const int signal = morvik::app::interruptingSignal(); signal != 0) {
            std::cerr << "morvik-inspect: stopped by signal " << signal
                      << "; an extraction under way was rolled back\n";
            return 128 + signal;
        }
        return status;
    } catch (const std::exception& error) {
        std::cerr << "morvik-inspect: internal error: " << error.what() << '\n';
        return 70;
    }
}
