// The serial ports of this machine and what each of the port names COM1..COM4 opens.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zemb {

// One serial port, with what a user recognises it by. Fields the system does not know
// stay empty.
struct SerialPortInfo {
  std::string device;    // what to open: /dev/ttyUSB0, or COM3 on Windows
  std::string byId;      // the stable /dev/serial/by-id/ name, if there is one
  std::string driver;    // ftdi_sio, cdc_acm, serial8250, or the Windows driver name
  std::string vendorId;  // USB ids as four hexadecimal digits
  std::string productId;
  std::string manufacturer;  // USB strings
  std::string product;
  std::string serial;

  // One line for a person: product, maker, ids and serial number as far as known.
  std::string Description() const;
};

// Where discovery looks; tests point these at a tree of their own.
struct PortDiscoveryRoots {
  std::string sysfs = "/sys";  // holds class/tty/<name>/device
  std::string dev = "/dev";    // where the device nodes are named
  std::string byId = "/dev/serial/by-id";
};

// The first line of a small system file (a sysfs attribute, a process's name), without its
// line end and trailing blanks; empty when unreadable.
std::string ReadFirstLine(const std::string& path);

// The serial ports that have a real device behind them, in natural name order (ttyS2
// before ttyS10). On Windows the ports the system lists, by number; roots are not used.
std::vector<SerialPortInfo> ListSerialPorts(const PortDiscoveryRoots& roots = {});

// The listed port whose device or by-id name is device; null when none is.
const SerialPortInfo* FindPort(const std::vector<SerialPortInfo>& ports, const std::string& device);

// Why a port name opens the device it opens.
enum class PortSource {
  Path,         // the name is a path itself
  Environment,  // ZEMBROMW_COMn
  Stored,       // the assignment kept in the settings
  Default,      // /dev/ttyS(n-1)
  Name,         // any other name, taken from /dev (or as it is on Windows)
};

struct PortMapping {
  std::string device;
  PortSource source = PortSource::Name;
  std::string detail;  // the environment variable's or the settings key's name
};

// The device a port name stands for: a name with "/" is a path; "COMn" is the path in the
// environment variable ZEMBROMW_COMn when set, else the stored assignment, else
// /dev/ttyS(n-1); any other name is taken from /dev. Windows opens the name as it is.
PortMapping MapPortName(const std::string& name);

// A short English phrase for why: "environment variable ZEMBROMW_COM1", "stored
// assignment", "default", ...
std::string DescribePortSource(const PortMapping& mapping);

// Where MapPortName finds stored assignments: the device for COMn, or empty. Programs that
// keep settings install one; without it there are none.
using PortAssignmentLookup = std::function<std::string(unsigned long n)>;
void SetPortAssignmentLookup(PortAssignmentLookup lookup);

}  // namespace zemb
