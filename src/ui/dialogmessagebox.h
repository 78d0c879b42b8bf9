// The run's message boxes as Qt message boxes over the main window.
#pragma once

#include "inspection/services.h"
#include "ui/modalrunner.h"

class QWidget;

namespace morvik::ui {

// OK button only; the caption as the caller gives it (the application title
// when it gives none); the critical icon when asked, else no icon.
class DialogMessageBox : public inspection::MessageBox {
public:
    DialogMessageBox(QWidget& owner, const ModalRunner& runModal);
    void show(const std::string& text, const std::string& caption,
              inspection::MessageIcon icon) override;

private:
    QWidget& m_owner;
    const ModalRunner& m_runModal;
};

} // namespace morvik::ui
