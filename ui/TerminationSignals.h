// Lets SIGTERM and SIGINT close the window the way the user would, so the field values
// are saved and the settings file is written on the way out.
#pragma once

class QWidget;

namespace zemb::ui {

// Installs the handlers (POSIX; nothing elsewhere) until the window is destroyed.
void CloseOnTerminationSignals(QWidget* window);

}  // namespace zemb::ui
