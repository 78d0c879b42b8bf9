// The desktop's file browser started on a folder with xdg-open.
#include "ui/programstart.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

namespace morvik::ui {

DesktopProgramStart::DesktopProgramStart(inspection::MessageBox& messages, QString program)
    : m_messages(messages), m_program(std::move(program)) {}

void DesktopProgramStart::openFolder(const std::string& folder) {
    const QString path = QString::fromUtf8(folder.data(), static_cast<qsizetype>(folder.size()));
    if (QProcess::startDetached(m_program, {path})) {
        return;
    }
    // Without a browser the message before this one would be all the user
    // gets, and it does not say where the old copy is.
    const QString named = m_folderToName.isEmpty()
                              ? QDir::cleanPath(QFileInfo(path).absoluteFilePath())
                              : m_folderToName;
    m_messages.show(QStringLiteral("ファイルブラウザを起動できませんでした。\n"
                                   "解凍済みのファイルは次のフォルダにあります。\n%1")
                        .arg(QDir::toNativeSeparators(named))
                        .toStdString(),
                    inspection::kAppTitle, inspection::MessageIcon::none);
}

} // namespace morvik::ui
