// The schema folder picker: layout at 96 dpi, the folder list and the drive
// list as the user works them (double-click, Enter, arrow keys), what Set
// hands back, and the drive list read from a mount table.
#include "support/windows.h"
#include "ui/drives.h"
#include "ui/folderlist.h"
#include "ui/morvikdir.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using morvik::ui::FolderList;
using morvik::ui::MorvikDir;

namespace {

using morvik::test::control;

FolderList* folders(MorvikDir& picker) {
    return control<FolderList>(picker, "Dir1");
}
QComboBox* drives(MorvikDir& picker) {
    return control<QComboBox>(picker, "Drive1");
}
QLabel* current(MorvikDir& picker) {
    return control<QLabel>(picker, "Label1");
}
QPushButton* setButton(MorvikDir& picker) {
    return control<QPushButton>(picker, "Command1");
}

// The paths of the folder list's entries, top to bottom.
QStringList entries(FolderList& list) {
    QStringList paths;
    for (QTreeWidgetItemIterator it(&list); *it != nullptr; ++it) {
        paths << (*it)->data(0, FolderList::PathRole).toString();
    }
    return paths;
}

QTreeWidgetItem* entry(FolderList& list, const QString& path) {
    for (QTreeWidgetItemIterator it(&list); *it != nullptr; ++it) {
        if ((*it)->data(0, FolderList::PathRole).toString() == path) {
            return *it;
        }
    }
    return nullptr;
}

// The root and each ancestor of folder, down to folder itself.
QStringList ancestry(const QString& folder) {
    QStringList paths{"/"};
    QString built;
    for (const QString& name : folder.split(u'/', Qt::SkipEmptyParts)) {
        built += u'/' + name;
        paths << built;
    }
    return paths;
}

} // namespace

class MorvikDirTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void window();
    void controls_data();
    void controls();
    void tabOrder();

    void folderListShowsAncestorsAndSubFolders();
    void openingFolders_data();
    void openingFolders();
    void changingDrives_data();
    void changingDrives();

    void userDrives_data();
    void userDrives();

private:
    QString m_startFolder;
    std::unique_ptr<QTemporaryDir> m_files;
    QString m_base; // a folder with sub-folders "a", "B", "スキーマ 置き場", ".hidden"
};

void MorvikDirTest::init() {
    m_startFolder = QDir::currentPath();
    m_files = std::make_unique<QTemporaryDir>();
    QVERIFY(m_files->isValid());
    m_base = m_files->filePath("base");
    for (const char* sub : {"a/inner", "B", "スキーマ 置き場", ".hidden"}) {
        QVERIFY(QDir().mkpath(m_base + "/" + QString::fromUtf8(sub)));
    }
    QFile file(m_base + "/file.xsd");
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(QDir::setCurrent(m_base));
}

void MorvikDirTest::cleanup() {
    QDir::setCurrent(m_startFolder);
}

void MorvikDirTest::window() {
    MorvikDir picker;
    QCOMPARE(picker.logicalDpiX(), 96);
    QCOMPARE(picker.objectName(), QStringLiteral("MorvikDir"));
    QCOMPARE(picker.windowTitle(), QStringLiteral("スキーマフォルダの検索"));
    // Client area 6990 x 6330 twips, fixed.
    QCOMPARE(picker.size(), QSize(466, 422));
    QCOMPARE(picker.minimumSize(), picker.maximumSize());
    QCOMPARE(picker.windowIcon().availableSizes(), QList<QSize>({{16, 16}, {32, 32}, {48, 48}}));
    auto* instructions = control<QLabel>(picker, "LB");
    QCOMPARE(instructions->text(),
             QStringLiteral(
                 "XMLファイルに含まれているスキーマを使用する場合はZipファイルが格納されている"
                 "フォルダを指定してください。\n他のスキーマで調査する場合は、「ix08_V08.xsd」"
                 "等が格納されているフォルダを指定してください。"));
    QCOMPARE(setButton(picker)->text(), QStringLiteral("Set"));
    QVERIFY(!current(picker)->isVisibleTo(&picker));
    QVERIFY(folders(picker)->geometry().contains(current(picker)->geometry()));
    QCOMPARE(picker.GLret, 0);
    QCOMPARE(picker.GlFileDir, QString());
}

void MorvikDirTest::controls_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("Dir1") << "morvik::ui::FolderList" << QRect(30, 1170, 6930, 4710);
    QTest::newRow("Drive1") << "QComboBox" << QRect(30, 840, 6930, 300);
    QTest::newRow("Label1") << "QLabel" << QRect(345, 5070, 3615, 375);
    QTest::newRow("Command1") << "QPushButton" << QRect(960, 5940, 4905, 345);
    QTest::newRow("LB") << "QLabel" << QRect(60, 60, 6825, 765);
}

void MorvikDirTest::controls() {
    QFETCH(QString, kind);
    QFETCH(QRect, twips);
    MorvikDir picker;
    QWidget* widget = control<QWidget>(picker, QTest::currentDataTag());
    QVERIFY(widget != nullptr);
    QVERIFY2(widget->inherits(kind.toLatin1()), widget->metaObject()->className());
    QCOMPARE(widget->geometry(),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
}

void MorvikDirTest::tabOrder() {
    MorvikDir picker;
    picker.show();
    QVERIFY(QTest::qWaitForWindowActive(&picker));
    QCOMPARE(QApplication::focusWidget(), folders(picker));
    QStringList visited;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, QStringList({"Drive1", "Command1", "Dir1"}));
}

void MorvikDirTest::folderListShowsAncestorsAndSubFolders() {
    MorvikDir picker;
    const QStringList expected =
        ancestry(m_base) + QStringList{m_base + "/a", m_base + "/B", m_base + "/スキーマ 置き場"};
    QCOMPARE(entries(*folders(picker)), expected);
    QCOMPARE(folders(picker)->currentItem()->data(0, FolderList::PathRole).toString(), m_base);
}

void MorvikDirTest::openingFolders_data() {
    QTest::addColumn<QString>("target");  // entry to act on ("..": the base's parent)
    QTest::addColumn<QString>("gesture"); // "double-click", "Enter" or "highlight"
    QTest::addColumn<QString>("opened");  // folder that Set then confirms

    QTest::newRow("double-click a sub-folder") << "a"
                                               << "double-click"
                                               << "a";
    QTest::newRow("Enter on a sub-folder") << "スキーマ 置き場"
                                           << "Enter"
                                           << "スキーマ 置き場";
    QTest::newRow("highlighting alone opens nothing") << "B"
                                                      << "highlight"
                                                      << "";
    QTest::newRow("double-click the parent") << ".."
                                             << "double-click"
                                             << "..";
    QTest::newRow("double-click the root") << "/"
                                           << "double-click"
                                           << "/";
    QTest::newRow("Enter on the root") << "/"
                                       << "Enter"
                                       << "/";
}

void MorvikDirTest::openingFolders() {
    QFETCH(QString, target);
    QFETCH(QString, gesture);
    QFETCH(QString, opened);
    auto resolve = [this](const QString& name) {
        return name.startsWith('/') ? name : QDir::cleanPath(QDir(m_base).filePath(name));
    };
    MorvikDir picker;
    picker.show();
    QVERIFY(QTest::qWaitForWindowExposed(&picker));
    FolderList* list = folders(picker);
    QTreeWidgetItem* item = entry(*list, resolve(target));
    QVERIFY(item != nullptr);

    if (gesture == "double-click") {
        const QPoint centre = list->visualItemRect(item).center();
        // A double-click starts with a press and release, as a user's does.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    } else {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(item).center());
        QCOMPARE(list->currentItem(), item);
        if (gesture == "Enter") {
            QTest::keyClick(list, Qt::Key_Return);
        }
    }
    QCOMPARE(current(picker)->text(), resolve(opened));
    QCOMPARE(list->path(), resolve(opened));
    // Enter opens a folder and nothing else: the window is still waiting.
    QCOMPARE(picker.GLret, 0);
    QVERIFY(picker.isVisible());

    QTest::mouseClick(setButton(picker), Qt::LeftButton);
    QCOMPARE(picker.GLret, 1);
    QCOMPARE(picker.GlFileDir, resolve(opened));
    QVERIFY(!picker.isVisible());
}

void MorvikDirTest::changingDrives_data() {
    // The drives are "/", the base folder's "a" and "B" and a drive that is
    // gone; the process's current folder is base/a/inner, on drive "a".
    QTest::addColumn<QList<int>>("keys"); // Qt::Key_Up / Key_Down on Drive1, in order
    QTest::addColumn<QString>("drive");   // Drive1's text afterwards
    QTest::addColumn<QString>("opened");  // the open folder afterwards
    QTest::addColumn<bool>("noted");      // a note about an unreadable drive is up

    QTest::newRow("another drive opens its top folder") << QList<int>{Qt::Key_Down} << "B"
                                                        << "B" << false;
    QTest::newRow("back to the current folder's drive")
        << QList<int>{Qt::Key_Down, Qt::Key_Up} << "a"
        << "a/inner" << false;
    QTest::newRow("the root") << QList<int>{Qt::Key_Up} << "/"
                              << "/" << false;
    QTest::newRow("a drive that is gone leaves the folder open")
        << QList<int>{Qt::Key_Down, Qt::Key_Down} << "B"
        << "B" << true;
}

void MorvikDirTest::changingDrives() {
    QFETCH(QList<int>, keys);
    QFETCH(QString, drive);
    QFETCH(QString, opened);
    QFETCH(bool, noted);
    auto resolve = [this](const QString& name) {
        return name.startsWith('/') ? name : QDir(m_base).filePath(name);
    };
    const QString gone = m_files->filePath("unplugged");
    QVERIFY(QDir::setCurrent(m_base + "/a/inner"));
    MorvikDir picker(nullptr, [&] { return QStringList{"/", resolve("a"), resolve("B"), gone}; });
    picker.show();
    QVERIFY(QTest::qWaitForWindowExposed(&picker));
    QCOMPARE(drives(picker)->currentText(), resolve("a"));
    for (int key : keys) {
        QTest::keyClick(drives(picker), Qt::Key(key));
    }
    QCOMPARE(drives(picker)->currentText(), resolve(drive));
    QCOMPARE(folders(picker)->path(), resolve(opened));
    QCOMPARE(current(picker)->text(), resolve(opened));
    QCOMPARE(picker.note().contains(gone), noted);

    setButton(picker)->click();
    QCOMPARE(picker.GlFileDir, resolve(opened));
}

void MorvikDirTest::userDrives_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("drives");
    const QString home = "/home/user";

    QTest::newRow("system and memory file systems are left out")
        << "proc /proc proc rw 0 0\nsysfs /sys sysfs rw 0 0\nudev /dev devtmpfs rw 0 0\n"
           "/dev/sda1 / ext4 rw 0 0\n/dev/sda2 /boot ext4 rw 0 0\ntmpfs /run/user/1000 tmpfs rw 0 "
           "0\n"
           "tmpfs /mnt/scratch tmpfs rw 0 0\noverlay /mnt/container overlay rw 0 0\n"
        << QStringList{"/", home};
    QTest::newRow("disks and removable media, each once")
        << "/dev/sdb1 /media/user/USB\\040STICK vfat rw 0 0\n/dev/sdc1 /run/media/user/CARD exfat "
           "rw 0 0\n"
           "/dev/sda3 /home ext4 rw 0 0\n/dev/sdd1 /mnt/data ext4 rw 0 0\n/dev/sdd1 /mnt/data/ "
           "ext4 rw 0 0\n"
           "/dev/sde1 /home/user ext4 rw 0 0\n"
        << QStringList{"/",     home,       "/media/user/USB STICK", "/run/media/user/CARD",
                       "/home", "/mnt/data"};
    QTest::newRow("network file systems wherever they are")
        << "server:/export /srv/share nfs4 rw 0 0\n//nas/docs /net/docs cifs rw 0 0\n"
           "user@host: /home/user/remote fuse.sshfs rw 0 0\nhost:/x /run/user/1000/x nfs rw 0 0\n"
        << QStringList{"/", home, "/srv/share", "/net/docs", "/home/user/remote"};
    QTest::newRow("escaped characters and UTF-8 names")
        << "/dev/sdb1 /media/user/\\344\\270\\200\\011tab\\134x vfat rw 0 0\n"
        << QStringList{"/", home, "/media/user/一\ttab\\x"};
}

void MorvikDirTest::userDrives() {
    QFETCH(QString, table);
    QFETCH(QStringList, drives);
    QCOMPARE(morvik::ui::userDrives(table, "/home/user"), drives);
}

int main(int argc, char** argv) {
    qputenv("QT_FONT_DPI", "96");
    QApplication application(argc, argv);
    MorvikDirTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "morvikdir_test.moc"
