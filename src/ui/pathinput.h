// What the two path boxes take in besides typing: a file or folder dropped
// from the file manager, and pasted text, which loses its line breaks.
#pragma once

#include <QString>
#include <QStringList>
#include <QValidator>

class QMimeData;

namespace morvik::ui {

// Keeps line breaks out of a one-line path box. A path copied from a terminal
// or a list, or dropped as text, brings its line break along; in a one-line
// box the break is invisible, yet it is part of the path and the run then
// fails on it. Every other character, spaces included, stays as it is.
class NoLineBreaks : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// What a drag from the file manager brings.
struct Dropped {
    enum class Kind {
        zipFile,  // one local file whose name ends in .zip in any letter case
        zipFiles, // several local files, each named .zip in any letter case
        folder,   // one local folder
        other,    // mixed items, a remote URL, plain text, a path that is not there
    };
    Kind kind = Kind::other;
    QString path;      // the local path for zipFile and folder
    QStringList paths; // the local paths for zipFiles, in the order dropped
};

Dropped whatIsDropped(const QMimeData* data);

} // namespace morvik::ui
