// The desktop program's start: what morvik_main calls.
#pragma once

namespace morvik::ui {

// Makes the C library read and write file names as UTF-8, whatever locale the
// environment names, before anything touches a file name. Keeps the
// environment's locale when it is UTF-8 already.
void useUtf8Locale();

// Builds the application, shows the main window and runs until it closes.
int runDesktop(int argc, char** argv);

} // namespace morvik::ui
