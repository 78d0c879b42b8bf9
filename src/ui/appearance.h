// What both windows share in their look: design coordinates in twips, the
// Japanese Gothic font and the window icon.
#pragma once

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QStringList>

namespace morvik::ui {

// The windows are designed in twips (1/1440 inch). Qt places widgets in
// device-independent pixels, so a twip is dpi / 1440 of them at the screen's
// logical DPI: 15 twips to the pixel at 96 dpi.
class Twips {
public:
    explicit Twips(double logicalDpi) : m_dpi(logicalDpi) {}
    int operator()(int twips) const;
    QRect rect(int left, int top, int width, int height) const;

private:
    double m_dpi;
};

// Families tried, in order, for the status bar and the controls: the design's
// "ＭＳ ゴシック", then installed Gothic faces with the same metrics (half-width
// Latin letters, so the design's captions fit their controls).
QStringList preferredGothicFamilies();

// The first installed family of preferredGothicFamilies(), else any installed
// family that covers Japanese, else the empty text (the platform's default).
QString japaneseGothicFamily();

// The Japanese Gothic at 9 point, regular.
QFont japaneseGothicFont();

// The window icon, with its images at 16, 32 and 48 pixels.
QIcon morvikIcon();

} // namespace morvik::ui
