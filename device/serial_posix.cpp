// The serial channel on POSIX systems: termios for the line, poll() for the timeouts, and
// flock() plus TIOCEXCL for the exclusive open the Windows comm API gives for free.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>

#include "PortList.h"
#include "RawTermios.h"
#include "SerialChannel.h"
#include "SerialPortName.h"
#include "SerialSpeed.h"

namespace zemb {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until deadline, rounded up so that a wait never ends early.
int MsUntil(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

void SleepFor(std::chrono::nanoseconds duration) {
  if (duration <= std::chrono::nanoseconds::zero()) return;
  timespec request{};
  request.tv_sec = static_cast<time_t>(duration.count() / 1000000000);
  request.tv_nsec = static_cast<long>(duration.count() % 1000000000);
  timespec remaining{};
  while (nanosleep(&request, &remaining) != 0 && errno == EINTR) request = remaining;
}

class PosixSerialChannel final : public SerialChannel {
 public:
  ~PosixSerialChannel() override { Close(); }

  bool Open(const std::string& name) override;
  bool IsOpen() const override { return fd_ >= 0; }
  void Close() override;
  void SetTimeouts(const CommTimeouts& timeouts) override;
  bool Configure(int32_t baud) override;
  void RaiseDtrRts() override;
  bool ReadByte(uint8_t& byte) override;
  int WriteByte(uint8_t byte) override;
  void Sleep(uint32_t ms) override { SleepFor(std::chrono::milliseconds(ms)); }
  bool LineAlive() override;
  SerialFault LastFault() const override { return fault_; }
  std::string LastError() const override { return error_; }

 private:
  // Records why a call failed; err is the errno of the failing platform call (0: none).
  void Fail(SerialFault fault, const std::string& what, int err = 0);
  // A hang-up or an I/O error (an unplugged adapter): records it and closes the port, so
  // that the next open starts afresh instead of every later call failing on a dead line.
  void FailAndClose(SerialFault fault, const std::string& what, int err = 0);
  bool WaitForBytesSent(Clock::time_point deadline, bool unbounded);
  int DiscardUnsentByte();

  int fd_ = -1;
  // A pseudo-terminal's output queue is always empty, so there is nothing to wait for.
  bool pseudoTerminal_ = false;
  std::string path_;
  // The timeouts the component applies at every open, in force until it sets others.
  CommTimeouts timeouts_{CommTimeouts::kMaxDword, 0, 0, 10, 10};
  SerialFault fault_ = SerialFault::None;
  std::string error_;
};

void PosixSerialChannel::Fail(SerialFault fault, const std::string& what, int err) {
  fault_ = fault;
  error_ = path_.empty() ? what : path_ + ": " + what;
  if (err != 0) error_ += std::string(" (") + std::strerror(err) + ")";
}

void PosixSerialChannel::FailAndClose(SerialFault fault, const std::string& what, int err) {
  Fail(fault, what, err);
  if (fd_ < 0) return;
  // Best effort: a line that is gone refuses both, and the fault above is the news.
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
}

bool PosixSerialChannel::Open(const std::string& name) {
  if (IsOpen()) Close();
  fault_ = SerialFault::None;
  error_.clear();
  path_.clear();
  if (!IsAcceptablePortName(name)) {
    Fail(SerialFault::BadName, "invalid port name");
    return false;
  }
  path_ = ResolvePortName(name);

  int fd;
  do {
    fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int err = errno;
    switch (err) {
      case ENOENT:
      case ENXIO:
      case ENODEV:
      case ENOTDIR:
        Fail(SerialFault::NoDevice, "no such device", err);
        break;
      case EBUSY:
        Fail(SerialFault::Busy, "in use by another program", err);
        break;
      case EACCES:
      case EPERM:
      case EROFS:
        Fail(SerialFault::NotPermitted, "permission denied", err);
        break;
      default:
        Fail(SerialFault::Failed, "cannot open", err);
        break;
    }
    return false;
  }
  // A regular file opened read-write by mistake would have device traffic written into it.
  if (!::isatty(fd)) {
    Fail(SerialFault::NotATerminal, "not a serial device");
    ::close(fd);
    return false;
  }
  // flock is the lock that holds for root too, who is not stopped by TIOCEXCL.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    if (err == EWOULDBLOCK) {
      Fail(SerialFault::Busy, "in use by another program", err);
    } else {
      Fail(SerialFault::Failed, "cannot lock", err);
    }
    ::close(fd);
    return false;
  }
  if (::ioctl(fd, TIOCEXCL) != 0) {
    Fail(SerialFault::Failed, "cannot make exclusive", errno);
    ::close(fd);
    return false;
  }
  fd_ = fd;
  struct stat st {};
  // Unix 98 pseudo-terminal slaves have the major numbers 136 to 143.
  pseudoTerminal_ = ::fstat(fd, &st) == 0 && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
  timeouts_ = CommTimeouts{CommTimeouts::kMaxDword, 0, 0, 10, 10};
  return true;
}

void PosixSerialChannel::Close() {
  if (fd_ < 0) return;
  // The exclusive flag belongs to the terminal, not to this descriptor: another open
  // descriptor would keep it set for everyone after this close.
  if (::ioctl(fd_, TIOCNXCL) != 0 && errno != EIO) {
    Fail(SerialFault::Failed, "cannot release exclusive use", errno);
  }
  if (::close(fd_) != 0 && errno != EINTR) Fail(SerialFault::Failed, "close failed", errno);
  fd_ = -1;
}

void PosixSerialChannel::SetTimeouts(const CommTimeouts& timeouts) {
  if (IsOpen()) timeouts_ = timeouts;
}

bool PosixSerialChannel::Configure(int32_t baud) {
  if (!IsOpen()) return false;
  const speed_t speed = TermiosSpeed(baud);
  if (speed == B0) {
    Fail(SerialFault::Unsupported, "unsupported speed " + std::to_string(baud));
    return false;
  }
  termios before{};
  if (::tcgetattr(fd_, &before) != 0) {
    Fail(SerialFault::Failed, "cannot read line settings", errno);
    return false;
  }
  termios raw = before;
  MakeRawTermios(raw);
  if (::cfsetispeed(&raw, speed) != 0 || ::cfsetospeed(&raw, speed) != 0) {
    Fail(SerialFault::Unsupported, "unsupported speed " + std::to_string(baud), errno);
    return false;
  }
  int rc;
  do {
    rc = ::tcsetattr(fd_, TCSANOW, &raw);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    Fail(SerialFault::Failed, "cannot apply line settings", errno);
    return false;
  }
  // tcsetattr succeeds when any one change took; a driver that refused the speed or the
  // frame shows only on reading the settings back.
  termios after{};
  if (::tcgetattr(fd_, &after) != 0) {
    Fail(SerialFault::Failed, "cannot read line settings", errno);
    return false;
  }
  const tcflag_t frame = CSIZE | PARENB | CSTOPB | CRTSCTS;
  if ((after.c_cflag & frame) != (raw.c_cflag & frame) || ::cfgetospeed(&after) != speed ||
      (after.c_iflag & (IXON | IXOFF)) != 0 || (after.c_lflag & ICANON) != 0) {
    ::tcsetattr(fd_, TCSANOW, &before);
    Fail(SerialFault::Unsupported, "the device refused " + std::to_string(baud) + " baud 8N1");
    return false;
  }
  return true;
}

void PosixSerialChannel::RaiseDtrRts() {
  if (!IsOpen()) return;
  // DTR first, then RTS, as two changes; a pseudo-terminal has no modem lines (ENOTTY).
  for (int bit : {TIOCM_DTR, TIOCM_RTS}) {
    if (::ioctl(fd_, TIOCMBIS, &bit) != 0 && errno != ENOTTY && errno != EINVAL) {
      Fail(SerialFault::Failed, "cannot raise DTR/RTS", errno);
    }
  }
}

bool PosixSerialChannel::LineAlive() {
  if (!IsOpen()) return false;
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    FailAndClose(SerialFault::HungUp, "the line hung up");
    return false;
  }
  return true;
}

bool PosixSerialChannel::ReadByte(uint8_t& byte) {
  if (!IsOpen()) return false;
  const CommTimeouts& t = timeouts_;
  // One byte's total timeout; a multiplier of MAXDWORD marks the comm API's
  // "return at once with a byte, else wait the constant" mode.
  uint64_t waitMs = t.ReadTotalTimeoutConstant;
  if (t.ReadTotalTimeoutMultiplier != CommTimeouts::kMaxDword) {
    waitMs += t.ReadTotalTimeoutMultiplier;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    uint8_t b = 0;
    const ssize_t n = ::read(fd_, &b, 1);
    if (n == 1) {
      byte = b;
      return true;
    }
    // A poll that must return at once has its answer: no byte. The upload polls before
    // every character, so this path stays at one system call; a hang-up shows at the next
    // write or wait.
    if (n == 0 && waitMs == 0) return false;
    if (n == 0) {
      // With VMIN = VTIME = 0 an empty queue reads as 0; after a hang-up so does the end.
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        FailAndClose(SerialFault::HungUp, "the line hung up");
        return false;
      }
    } else if (errno == EIO || errno == ENXIO || errno == ENODEV) {
      FailAndClose(SerialFault::HungUp, "the line hung up", errno);
      return false;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      FailAndClose(SerialFault::Failed, "read failed", errno);
      return false;
    }
    const int left = MsUntil(deadline);
    if (left == 0) return false;
    pollfd p{fd_, POLLIN, 0};
    const int rc = ::poll(&p, 1, left);
    if (rc < 0 && errno != EINTR) {
      FailAndClose(SerialFault::Failed, "poll failed", errno);
      return false;
    }
    if (rc == 1 && (p.revents & POLLNVAL) != 0) {
      FailAndClose(SerialFault::Failed, "the descriptor is no longer valid");
      return false;
    }
    // POLLIN, POLLHUP or POLLERR: the next read returns the byte or tells which.
  }
}

int PosixSerialChannel::WriteByte(uint8_t byte) {
  if (!IsOpen()) return 0;
  const uint64_t totalMs = static_cast<uint64_t>(timeouts_.WriteTotalTimeoutMultiplier) +
                           timeouts_.WriteTotalTimeoutConstant;
  // Both write members 0 means "no write timeout" in the comm API's terms.
  const bool unbounded = totalMs == 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
  for (;;) {
    const ssize_t n = ::write(fd_, &byte, 1);
    if (n == 1) break;
    if (n < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV)) {
      FailAndClose(SerialFault::HungUp, "the line hung up", errno);
      return 0;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      FailAndClose(SerialFault::Failed, "write failed", errno);
      return 0;
    }
    const int left = unbounded ? -1 : MsUntil(deadline);
    if (left == 0) {
      Fail(SerialFault::Failed, "write timed out (the line is held)");
      return 0;
    }
    pollfd p{fd_, POLLOUT, 0};
    const int rc = ::poll(&p, 1, left);
    if (rc < 0 && errno != EINTR) {
      FailAndClose(SerialFault::Failed, "poll failed", errno);
      return 0;
    }
    if (rc == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      FailAndClose(SerialFault::HungUp, "the line hung up");
      return 0;
    }
  }
  if (!WaitForBytesSent(deadline, unbounded)) return IsOpen() ? DiscardUnsentByte() : 0;
  return 1;
}

// Waits until the driver's output queue is empty, so that at most this one byte is ever
// in flight and a byte reported unwritten can still be taken back. A pseudo-terminal
// hands every write to its other end at once and always reports an empty queue; there a
// held line shows as a write that cannot start.
bool PosixSerialChannel::WaitForBytesSent(Clock::time_point deadline, bool unbounded) {
  if (pseudoTerminal_) return true;
  for (;;) {
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) {
      // A driver that cannot tell has taken the byte; there is nothing to wait for.
      if (errno == ENOTTY || errno == EINVAL) return true;
      FailAndClose(SerialFault::Failed, "cannot query the output queue", errno);
      return false;
    }
    if (queued <= 0) return true;
    if (!unbounded && Clock::now() >= deadline) {
      Fail(SerialFault::Failed, "write timed out (the line is held)");
      return false;
    }
    // A byte takes about 1 ms on the wire at 9600 baud.
    auto step = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
    step = unbounded ? std::chrono::microseconds(500)
                     : std::min<std::chrono::nanoseconds>(step, std::chrono::microseconds(500));
    SleepFor(step);
  }
}

int PosixSerialChannel::DiscardUnsentByte() {
  if (::tcflush(fd_, TCOFLUSH) != 0) {
    Fail(SerialFault::Failed, "cannot discard the unsent byte", errno);
  }
  return 0;
}

}  // namespace

std::string ResolvePortName(const std::string& name) {
  return MapPortName(name).device;
}

std::unique_ptr<SerialChannel> CreatePlatformSerialChannel() {
  return std::make_unique<PosixSerialChannel>();
}

}  // namespace zemb
