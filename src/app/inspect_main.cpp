// morvik-inspect: the command-line front end.
#include "app/commandline.h"

#include <clocale>
#include <cstring>
#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    // File names in archives and folders are UTF-8; the C locale cannot
    // convert them.
    const char* current = std::setlocale(LC_CTYPE, "");
    if (current == nullptr ||
        (std::strstr(current, "UTF-8") == nullptr && std::strstr(current, "utf8") == nullptr)) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    try {
        return morvik::app::runCommandLine(std::vector<std::string>(argv + 1, argv + argc),
                                           std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "morvik-inspect: internal error: " << error.what() << '\n';
        return 70;
    }
}
