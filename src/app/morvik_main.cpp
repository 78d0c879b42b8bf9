// The desktop program: the main window and its event loop.
#include "app/causes.h"
#include "app/desktopstart.h"
#include "platform/utf8locale.h"
#include "ui/desktop.h"

#include <cstdlib>
#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    morvik::platform::useUtf8Locale();
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
        // Panel 1 gives the cause as the command line prints it.
        return morvik::ui::runDesktop(
            argc, argv, start.zipPath,
            [](const morvik::inspection::EarlyEnd& end,
               const morvik::inspection::RunInputs& inputs) {
                return morvik::app::causeOfEarlyEnd(
                    end, {inputs.zipPath, inputs.schemaText, inputs.extractInto});
            });
    } catch (const std::exception& error) {
        std::cerr << "Morvik: " << error.what() << '\n';
        return 70;
    }
}
