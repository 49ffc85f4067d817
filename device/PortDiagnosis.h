// Why a serial port would not open, and what to do about it, found out from the system
// itself: the device's group and mode and the user's groups, the processes holding it, a
// braille service that took a USB adapter, or the ports that do exist.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PortList.h"
#include "SerialChannel.h"

namespace zemb {

// Where the diagnosis looks; tests point these at a tree of their own.
struct DiagnosisRoots {
  PortDiscoveryRoots ports;
  std::string proc = "/proc";
  std::string groupFile = "/etc/group";
  std::string passwdFile = "/etc/passwd";
  std::vector<std::string> udevRuleDirs = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                           "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
};

// Who is asking: the user and the groups this process runs with.
struct ProcessIdentity {
  uint32_t uid = 0;
  std::string userName;
  std::vector<uint32_t> groups;  // the effective group and the supplementary ones
  long pid = 0;                  // left out of the holders

  static ProcessIdentity Current();
};

// Lines for a person, each one sentence or one command, for a port that failed to open
// with fault. Texts from the system (names, program names, USB strings) are escaped for a
// terminal. Empty when the fault is not one of a missing, busy or forbidden port. What
// cannot be read (an unreadable /proc, another user's processes) gives less detail, never
// an error. A missing port lists the ports that exist unless listPorts is false (for a
// caller that has just listed them).
std::vector<std::string> DiagnosePortFailure(
    const std::string& port, SerialFault fault, const DiagnosisRoots& roots = {},
    const ProcessIdentity& who = ProcessIdentity::Current(), bool listPorts = true);

// The lines joined by line feeds, without a final one.
std::string JoinDiagnosis(const std::vector<std::string>& lines);

}  // namespace zemb
