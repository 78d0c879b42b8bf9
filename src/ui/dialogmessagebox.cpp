// The run's message boxes as Qt message boxes over the main window.
#include "ui/dialogmessagebox.h"

#include <QMessageBox>

namespace morvik::ui {

DialogMessageBox::DialogMessageBox(QWidget& owner, const ModalRunner& runModal)
    : m_owner(owner), m_runModal(runModal) {}

void DialogMessageBox::show(const std::string& text, const std::string& caption,
                            inspection::MessageIcon icon) {
    QMessageBox box(&m_owner);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setWindowTitle(QString::fromStdString(caption.empty() ? inspection::kAppTitle : caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setIcon(icon == inspection::MessageIcon::critical ? QMessageBox::Critical
                                                          : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    m_runModal(box);
}

} // namespace morvik::ui
