#include "SerialPortName.h"

#include "SerialChannel.h"
#include "TStrings.h"

namespace zemb {

std::optional<unsigned long> ComPortNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 12) return std::nullopt;
  if (AsciiLower(std::string_view(name).substr(0, 3)) != "com") return std::nullopt;
  if (name[3] < '1' || name[3] > '9') return std::nullopt;
  unsigned long n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned long>(name[i] - '0');
  }
  return n;
}

bool IsAcceptablePortName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxPortNameLength && name.find('\0') == std::string::npos;
}

}  // namespace zemb
