// TzembROMWT: the non-visual component that owns the serial port and speaks the ROM
// writer's line protocol: byte and line I/O with timeouts, command framing, the "RA"
// handshake and ROM type command, the paced upload of data lines and the five ROM
// operations. Everything runs synchronously on the caller's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Errors.h"
#include "SerialChannel.h"
#include "TComponent.h"
#include "TStrings.h"

namespace zemb {

class TzembROMWT;

// Fired by ReadChar for every byte received.
using TzembGet = std::function<void(TzembROMWT* Sender, char c)>;
// Fired by SendLines after each uploaded line with its 0-based index.
using TZEMBPage = std::function<void(TzembROMWT* Sender, int32_t line)>;

// The line configuration last applied by OpenPort.
struct PortLineConfig {
  int32_t Baud = 0;
  bool Applied = false;
};

// Drops the bytes below 32; 127 and 0x80 to 0xFF stay.
std::string StripControlChars(const std::string& text);

class TzembROMWT : public TComponent {
 public:
  // A device line longer than this (no CR in 64 KiB) is cut there, so a device that floods
  // bytes cannot grow memory without bound.
  static constexpr size_t kMaxLineLength = 64 * 1024;
  // An upload held this long without a byte written fails, however often the device
  // renews its XOFF; no burn takes a minute.
  static constexpr int32_t kMaxUploadHoldMs = 60 * 1000;
  // More bytes than this from the device while one line is sent end the upload: pacing
  // needs a few, a device that floods the line would otherwise keep the host polling.
  static constexpr size_t kMaxBytesPerUploadLine = 4 * 1024;
  // The text Status holds after a read that brought more than its range can hold.
  static constexpr const char* kReadOverflowStatus = "Read NG more data than the range holds";

  // The channel defaults to the platform's serial backend.
  explicit TzembROMWT(TComponent* owner, std::unique_ptr<SerialChannel> channel = nullptr);

  // Published properties.
  int32_t OffsetAdr() const { return offsetAdr_; }
  void SetOffsetAdr(int32_t value) { offsetAdr_ = value; }
  const std::string& com() const { return com_; }
  void Setcom(const std::string& value);
  int32_t Speed() const { return speed_; }
  void SetSpeed(int32_t value);
  const std::string& defaultRT() const { return defaultRT_; }
  void SetdefaultRT(const std::string& value) { defaultRT_ = value; }
  const TZEMBPage& OnFlash() const { return onFlash_; }
  void SetOnFlash(TZEMBPage handler) { onFlash_ = std::move(handler); }
  const TzembGet& OnGetChar() const { return onGetChar_; }
  void SetOnGetChar(TzembGet handler) { onGetChar_ = std::move(handler); }

  // Serial channel and byte/line I/O.
  void OpenPort();
  void ClosePort();
  bool PortOpen() const { return channel_->IsOpen(); }
  void SetReadTimeOut(int32_t ms);
  bool ReadChar(char& c);
  std::string ReadLine();
  void WriteChar(char c);
  void LogText(const std::string& text);
  void FlushTranscript();

  // Command framing and connection.
  void SendCommand(const std::string& command);
  bool Handshake();
  bool Connect();
  std::string SetRomType(const std::string& code);

  // Data-line upload.
  bool SendLines();
  void WaitWhileXoff();

  // ROM operations.
  bool BlankCheck(int32_t start, int32_t end);
  bool ReadRom(int32_t start, int32_t end);
  bool CompareRom(int32_t start, int32_t end);
  bool ProgramRom(int32_t start, int32_t end);
  bool WriteRom(int32_t start, int32_t end);

  SerialChannel& Channel() { return *channel_; }

  // Public state, not published.
  bool Connecting = false;
  CommTimeouts PortTimeouts;
  PortLineConfig PortConfig;
  std::string Transcript;
  bool TypeSet = false;
  std::string Status;
  TStrings* Log = nullptr;    // borrowed
  TStrings* Lines = nullptr;  // borrowed

 private:
  std::string ReadStrippedLine();
  // A poll during an upload; counts the byte against the line's allowance.
  bool ReadUploadChar(char& c);
  // Runs an upload after an operation's command; false also for a missing line list.
  bool UploadThenReadAnswer(int32_t timeoutMs, const char* okPrefix);

  std::unique_ptr<SerialChannel> channel_;
  std::string com_;
  int32_t speed_ = 9600;
  TzembGet onGetChar_;
  TZEMBPage onFlash_;
  int32_t offsetAdr_ = 0;
  std::string defaultRT_ = "08";
  // Time spent in XOFF waits since the last byte an upload wrote, ms.
  int32_t heldMs_ = 0;
  // Bytes received since the current upload line began.
  size_t lineBytesIn_ = 0;
};

}  // namespace zemb
