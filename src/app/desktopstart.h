// What the desktop program does with its arguments before any window exists:
// print its help or version, refuse what it cannot use, and make sure there
// is a screen to open the window on (Qt aborts without one).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace morvik::app {

struct DesktopStart {
    enum class Action {
        openWindow, // go on: build the application and show the main window
        help,       // print text on standard output, exit 0
        version,    // print text on standard output, exit 0
        usageError, // print text on standard error, exit exitStatus
        noDisplay,  // print text on standard error, exit exitStatus
    };
    Action action = Action::openWindow;
    std::string zipPath; // the ZIP file named on the command line, or empty
    std::string text;
    int exitStatus = 0;
};

// Reads a variable of the environment; nullptr when unset.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// args without the program's name. Qt's own options (-platform NAME,
// -style NAME, -reverse, ...) are left for Qt; "-platform" also decides
// whether a display is needed.
DesktopStart desktopStart(const std::vector<std::string>& args,
                          const EnvironmentLookup& environment);

} // namespace morvik::app
