// A label for a few lines of instructions, wrapped to its width.
#pragma once

#include <QLabel>

namespace morvik::ui {

// Sets its lines one em apart, as the design's bitmap Gothic does. Outline
// CJK faces ask for almost half an em more per line, which would push the
// last line of the design's instructions out of their label. text() stays
// the plain text, line breaks included.
class NoteLabel : public QLabel {
    Q_OBJECT
public:
    explicit NoteLabel(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace morvik::ui
