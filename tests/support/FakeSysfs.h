// A temporary folder shaped like /sys and /dev on a machine with serial ports: an FTDI
// adapter (ttyUSB2, with a by-id link), a second adapter without one (ttyUSB10), a CDC ACM
// board (ttyACM0), a real UART (ttyS0), a placeholder UART (ttyS1) and a console (tty0).
#pragma once

#include <string>

#include "PortList.h"

namespace zemb::test {

class FakeSysfs {
 public:
  FakeSysfs();
  ~FakeSysfs();
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  const PortDiscoveryRoots& Roots() const { return roots_; }
  std::string Dev(const std::string& name) const { return roots_.dev + "/" + name; }
  std::string ByIdOfUsb2() const { return roots_.byId + "/" + kFtdiById; }

  static constexpr const char* kFtdiById = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

 private:
  std::string root_;
  PortDiscoveryRoots roots_;
};

}  // namespace zemb::test
