// The result log saved to a file, as the log box shows it.
#pragma once

#include <QByteArray>
#include <QString>

#include <string>

class QTextDocument;

namespace morvik::ui {

// The text of log as a file: UTF-8 after a byte-order mark, header (lines
// ended by CR LF) first, every line ended by CR LF as the run writes its
// log, characters kept as they are (no-break spaces included).
QByteArray logFileBytes(const QTextDocument& log, const QString& header = {});
// The same for a log as the run wrote it (UTF-8, CR LF).
QByteArray logFileBytes(const std::string& runLog, const QString& header);

// Writes bytes to path all or nothing: into a new file in the same folder,
// renamed over path once complete, so that a failure never leaves a half
// file and an earlier file at path stays as it was. Returns why it failed,
// or the empty text when the file was written.
QString writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace morvik::ui
