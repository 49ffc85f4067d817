// The termios backend against real pseudo-terminals: the test holds the master side and
// plays the device there.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "PortDiagnosis.h"
#include "SerialChannel.h"
#include "uZEMB.h"

namespace zemb {
namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    if (const char* name = ::ptsname(master_)) slave_ = name;
  }
  ~Pty() { CloseMaster(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool Ok() const { return master_ >= 0 && !slave_.empty(); }
  int master() const { return master_; }
  const std::string& slave() const { return slave_; }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  void Send(const std::string& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Reads what arrives until count bytes are in or timeoutMs passes without one.
  std::string Receive(size_t count, int timeoutMs = 500) {
    std::string got;
    while (got.size() < count) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) != 1) break;
      char buf[512];
      const ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - got.size()));
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

class SerialPosixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Ok()) << std::strerror(errno);
    channel = CreatePlatformSerialChannel();
    ASSERT_NE(channel, nullptr);
  }
  void OpenConfigured() {
    ASSERT_TRUE(channel->Open(pty.slave())) << channel->LastError();
    ASSERT_TRUE(channel->Configure(9600)) << channel->LastError();
  }
  // The component's timeouts for a read that waits ms for its byte.
  void SetReadWait(uint32_t ms) { channel->SetTimeouts({50, 0, ms, 10, 10}); }

  Pty pty;
  std::unique_ptr<SerialChannel> channel;
};

TEST_F(SerialPosixTest, ConfigureMakesTheLineRawAndRefusesUnknownSpeeds) {
  OpenConfigured();
  EXPECT_TRUE(channel->IsOpen());
  channel->RaiseDtrRts();  // a pty has no modem lines; that is no error
  EXPECT_EQ(channel->LastFault(), SerialFault::None);

  // The master reports the terminal side's settings.
  termios t{};
  ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
  EXPECT_EQ(t.c_iflag & (IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | INPCK | IXON |
                         IXOFF | IXANY | IMAXBEL),
            0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B9600));

  ASSERT_TRUE(channel->Configure(115200));
  for (int32_t bad : {12345, 0, -9600}) {
    EXPECT_FALSE(channel->Configure(bad)) << bad;
    EXPECT_EQ(channel->LastFault(), SerialFault::Unsupported);
  }
  ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200));

  channel->Close();
  EXPECT_FALSE(channel->IsOpen());
  channel->Close();
  EXPECT_FALSE(channel->Configure(9600));
}

TEST_F(SerialPosixTest, EveryByteValuePassesUnchangedBothWays) {
  OpenConfigured();
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);

  for (char c : all) ASSERT_EQ(channel->WriteByte(static_cast<uint8_t>(c)), 1) << int(c);
  EXPECT_EQ(pty.Receive(256), all);

  pty.Send(all);
  SetReadWait(500);
  std::string got;
  uint8_t b = 0;
  while (got.size() < 256 && channel->ReadByte(b)) got += static_cast<char>(b);
  EXPECT_EQ(got, all);
}

TEST_F(SerialPosixTest, ReadWaitsForItsTimeoutOrReturnsAtOnce) {
  OpenConfigured();
  uint8_t b = 'x';
  channel->SetTimeouts({CommTimeouts::kMaxDword, 0, 0, 10, 10});
  EXPECT_FALSE(channel->ReadByte(b));
  EXPECT_EQ(b, 'x');

  SetReadWait(30);
  auto start = Clock::now();
  EXPECT_FALSE(channel->ReadByte(b));
  EXPECT_GE(ElapsedMs(start), 30);

  // A byte that arrives during the wait ends it.
  SetReadWait(5000);
  std::thread peer([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pty.Send("Q");
  });
  EXPECT_TRUE(channel->ReadByte(b));
  peer.join();
  EXPECT_EQ(b, 'Q');
}

TEST_F(SerialPosixTest, AnotherHolderMakesThePortBusy) {
  const int holder = ::open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(channel->Open(pty.slave()));
  EXPECT_FALSE(channel->IsOpen());
  EXPECT_EQ(channel->LastFault(), SerialFault::Busy);
  ::close(holder);

  ASSERT_TRUE(channel->Open(pty.slave()));
  auto second = CreatePlatformSerialChannel();
  EXPECT_FALSE(second->Open(pty.slave()));
  EXPECT_EQ(second->LastFault(), SerialFault::Busy);
  channel->Close();
  EXPECT_TRUE(second->Open(pty.slave())) << second->LastError();
}

TEST_F(SerialPosixTest, HeldLineReportsZeroAndTheByteNeverGoesOut) {
  // A second descriptor of the terminal side, opened before the exclusive open.
  const int other = ::open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  OpenConfigured();
  ASSERT_EQ(::tcflow(other, TCOOFF), 0);

  const auto start = Clock::now();
  EXPECT_EQ(channel->WriteByte('X'), 0);
  EXPECT_GE(ElapsedMs(start), 20);  // the whole 10 + 10 ms write deadline was given

  ASSERT_EQ(::tcflow(other, TCOON), 0);
  EXPECT_EQ(pty.Receive(1, 50), "");
  EXPECT_EQ(channel->WriteByte('Y'), 1);
  EXPECT_EQ(pty.Receive(2, 200), "Y");
  ::close(other);
}

TEST_F(SerialPosixTest, PeerHangingUpEndsReadsAndWrites) {
  OpenConfigured();
  SetReadWait(10000);
  std::thread peer([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pty.CloseMaster();
  });
  uint8_t b = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(channel->ReadByte(b));
  peer.join();
  EXPECT_EQ(channel->LastFault(), SerialFault::HungUp) << channel->LastError();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(channel->ReadByte(b));
  EXPECT_EQ(channel->WriteByte('A'), 0);
  EXPECT_LT(ElapsedMs(start), 5000);  // none of the calls sat out its 10 s timeout
  channel->Close();
}

TEST_F(SerialPosixTest, AfterAHangUpThePortIsClosedAndOpensAfresh) {
  // The port is reached through a link, as an adapter is through its stable name; the
  // replugged adapter is a new terminal behind the same name.
  char dir[] = "/tmp/zembromw_replug_XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/port";
  ASSERT_EQ(::symlink(pty.slave().c_str(), link.c_str()), 0);
  ASSERT_TRUE(channel->Open(link)) << channel->LastError();
  ASSERT_TRUE(channel->Configure(9600));
  pty.CloseMaster();
  for (const bool writeFirst : {true, false}) {
    uint8_t b = 0;
    if (writeFirst) {
      EXPECT_EQ(channel->WriteByte('A'), 0);
    } else {
      EXPECT_FALSE(channel->ReadByte(b));
    }
  }
  EXPECT_FALSE(channel->IsOpen());
  EXPECT_EQ(channel->LastFault(), SerialFault::HungUp) << channel->LastError();

  Pty replugged;
  ASSERT_TRUE(replugged.Ok());
  ASSERT_EQ(::unlink(link.c_str()), 0);
  ASSERT_EQ(::symlink(replugged.slave().c_str(), link.c_str()), 0);
  ASSERT_TRUE(channel->Open(link)) << channel->LastError();
  ASSERT_TRUE(channel->Configure(9600));
  EXPECT_EQ(channel->WriteByte('Z'), 1);
  EXPECT_EQ(replugged.Receive(1), "Z");
  channel->Close();
  ::unlink(link.c_str());
  ::rmdir(dir);
}

TEST_F(SerialPosixTest, PortsThatCannotBeOpenedStayClosed) {
  EXPECT_FALSE(channel->Open("/nonexistent/ttyZ9"));
  EXPECT_EQ(channel->LastFault(), SerialFault::NoDevice);
  EXPECT_NE(channel->LastError().find("/nonexistent/ttyZ9"), std::string::npos);
  uint8_t b = 0;
  EXPECT_FALSE(channel->ReadByte(b));
  EXPECT_EQ(channel->WriteByte('A'), 0);

  // A file is not a serial device; device traffic must not overwrite it.
  char path[] = "/tmp/serial_posix_XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  EXPECT_FALSE(channel->Open(path));
  EXPECT_EQ(channel->LastFault(), SerialFault::NotATerminal);
  ::unlink(path);

  const std::string longest = "/" + std::string(kMaxPortNameLength - 1, 'x');
  EXPECT_FALSE(channel->Open(longest));
  EXPECT_EQ(channel->LastFault(), SerialFault::NoDevice);
  for (const std::string& bad : {longest + "x", std::string(), std::string("COM1\0x", 6)}) {
    EXPECT_FALSE(channel->Open(bad));
    EXPECT_EQ(channel->LastFault(), SerialFault::BadName);
  }
  EXPECT_FALSE(channel->IsOpen());
}

TEST_F(SerialPosixTest, ADeviceTheUserMayNotOpenIsToldApart) {
  if (::geteuid() == 0) GTEST_SKIP() << "root opens every device";
  ASSERT_EQ(::chmod(pty.slave().c_str(), 0), 0);
  EXPECT_FALSE(channel->Open(pty.slave()));
  EXPECT_EQ(channel->LastFault(), SerialFault::NotPermitted);
  // The diagnosis reads the real node: no permission bit left for anyone.
  const std::string text = JoinDiagnosis(DiagnosePortFailure(pty.slave(), channel->LastFault()));
  EXPECT_NE(text.find(pty.slave() + " belongs to "), std::string::npos) << text;
  EXPECT_NE(text.find("mode ---------."), std::string::npos) << text;
}

TEST_F(SerialPosixTest, ComNamesMapToTheEnvironmentOrTtyS) {
  ::unsetenv("ZEMBROMW_COM2");
  EXPECT_EQ(ResolvePortName("COM1"), "/dev/ttyS0");
  EXPECT_EQ(ResolvePortName("COM2"), "/dev/ttyS1");
  EXPECT_EQ(ResolvePortName("com4"), "/dev/ttyS3");
  EXPECT_EQ(ResolvePortName("COM12"), "/dev/ttyS11");
  EXPECT_EQ(ResolvePortName("COM0"), "/dev/COM0");
  EXPECT_EQ(ResolvePortName("COM1x"), "/dev/COM1x");
  EXPECT_EQ(ResolvePortName("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(ResolvePortName("./COM1"), "./COM1");

  ::setenv("ZEMBROMW_COM2", pty.slave().c_str(), 1);
  EXPECT_EQ(ResolvePortName("COM2"), pty.slave());
  EXPECT_TRUE(channel->Open("COM2")) << channel->LastError();
  ::unsetenv("ZEMBROMW_COM2");
}

TEST(SerialPosixComponentTest, WriteCharOnAMissingPortAborts) {
  TzembROMWT rom(nullptr);
  rom.Setcom("/nonexistent/ttyZ9");
  rom.OpenPort();
  EXPECT_FALSE(rom.PortOpen());
  EXPECT_THROW(rom.WriteChar('R'), EAbort);
}

}  // namespace
}  // namespace zemb
