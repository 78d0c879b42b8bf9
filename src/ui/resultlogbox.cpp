// The result log written into TX_Msg in batches, through a cursor of its own.
#include "ui/resultlogbox.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

namespace morvik::ui {

ResultLogBox::ResultLogBox(QPlainTextEdit& box) : m_box(box) {
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushInterval);
    connect(&m_flushTimer, &QTimer::timeout, this, &ResultLogBox::flush);
}

void ResultLogBox::clear() {
    m_flushTimer.stop();
    m_pending.clear();
    m_box.clear();
}

void ResultLogBox::append(std::string_view piece) {
    m_pending.append(QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size())));
    if (!m_flushTimer.isActive()) {
        m_flushTimer.start();
    }
}

void ResultLogBox::flush() {
    m_flushTimer.stop();
    const bool heldCr = m_pending.endsWith(u'\r');
    QString text = heldCr ? m_pending.first(m_pending.size() - 1) : m_pending;
    m_pending = heldCr ? QStringLiteral("\r") : QString();
    if (text.isEmpty()) {
        return;
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');

    // A reader who keeps the view at the bottom sees the entries arrive; one
    // who scrolled up to read keeps his place.
    QScrollBar* vertical = m_box.verticalScrollBar();
    const bool following = vertical->value() == vertical->maximum();

    QTextCursor end(m_box.document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);

    if (following) {
        vertical->setValue(vertical->maximum());
    }
}

} // namespace morvik::ui
