// The schema folder picker MorvikDir: drive list, folder list and the Set button.
#include "ui/morvikdir.h"

#include "ui/appearance.h"
#include "ui/drives.h"
#include "ui/enterkey.h"
#include "ui/folderlist.h"
#include "ui/notelabel.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QToolTip>

namespace morvik::ui {

MorvikDir::MorvikDir(QWidget* parent, DriveSource drives)
    : QDialog(parent), m_driveSource(drives ? std::move(drives) : DriveSource(systemDrives)) {
    setObjectName(QStringLiteral("MorvikDir"));
    setWindowTitle(QStringLiteral("スキーマフォルダの検索"));
    setWindowIcon(morvikIcon());
    setFont(japaneseGothicFont());
    const Twips tw(logicalDpiX());
    setFixedSize(tw(6990), tw(6330));

    // Created in the order of their tab indexes.
    Dir1 = new FolderList(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(tw.rect(30, 1170, 6930, 4710));

    Drive1 = new QComboBox(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(tw.rect(30, 840, 6930, 300));

    // Holds the current folder for the Set button; it lies under the folder
    // list and is never seen.
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setGeometry(tw.rect(345, 5070, 3615, 375));
    Label1->hide();

    Command1 = new QPushButton(QStringLiteral("Set"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(tw.rect(960, 5940, 4905, 345));
    // Set is no default button: Enter in the folder list opens a folder and
    // never confirms. Enter on Set itself, when it has the focus, presses it.
    Command1->setAutoDefault(false);
    Command1->setDefault(false);
    pressOnEnter(*Command1);

    LB = new NoteLabel(
        QStringLiteral("XMLファイルに含まれているスキーマを使用する場合はZipファイルが"
                       "格納されているフォルダを指定してください。\n"
                       "他のスキーマで調査する場合は、「ix08_V08.xsd」等が格納されている"
                       "フォルダを指定してください。"),
        this);
    LB->setObjectName(QStringLiteral("LB"));
    LB->setGeometry(tw.rect(60, 60, 6825, 765));

    setTabOrder(Dir1, Drive1);
    setTabOrder(Drive1, Command1);

    connect(Drive1, &QComboBox::activated, this, &MorvikDir::Drive1_Change);
    connect(Dir1, &FolderList::pathChanged, this, &MorvikDir::Dir1_Change);
    connect(Dir1, &FolderList::openFailed, this, &MorvikDir::showNote);
    connect(Command1, &QPushButton::clicked, this, &MorvikDir::Command1_Click);

    Form_Load();
}

void MorvikDir::Form_Load() {
    GLret = 0;
    GlFileDir.clear();
    m_note.clear();

    m_drives = m_driveSource();
    Drive1->clear();
    Drive1->addItems(m_drives);

    // The process's current folder, or, if that cannot be read (removed
    // since, or without permission), the home folder or the root.
    for (const QString& start : {QDir::currentPath(), QDir::homePath(), QStringLiteral("/")}) {
        if (Dir1->setPath(start)) {
            break;
        }
    }
    selectDriveOf(Dir1->path());
    Dir1_Change();
    Dir1->setFocus();
}

void MorvikDir::Drive1_Change() {
    const QString drive = Drive1->currentText();
    // A drive's current folder: the process's current folder when it lies on
    // that drive, else the drive's top folder.
    const QString current = QDir::currentPath();
    const QString target = driveOf(current, m_drives) == drive ? current : drive;
    if (!Dir1->setPath(target)) {
        showNote(drive);
        selectDriveOf(Dir1->path());
        return;
    }
    Dir1_Change();
}

void MorvikDir::Dir1_Change() {
    Label1->setText(Dir1->path());
    m_note.clear();
}

void MorvikDir::Command1_Click() {
    if (Label1->text().trimmed().isEmpty()) {
        return;
    }
    GlFileDir = Label1->text();
    GLret = 1;
    accept();
}

void MorvikDir::showNote(const QString& folder) {
    m_note = QStringLiteral("「%1」を読み取れません。").arg(folder);
    QToolTip::showText(Drive1->mapToGlobal(QPoint(0, Drive1->height())), m_note, Drive1);
}

void MorvikDir::selectDriveOf(const QString& folder) {
    const int index = Drive1->findText(driveOf(folder, m_drives), Qt::MatchExactly);
    Drive1->setCurrentIndex(index);
}

} // namespace morvik::ui
