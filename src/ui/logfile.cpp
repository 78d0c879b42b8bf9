// The result log as a file: bytes and an atomic write.
#include "ui/logfile.h"

#include <QSaveFile>
#include <QTextBlock>
#include <QTextDocument>

namespace morvik::ui {

QByteArray logFileBytes(const QTextDocument& log, const QString& header) {
    // Block by block, not toPlainText(), which turns no-break spaces into
    // spaces. The box holds one block per line; the log's last line break
    // leaves an empty last block.
    QString text;
    for (QTextBlock block = log.begin(); block.isValid(); block = block.next()) {
        text += block.text();
        if (block.next().isValid()) {
            text += QLatin1String("\r\n");
        }
    }
    return QByteArray("\xEF\xBB\xBF") + header.toUtf8() + text.toUtf8();
}

QByteArray logFileBytes(const std::string& runLog, const QString& header) {
    return QByteArray("\xEF\xBB\xBF") + header.toUtf8() +
           QByteArray(runLog.data(), qsizetype(runLog.size()));
}

QString writeFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    // Never write in place: without a new file in the folder there is no save.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return {};
}

} // namespace morvik::ui
