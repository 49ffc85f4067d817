#include "PortList.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <utility>

#include "SerialPortName.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <filesystem>
#include <system_error>
#endif

namespace zemb {

namespace {

PortAssignmentLookup& AssignmentLookup() {
  static PortAssignmentLookup lookup;
  return lookup;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// ttyS2 before ttyS10: runs of digits compare by value, everything else byte by byte.
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      size_t ei = i;
      size_t ej = j;
      while (ei < a.size() && IsDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDigit(b[ej])) ++ej;
      // Without leading zeros the longer run is the larger number.
      size_t si = i;
      size_t sj = j;
      while (si + 1 < ei && a[si] == '0') ++si;
      while (sj + 1 < ej && b[sj] == '0') ++sj;
      if (ei - si != ej - sj) return ei - si < ej - sj;
      const int c = a.compare(si, ei - si, b, sj, ej - sj);
      if (c != 0) return c < 0;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

#ifndef _WIN32
namespace fs = std::filesystem;

// A serial_core port with no UART behind it reports type 0 (unknown); the eight legacy
// ttyS ports exist in sysfs on every PC whether or not there is hardware.
bool IsPlaceholderUart(const fs::path& ttyEntry) {
  // A missing or unreadable attribute reads as empty, so only a reported 0 counts.
  return ReadFirstLine(ttyEntry / "type") == "0";
}

void ReadUsbAttributes(const fs::path& deviceLink, const fs::path& sysfsRoot,
                       SerialPortInfo& info) {
  std::error_code ec;
  fs::path dir = fs::canonical(deviceLink, ec);
  if (ec) return;
  const fs::path root = fs::canonical(sysfsRoot, ec);
  // usb-serial ports sit two levels below the USB device (interface, port), CDC ACM one.
  for (int level = 0; level < 5 && !dir.empty() && dir != root && dir != dir.parent_path();
       ++level, dir = dir.parent_path()) {
    if (!fs::exists(dir / "idVendor", ec) || !fs::exists(dir / "idProduct", ec)) continue;
    info.vendorId = ReadFirstLine(dir / "idVendor");
    info.productId = ReadFirstLine(dir / "idProduct");
    info.manufacturer = ReadFirstLine(dir / "manufacturer");
    info.product = ReadFirstLine(dir / "product");
    info.serial = ReadFirstLine(dir / "serial");
    return;
  }
}

// The by-id links, as pairs of link name and the file name of the node they point to.
std::vector<std::pair<std::string, std::string>> ReadByIdLinks(const std::string& byIdDir) {
  std::vector<std::pair<std::string, std::string>> links;
  std::error_code ec;
  for (fs::directory_iterator it(byIdDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code linkEc;
    const fs::path target = fs::read_symlink(it->path(), linkEc);
    if (linkEc) continue;
    const fs::path resolved = (target.is_absolute() ? target : fs::path(byIdDir) / target);
    links.emplace_back(it->path().filename().string(),
                       resolved.lexically_normal().filename().string());
  }
  std::sort(links.begin(), links.end());
  return links;
}
#endif

}  // namespace

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
    line.pop_back();
  }
  return line;
}

std::string SerialPortInfo::Description() const {
  std::string text = product;
  if (!manufacturer.empty() && product.find(manufacturer) == std::string::npos) {
    text = text.empty() ? manufacturer : manufacturer + " " + text;
  }
  if (!vendorId.empty() || !productId.empty()) {
    if (!text.empty()) text += ", ";
    text += "USB " + vendorId + ":" + productId;
  }
  if (!serial.empty()) text += ", serial " + serial;
  if (text.empty() && !driver.empty()) text = "driver " + driver;
  return text;
}

std::vector<SerialPortInfo> ListSerialPorts(const PortDiscoveryRoots& roots) {
  std::vector<SerialPortInfo> ports;
#ifdef _WIN32
  (void)roots;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return ports;
  }
  for (DWORD index = 0;; ++index) {
    char name[256];
    BYTE data[256];
    DWORD nameLength = sizeof name;
    DWORD dataLength = sizeof data - 1;
    DWORD type = 0;
    const LONG rc =
        ::RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) break;
    if (type != REG_SZ || dataLength == 0) continue;
    data[dataLength] = 0;
    SerialPortInfo info;
    info.device = reinterpret_cast<const char*>(data);
    const std::string driverPath(name, nameLength);
    const size_t slash = driverPath.find_last_of('\\');
    info.driver = slash == std::string::npos ? driverPath : driverPath.substr(slash + 1);
    if (!info.device.empty()) ports.push_back(std::move(info));
  }
  ::RegCloseKey(key);
#else
  namespace fs = std::filesystem;
  const fs::path classTty = fs::path(roots.sysfs) / "class" / "tty";
  const auto byIdLinks = ReadByIdLinks(roots.byId);
  std::error_code ec;
  for (fs::directory_iterator it(classTty, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path entry = it->path();
    const std::string name = entry.filename().string();
    std::error_code existsEc;
    // Virtual consoles, pseudo-terminals and the like have no device behind them.
    if (!fs::exists(entry / "device", existsEc) || IsPlaceholderUart(entry)) continue;
    SerialPortInfo info;
    info.device = roots.dev + "/" + name;
    std::error_code driverEc;
    const fs::path driver = fs::canonical(entry / "device" / "driver", driverEc);
    if (!driverEc) info.driver = driver.filename().string();
    ReadUsbAttributes(entry / "device", roots.sysfs, info);
    for (const auto& [link, node] : byIdLinks) {
      if (node == name) {
        info.byId = roots.byId + "/" + link;
        break;
      }
    }
    ports.push_back(std::move(info));
  }
#endif
  std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
    return NaturalLess(a.device, b.device);
  });
  return ports;
}

const SerialPortInfo* FindPort(const std::vector<SerialPortInfo>& ports,
                               const std::string& device) {
  for (const auto& port : ports) {
    if (port.device == device || (!port.byId.empty() && port.byId == device)) return &port;
  }
  return nullptr;
}

PortMapping MapPortName(const std::string& name) {
  PortMapping mapping;
#ifdef _WIN32
  mapping.device = name;
  mapping.source = PortSource::Name;
#else
  if (name.find('/') != std::string::npos) {
    mapping.device = name;
    mapping.source = PortSource::Path;
    return mapping;
  }
  if (const auto n = ComPortNumber(name)) {
    const std::string variable = "ZEMBROMW_COM" + std::to_string(*n);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') {
      mapping.device = path;
      mapping.source = PortSource::Environment;
      mapping.detail = variable;
      return mapping;
    }
    if (const auto& lookup = AssignmentLookup()) {
      const std::string stored = lookup(*n);
      if (!stored.empty()) {
        mapping.device = stored.find('/') != std::string::npos ? stored : "/dev/" + stored;
        mapping.source = PortSource::Stored;
        return mapping;
      }
    }
    mapping.device = "/dev/ttyS" + std::to_string(*n - 1);
    mapping.source = PortSource::Default;
    return mapping;
  }
  mapping.device = "/dev/" + name;
  mapping.source = PortSource::Name;
#endif
  return mapping;
}

std::string DescribePortSource(const PortMapping& mapping) {
  switch (mapping.source) {
    case PortSource::Path:
      return "a path";
    case PortSource::Environment:
      return "environment variable " + mapping.detail;
    case PortSource::Stored:
      return "stored assignment";
    case PortSource::Default:
      return "default";
    case PortSource::Name:
      break;
  }
#ifdef _WIN32
  return "Windows port name";
#else
  return "device name";
#endif
}

void SetPortAssignmentLookup(PortAssignmentLookup lookup) {
  AssignmentLookup() = std::move(lookup);
}

}  // namespace zemb
