// A label of instruction lines set one em apart.
#include "ui/notelabel.h"

#include <QFontInfo>
#include <QPainter>
#include <QTextLayout>

namespace morvik::ui {

NoteLabel::NoteLabel(const QString& text, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setText(text);
}

void NoteLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QRect area = contentsRect();
    const qreal em = QFontInfo(font()).pixelSize();
    // Where the ink of a CJK glyph ends above its baseline, in ems.
    constexpr qreal kInkAscent = 0.88;
    qreal baseline = area.top() + em * kInkAscent;

    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (const QString& paragraph : text().split(u'\n')) {
        QTextLayout layout(paragraph, font());
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(area.width());
            line.setPosition(QPointF(0, baseline - line.ascent()));
            baseline += em;
        }
        layout.endLayout();
        layout.draw(&painter, QPointF(area.left(), 0));
    }
}

} // namespace morvik::ui
