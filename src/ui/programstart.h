// Starting the desktop's file browser on a folder, without waiting for it.
#pragma once

#include "inspection/services.h"

#include <QString>

#include <string>

namespace morvik::ui {

// Opens the folder with xdg-open, as a detached process: the program goes on
// at once and the browser outlives it. The folder is passed as one argument,
// never through a shell, so spaces and quotes in it need no care. When no
// browser can be started, a message box names the folder instead, so that
// the user still learns where to look.
class DesktopProgramStart : public inspection::ProgramStart {
public:
    explicit DesktopProgramStart(inspection::MessageBox& messages,
                                 QString program = QStringLiteral("xdg-open"));

    // The folder the user is to find there, named in that message (the
    // extracted copy inside the folder that is opened). Empty: the opened
    // folder itself, as a full path.
    void setFolderToName(const QString& folder) { m_folderToName = folder; }

    void openFolder(const std::string& folder) override;

private:
    inspection::MessageBox& m_messages;
    QString m_program;
    QString m_folderToName;
};

} // namespace morvik::ui
