// A label of instruction lines set one em apart.
#include "ui/notelabel.h"

#include <QFontInfo>
#include <QPainter>
#include <QTextLayout>

#include <memory>
#include <vector>

namespace morvik::ui {

NoteLabel::NoteLabel(const QString& text, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setText(text);
}

namespace {

// Room between two lines' baselines, in ems: enough that the lines of a
// CJK face stand clearly apart.
constexpr qreal kLineSpacing = 1.25;
// Where the ink of a CJK glyph ends above its baseline, in ems.
constexpr qreal kInkAscent = 0.88;

struct Lines {
    std::vector<std::unique_ptr<QTextLayout>> layouts;
    int count = 0;
};

Lines layOut(const QString& text, const QFont& font, int width) {
    Lines lines;
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (const QString& paragraph : text.split(u'\n')) {
        auto layout = std::make_unique<QTextLayout>(paragraph, font);
        layout->setTextOption(option);
        layout->beginLayout();
        for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
            line.setLineWidth(width);
            ++lines.count;
        }
        layout->endLayout();
        lines.layouts.push_back(std::move(layout));
    }
    return lines;
}

} // namespace

void NoteLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QRect area = contentsRect();
    // The label's face, or a smaller one (down to three quarters) when its
    // lines would not fit a fifth of an em apart.
    QFont font = this->font();
    const qreal size = QFontInfo(font).pointSizeF();
    Lines lines;
    qreal em = 0;
    for (qreal step = 0; step <= size / 4; step += 0.25) {
        font.setPointSizeF(size - step);
        em = QFontInfo(font).pixelSize();
        lines = layOut(text(), font, area.width());
        const qreal needed = em * kInkAscent + (lines.count - 1) * em * kLineSpacing + em * 0.12;
        if (needed <= area.height()) {
            break;
        }
    }
    qreal baseline = area.top() + em * kInkAscent;
    for (const auto& layout : lines.layouts) {
        for (int i = 0; i < layout->lineCount(); ++i) {
            QTextLine line = layout->lineAt(i);
            line.setPosition(QPointF(0, baseline - line.ascent()));
            baseline += em * kLineSpacing;
        }
        layout->draw(&painter, QPointF(area.left(), 0));
    }
}

} // namespace morvik::ui
