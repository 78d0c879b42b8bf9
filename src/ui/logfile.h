// The result log saved to a file, as the log box shows it.
#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

namespace morvik::ui {

// The text of log as a file: UTF-8 after a byte-order mark, every line
// ended by CR LF as the run writes its log, characters kept as they are
// (no-break spaces included).
QByteArray logFileBytes(const QTextDocument& log);

// Writes bytes to path all or nothing: into a new file in the same folder,
// renamed over path once complete, so that a failure never leaves a half
// file and an earlier file at path stays as it was. Returns why it failed,
// or the empty text when the file was written.
QString writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace morvik::ui
