// Enter presses the focused push button, as on the desktop the clerks know.
#pragma once

class QPushButton;

namespace morvik::ui {

// Return or Enter (the keypad's too) on button, while it has the focus and
// is enabled, clicks it, just as Space does. Unlike a dialog's default
// button this acts only on the focused button: Enter in another control of
// the window keeps its own meaning (the folder list opens a folder with it).
void pressOnEnter(QPushButton& button);

} // namespace morvik::ui
