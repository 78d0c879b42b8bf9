// The schema folder picker MorvikDir: a drive list and a folder list; the
// folder the user confirms with "Set" goes back through GLret and GlFileDir.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;

namespace morvik::ui {

class FolderList;

class MorvikDir : public QDialog {
    Q_OBJECT
public:
    // Where the drive list comes from (the system's mount table by default).
    using DriveSource = std::function<QStringList()>;

    explicit MorvikDir(QWidget* parent = nullptr, DriveSource drives = {});

    // 1 once the user has confirmed a folder in this showing, else 0.
    qint32 GLret = 0;
    // The confirmed folder: "/" for the root, any other folder without a
    // closing "/".
    QString GlFileDir;

    // The note shown when the last attempt to open a drive or folder failed;
    // empty once a folder opens.
    QString note() const { return m_note; }

public slots:
    // Prepares a showing: clears GLret and GlFileDir, so that closing the
    // window without confirming never hands back an earlier folder, reads the
    // drives afresh and opens the process's current folder.
    void Form_Load();
    void Drive1_Change();
    void Dir1_Change();
    void Command1_Click();

private:
    void showNote(const QString& folder);
    void selectDriveOf(const QString& folder);

    DriveSource m_driveSource;
    QStringList m_drives;
    QString m_note;

    FolderList* Dir1;
    QComboBox* Drive1;
    QLabel* Label1;
    QPushButton* Command1;
    QLabel* LB;
};

} // namespace morvik::ui
