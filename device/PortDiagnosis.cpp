#include "PortDiagnosis.h"

#include <algorithm>
#include <utility>

#include "TStrings.h"
#include "TerminalText.h"

#ifndef _WIN32
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <system_error>
#endif

namespace zemb {

namespace {

using Lines = std::vector<DiagnosisLine>;
using M = DiagnosisMessage;

std::string Esc(const std::string& text) {
  return EscapeForTerminal(text, 200);
}

void Say(Lines& lines, DiagnosisMessage message, std::vector<std::string> args = {}) {
  lines.push_back(DiagnosisLine{message, std::move(args)});
}

// The ports that exist, one line each, as the port list shows them.
void AddExistingPorts(const DiagnosisRoots& roots, Lines& lines) {
  const std::vector<SerialPortInfo> ports = ListSerialPorts(roots.ports);
  if (ports.empty()) {
    Say(lines, M::NoPortFound);
    return;
  }
  Say(lines, M::PortsThatExist);
  for (const auto& port : ports) {
    std::string line = "  " + Esc(port.device);
    const std::string description = port.Description();
    if (!description.empty()) line += "  " + Esc(description);
    if (!port.byId.empty()) line += "  (" + Esc(port.byId) + ")";
    Say(lines, M::Verbatim, {std::move(line)});
  }
}

#ifndef _WIN32

namespace fs = std::filesystem;

std::vector<std::string> SplitAt(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(sep, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

struct GroupEntry {
  std::string name;
  std::vector<std::string> members;
};

// The entry of gid in a group(5) file; the name is empty when the file does not list it.
GroupEntry FindGroup(const std::string& groupFile, uint32_t gid) {
  std::ifstream in(groupFile);
  std::string line;
  while (in && std::getline(in, line)) {
    const auto fields = SplitAt(line, ':');
    if (fields.size() < 4 || fields[2] != std::to_string(gid)) continue;
    GroupEntry entry;
    entry.name = fields[0];
    if (!fields[3].empty()) entry.members = SplitAt(fields[3], ',');
    return entry;
  }
  return {};
}

// The login name of uid in a passwd(5) file, or "uid N".
std::string UserName(const std::string& passwdFile, uint32_t uid) {
  std::ifstream in(passwdFile);
  std::string line;
  while (in && std::getline(in, line)) {
    const auto fields = SplitAt(line, ':');
    if (fields.size() >= 3 && fields[2] == std::to_string(uid)) return fields[0];
  }
  return "uid " + std::to_string(uid);
}

std::string ModeText(mode_t mode) {
  std::string text;
  const char* letters = "rwx";
  for (int shift = 6; shift >= 0; shift -= 3) {
    for (int bit = 0; bit < 3; ++bit) {
      text += (mode >> (shift + 2 - bit)) & 1 ? letters[bit] : '-';
    }
  }
  return text;
}

void DiagnoseNotPermitted(const std::string& device, const DiagnosisRoots& roots,
                          const ProcessIdentity& who, Lines& lines) {
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0) return;
  const GroupEntry group = FindGroup(roots.groupFile, st.st_gid);
  const std::string groupName =
      group.name.empty() ? "gid " + std::to_string(st.st_gid) : group.name;
  Say(lines, M::OwnerGroupMode,
      {Esc(device), Esc(UserName(roots.passwdFile, st.st_uid)), Esc(groupName),
       ModeText(st.st_mode)});
  if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
    Say(lines, M::OnlyOwnerMayOpen);
    return;
  }
  const bool inProcess =
      std::find(who.groups.begin(), who.groups.end(), st.st_gid) != who.groups.end();
  if (inProcess) {
    Say(lines, M::InGroupYetRefused, {Esc(groupName)});
    return;
  }
  const bool listed = !who.userName.empty() && std::find(group.members.begin(), group.members.end(),
                                                         who.userName) != group.members.end();
  if (listed) {
    Say(lines, M::InGroupSinceLogin, {Esc(who.userName), Esc(groupName), Esc(roots.groupFile)});
    return;
  }
  if (group.name.empty()) return;
  Say(lines, M::AddToGroup, {Esc(groupName)});
  Say(lines, M::Verbatim, {"  sudo usermod -aG " + Esc(groupName) + " \"$USER\""});
}

// The names by which a process may hold the device: its path, the node it resolves to and
// the by-id links that lead there.
std::set<std::string> NamesOf(const std::string& device, const DiagnosisRoots& roots) {
  std::set<std::string> names{device};
  std::error_code ec;
  const fs::path node = fs::canonical(device, ec);
  if (ec) return names;
  names.insert(node.string());
  for (fs::directory_iterator it(roots.ports.byId, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code linkEc;
    if (fs::canonical(it->path(), linkEc) == node && !linkEc) names.insert(it->path().string());
  }
  return names;
}

// A process id: digits only, and short enough for any pid_max.
bool IsProcessId(const std::string& text) {
  return !text.empty() && text.size() <= 9 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void DiagnoseBusy(const std::string& device, const DiagnosisRoots& roots,
                  const ProcessIdentity& who, Lines& lines) {
  const std::set<std::string> names = NamesOf(device, roots);
  // Each holder's pid, and its pid, program and user as the message takes them.
  std::vector<std::pair<long, std::vector<std::string>>> holders;
  size_t unreadable = 0;
  bool probedByModemManager = false;
  std::error_code ec;
  fs::directory_iterator procIt(roots.proc, ec);
  if (ec) {
    Say(lines, M::ProcessesUnreadable, {Esc(roots.proc)});
    return;
  }
  for (fs::directory_iterator end; !ec && procIt != end; procIt.increment(ec)) {
    const std::string pidText = procIt->path().filename().string();
    if (!IsProcessId(pidText)) continue;
    const long pid = std::stol(pidText);
    if (pid == who.pid) continue;
    std::error_code fdEc;
    fs::directory_iterator fdIt(procIt->path() / "fd", fdEc);
    if (fdEc) {
      // Gone since the listing, or another user's process.
      if (fdEc != std::errc::no_such_file_or_directory) ++unreadable;
      continue;
    }
    bool holds = false;
    for (fs::directory_iterator fdEnd; !fdEc && fdIt != fdEnd; fdIt.increment(fdEc)) {
      std::error_code linkEc;
      const fs::path target = fs::read_symlink(fdIt->path(), linkEc);
      if (!linkEc && names.count(target.string()) != 0) {
        holds = true;
        break;
      }
    }
    if (!holds) continue;
    const std::string program = ReadFirstLine(procIt->path() / "comm");
    if (program == "ModemManager") probedByModemManager = true;
    std::string user;
    struct stat st {};
    if (::stat(procIt->path().c_str(), &st) == 0 && st.st_uid != who.uid) {
      user = Esc(UserName(roots.passwdFile, st.st_uid));
    }
    holders.emplace_back(pid, std::vector<std::string>{pidText, Esc(program), std::move(user)});
  }
  std::sort(holders.begin(), holders.end());
  if (!holders.empty()) {
    std::vector<std::string> args;
    for (auto& holder : holders) {
      for (auto& arg : holder.second) args.push_back(std::move(arg));
    }
    Say(lines, holders.size() == 1 ? M::HeldByProcess : M::HeldByProcesses, std::move(args));
    Say(lines, holders.size() == 1 ? M::CloseProgram : M::ClosePrograms);
    std::string command = "  kill";
    for (const auto& holder : holders) command += " " + std::to_string(holder.first);
    Say(lines, M::Verbatim, {std::move(command)});
    if (probedByModemManager) Say(lines, M::ModemManagerProbes);
    return;
  }
  if (unreadable > 0) {
    Say(lines, M::NoHolderOfUserUnreadable, {std::to_string(unreadable)});
  } else {
    Say(lines, M::NoHolderOfUser);
  }
}

std::string Hex4(const std::string& text) {
  std::string out = AsciiLower(text);
  while (out.size() < 4) out.insert(out.begin(), '0');
  return out;
}

bool IsHex(const std::string& text) {
  return !text.empty() && text.size() <= 4 && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

// The value of a key=="value" match in a udev rule line, or empty.
std::string RuleValue(const std::string& line, const std::string& key) {
  const size_t at = line.find(key + "==\"");
  if (at == std::string::npos) return {};
  const size_t start = at + key.size() + 3;
  const size_t end = line.find('"', start);
  return end == std::string::npos ? std::string() : line.substr(start, end - start);
}

struct Claim {
  std::string file;
  size_t line = 0;
};

// The USB ids ("vvvv:pppp") that the braille service's udev rules claim, with the rule
// that does. A rule names the id either as ATTRS{idVendor}/ATTRS{idProduct} or as
// ENV{PRODUCT}=="v/p/*" (hex without leading zeros).
std::map<std::string, Claim> BrailleClaims(const DiagnosisRoots& roots) {
  std::map<std::string, Claim> claims;
  for (const auto& dir : roots.udevRuleDirs) {
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      if (file.extension() != ".rules") continue;
      const bool named = file.filename().string().find("brltty") != std::string::npos;
      std::ifstream in(file);
      std::string line;
      size_t number = 0;
      while (in && std::getline(in, line)) {
        ++number;
        if (!named && line.find("brltty") == std::string::npos &&
            line.find("BRLTTY") == std::string::npos) {
          continue;
        }
        std::string vendor = RuleValue(line, "ATTRS{idVendor}");
        std::string product = RuleValue(line, "ATTRS{idProduct}");
        if (vendor.empty()) {
          const auto parts = SplitAt(RuleValue(line, "ENV{PRODUCT}"), '/');
          if (parts.size() >= 2) {
            vendor = parts[0];
            product = parts[1];
          }
        }
        if (!IsHex(vendor) || !IsHex(product)) continue;
        claims.emplace(Hex4(vendor) + ":" + Hex4(product), Claim{file.string(), number});
      }
    }
  }
  return claims;
}

// A USB device the braille service claims that is plugged in but has no serial port: it
// took the adapter away right after it appeared.
void DiagnoseBrailleClaim(const DiagnosisRoots& roots, Lines& lines) {
  const auto claims = BrailleClaims(roots);
  if (claims.empty()) return;
  // Every tty's device path, to tell a USB device that still has a port.
  std::vector<std::string> ttyDevices;
  std::error_code ec;
  const fs::path classTty = fs::path(roots.ports.sysfs) / "class" / "tty";
  for (fs::directory_iterator it(classTty, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code linkEc;
    const fs::path device = fs::canonical(it->path() / "device", linkEc);
    if (!linkEc) ttyDevices.push_back(device.string() + "/");
  }
  const fs::path usbDevices = fs::path(roots.ports.sysfs) / "bus" / "usb" / "devices";
  for (fs::directory_iterator it(usbDevices, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string vendor = ReadFirstLine(it->path() / "idVendor");
    const std::string product = ReadFirstLine(it->path() / "idProduct");
    if (!IsHex(vendor) || !IsHex(product)) continue;
    const std::string id = Hex4(vendor) + ":" + Hex4(product);
    const auto claim = claims.find(id);
    if (claim == claims.end()) continue;
    std::error_code pathEc;
    const std::string usbPath = fs::canonical(it->path(), pathEc).string() + "/";
    if (pathEc) continue;
    const bool hasPort = std::any_of(ttyDevices.begin(), ttyDevices.end(), [&](const auto& tty) {
      return tty.compare(0, usbPath.size(), usbPath) == 0;
    });
    if (hasPort) continue;
    const std::string name = ReadFirstLine(it->path() / "product");
    const std::string file = Esc(claim->second.file);
    const std::string line = std::to_string(claim->second.line);
    if (name.empty()) {
      Say(lines, M::BrailleClaim, {id, file, line});
    } else {
      Say(lines, M::BrailleClaimNamed, {id, Esc(name), file, line});
    }
    Say(lines, M::RemoveBrailleService);
    Say(lines, M::Verbatim, {"  sudo apt remove brltty"});
    return;
  }
}

void DiagnoseMissing(const std::string& device, const DiagnosisRoots& roots, Lines& lines) {
  struct stat st {};
  if (::lstat(device.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
      ::stat(device.c_str(), &st) != 0) {
    Say(lines, M::DeviceGone, {Esc(device)});
  } else if (::stat(device.c_str(), &st) == 0) {
    Say(lines, M::NoHardware, {Esc(device)});
  } else {
    Say(lines, M::DoesNotExist, {Esc(device)});
  }
  DiagnoseBrailleClaim(roots, lines);
}

#endif

}  // namespace

ProcessIdentity ProcessIdentity::Current() {
  ProcessIdentity who;
#ifndef _WIN32
  who.uid = ::getuid();
  who.pid = ::getpid();
  who.groups.push_back(::getegid());
  const int count = ::getgroups(0, nullptr);
  if (count > 0) {
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) who.groups.push_back(groups[static_cast<size_t>(i)]);
  }
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(who.uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    who.userName = found->pw_name;
  }
#endif
  return who;
}

std::vector<DiagnosisLine> DiagnosePortFailure(const std::string& port, SerialFault fault,
                                               const DiagnosisRoots& roots,
                                               const ProcessIdentity& who, bool listPorts) {
  Lines lines;
#ifdef _WIN32
  (void)who;
  switch (fault) {
    case SerialFault::NoDevice:
      Say(lines, M::DoesNotExist, {Esc(port)});
      if (listPorts) AddExistingPorts(roots, lines);
      break;
    case SerialFault::Busy:
    case SerialFault::NotPermitted:
      // Windows answers "access denied" for both and does not say who holds a port.
      Say(lines, M::WindowsPortHeld, {Esc(port)});
      break;
    default:
      break;
  }
#else
  const std::string device = ResolvePortName(port);
  switch (fault) {
    case SerialFault::NoDevice:
      DiagnoseMissing(device, roots, lines);
      if (listPorts) AddExistingPorts(roots, lines);
      break;
    case SerialFault::Busy:
      DiagnoseBusy(device, roots, who, lines);
      break;
    case SerialFault::NotPermitted:
      DiagnoseNotPermitted(device, roots, who, lines);
      break;
    default:
      break;
  }
#endif
  return lines;
}

std::string EnglishDiagnosisLine(const DiagnosisLine& line) {
  const auto arg = [&line](size_t i) {
    return i < line.args.size() ? line.args[i] : std::string();
  };
  switch (line.message) {
    case M::Verbatim:
      return arg(0);
    case M::NoPortFound:
      return "No serial port was found on this machine.";
    case M::PortsThatExist:
      return "Serial ports that exist now:";
    case M::OwnerGroupMode:
      return arg(0) + " belongs to " + arg(1) + " and group " + arg(2) + ", mode " + arg(3) + ".";
    case M::OnlyOwnerMayOpen:
      return "Its group may not read and write it either: only its owner may open it.";
    case M::InGroupYetRefused:
      return "This program already runs in group " + arg(0) +
             ", yet the open was refused: an access control list or a security module "
             "may stand in the way.";
    case M::InGroupSinceLogin:
      return arg(0) + " is in group " + arg(1) + " in " + arg(2) +
             ", but this session started before that: log out and in again.";
    case M::AddToGroup:
      return "Add yourself to group " + arg(0) + " once, then log out and in again:";
    case M::ProcessesUnreadable:
      return "The processes could not be looked into (" + arg(0) +
             " cannot be read), so the program holding it is not known.";
    case M::HeldByProcess:
    case M::HeldByProcesses: {
      std::string text =
          line.message == M::HeldByProcess ? "It is held by " : "It is held by these processes: ";
      for (size_t i = 0; i < line.args.size(); i += 3) {
        if (i > 0) text += "; ";
        text += "PID " + arg(i);
        if (!arg(i + 1).empty()) text += " (" + arg(i + 1) + ")";
        if (!arg(i + 2).empty()) text += ", user " + arg(i + 2);
      }
      return text + ".";
    }
    case M::CloseProgram:
      return "Close that program, or end it:";
    case M::ClosePrograms:
      return "Close those programs, or end them:";
    case M::ModemManagerProbes:
      return "ModemManager probes every new serial port and lets go after a few seconds; to "
             "keep it away for good: sudo systemctl stop ModemManager";
    case M::NoHolderOfUser:
      return "No process of this user holds it.";
    case M::NoHolderOfUserUnreadable:
      return "No process of this user holds it; " + arg(0) +
             " processes of other users could not be looked into (as root they would be).";
    case M::BrailleClaim:
    case M::BrailleClaimNamed: {
      const bool named = line.message == M::BrailleClaimNamed;
      const size_t at = named ? 2 : 1;
      return "The USB adapter " + arg(0) + (named ? " (" + arg(1) + ")" : std::string()) +
             " is plugged in but has no serial port: brltty, the braille display service, "
             "claims that USB id (" +
             arg(at) + ", line " + arg(at + 1) + ") and takes the adapter as soon as it appears.";
    }
    case M::RemoveBrailleService:
      return "Without a braille display, remove brltty, then unplug the adapter and plug it in "
             "again:";
    case M::DeviceGone:
      return arg(0) + " names a device that is gone (unplugged?).";
    case M::NoHardware:
      return arg(0) + " exists, but no hardware answers behind it.";
    case M::DoesNotExist:
      return arg(0) + " does not exist.";
    case M::WindowsPortHeld:
      return "Windows refuses a port that another program holds: close the terminal, serial "
             "monitor or other tool that has " +
             arg(0) + " open, and try again.";
  }
  return arg(0);
}

std::string JoinDiagnosis(const std::vector<DiagnosisLine>& lines) {
  std::string text;
  for (const auto& line : lines) {
    if (!text.empty()) text += '\n';
    text += EnglishDiagnosisLine(line);
  }
  return text;
}

}  // namespace zemb
