// The result log box: failure marks, stepping between failures, the
// failures-only view and the search line.
#include "ui/logedit.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>

namespace morvik::ui {
namespace {

// Block states: a line of a failure entry, and the entry's first line.
constexpr int kFailureLine = 1;
constexpr int kFailureStart = 2;

const QColor kFailureBackground(255, 228, 228);
const QColor kFailureMark(200, 0, 0);
const QColor kNotFoundBackground(255, 210, 210);

bool isFailure(const QTextBlock& block) {
    return block.userState() == kFailureLine || block.userState() == kFailureStart;
}

} // namespace

class LogEdit::Margin : public QWidget {
public:
    explicit Margin(LogEdit& log) : QWidget(&log), m_log(log) {
        setObjectName(QStringLiteral("failureMargin"));
    }

protected:
    void paintEvent(QPaintEvent* event) override { m_log.paintMargin(event); }

private:
    LogEdit& m_log;
};

LogEdit::LogEdit(QWidget* parent)
    : QPlainTextEdit(parent), m_margin(new Margin(*this)), m_findBox(new QLineEdit(this)) {
    setViewportMargins(kMarginWidth, 0, 0, 0);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_margin,
            qOverload<>(&QWidget::update));
    connect(this, &QPlainTextEdit::updateRequest, m_margin, [this](const QRect&, int dy) {
        if (dy != 0) {
            m_margin->update();
        }
    });

    // New lines of a growing log get their marks and follow the filter once
    // the change that brought them is complete.
    auto* refresh = new QTimer(this);
    refresh->setSingleShot(true);
    refresh->setInterval(0);
    connect(refresh, &QTimer::timeout, this, [this] {
        applyMarks();
        updateVisibility(m_visibilityDone);
    });
    connect(document(), &QTextDocument::blockCountChanged, refresh, qOverload<>(&QTimer::start));
    // Back at the run's text after edits and their undoing: the lines are
    // the run's lines again.
    connect(document(), &QTextDocument::modificationChanged, this, [this](bool modified) {
        if (!modified && isUndoRedoEnabled()) {
            remarkAll();
        }
    });

    m_findBox->setObjectName(QStringLiteral("findBox"));
    m_findBox->setPlaceholderText(QStringLiteral("ログ内を検索（Enter：次　Shift+Enter：前）"));
    m_findBox->setClearButtonEnabled(true);
    m_findBox->hide();
    m_findBox->installEventFilter(this);
    connect(m_findBox, &QLineEdit::textEdited, this, [this](const QString& text) {
        // Searching as one types starts again from where the match began.
        QTextCursor at = textCursor();
        at.setPosition(at.selectionStart());
        setTextCursor(at);
        find(text);
    });
}

void LogEdit::markFailureEntry(int firstLine, int lines) {
    m_entries.push_back({firstLine, lines});
    applyMarks();
}

void LogEdit::forgetFailures() {
    m_entries.clear();
    m_applied = 0;
    m_visibilityDone = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        block.setUserState(-1);
    }
    updateVisibility(0);
}

bool LogEdit::isFailureLine(int line) const {
    return isFailure(document()->findBlockByNumber(line));
}

void LogEdit::applyMarks() {
    const int blocks = document()->blockCount();
    int lowest = blocks;
    while (m_applied < m_entries.size()) {
        const Entry& entry = m_entries[m_applied];
        if (entry.firstLine + entry.lines > blocks) {
            break; // not all of its lines are in the box yet
        }
        QTextBlock block = document()->findBlockByNumber(entry.firstLine);
        for (int i = 0; i < entry.lines && block.isValid(); ++i, block = block.next()) {
            block.setUserState(i == 0 ? kFailureStart : kFailureLine);
        }
        lowest = std::min(lowest, entry.firstLine);
        ++m_applied;
    }
    if (lowest < blocks) {
        updateVisibility(std::min(lowest, m_visibilityDone));
        viewport()->update();
        m_margin->update();
    }
}

void LogEdit::remarkAll() {
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        block.setUserState(-1);
    }
    m_applied = 0;
    applyMarks();
    updateVisibility(0);
    viewport()->update();
    m_margin->update();
}

void LogEdit::updateVisibility(int fromBlock) {
    QTextDocument* doc = document();
    QTextBlock block = doc->findBlockByNumber(std::max(0, fromBlock));
    if (!block.isValid()) {
        return;
    }
    const int start = block.position();
    bool changed = false;
    for (; block.isValid(); block = block.next()) {
        // The last line may still be growing into a failure entry's first line.
        const bool last = !block.next().isValid();
        const bool visible = !m_failuresOnly || isFailure(block) || last;
        if (block.isVisible() != visible) {
            block.setVisible(visible);
            changed = true;
        }
    }
    m_visibilityDone = std::max(0, doc->blockCount() - 1);
    if (changed) {
        doc->markContentsDirty(start, doc->characterCount() - start);
        viewport()->update();
        m_margin->update();
    }
}

void LogEdit::setFailuresOnly(bool on) {
    if (on == m_failuresOnly) {
        return;
    }
    m_failuresOnly = on;
    updateVisibility(0);
    // The caret on a folded line would be drawn nowhere: on the nearest
    // shown line instead.
    if (!textCursor().block().isVisible()) {
        QTextBlock block = textCursor().block();
        while (block.isValid() && !block.isVisible()) {
            block = block.next();
        }
        QTextCursor at(document());
        at.setPosition(block.isValid() ? block.position() : 0);
        setTextCursor(at);
    }
    ensureCursorVisible();
    emit failuresOnlyChanged(on);
}

void LogEdit::beginRunLog() {
    setUndoRedoEnabled(false);
}

void LogEdit::endRunLog() {
    setUndoRedoEnabled(true);
    document()->setModified(false);
}

bool LogEdit::showNextFailure() {
    return showFailure(false);
}

bool LogEdit::showPreviousFailure() {
    return showFailure(true);
}

bool LogEdit::showFailure(bool backwards) {
    QTextDocument* doc = document();
    const QTextBlock here = doc->findBlock(textCursor().selectionStart());
    const int count = doc->blockCount();
    QTextBlock found;
    // Once round the log, starting beside the caret's line.
    QTextBlock block = here;
    for (int step = 0; step < count; ++step) {
        block = backwards ? block.previous() : block.next();
        if (!block.isValid()) {
            block = backwards ? doc->lastBlock() : doc->firstBlock();
        }
        if (block.userState() == kFailureStart) {
            found = block;
            break;
        }
    }
    if (!found.isValid()) {
        return false;
    }
    // The entry's last line, and the line that ends in its reason: the
    // detail line, or the message when the detail is empty.
    QTextBlock last = found;
    QTextBlock reason = found;
    for (QTextBlock next = found.next(); next.isValid() && next.userState() == kFailureLine;
         next = next.next()) {
        last = next;
        if (!next.text().isEmpty()) {
            reason = next;
        }
    }
    QTextCursor entry(doc);
    entry.setPosition(last.position() + last.length() - 1);
    entry.setPosition(found.position(), QTextCursor::KeepAnchor);
    setTextCursor(entry);
    centerCursor();

    // Far enough right that the reason ends inside the view, and no further.
    blockBoundingRect(reason); // lays the line out
    const QTextLayout* layout = reason.layout();
    const qreal width = layout != nullptr && layout->lineCount() > 0
                            ? layout->lineAt(0).naturalTextWidth()
                            : fontMetrics().horizontalAdvance(reason.text());
    const int right = int(width + 2 * doc->documentMargin()) + cursorWidth() + 1;
    horizontalScrollBar()->setValue(std::max(0, right - viewport()->width()));
    m_margin->update();
    return true;
}

void LogEdit::showFindBox() {
    const QString selected = textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator)) {
        m_findBox->setText(selected);
    }
    placeFindBox();
    m_findBox->show();
    m_findBox->raise();
    m_findBox->setFocus(Qt::ShortcutFocusReason);
    m_findBox->selectAll();
}

bool LogEdit::find(const QString& text, bool backwards) {
    QPalette palette = m_findBox->palette();
    palette.setColor(QPalette::Base, this->palette().color(QPalette::Base));
    m_findBox->setPalette(palette);
    if (text.isEmpty()) {
        return false;
    }
    const QTextDocument::FindFlags flags =
        backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    const QTextCursor start = textCursor();
    QTextCursor from = start;
    bool wrapped = false;
    for (;;) {
        const QTextCursor hit = document()->find(text, from, flags);
        if (hit.isNull()) {
            if (wrapped) {
                break;
            }
            wrapped = true;
            from = QTextCursor(document());
            from.movePosition(backwards ? QTextCursor::End : QTextCursor::Start);
            continue;
        }
        if (hit.block().isVisible()) {
            // A match off the view comes to its middle, not to its edge.
            const int shown = verticalScrollBar()->value();
            setTextCursor(hit);
            if (verticalScrollBar()->value() != shown ||
                !viewport()->rect().contains(cursorRect())) {
                centerCursor();
            }
            return true;
        }
        // Folded away by the failures-only view: look further.
        from = hit;
        if (wrapped &&
            (backwards ? hit.position() <= start.position() : hit.position() >= start.position())) {
            break;
        }
    }
    palette.setColor(QPalette::Base, kNotFoundBackground);
    m_findBox->setPalette(palette);
    return false;
}

bool LogEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_findBox && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            find(m_findBox->text(), key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            m_findBox->hide();
            setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return QPlainTextEdit::eventFilter(watched, event);
}

void LogEdit::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    m_margin->setGeometry(area.left(), area.top(), kMarginWidth, viewport()->height());
    placeFindBox();
}

void LogEdit::placeFindBox() {
    const QRect view = viewport()->geometry();
    const int width = std::min(view.width(), fontMetrics().horizontalAdvance(u'あ') * 24);
    const int height = m_findBox->sizeHint().height();
    m_findBox->setGeometry(view.right() - width + 1, view.top(), width, height);
}

void LogEdit::paintEvent(QPaintEvent* event) {
    {
        // The failure entries' lines on a pale red ground, under the text.
        QPainter painter(viewport());
        const QRect area = event->rect();
        const QPointF offset = contentOffset();
        for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
            const QRectF box = blockBoundingGeometry(block).translated(offset);
            if (box.top() > area.bottom()) {
                break;
            }
            if (block.isVisible() && isFailure(block)) {
                painter.fillRect(QRectF(area.left(), box.top(), area.width(), box.height()),
                                 kFailureBackground);
            }
        }
    }
    QPlainTextEdit::paintEvent(event);
}

void LogEdit::paintMargin(QPaintEvent* event) {
    QPainter painter(m_margin);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    const QPointF offset = contentOffset();
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRectF box = blockBoundingGeometry(block).translated(offset);
        if (box.top() > m_margin->height()) {
            break;
        }
        if (!block.isVisible() || !isFailure(block)) {
            continue;
        }
        if (block.userState() == kFailureStart) {
            // A red wedge pointing at the entry's first line.
            const qreal mid = box.top() + box.height() / 2;
            const QPointF wedge[] = {{1.0, mid - 4}, {1.0, mid + 4}, {kMarginWidth - 1.0, mid}};
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(kFailureMark);
            painter.drawPolygon(wedge, 3);
        } else {
            painter.fillRect(QRectF(2, box.top(), 3, box.height()), kFailureMark);
        }
    }
}

} // namespace morvik::ui
