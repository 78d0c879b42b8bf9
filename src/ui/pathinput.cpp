// Line breaks kept out of the path boxes; what a drop brings.
#include "ui/pathinput.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace morvik::ui {
namespace {

bool isLineBreak(QChar c) {
    return c == u'\r' || c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

} // namespace

QValidator::State NoLineBreaks::validate(QString& input, int& pos) const {
    qsizetype kept = 0;
    int newPos = pos;
    for (qsizetype i = 0; i < input.size(); ++i) {
        if (isLineBreak(input[i])) {
            newPos -= i < pos ? 1 : 0;
            continue;
        }
        input[kept++] = input[i];
    }
    input.truncate(kept);
    pos = newPos;
    return Acceptable;
}

Dropped whatIsDropped(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return {};
    }
    const QList<QUrl> urls = data->urls();
    if (urls.size() > 1) {
        QStringList zips;
        for (const QUrl& url : urls) {
            Dropped one;
            QMimeData single;
            single.setUrls({url});
            one = whatIsDropped(&single);
            if (one.kind != Dropped::Kind::zipFile) {
                return {};
            }
            zips << one.path;
        }
        return {Dropped::Kind::zipFiles, QString(), zips};
    }
    if (urls.size() != 1 || !urls.front().isLocalFile()) {
        return {};
    }
    const QString local = urls.front().toLocalFile();
    const QFileInfo info(local);
    if (local.isEmpty() || !info.exists()) {
        return {};
    }
    // A folder comes as ".../name/" from some file managers; the picker
    // gives folders without the closing "/", and so does a drop.
    const QString path = QDir::cleanPath(info.absoluteFilePath());
    if (info.isDir()) {
        return {Dropped::Kind::folder, path, {}};
    }
    if (info.isFile() && path.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive)) {
        return {Dropped::Kind::zipFile, path, {}};
    }
    return {};
}

} // namespace morvik::ui
