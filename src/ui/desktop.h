// The desktop program's start: what morvik_main calls.
#pragma once

#include <string>

class QString;
class QTranslator;

namespace morvik::ui {

// Builds the application, shows the main window and runs until it closes.
// zipArgument, when not empty, is a ZIP file the program was started on (a
// path or a file: URL, as a file manager's "Open with" passes it): it fills
// TX_XmlFnm after the stored inputs are restored, without being saved.
int runDesktop(int argc, char** argv, const std::string& zipArgument = {});

// Loads Qt's own Japanese texts (file dialog, context menus, buttons) into
// translator from Qt's translations folder; false when they are not
// installed (Debian's qt6-translations-l10n), and Qt then speaks English.
bool loadQtTranslation(QTranslator& translator);

// The path a start argument names: a file: URL as its local path, a
// relative path made full against the current folder.
QString zipPathFromArgument(const QString& argument);

} // namespace morvik::ui
