// Port discovery and the COMn mapping are POSIX rules; Windows lists what the registry says.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "FakeSysfs.h"
#include "PortList.h"
#include "SerialChannel.h"

namespace zemb {
namespace {

using test::FakeSysfs;

TEST(ListSerialPorts, FindsRealDevicesWithWhatIdentifiesThem) {
  const FakeSysfs sys;
  const auto ports = ListSerialPorts(sys.Roots());
  // Console and placeholder UART left out; numbers in natural order.
  std::vector<std::string> devices;
  for (const auto& port : ports) devices.push_back(port.device);
  EXPECT_EQ(devices, (std::vector<std::string>{sys.Dev("ttyACM0"), sys.Dev("ttyS0"),
                                               sys.Dev("ttyUSB2"), sys.Dev("ttyUSB10")}));
  ASSERT_EQ(ports.size(), 4u);

  const SerialPortInfo& ftdi = ports[2];
  EXPECT_EQ(ftdi.vendorId, "0403");
  EXPECT_EQ(ftdi.productId, "6001");
  EXPECT_EQ(ftdi.manufacturer, "FTDI");
  EXPECT_EQ(ftdi.product, "FT232R USB UART");
  EXPECT_EQ(ftdi.serial, "A50285BI");
  EXPECT_EQ(ftdi.driver, "ftdi_sio");
  EXPECT_EQ(ftdi.byId, sys.ByIdOfUsb2());
  EXPECT_EQ(ftdi.Description(), "FTDI FT232R USB UART, USB 0403:6001, serial A50285BI");

  // A CDC ACM port's device link is the USB interface itself, one level below the device.
  EXPECT_EQ(ports[0].vendorId, "2341");
  EXPECT_EQ(ports[0].Description(),
            "Arduino (www.arduino.cc), USB 2341:0043, serial 75830333238351F0A1C1");
  EXPECT_TRUE(ports[0].byId.empty());
  EXPECT_EQ(ports[1].Description(), "driver serial8250");
  EXPECT_EQ(ports[3].Description(), "USB Serial, USB 1a86:7523");

  EXPECT_EQ(FindPort(ports, sys.ByIdOfUsb2()), &ports[2]);
  EXPECT_EQ(FindPort(ports, sys.Dev("ttyUSB2")), &ports[2]);
  EXPECT_EQ(FindPort(ports, "/dev/ttyUSB7"), nullptr);
}

TEST(ListSerialPorts, MissingTreesGiveAnEmptyList) {
  PortDiscoveryRoots roots;
  roots.sysfs = "/nonexistent/sys";
  roots.byId = "/nonexistent/by-id";
  EXPECT_TRUE(ListSerialPorts(roots).empty());
}

// Environment variables and the assignment lookup for one test, restored afterwards.
class PortMapping : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int n = 1; n <= 4; ++n) ::unsetenv(("ZEMBROMW_COM" + std::to_string(n)).c_str());
  }
  void TearDown() override {
    SetUp();
    SetPortAssignmentLookup(nullptr);
  }
};

TEST_F(PortMapping, EnvironmentThenStoredAssignmentThenDefault) {
  const std::map<unsigned long, std::string> stored = {
      {1, "/dev/serial/by-id/usb-x"}, {2, "/dev/ttyUSB0"}, {3, "ttyACM0"}};
  SetPortAssignmentLookup([&](unsigned long n) {
    const auto it = stored.find(n);
    return it == stored.end() ? std::string() : it->second;
  });
  ::setenv("ZEMBROMW_COM2", "/tmp/rom-writer", 1);
  ::setenv("ZEMBROMW_COM4", "", 1);  // empty counts as unset

  struct Case {
    std::string name;
    std::string device;
    PortSource source;
    std::string why;
  };
  const std::vector<Case> cases = {
      {"COM1", "/dev/serial/by-id/usb-x", PortSource::Stored, "stored assignment"},
      {"COM2", "/tmp/rom-writer", PortSource::Environment, "environment variable ZEMBROMW_COM2"},
      {"com3", "/dev/ttyACM0", PortSource::Stored, "stored assignment"},
      {"COM4", "/dev/ttyS3", PortSource::Default, "default"},
      {"COM12", "/dev/ttyS11", PortSource::Default, "default"},
      {"/dev/ttyUSB1", "/dev/ttyUSB1", PortSource::Path, "a path"},
      {"ttyUSB1", "/dev/ttyUSB1", PortSource::Name, "device name"},
      {"COM0", "/dev/COM0", PortSource::Name, "device name"},
  };
  for (const auto& c : cases) {
    const auto mapping = MapPortName(c.name);
    EXPECT_EQ(mapping.device, c.device) << c.name;
    EXPECT_EQ(mapping.source, c.source) << c.name;
    EXPECT_EQ(DescribePortSource(mapping), c.why) << c.name;
    // What the serial backend opens is the same device.
    EXPECT_EQ(ResolvePortName(c.name), c.device) << c.name;
  }
}

TEST_F(PortMapping, WithoutALookupThereAreNoStoredAssignments) {
  EXPECT_EQ(MapPortName("COM1").device, "/dev/ttyS0");
  EXPECT_EQ(MapPortName("COM1").source, PortSource::Default);
}

}  // namespace
}  // namespace zemb

#endif
