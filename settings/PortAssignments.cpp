#include "PortAssignments.h"

#include "uSetting.h"

namespace zemb {

std::string PortAssignmentKey(unsigned long n) {
  return "Ports.COM" + std::to_string(n);
}

std::string StoredPortAssignment(unsigned long n) {
  return ReadValue(PortAssignmentKey(n));
}

bool StorePortAssignment(unsigned long n, const std::string& device) {
  WriteValue(PortAssignmentKey(n), device);
  return SaveSettings();
}

}  // namespace zemb
