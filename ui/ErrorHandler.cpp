#include "ErrorHandler.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>

#include "Errors.h"

namespace zemb::ui {

namespace {

class MessageBoxReporter : public ErrorReporter {
 public:
  void ShowError(const std::string& caption, const std::string& message) override {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption),
                    QString::fromStdString(message), QMessageBox::Ok, QApplication::activeWindow());
    // The message names files and quotes values as they came.
    box.setTextFormat(Qt::PlainText);
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

std::string TranslateErrorMessage(const std::string& message) {
  // The messages of the shared error types, as their text and where the value goes.
  static const char* const kPatterns[] = {
      QT_TRANSLATE_NOOP("ErrorHandler", "'%1' は整数ではありません"),
      QT_TRANSLATE_NOOP("ErrorHandler", "ファイル %1 は開けません"),
      QT_TRANSLATE_NOOP("ErrorHandler", "ファイル %1 を作成できません"),
      QT_TRANSLATE_NOOP("ErrorHandler", "ストリームへの書き込みエラー"),
  };
  for (const char* pattern : kPatterns) {
    const std::string source(pattern);
    const QString translated = QCoreApplication::translate("ErrorHandler", pattern);
    if (translated.toStdString() == source) continue;
    const size_t mark = source.find("%1");
    if (mark == std::string::npos) {
      if (message == source) return translated.toStdString();
      continue;
    }
    const std::string before = source.substr(0, mark);
    const std::string after = source.substr(mark + 2);
    if (message.size() < before.size() + after.size() ||
        message.compare(0, before.size(), before) != 0 ||
        message.compare(message.size() - after.size(), after.size(), after) != 0) {
      continue;
    }
    // The value keeps its bytes: a file name need not be UTF-8.
    const std::string value =
        message.substr(before.size(), message.size() - before.size() - after.size());
    const std::string target = translated.toStdString();
    const size_t at = target.find("%1");
    if (at == std::string::npos) return target;
    return target.substr(0, at) + value + target.substr(at + 2);
  }
  return message;
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
    g_reporter->ShowError(ApplicationTitle(), FormatErrorMessage(TranslateErrorMessage(message)));
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
