// Why a port would not open, over a fake /proc, group file and udev rules beside the fake
// sysfs of the port list, and once for real with a pseudo-terminal held by another process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "FakeSysfs.h"
#include "HeldPseudoTerminal.h"
#include "PortDiagnosis.h"
#include "SerialChannel.h"

namespace zemb {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

// A process in the fake /proc holding target as descriptor 3.
void Holder(const fs::path& proc, int pid, const std::string& program, const std::string& target) {
  const fs::path dir = proc / std::to_string(pid);
  Write(dir / "comm", program + "\n");
  fs::create_directories(dir / "fd");
  fs::create_symlink("/dev/null", dir / "fd" / "0");
  fs::create_symlink(target, dir / "fd" / "3");
}

class PortDiagnosisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zembromw_diagnosis_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    roots_.ports = sysfs_.Roots();
    roots_.proc = root_ + "/proc";
    roots_.groupFile = root_ + "/group";
    roots_.passwdFile = root_ + "/passwd";
    roots_.udevRuleDirs = {root_ + "/etc-rules", root_ + "/lib-rules"};

    // The device nodes' group is whatever this process creates files with.
    gid_ = ::getegid();
    Write(roots_.passwdFile, "root:x:0:0::/root:/bin/sh\nalice:x:1000:1000::/home/alice:/bin/sh\n");
    // The fake processes belong to whoever runs the tests: this user's processes.
    who_.uid = ::getuid();
    who_.userName = "alice";
    who_.groups = {4001, 24};
    who_.pid = 1;

    const fs::path proc = roots_.proc;
    Holder(proc, 4242, "minicom", sysfs_.ByIdOfUsb2());
    Holder(proc, 4243, "ModemManager", sysfs_.Dev("ttyUSB2"));
    Holder(proc, 4244, "evil\x1b[2J", sysfs_.Dev("ttyACM0"));
    Holder(proc, 500, "bash", "/dev/pts/3");
    // Another user's process, whose descriptors cannot be listed (as root every one can, so
    // a file stands in for the folder).
    Write(proc / "77" / "fd", "");
    fs::create_directories(proc / "self");

    // The braille service claims a CH340 (which still has its port) and a CP210x, which is
    // plugged in without one; an unrelated rule file mentions neither.
    Write(fs::path(root_) / "lib-rules" / "85-brltty.rules",
          "# braille displays\n"
          "ENV{PRODUCT}==\"1a86/7523/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\", "
          "GOTO=\"brltty_usb_run\"\n"
          "ENV{PRODUCT}==\"10c4/ea60/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"sk\", "
          "GOTO=\"brltty_usb_run\"\n");
    Write(fs::path(root_) / "etc-rules" / "99-local.rules",
          "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
          "MODE=\"0666\"\n");
    const fs::path sys = roots_.ports.sysfs;
    const fs::path usb = sys / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1";
    Write(usb / "1-4" / "idVendor", "10c4\n");
    Write(usb / "1-4" / "idProduct", "ea60\n");
    Write(usb / "1-4" / "product", "CP2102 USB to UART Bridge Controller\n");
    fs::create_directories(sys / "bus" / "usb" / "devices");
    for (const char* name : {"1-1", "1-3", "1-4"}) {
      fs::create_symlink(usb / name, sys / "bus" / "usb" / "devices" / name);
    }
  }
  void TearDown() override { fs::remove_all(root_); }

  void Groups(const std::string& dialoutMembers) {
    Write(roots_.groupFile,
          "dialout:x:" + std::to_string(gid_) + ":" + dialoutMembers + "\nalice:x:4001:\n");
  }

  test::FakeSysfs sysfs_;
  std::string root_;
  DiagnosisRoots roots_;
  ProcessIdentity who_;
  gid_t gid_ = 0;
};

TEST_F(PortDiagnosisTest, EachCauseNamesItsFix) {
  struct Case {
    const char* name;
    std::string port;
    SerialFault fault;
    std::function<void()> setup;
    std::vector<std::string> expected;
    std::vector<std::string> absent;
  };
  const std::string usb2 = sysfs_.Dev("ttyUSB2");
  const std::string gone = sysfs_.Dev("ttyUSB0");
  const Case cases[] = {
      {"not permitted, never added to the group",
       usb2,
       SerialFault::NotPermitted,
       [&] {
         Groups("bob");
         ::chmod(usb2.c_str(), 0660);
       },
       {"group dialout, mode rw-rw----.", "sudo usermod -aG dialout \"$USER\""},
       {"this session started before"}},
      {"not permitted, added but not logged in again",
       usb2,
       SerialFault::NotPermitted,
       [&] {
         Groups("bob,alice");
         ::chmod(usb2.c_str(), 0660);
       },
       {"alice is in group dialout in " + roots_.groupFile +
        ", but this session started before that: log out and in again."},
       {"usermod"}},
      {"not permitted, the group may not open it either",
       usb2,
       SerialFault::NotPermitted,
       [&] {
         Groups("alice");
         ::chmod(usb2.c_str(), 0600);
       },
       {"mode rw-------.", "only its owner may open it"},
       {"usermod", "log out"}},
      {"not permitted, already in the group",
       usb2,
       SerialFault::NotPermitted,
       [&] {
         Groups("alice");
         ::chmod(usb2.c_str(), 0660);
         who_.groups.push_back(gid_);
       },
       {"already runs in group dialout"},
       {"usermod"}},
      {"busy, held by its by-id name and by its path",
       usb2,
       SerialFault::Busy,
       [] {},
       {"It is held by these processes: PID 4242 (minicom); PID 4243 (ModemManager).",
        "  kill 4242 4243", "ModemManager probes every new serial port"},
       {"4244", "PID 500"}},
      {"busy, the program's name escaped",
       sysfs_.Dev("ttyACM0"),
       SerialFault::Busy,
       [] {},
       {"It is held by PID 4244 (evil\\x1B[2J).", "  kill 4244"},
       {"\x1b"}},
      {"busy, nobody of this user holds it",
       sysfs_.Dev("ttyS0"),
       SerialFault::Busy,
       [] {},
       {"No process of this user holds it; 1 processes of other users could not be looked "
        "into (as root they would be)."},
       {"kill"}},
      {"busy, /proc cannot be read",
       usb2,
       SerialFault::Busy,
       [&] { roots_.proc = root_ + "/no-proc"; },
       {"The processes could not be looked into"},
       {"kill"}},
      {"missing, the adapter taken by the braille service",
       gone,
       SerialFault::NoDevice,
       [] {},
       {gone + " does not exist.",
        "The USB adapter 10c4:ea60 (CP2102 USB to UART Bridge Controller) is plugged in but "
        "has no serial port",
        "85-brltty.rules, line 3)", "  sudo apt remove brltty", "Serial ports that exist now:",
        "  " + usb2 + "  FTDI FT232R USB UART, USB 0403:6001, serial A50285BI  (" +
            sysfs_.ByIdOfUsb2() + ")",
        "  " + sysfs_.Dev("ttyACM0")},
       {"adapter 1a86:7523", "adapter 0403:6001"}},
      {"missing, no braille service",
       gone,
       SerialFault::NoDevice,
       [&] { roots_.udevRuleDirs = {root_ + "/etc-rules"}; },
       {"does not exist.", "Serial ports that exist now:"},
       {"brltty"}},
      {"missing, a by-id name whose adapter was unplugged",
       sysfs_.Roots().byId + "/usb-Prolific_USB-Serial-if00-port0",
       SerialFault::NoDevice,
       [&] {
         fs::create_symlink("../../ttyUSB9",
                            sysfs_.Roots().byId + "/usb-Prolific_USB-Serial-if00-port0");
       },
       {"usb-Prolific_USB-Serial-if00-port0 names a device that is gone (unplugged?)."},
       {"does not exist"}},
      {"missing, a placeholder UART",
       sysfs_.Dev("ttyS1"),
       SerialFault::NoDevice,
       [&] { roots_.udevRuleDirs.clear(); },
       {"exists, but no hardware answers behind it."},
       {"ttyS1  "}},
      {"another fault says nothing", usb2, SerialFault::Unsupported, [] {}, {}, {"."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DiagnosisRoots savedRoots = roots_;
    const ProcessIdentity savedWho = who_;
    c.setup();
    const std::string text = JoinDiagnosis(DiagnosePortFailure(c.port, c.fault, roots_, who_));
    for (const auto& want : c.expected)
      EXPECT_NE(text.find(want), std::string::npos) << want << "\n--\n" << text;
    for (const auto& not_ : c.absent)
      EXPECT_EQ(text.find(not_), std::string::npos) << not_ << "\n--\n" << text;
    if (c.expected.empty()) {
      EXPECT_EQ(text, "");
    }
    roots_ = savedRoots;
    who_ = savedWho;
  }
}

// A pseudo-terminal locked and held by another program (here sleep, which inherited the
// locked descriptor): the real open fails as busy and the diagnosis names the program.
TEST(PortDiagnosisReal, AHeldPseudoTerminalNamesTheHoldingProcess) {
  const test::HeldPseudoTerminal port;
  ASSERT_FALSE(port.Slave().empty()) << "no pseudo-terminal could be locked and held";
  const std::string& slave = port.Slave();
  const std::string pid = std::to_string(port.Holder());

  auto channel = CreatePlatformSerialChannel();
  // The holder may still be starting; its descriptor is there from the spawn on.
  EXPECT_FALSE(channel->Open(slave));
  EXPECT_EQ(channel->LastFault(), SerialFault::Busy);
  std::string text;
  for (int i = 0; i < 50; ++i) {
    text = JoinDiagnosis(DiagnosePortFailure(slave, SerialFault::Busy));
    if (text.find("(sleep)") != std::string::npos) break;
    ::usleep(20000);
  }
  EXPECT_NE(text.find("It is held by PID " + pid + " (sleep)"), std::string::npos) << text;
  EXPECT_NE(text.find("kill " + pid), std::string::npos) << text;
}

}  // namespace
}  // namespace zemb
