// The desktop program: the main window and its event loop.
#include "platform/utf8locale.h"
#include "ui/desktop.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    morvik::platform::useUtf8Locale();
    try {
        return morvik::ui::runDesktop(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "Morvik: " << error.what() << '\n';
        return 70;
    }
}
