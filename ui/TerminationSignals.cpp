#include "TerminationSignals.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <iterator>
#endif

namespace zemb::ui {

void EndModalLoops() {
  // Bounded: a dialog that refuses to go would otherwise keep this loop turning.
  for (int i = 0; i < 16; ++i) {
    QWidget* top = QApplication::activePopupWidget();
    if (!top) top = QApplication::activeModalWidget();
    if (!top) return;
    if (auto* dialog = qobject_cast<QDialog*>(top)) {
      dialog->reject();
    } else {
      top->close();
    }
  }
}

#ifndef _WIN32

namespace {

int g_signalPipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// The signals whose handler is ours: one ignored at start (nohup, trap '' HUP) stays so.
bool g_handled[std::size(kSignals)] = {};

void OnSignal(int) {
  // Only async-signal-safe work here: the event loop reads the pipe.
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

}  // namespace

void CloseOnTerminationSignals(QWidget* window) {
  if (g_signalPipe[0] >= 0) return;
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, window);
  QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
    char buf[16];
    while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
    }
    // A file dialog or message box runs a loop of its own and would hold the close until
    // the user answers it; a signal answers it as a cancel.
    EndModalLoops();
    window->close();
  });
  // Once the window is gone the signals end the process again.
  QObject::connect(notifier, &QObject::destroyed, [] {
    for (size_t i = 0; i < std::size(kSignals); ++i) {
      if (g_handled[i]) ::signal(kSignals[i], SIG_DFL);
      g_handled[i] = false;
    }
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    struct sigaction current {};
    if (::sigaction(kSignals[i], nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
      continue;
    }
    g_handled[i] = ::sigaction(kSignals[i], &action, nullptr) == 0;
  }
}

#else

void CloseOnTerminationSignals(QWidget*) {}

#endif

}  // namespace zemb::ui
