// The drive list of the schema folder picker: the file system's root and the
// mount points a user would pick a folder from.
#pragma once

#include <QString>
#include <QStringList>

namespace morvik::ui {

// From a mount table in the format of /proc/self/mounts: "/" first, then
// homePath, then in table order, each once:
// - mount points at or below /home, /media, /mnt and /run/media (disks, USB
//   sticks, cards), unless their file system is a pseudo or memory one;
// - network file systems (NFS, SMB/CIFS, SSHFS, ...) wherever they are
//   mounted, except below the system's own folders (/proc, /sys, /dev, /run).
// Mount points are given without a closing "/".
QStringList userDrives(const QString& mountTable, const QString& homePath);

// userDrives() of this process's mount table and the user's home folder.
QStringList systemDrives();

// The drive that holds folder: the longest entry of drives that is folder
// itself or one of its ancestors ("/" holds every absolute path).
QString driveOf(const QString& folder, const QStringList& drives);

} // namespace morvik::ui
