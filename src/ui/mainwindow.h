// The main window Morvik: the ZIP path and schema folder inputs with their
// browse buttons, the start button, the result log and the status bar.
#pragma once

#include "ui/dialogmessagebox.h"
#include "ui/modalrunner.h"
#include "ui/programstart.h"
#include "ui/qsettingsstore.h"
#include "ui/resultlogbox.h"

#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace morvik::ui {

class MorvikDir;
class StatusBar;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Every modal dialog of this window (file dialog, message boxes, folder
    // picker) is shown through runner; by default through exec().
    void setModalRunner(ModalRunner runner);

    // True from the start of an inspection run to its end.
    bool isRunning() const { return m_running; }

    // The settings' application name and the text of the status bar's
    // panel 2: the executable's file name without its extension.
    static QString executableName();

public slots:
    // Restores both inputs from the settings and shows the program's name.
    void Form_Load();
    // Runs one inspection on the two inputs, the log growing in TX_Msg.
    void Command1_Click();
    // Browses for the ZIP file.
    void Command2_Click();
    // Picks the schema folder with MorvikDir.
    void Command3_Click();

protected:
    // Closing during a run waits for the run to end, then closes.
    void closeEvent(QCloseEvent* event) override;

private:
    class RunScope;

    ModalRunner m_runModal;
    ui::QSettingsStore m_settings;
    ui::DesktopProgramStart m_programs;
    bool m_running = false;
    bool m_closeRequested = false;

    QPushButton* Command1;
    QLabel* Label1;
    QPushButton* Command2;
    QLineEdit* TX_XmlFnm;
    QLabel* Label2;
    QPushButton* Command3;
    QLineEdit* TX_Schima;
    QPlainTextEdit* TX_Msg;
    QLabel* Label3;
    StatusBar* ST_Msg;
    QFrame* Line1;
    MorvikDir* m_picker = nullptr;

    std::unique_ptr<DialogMessageBox> m_messages;
    std::unique_ptr<ResultLogBox> m_log;
};

} // namespace morvik::ui
