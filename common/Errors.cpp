#include "Errors.h"

namespace zemb {

void Abort() {
  throw EAbort();
}

EConvertError::EConvertError(const std::string& text)
    : Exception("'" + text + "' は整数ではありません") {}

EFOpenError::EFOpenError(const std::string& path)
    : Exception("ファイル " + path + " は開けません") {}

EFCreateError::EFCreateError(const std::string& path)
    : Exception("ファイル " + path + " を作成できません") {}

EWriteError::EWriteError() : Exception("ストリームへの書き込みエラー") {}

}  // namespace zemb
