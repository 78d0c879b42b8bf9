// Enter clicks the focused push button.
#include "ui/enterkey.h"

#include <QKeyEvent>
#include <QPushButton>

namespace morvik::ui {
namespace {

class EnterPresses : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            modifiers != Qt::NoModifier) {
            return false;
        }
        auto* button = qobject_cast<QPushButton*>(watched);
        // A key held down repeats; one press is one click.
        if (button != nullptr && button->isEnabled() && !key->isAutoRepeat()) {
            button->click();
        }
        return true;
    }
};

} // namespace

void pressOnEnter(QPushButton& button) {
    button.installEventFilter(new EnterPresses(&button));
}

} // namespace morvik::ui
