// The desktop program's start: what morvik_main calls.
#pragma once

namespace morvik::ui {

// Builds the application, shows the main window and runs until it closes.
int runDesktop(int argc, char** argv);

} // namespace morvik::ui
