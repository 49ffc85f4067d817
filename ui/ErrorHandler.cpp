#include "ErrorHandler.h"

#include <QApplication>
#include <QMessageBox>

#include "Errors.h"

namespace zemb::ui {

namespace {

class MessageBoxReporter : public ErrorReporter {
 public:
  void ShowError(const std::string& caption, const std::string& message) override {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption),
                    QString::fromStdString(message), QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
  }
};

MessageBoxReporter g_messageBox;
ErrorReporter* g_reporter = &g_messageBox;

}  // namespace

ErrorReporter* SetErrorReporter(ErrorReporter* reporter) {
  ErrorReporter* previous = g_reporter;
  g_reporter = reporter ? reporter : &g_messageBox;
  return previous == &g_messageBox ? nullptr : previous;
}

std::string FormatErrorMessage(const std::string& message) {
  // Byte comparison: a UTF-8 multi-byte character ends in a byte >= 0x80, so Japanese
  // messages gain the full stop like any message ending in a letter.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

std::string ApplicationTitle() {
  return QApplication::applicationDisplayName().toStdString();
}

void HandleCurrentException() {
  std::string message;
  try {
    throw;
  } catch (const EAbort&) {
    return;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown error";
  }
  try {
    g_reporter->ShowError(ApplicationTitle(), FormatErrorMessage(message));
  } catch (...) {
    // A reporter that fails has nowhere left to report to.
  }
}

void RunGuarded(const std::function<void()>& action) {
  try {
    action();
  } catch (...) {
    HandleCurrentException();
  }
}

}  // namespace zemb::ui
