// Error types shared by every layer. The message texts are the ones the user sees in
// the window's error box, so they stay exactly as written here.
#pragma once

#include <stdexcept>
#include <string>

namespace zemb {

// Base of every error that carries a user-facing message.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// The silent abort: handlers stop, nothing is shown.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

[[noreturn]] void Abort();

// "'%s' は整数ではありません": a text that does not convert to an integer.
class EConvertError : public Exception {
 public:
  explicit EConvertError(const std::string& text);
};

// "ファイル %s は開けません": a file that cannot be opened for reading.
class EFOpenError : public Exception {
 public:
  explicit EFOpenError(const std::string& path);
};

// "ファイル %s を作成できません": a file that cannot be created.
class EFCreateError : public Exception {
 public:
  explicit EFCreateError(const std::string& path);
};

// "ストリームへの書き込みエラー": a write that stopped short.
class EWriteError : public Exception {
 public:
  EWriteError();
};

}  // namespace zemb
