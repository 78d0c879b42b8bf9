// Starting the desktop's file browser on a folder, without waiting for it.
#pragma once

#include "inspection/services.h"

#include <string>

namespace morvik::ui {

// Opens the folder with xdg-open, as a detached process: the program goes on
// at once and the browser outlives it. The folder is passed as one argument,
// never through a shell, so spaces and quotes in it need no care.
class DesktopProgramStart : public inspection::ProgramStart {
public:
    void openFolder(const std::string& folder) override;
};

} // namespace morvik::ui
