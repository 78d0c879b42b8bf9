// The result log written into the multi-line box TX_Msg.
#pragma once

#include "inspection/services.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QPlainTextEdit;

namespace morvik::ui {

// Appends are collected and written to the end of the box's document in one
// go at most every kFlushInterval (and on flush()), through a cursor of the
// log's own: the user's caret and selection stay where they are. A box
// repaints its whole view on every change of its document, which costs far
// more than validating a document does; written this way, a long run pays for
// a few repaints a second instead of one per entry, and an append costs time
// in proportion to its piece. The log's CR LF line breaks become the box's
// line breaks, also when a CR ends one piece and its LF begins the next.
class ResultLogBox : public QObject, public inspection::ResultLog {
    Q_OBJECT
public:
    // Eight times a second: the entries still flow, and the box and its
    // scroll bars are not repainted at every frame of the status line.
    static constexpr int kFlushInterval = 120; // milliseconds

    explicit ResultLogBox(QPlainTextEdit& box);

    // Empties the box at once, with whatever was still held back.
    void clear() override;
    void append(std::string_view piece) override;

    // Writes what is held back into the box now. A CR that ends the text so
    // far waits for the next piece, which may begin with its LF.
    void flush();

private:
    QPlainTextEdit& m_box;
    QString m_pending;
    QTimer m_flushTimer;
};

} // namespace morvik::ui
