// The platform layer under the device component: one serial device, opened exclusively
// by name, moved one byte at a time within the timeouts last applied.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zemb {

// The five timeout members, in milliseconds, with the meaning of the Windows comm API:
// a read with ReadIntervalTimeout = kMaxDword and both read totals 0 returns at once;
// otherwise a one-byte read waits up to ReadTotalTimeoutConstant ms. A one-byte write
// must complete within WriteTotalTimeoutMultiplier + WriteTotalTimeoutConstant ms (both 0:
// no write timeout, as in the comm API).
struct CommTimeouts {
  static constexpr uint32_t kMaxDword = 0xFFFFFFFFu;
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;

  bool operator==(const CommTimeouts&) const = default;
};

// Why the last failing call of a channel failed, so that a front end can tell a missing
// port from one held by another program or one the user may not open.
enum class SerialFault {
  None,
  BadName,       // empty, over kMaxPortNameLength bytes, or with a NUL byte in it
  NoDevice,      // no such device
  Busy,          // held by another program
  NotPermitted,  // the user may not open it (on Linux usually: not in group dialout)
  NotATerminal,  // the name opens something that is not a serial device
  Unsupported,   // a line setting the device or this backend cannot apply
  HungUp,        // the far end went away (a closed pseudo-terminal, an unplugged adapter)
  Failed,        // any other failure of a platform call
};

class SerialChannel {
 public:
  virtual ~SerialChannel() = default;

  // Opens the device exclusively for reading and writing. False when it does not exist,
  // is held by another program or may not be opened; the channel then stays closed.
  virtual bool Open(const std::string& name) = 0;
  virtual bool IsOpen() const = 0;
  // Releases the device; nothing happens when it is closed.
  virtual void Close() = 0;

  // Applies the timeouts (ignored while closed).
  virtual void SetTimeouts(const CommTimeouts& timeouts) = 0;
  // Raw 8 data bits, no parity, 1 stop bit at baud, every byte passed unchanged, no
  // hardware or driver flow control. False when the speed cannot be applied; the line
  // is then left as it was.
  virtual bool Configure(int32_t baud) = 0;
  // Raises DTR, then RTS.
  virtual void RaiseDtrRts() = 0;

  // Reads one byte within the read timeouts in force. False (byte untouched) when none
  // arrived, the read failed or the channel is closed.
  virtual bool ReadByte(uint8_t& byte) = 0;
  // Writes one byte within the write timeouts. Returns the count written, 0 or 1; a byte
  // reported as not written never reaches the line later.
  virtual int WriteByte(uint8_t byte) = 0;

  // A pause of ms milliseconds on the channel's clock (a test channel's clock is virtual).
  virtual void Sleep(uint32_t ms) = 0;

  // True when the channel is open and its far end has not gone away. A line that hung up
  // while nobody was reading (an adapter pulled between two commands) is closed here, with
  // the fault recorded, so that the next open starts afresh.
  virtual bool LineAlive() { return IsOpen(); }

  // The cause and a one-line description (naming the device tried) of the last failure;
  // Open clears both when it starts.
  virtual SerialFault LastFault() const { return SerialFault::None; }
  virtual std::string LastError() const { return {}; }
};

// The backend of the platform this program was built for.
std::unique_ptr<SerialChannel> CreatePlatformSerialChannel();

// Device names longer than this are refused as ports that cannot be opened.
constexpr size_t kMaxPortNameLength = 128;

// The device the platform backend opens for a port name: on POSIX "COMn" is the path in
// the environment variable ZEMBROMW_COMn when set, else the stored assignment (PortList.h),
// else /dev/ttyS(n-1); a name with a "/"
// is a path; any other name is taken from /dev. On Windows "COMn" from COM10 up gets the
// "\\.\" device prefix, which those names need; other names pass unchanged.
std::string ResolvePortName(const std::string& name);

}  // namespace zemb
