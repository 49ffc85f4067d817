// Lets SIGTERM, SIGINT and SIGHUP close the window the way the user would, so the field
// values are saved and the settings file is written on the way out; an operation that is
// running then ends by the silent abort first.
#pragma once

class QWidget;

namespace zemb::ui {

// Installs the handlers (POSIX; nothing elsewhere) until the window is destroyed.
void CloseOnTerminationSignals(QWidget* window);

// Cancels the open popup menus, dialogs and message boxes, innermost first, so that the
// code waiting on each of them goes on.
void EndModalLoops();

}  // namespace zemb::ui
