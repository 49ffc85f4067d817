// The serial channel on Windows: the comm API with synchronous one-byte reads and writes.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <optional>

#include "SerialChannel.h"
#include "SerialPortName.h"

namespace zemb {

namespace {

// A device that went away mid-operation: an unplugged adapter, or (under Wine) the far end
// of a terminal that closed, which answers "not ready".
bool IsDeviceGone(DWORD err) {
  return err == ERROR_BAD_COMMAND || err == ERROR_DEVICE_REMOVED ||
         err == ERROR_DEVICE_NOT_CONNECTED || err == ERROR_GEN_FAILURE ||
         err == ERROR_OPERATION_ABORTED || err == ERROR_NOT_READY;
}

class Win32SerialChannel final : public SerialChannel {
 public:
  ~Win32SerialChannel() override { Close(); }

  bool Open(const std::string& name) override;
  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
  void Close() override;
  void SetTimeouts(const CommTimeouts& timeouts) override;
  bool Configure(int32_t baud) override;
  void RaiseDtrRts() override;
  bool ReadByte(uint8_t& byte) override;
  int WriteByte(uint8_t byte) override;
  void Sleep(uint32_t ms) override { ::Sleep(ms); }
  SerialFault LastFault() const override { return fault_; }
  std::string LastError() const override { return error_; }

 private:
  void Fail(SerialFault fault, const std::string& what, DWORD err = 0);
  // Closes without recording anything: the fault that led here is the news.
  void DropHandle();

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::string path_;
  SerialFault fault_ = SerialFault::None;
  std::string error_;
};

void Win32SerialChannel::Fail(SerialFault fault, const std::string& what, DWORD err) {
  fault_ = fault;
  error_ = path_.empty() ? what : path_ + ": " + what;
  if (err != 0) error_ += " (error " + std::to_string(err) + ")";
}

bool Win32SerialChannel::Open(const std::string& name) {
  if (IsOpen()) Close();
  fault_ = SerialFault::None;
  error_.clear();
  path_.clear();
  if (!IsAcceptablePortName(name)) {
    Fail(SerialFault::BadName, "invalid port name");
    return false;
  }
  path_ = ResolvePortName(name);
  // Share mode 0: the port is ours alone until closed.
  HANDLE h = ::CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    switch (err) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
        Fail(SerialFault::NoDevice, "no such device", err);
        break;
      // A port held by another program answers "access denied".
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
        Fail(SerialFault::Busy, "in use by another program or not permitted", err);
        break;
      default:
        Fail(SerialFault::Failed, "cannot open", err);
        break;
    }
    return false;
  }
  // A plain file opened by mistake would have device traffic written into it.
  DCB probe{};
  probe.DCBlength = sizeof probe;
  if (::GetFileType(h) != FILE_TYPE_CHAR || !::GetCommState(h, &probe)) {
    Fail(SerialFault::NotATerminal, "not a serial device");
    ::CloseHandle(h);
    return false;
  }
  handle_ = h;
  SetTimeouts(CommTimeouts{CommTimeouts::kMaxDword, 0, 0, 10, 10});
  return true;
}

void Win32SerialChannel::DropHandle() {
  ::CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

void Win32SerialChannel::Close() {
  if (!IsOpen()) return;
  if (!::CloseHandle(handle_)) Fail(SerialFault::Failed, "close failed", ::GetLastError());
  handle_ = INVALID_HANDLE_VALUE;
}

void Win32SerialChannel::SetTimeouts(const CommTimeouts& timeouts) {
  if (!IsOpen()) return;
  COMMTIMEOUTS ct{};
  ct.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
  ct.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
  ct.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
  ct.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
  ct.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
  // All read members 0 would make ReadFile wait for ever; the channel's reads never do.
  if (ct.ReadIntervalTimeout == 0 && ct.ReadTotalTimeoutMultiplier == 0 &&
      ct.ReadTotalTimeoutConstant == 0) {
    ct.ReadIntervalTimeout = MAXDWORD;
  }
  if (!::SetCommTimeouts(handle_, &ct)) {
    Fail(SerialFault::Failed, "cannot set timeouts", ::GetLastError());
  }
}

bool Win32SerialChannel::Configure(int32_t baud) {
  if (!IsOpen()) return false;
  if (baud <= 0) {
    Fail(SerialFault::Unsupported, "unsupported speed " + std::to_string(baud));
    return false;
  }
  // Start from the device's own record so that the members the text does not name
  // (XonChar, XoffChar, the limits) hold values SetCommState accepts.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(handle_, &dcb)) {
    Fail(SerialFault::Failed, "cannot read line settings", ::GetLastError());
    return false;
  }
  char text[kMaxPortNameLength + 1];
  std::snprintf(text, sizeof text, "baud=%d parity=N data=8 stop=1", static_cast<int>(baud));
  // BuildCommDCBA also reads the mode command's two-digit abbreviations ("96" is 9600);
  // a speed it rewrote that way is not the one asked for.
  if (!::BuildCommDCBA(text, &dcb) || dcb.BaudRate != static_cast<DWORD>(baud)) {
    Fail(SerialFault::Unsupported, "unsupported speed " + std::to_string(baud), ::GetLastError());
    return false;
  }
  // Bits 0 to 15 of the flag word: binary only. Output XON/XOFF stays off so that XOFF and
  // XON reach the reader and the component paces the upload itself; every other flow,
  // parity and DTR/RTS control is off. Bit 15 is the lowest bit of fDummy2; bits 16 to
  // 31 stay as they were.
  dcb.fBinary = 1;
  dcb.fParity = 0;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = 0;
  dcb.fTXContinueOnXoff = 0;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = 0;
  dcb.fDummy2 &= ~1u;
  if (!::SetCommState(handle_, &dcb)) {
    Fail(SerialFault::Unsupported, "the device refused " + std::to_string(baud) + " baud 8N1",
         ::GetLastError());
    return false;
  }
  return true;
}

void Win32SerialChannel::RaiseDtrRts() {
  if (!IsOpen()) return;
  if (!::EscapeCommFunction(handle_, SETDTR)) {
    Fail(SerialFault::Failed, "cannot raise DTR", ::GetLastError());
  }
  if (!::EscapeCommFunction(handle_, SETRTS)) {
    Fail(SerialFault::Failed, "cannot raise RTS", ::GetLastError());
  }
}

bool Win32SerialChannel::ReadByte(uint8_t& byte) {
  if (!IsOpen()) return false;
  uint8_t b = 0;
  DWORD n = 0;
  if (!::ReadFile(handle_, &b, 1, &n, nullptr)) {
    const DWORD err = ::GetLastError();
    Fail(IsDeviceGone(err) ? SerialFault::HungUp : SerialFault::Failed, "read failed", err);
    // A device that is gone is closed, so that the next open finds it again once it is back.
    if (IsDeviceGone(err)) DropHandle();
    return false;
  }
  if (n != 1) return false;
  byte = b;
  return true;
}

int Win32SerialChannel::WriteByte(uint8_t byte) {
  if (!IsOpen()) return 0;
  DWORD n = 0;
  const BOOL ok = ::WriteFile(handle_, &byte, 1, &n, nullptr);
  if (n == 1) return 1;
  const DWORD err = ok ? 0 : ::GetLastError();
  if (err != 0 && IsDeviceGone(err)) {
    Fail(SerialFault::HungUp, "write failed", err);
    DropHandle();
    return 0;
  } else {
    Fail(SerialFault::Failed, "write timed out (the line is held)", err);
  }
  // A timed-out write may still sit in the driver; take it back so that a byte reported
  // unwritten never goes out later.
  if (!::PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR)) {
    Fail(SerialFault::Failed, "cannot discard the unsent byte", ::GetLastError());
  }
  return 0;
}

}  // namespace

std::string ResolvePortName(const std::string& name) {
  // COM1 to COM9 are reserved DOS device names; from COM10 up CreateFileA finds the
  // port only in the device namespace.
  if (const auto n = ComPortNumber(name); n && *n >= 10) return "\\\\.\\" + name;
  return name;
}

std::unique_ptr<SerialChannel> CreatePlatformSerialChannel() {
  return std::make_unique<Win32SerialChannel>();
}

}  // namespace zemb
