// The application's default error handler: every control event runs through RunGuarded,
// so no exception crosses Qt's event dispatch. The silent abort shows nothing; any other
// error is shown in a message box and the window goes on.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace zemb::ui {

// Where error messages go. The default shows a modal message box; tests install one that
// records the messages instead.
class ErrorReporter {
 public:
  virtual ~ErrorReporter() = default;
  virtual void ShowError(const std::string& caption, const std::string& message) = 0;
};

// Installs reporter (not owned); nullptr restores the message box. Returns the previous one.
ErrorReporter* SetErrorReporter(ErrorReporter* reporter);

// A message of the shared error types in the language of the window (unchanged in
// Japanese, their own language); other messages as they are.
std::string TranslateErrorMessage(const std::string& message);

// The message as the box shows it: a "." is added when the last byte sorts above ".".
std::string FormatErrorMessage(const std::string& message);

// The caption of error boxes: the application's display name.
std::string ApplicationTitle();

// Shows the error that is being handled (call from inside a catch block).
void HandleCurrentException();

// Runs action and hands any error it raises to the default handler.
void RunGuarded(const std::function<void()>& action);

}  // namespace zemb::ui
