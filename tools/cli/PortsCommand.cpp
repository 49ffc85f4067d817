#include "PortsCommand.h"

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>

#include "CliCore.h"
#include "PortAssignments.h"
#include "PortDiagnosis.h"
#include "SerialChannel.h"
#include "TerminalText.h"
#include "uSetting.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace zemb::cli {

namespace {

constexpr int kPortNames = 4;

bool DeviceExists(const std::string& device) {
#ifdef _WIN32
  (void)device;
  return true;  // COM names are not files; the list above shows which ones exist.
#else
  struct stat st {};
  return ::stat(device.c_str(), &st) == 0;
#endif
}

// Pads text with blanks to width, keeping the columns of the table straight.
std::string Column(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

}  // namespace

int RunPortsCommand(const std::vector<std::string>& operands, std::ostream& out, std::ostream& err,
                    const PortDiscoveryRoots& roots) {
  if (!operands.empty()) {
    err << kProgram << ": ports takes no operands\n";
    return kExitUsage;
  }
  const std::vector<SerialPortInfo> ports = ListSerialPorts(roots);
  // Names and descriptions come from the devices themselves (a USB adapter names its own
  // maker and product) or from the environment, so they are escaped like any device text.
  size_t width = 12;
  for (const auto& port : ports) width = std::max(width, EscapeForTerminal(port.device).size() + 2);

  if (ports.empty()) {
    out << "No serial ports found.\n";
  } else {
    out << "Serial ports:\n";
    for (const auto& port : ports) {
      out << "  " << Column(EscapeForTerminal(port.device), width)
          << EscapeForTerminal(port.Description()) << '\n';
      if (!port.byId.empty()) {
        out << "  " << std::string(width, ' ') << EscapeForTerminal(port.byId) << '\n';
      }
    }
  }

  out << "\nPort names:\n";
  for (int n = 1; n <= kPortNames; ++n) {
    const PortMapping mapping = MapPortName("COM" + std::to_string(n));
    std::string device = ResolvePortName("COM" + std::to_string(n));
    out << "  COM" << n << "  " << Column(EscapeForTerminal(device), width + 8)
        << DescribePortSource(mapping);
    std::string what;
    if (const SerialPortInfo* port = FindPort(ports, mapping.device)) {
      what = port->Description();
      if (port->device != mapping.device) what = port->device + (what.empty() ? "" : ", " + what);
    } else if (!DeviceExists(device)) {
      what = "not present";
    }
    if (!what.empty()) out << "  [" << EscapeForTerminal(what) << "]";
    out << '\n';
  }
  // Each port name that would not open now, with why and what to do.
  DiagnosisRoots diagnosisRoots;
  diagnosisRoots.ports = roots;
  for (int n = 1; n <= kPortNames; ++n) {
    const std::string name = "COM" + std::to_string(n);
    const std::unique_ptr<SerialChannel> channel = CreatePlatformSerialChannel();
    if (channel->Open(name)) {
      channel->Close();
      continue;
    }
    out << '\n' << name << " cannot be opened: " << EscapeForTerminal(channel->LastError()) << '\n';
    const auto lines = DiagnosePortFailure(name, channel->LastFault(), diagnosisRoots,
                                           ProcessIdentity::Current(), false);
    for (const auto& line : lines) {
      out << "  " << EnglishDiagnosisLine(line) << '\n';
    }
  }

  out << "\nSet a port with -p NAME or a path, choose one in the window (right-click the port\n"
         "group), or export ZEMBROMW_COMn=/dev/... (it wins over a stored choice).\n"
      << std::flush;
  if (!out) {
    err << kProgram << ": cannot write standard output\n";
    return kExitUsage;
  }
  return kExitOk;
}

void UseStoredPortAssignments() {
  const std::string self = RunningExecutablePath();
  const size_t sep = self.find_last_of("\\/");
  if (sep != std::string::npos) {
#ifdef _WIN32
    SetSettingsExecutable(self.substr(0, sep + 1) + "zembromw.exe");
#else
    SetSettingsExecutable(self.substr(0, sep + 1) + "zembromw");
#endif
  }
  SetPortAssignmentLookup([](unsigned long n) { return StoredPortAssignment(n); });
}

}  // namespace zemb::cli
