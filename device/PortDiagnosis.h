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

// What one line of a diagnosis says. Each kind is one sentence with its arguments, except
// Verbatim: a command to type or a port in a list, shown as it stands in any language.
enum class DiagnosisMessage {
  Verbatim,                  // the line itself
  NoPortFound,               //
  PortsThatExist,            //
  OwnerGroupMode,            // device, owner, group, mode ("rw-rw----")
  OnlyOwnerMayOpen,          //
  InGroupYetRefused,         // group
  InGroupSinceLogin,         // user, group, group file
  AddToGroup,                // group; the usermod command follows
  ProcessesUnreadable,       // the /proc directory
  HeldByProcess,             // one holder: pid, program, user (either may be empty)
  HeldByProcesses,           // holders, three arguments each as above
  CloseProgram,              // the kill command follows
  ClosePrograms,             //
  ModemManagerProbes,        //
  NoHolderOfUser,            //
  NoHolderOfUserUnreadable,  // the count of other users' processes not looked into
  BrailleClaim,              // USB id, rule file, rule line
  BrailleClaimNamed,         // USB id, product name, rule file, rule line
  RemoveBrailleService,      // the apt command follows
  DeviceGone,                // device
  NoHardware,                // device
  DoesNotExist,              // device
  WindowsPortHeld,           // port
};

// One line for a person. Texts from the system (names, program names, USB strings) in
// the arguments are already escaped for a terminal; a renderer puts them in unchanged.
struct DiagnosisLine {
  DiagnosisMessage message = DiagnosisMessage::Verbatim;
  std::vector<std::string> args;

  bool operator==(const DiagnosisLine&) const = default;
};

// Why a port that failed to open with fault did so, and what to do: each line one sentence
// or one command. Empty when the fault is not one of a missing, busy or forbidden port.
// What cannot be read (an unreadable /proc, another user's processes) gives less detail,
// never an error. A missing port lists the ports that exist unless listPorts is false (for
// a caller that has just listed them).
std::vector<DiagnosisLine> DiagnosePortFailure(
    const std::string& port, SerialFault fault, const DiagnosisRoots& roots = {},
    const ProcessIdentity& who = ProcessIdentity::Current(), bool listPorts = true);

// The line in English, as the command line prints it.
std::string EnglishDiagnosisLine(const DiagnosisLine& line);

// The lines in English joined by line feeds, without a final one.
std::string JoinDiagnosis(const std::vector<DiagnosisLine>& lines);

}  // namespace zemb
