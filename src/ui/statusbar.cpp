// The status bar ST_Msg, its two panels, and MsgDisp.
#include "ui/statusbar.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>

#include <algorithm>
#include <limits>

namespace morvik::ui {
namespace {

// Room between the two panels, as a status bar draws its panels apart.
constexpr int kPanelGap = 2;
// Room between a panel's bevel and its text.
constexpr int kTextMargin = 3;
// How many pictures a panel keeps: the three progress texts and a few more.
constexpr qsizetype kPictures = 8;

} // namespace

StatusPanel::StatusPanel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void StatusPanel::setText(const QString& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    update();
}

const QPixmap& StatusPanel::picture(const QString& text) {
    // A window moved to a screen of another pixel ratio needs new pictures.
    const qreal ratio = devicePixelRatioF();
    auto found = m_pictures.constFind(text);
    if (found != m_pictures.constEnd() && found->devicePixelRatio() == ratio) {
        return *found;
    }
    if (m_pictures.size() >= kPictures) {
        m_pictures.clear();
    }
    QPixmap picture(size() * ratio);
    picture.setDevicePixelRatio(ratio);
    QPainter painter(&picture);
    const QRect area = rect();
    painter.fillRect(area, palette().window());
    // Sunken bevel: shadow above and left, light below and right.
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(area.topLeft(), area.topRight());
    painter.drawLine(area.topLeft(), area.bottomLeft());
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.topRight(), area.bottomRight());

    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    const QRect textArea = area.adjusted(kTextMargin, 0, -kTextMargin, 0);
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(text, Qt::ElideRight, textArea.width()));
    painter.end();
    return *m_pictures.insert(text, picture);
}

void StatusPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture(m_text));
}

void StatusPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_pictures.clear();
}

void StatusPanel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
        m_pictures.clear();
    }
}

StatusBar::StatusBar(QWidget* parent) : QWidget(parent) {
    for (int i = 0; i < 2; ++i) {
        m_panels[i] = new StatusPanel(this);
        m_panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
    }
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_progress->setFocusPolicy(Qt::NoFocus);
    m_progress->hide();
}

void StatusBar::showProgress(bool counting, std::size_t checked, std::size_t total) {
    if (!counting) {
        // Minimum and maximum both 0: the bar shows that work goes on.
        m_progress->setRange(0, 0);
        m_progress->setTextVisible(false);
    } else {
        const auto clamp = [](std::size_t n) {
            return int(std::min<std::size_t>(n, std::numeric_limits<int>::max()));
        };
        m_progress->setRange(0, clamp(total));
        m_progress->setValue(clamp(std::min(checked, total)));
        const QLocale japanese(QLocale::Japanese, QLocale::Japan);
        m_progress->setFormat(
            QStringLiteral("%1／%2件")
                .arg(japanese.toString(qulonglong(checked)), japanese.toString(qulonglong(total))));
        m_progress->setTextVisible(true);
    }
    if (m_progress->isHidden()) {
        m_progress->show();
        m_progress->raise();
    }
}

void StatusBar::hideProgress() {
    m_progress->hide();
}

void StatusBar::setPanelWidths(int panel1, int panel2) {
    m_widths[0] = panel1;
    m_widths[1] = panel2;
    placePanels();
}

StatusPanel* StatusBar::panel(int index) const {
    Q_ASSERT(index == 1 || index == 2);
    return m_panels[index - 1];
}

QString StatusBar::panelText(int index) const {
    return panel(index)->text();
}

void StatusBar::setPanelText(int index, const QString& text) {
    panel(index)->setText(text);
}

void StatusBar::MsgDisp(const std::string& MsgStr) {
    StatusPanel* first = panel(1);
    first->setText(QString::fromStdString(MsgStr));
    // The caller keeps this thread busy until its next status text: paint
    // now, not when the event loop would get round to it.
    first->repaint();
    QCoreApplication::processEvents();
}

void StatusBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placePanels();
}

void StatusBar::placePanels() {
    m_panels[0]->setGeometry(0, 0, m_widths[0], height());
    m_panels[1]->setGeometry(m_widths[0] + kPanelGap, 0, m_widths[1], height());
    // Inside panel 1's bevel, over its right two fifths.
    const int width = m_widths[0] * 2 / 5;
    m_progress->setGeometry(m_widths[0] - kPanelGap - width, kPanelGap, width,
                            std::max(0, height() - 2 * kPanelGap));
}

} // namespace morvik::ui
