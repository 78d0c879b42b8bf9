// The desktop program: the main window and its event loop.
#include "app/desktopstart.h"
#include "platform/process/allocator.h"
#include "platform/text/utf8locale.h"
#include "ui/desktop.h"

#include <cstdlib>
#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    morvik::platform::useUtf8Locale();
    morvik::platform::tuneAllocatorForManyDocuments();
    try {
        // Before QApplication exists: without a display Qt would abort.
        const auto start = morvik::app::desktopStart(
            std::vector<std::string>(argv + 1, argv + argc),
            [](const char* name) -> const char* { return std::getenv(name); });
        using Action = morvik::app::DesktopStart::Action;
        switch (start.action) {
        case Action::help:
        case Action::version:
            std::cout << start.text;
            return start.exitStatus;
        case Action::usageError:
        case Action::noDisplay:
            std::cerr << start.text;
            return start.exitStatus;
        case Action::openWindow:
            break;
        }
        // The file "Open with" names fills the ZIP path box.
        return morvik::ui::runDesktop(argc, argv, start.zipPath);
    } catch (const std::exception& error) {
        std::cerr << "Morvik: " << error.what() << '\n';
        return 70;
    }
}
