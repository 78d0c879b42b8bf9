// Qt's own file dialog in Japanese whatever the system's locale: the file
// list's type of a folder and its dates follow the program, not LANG.
#pragma once

class QFileDialog;

namespace morvik::ui {

// Makes dialog Qt's own (not the desktop's, which speaks the system's
// language) and lists folders as "フォルダ" and dates as a Japanese
// reader writes them. Call before the dialog is shown.
void speakJapanese(QFileDialog& dialog);

} // namespace morvik::ui
