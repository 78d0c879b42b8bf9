// The drive list Drive1: the mounted file systems a user can pick from.
#include "ui/drives.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <array>

namespace morvik::ui {
namespace {

bool isAtOrBelow(const QString& path, const QString& folder) {
    if (folder == QLatin1String("/")) {
        return path.startsWith(u'/');
    }
    return path == folder || path.startsWith(folder + u'/');
}

bool isAtOrBelowAny(const QString& path, std::initializer_list<const char*> folders) {
    return std::any_of(folders.begin(), folders.end(), [&](const char* folder) {
        return isAtOrBelow(path, QLatin1String(folder));
    });
}

bool isPseudoFileSystem(const QString& type) {
    static const std::array kinds = {
        "proc",        "sysfs",           "devtmpfs",   "devpts",  "tmpfs",    "ramfs",
        "cgroup",      "cgroup2",         "securityfs", "debugfs", "tracefs",  "configfs",
        "fusectl",     "mqueue",          "hugetlbfs",  "pstore",  "bpf",      "autofs",
        "binfmt_misc", "efivarfs",        "nsfs",       "overlay", "squashfs", "rpc_pipefs",
        "fuse.portal", "fuse.gvfsd-fuse", "selinuxfs"};
    return std::find(kinds.begin(), kinds.end(), type.toStdString()) != kinds.end();
}

bool isNetworkFileSystem(const QString& type) {
    static const std::array kinds = {"nfs",         "nfs4",        "cifs",     "smb3",
                                     "smbfs",       "ncpfs",       "afs",      "ceph",
                                     "glusterfs",   "9p",          "davfs",    "fuse.sshfs",
                                     "fuse.rclone", "fuse.davfs2", "fuse.s3fs"};
    return std::find(kinds.begin(), kinds.end(), type.toStdString()) != kinds.end();
}

// The mount table writes a blank, tab, newline and backslash in a path as
// "\ooo" (octal); the bytes are the path's bytes, UTF-8 on this system.
QString decodeMountField(const QString& field) {
    const QByteArray raw = field.toUtf8();
    auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    QByteArray bytes;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 3 < raw.size() && isOctal(raw[i + 1]) && isOctal(raw[i + 2]) &&
            isOctal(raw[i + 3])) {
            bytes.append(static_cast<char>((raw[i + 1] - '0') * 64 + (raw[i + 2] - '0') * 8 +
                                           (raw[i + 3] - '0')));
            i += 3;
        } else {
            bytes.append(raw[i]);
        }
    }
    return QString::fromUtf8(bytes);
}

} // namespace

QStringList userDrives(const QString& mountTable, const QString& homePath) {
    QStringList drives{QStringLiteral("/")};
    auto add = [&drives](QString folder) {
        folder = QDir::cleanPath(folder);
        if (!folder.startsWith(u'/') || drives.contains(folder)) {
            return;
        }
        drives.append(folder);
    };
    if (!homePath.isEmpty()) {
        add(homePath);
    }
    for (const QString& line : mountTable.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        if (fields.size() < 3) {
            continue;
        }
        const QString mountPoint = decodeMountField(fields[1]);
        const QString& type = fields[2];
        if (isPseudoFileSystem(type)) {
            continue;
        }
        const bool userPlace =
            isAtOrBelowAny(mountPoint, {"/home", "/media", "/mnt", "/run/media"});
        const bool systemPlace = isAtOrBelowAny(mountPoint, {"/proc", "/sys", "/dev", "/run"}) &&
                                 !isAtOrBelow(mountPoint, QStringLiteral("/run/media"));
        if (userPlace || (isNetworkFileSystem(type) && !systemPlace)) {
            add(mountPoint);
        }
    }
    return drives;
}

QStringList systemDrives() {
    QFile table(QStringLiteral("/proc/self/mounts"));
    QString text;
    if (table.open(QIODevice::ReadOnly)) {
        text = QString::fromUtf8(table.readAll());
    }
    return userDrives(text, QDir::homePath());
}

QString driveOf(const QString& folder, const QStringList& drives) {
    QString best;
    for (const QString& drive : drives) {
        if (isAtOrBelow(folder, drive) && drive.size() > best.size()) {
            best = drive;
        }
    }
    return best;
}

} // namespace morvik::ui
