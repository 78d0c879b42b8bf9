// A label for a few lines of instructions, wrapped to its width.
#pragma once

#include <QLabel>

namespace morvik::ui {

// Sets its lines 1.25 em apart, closer than an outline CJK face asks for
// (almost 1.5 em), which would push the last line of the design's
// instructions out of their label; where even that does not fit, the face is
// made a little smaller rather than the lines touching. text() stays the
// plain text, line breaks included.
class NoteLabel : public QLabel {
    Q_OBJECT
public:
    explicit NoteLabel(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace morvik::ui
