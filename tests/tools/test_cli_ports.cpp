#ifndef _WIN32

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

#include "CliCore.h"
#include "FakeSysfs.h"
#include "PortsCommand.h"

namespace zemb::cli {
namespace {

class PortsCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int n = 1; n <= 4; ++n) ::unsetenv(("ZEMBROMW_COM" + std::to_string(n)).c_str());
  }
  void TearDown() override {
    SetUp();
    SetPortAssignmentLookup(nullptr);
  }

  test::FakeSysfs sys_;
};

TEST_F(PortsCommand, ListsPortsAndExplainsEachPortName) {
  SetPortAssignmentLookup(
      [this](unsigned long n) { return n == 1 ? sys_.ByIdOfUsb2() : std::string(); });
  ::setenv("ZEMBROMW_COM2", sys_.Dev("ttyACM0").c_str(), 1);
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(RunPortsCommand({}, out, err, sys_.Roots()), 0);
  const std::string text = out.str();
  EXPECT_EQ(err.str(), "");

  const auto line = [&](const std::string& start) {
    const size_t at = text.find("  " + start + " ");
    return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at) - at);
  };
  EXPECT_NE(line(sys_.Dev("ttyUSB2")).find("FTDI FT232R USB UART, USB 0403:6001, serial A50285BI"),
            std::string::npos)
      << text;
  // The by-id name stands on the line under its device.
  const size_t next = text.find('\n', text.find(line(sys_.Dev("ttyUSB2")))) + 1;
  EXPECT_NE(text.substr(next, text.find('\n', next) - next).find(sys_.ByIdOfUsb2()),
            std::string::npos)
      << text;

  EXPECT_NE(line("COM1").find(sys_.ByIdOfUsb2()), std::string::npos);
  EXPECT_NE(line("COM1").find("stored assignment  [" + sys_.Dev("ttyUSB2") + ", FTDI"),
            std::string::npos)
      << line("COM1");
  EXPECT_NE(line("COM2").find("environment variable ZEMBROMW_COM2  [Arduino"), std::string::npos)
      << line("COM2");
  EXPECT_NE(line("COM3").find("/dev/ttyS2"), std::string::npos);
  EXPECT_NE(line("COM3").find("default"), std::string::npos);
}

// What a USB adapter says about itself and what the environment holds reach the terminal
// escaped, and a listing that could not be written is a failure.
TEST_F(PortsCommand, DeviceTextIsEscapedAndOutputChecked) {
  const std::string usb = sys_.Roots().sysfs + "/devices/pci0000:00/0000:00:14.0/usb1/1-1/";
  std::ofstream(usb + "product") << "FT232R \x1B]0;owned\x07\x9B\n";
  ::setenv("ZEMBROMW_COM3", "/dev/tty\x1B[2J", 1);
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(RunPortsCommand({}, out, err, sys_.Roots()), 0);
  EXPECT_EQ(out.str().find('\x1B'), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("FT232R \\x1B]0;owned\\x07\\x9B"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("/dev/tty\\x1B[2J"), std::string::npos) << out.str();

  std::ostringstream full;
  full.setstate(std::ios::badbit);
  EXPECT_EQ(RunPortsCommand({}, full, err, sys_.Roots()), kExitUsage);
  EXPECT_NE(err.str().find("cannot write standard output"), std::string::npos);
}

// A port name that would not open is followed by why, once each; the ports that exist are
// not listed again under it.
TEST_F(PortsCommand, APortNameThatWillNotOpenIsDiagnosed) {
  ::setenv("ZEMBROMW_COM2", sys_.Dev("ttyUSB7").c_str(), 1);
  ::setenv("ZEMBROMW_COM3", sys_.Dev("ttyUSB2").c_str(), 1);  // a plain file here
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(RunPortsCommand({}, out, err, sys_.Roots()), 0);
  const std::string text = out.str();
  EXPECT_NE(text.find("\nCOM2 cannot be opened: " + sys_.Dev("ttyUSB7") +
                      ": no such device (No such file or directory)\n  " + sys_.Dev("ttyUSB7") +
                      " does not exist.\n\n"),
            std::string::npos)
      << text;
  EXPECT_NE(
      text.find("\nCOM3 cannot be opened: " + sys_.Dev("ttyUSB2") + ": not a serial device\n\n"),
      std::string::npos)
      << text;
  EXPECT_EQ(text.find("exist now"), std::string::npos) << text;
}

TEST_F(PortsCommand, NoPortsAndStrayOperands) {
  PortDiscoveryRoots none;
  none.sysfs = "/nonexistent";
  none.byId = "/nonexistent";
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunPortsCommand({}, out, err, none), 0);
  EXPECT_EQ(out.str().rfind("No serial ports found.\n", 0), 0u);

  EXPECT_EQ(RunPortsCommand({"extra"}, out, err, none), kExitUsage);
  EXPECT_NE(err.str().find("ports takes no operands"), std::string::npos);

  Options options;
  std::string error;
  ASSERT_TRUE(ParseArguments({"ports"}, options, error)) << error;
  EXPECT_EQ(options.command, Command::Ports);
  ASSERT_TRUE(ParseArguments({"--version"}, options, error)) << error;
  EXPECT_TRUE(options.version);
}

}  // namespace
}  // namespace zemb::cli

#endif
