// The status bar ST_Msg with its two panels, and MsgDisp, through which a
// validation shows what it is doing.
#pragma once

#include "inspection/services.h"

#include <QHash>
#include <QPixmap>
#include <QWidget>

#include <cstddef>

class QProgressBar;

namespace morvik::ui {

// One sunken panel holding a line of text. The progress texts of a run come
// round again and again, several hundred times a second, and each must be
// painted before the run goes on; so the panel keeps a finished picture of
// each text it showed lately, and a repaint is one copy of pixels. It paints
// every pixel of its own (nothing behind it is painted again), and a new text
// never asks for a new layout of the bar.
class StatusPanel : public QWidget {
    Q_OBJECT
public:
    explicit StatusPanel(QWidget* parent = nullptr);
    QString text() const { return m_text; }
    void setText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    const QPixmap& picture(const QString& text);

    QString m_text;
    QHash<QString, QPixmap> m_pictures;
};

// Panels are addressed from 1, as the status texts' users count them: panel 1
// on the left holds the latest status text, panel 2 the program's name. While
// a run is under way a progress bar sits over the right part of panel 1, clear
// of the status texts; the panels keep their places.
class StatusBar : public QWidget, public inspection::StatusLine {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);

    // Widths in pixels; each panel is as high as the bar.
    void setPanelWidths(int panel1, int panel2);
    QString panelText(int index) const;
    void setPanelText(int index, const QString& text);
    StatusPanel* panel(int index) const;

    // Shows MsgStr in panel 1, paints it before returning and lets the window
    // handle its pending events (repainting, clicks, typing).
    void MsgDisp(const std::string& MsgStr) override;

    // Shows the progress bar: busy while the number of documents is not
    // known yet (counting false), else checked out of total.
    void showProgress(bool counting, std::size_t checked, std::size_t total);
    void hideProgress();
    QProgressBar* progressBar() const { return m_progress; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placePanels();

    StatusPanel* m_panels[2];
    QProgressBar* m_progress;
    int m_widths[2] = {0, 0};
};

} // namespace morvik::ui
