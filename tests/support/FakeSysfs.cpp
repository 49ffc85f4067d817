#include "FakeSysfs.h"

// Serial port discovery over sysfs is Linux-only, and so is this tree.
#ifndef _WIN32

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace zemb::test {

namespace {

namespace fs = std::filesystem;

void Attr(const fs::path& dir, const std::string& name, const std::string& value) {
  fs::create_directories(dir);
  std::ofstream(dir / name) << value << '\n';
}

// A tty class entry whose device link leads to deviceDir, bound to driver.
void Tty(const fs::path& sys, const std::string& name, const fs::path& deviceDir,
         const std::string& driver) {
  fs::create_directories(deviceDir);
  fs::create_directories(sys / "class" / "tty" / name);
  fs::create_symlink(deviceDir, sys / "class" / "tty" / name / "device");
  if (!driver.empty()) {
    const fs::path driverDir = sys / "bus" / "drivers" / driver;
    fs::create_directories(driverDir);
    fs::create_symlink(driverDir, deviceDir / "driver");
  }
}

}  // namespace

FakeSysfs::FakeSysfs() {
  char tmpl[] = "/tmp/zembromw-sysfs-XXXXXX";
  if (::mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = tmpl;
  const fs::path sys = fs::path(root_) / "sys";
  const fs::path dev = fs::path(root_) / "dev";
  roots_.sysfs = sys.string();
  roots_.dev = dev.string();
  roots_.byId = (dev / "serial" / "by-id").string();

  const fs::path usb = sys / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1";
  const fs::path ftdi = usb / "1-1";
  Attr(ftdi, "idVendor", "0403");
  Attr(ftdi, "idProduct", "6001");
  Attr(ftdi, "manufacturer", "FTDI");
  Attr(ftdi, "product", "FT232R USB UART");
  Attr(ftdi, "serial", "A50285BI");
  Tty(sys, "ttyUSB2", ftdi / "1-1:1.0" / "ttyUSB2", "ftdi_sio");

  const fs::path ch340 = usb / "1-3";
  Attr(ch340, "idVendor", "1a86");
  Attr(ch340, "idProduct", "7523");
  Attr(ch340, "product", "USB Serial");
  Tty(sys, "ttyUSB10", ch340 / "1-3:1.0" / "ttyUSB10", "ch341-uart");

  const fs::path acm = usb / "1-2";
  Attr(acm, "idVendor", "2341");
  Attr(acm, "idProduct", "0043");
  Attr(acm, "manufacturer", "Arduino (www.arduino.cc)");
  Attr(acm, "serial", "75830333238351F0A1C1");
  Tty(sys, "ttyACM0", acm / "1-2:1.0", "cdc_acm");

  const fs::path uart = sys / "devices" / "platform" / "serial8250";
  Tty(sys, "ttyS0", uart / "tty" / "ttyS0", "serial8250");
  Attr(sys / "class" / "tty" / "ttyS0", "type", "4");
  Tty(sys, "ttyS1", uart / "tty" / "ttyS1", "serial8250");
  Attr(sys / "class" / "tty" / "ttyS1", "type", "0");
  fs::create_directories(sys / "class" / "tty" / "tty0");

  fs::create_directories(roots_.byId);
  fs::create_symlink("../../ttyUSB2", fs::path(roots_.byId) / kFtdiById);
  for (const char* node : {"ttyUSB2", "ttyUSB10", "ttyACM0", "ttyS0", "ttyS1", "tty0"}) {
    std::ofstream(dev / node) << "";
  }
}

FakeSysfs::~FakeSysfs() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

}  // namespace zemb::test

#endif
