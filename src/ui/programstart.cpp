// The desktop's file browser started on a folder with xdg-open.
#include "ui/programstart.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace morvik::ui {

void DesktopProgramStart::openFolder(const std::string& folder) {
    // A desktop without xdg-open leaves the user without the browser window,
    // nothing more: the caller relies on nothing from it.
    QProcess::startDetached(
        QStringLiteral("xdg-open"),
        {QString::fromUtf8(folder.data(), static_cast<qsizetype>(folder.size()))});
}

} // namespace morvik::ui
