#include "uZEMB.h"

#include "Convert.h"

namespace zemb {

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kXOFF = 0x13;
constexpr int kXoffPollMs = 10;
constexpr int kXoffMaxPasses = 500;
// A device that never stops sending would keep the drain before a command busy for ever;
// past this many bytes the command goes out regardless.
constexpr size_t kMaxDrainBytes = 16 * TzembROMWT::kMaxLineLength;

bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

bool IsErrorLetter(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x41 && b <= 0x7A;
}

std::string RangeArgs(int32_t start, int32_t end, int digits) {
  return IntToHex(start, digits) + "," + IntToHex(end, digits);
}

std::string RangeCommand(const char* letters, int32_t start, int32_t end) {
  return std::string(letters) + " " + RangeArgs(start, end, 5) + "+00000";
}

// Bytes between start and end, either way round (the addresses go out unchanged).
uint64_t RangeBytes(int32_t start, int32_t end) {
  const auto a = static_cast<uint32_t>(start);
  const auto b = static_cast<uint32_t>(end);
  return static_cast<uint64_t>(a > b ? a - b : b - a) + 1;
}

}  // namespace

std::string StripControlChars(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 32) out += c;
  }
  return out;
}

TzembROMWT::TzembROMWT(TComponent* owner, std::unique_ptr<SerialChannel> channel)
    : TComponent(owner), channel_(std::move(channel)) {
  if (!channel_) channel_ = CreatePlatformSerialChannel();
  Setcom("COM1");
}

void TzembROMWT::Setcom(const std::string& value) {
  if (value != com_) ClosePort();
  com_ = value;
}

void TzembROMWT::SetSpeed(int32_t value) {
  if (value != speed_) ClosePort();
  speed_ = value;
}

void TzembROMWT::OpenPort() {
  // A port whose line went away since the last command is opened afresh.
  if (channel_->LineAlive()) return;
  // Names that do not fit the 128-character device name buffer are refused like a
  // missing device.
  if (com_.size() > kMaxPortNameLength) return;
  if (!channel_->Open(com_)) return;

  PortTimeouts.ReadIntervalTimeout = CommTimeouts::kMaxDword;
  PortTimeouts.ReadTotalTimeoutMultiplier = 0;
  PortTimeouts.ReadTotalTimeoutConstant = 0;
  PortTimeouts.WriteTotalTimeoutMultiplier = 10;
  PortTimeouts.WriteTotalTimeoutConstant = 10;
  channel_->SetTimeouts(PortTimeouts);

  // A speed the line cannot take leaves the port open but unconfigured, with DTR and RTS
  // untouched, until the port name or speed changes.
  if (!channel_->Configure(speed_)) return;
  PortConfig.Baud = speed_;
  PortConfig.Applied = true;
  channel_->RaiseDtrRts();
}

void TzembROMWT::ClosePort() {
  channel_->Close();
}

void TzembROMWT::SetReadTimeOut(int32_t ms) {
  if (ms > 0) {
    PortTimeouts.ReadIntervalTimeout = 50;
    PortTimeouts.ReadTotalTimeoutMultiplier = 0;
    PortTimeouts.ReadTotalTimeoutConstant = static_cast<uint32_t>(ms);
  } else {
    PortTimeouts.ReadIntervalTimeout = CommTimeouts::kMaxDword;
    PortTimeouts.ReadTotalTimeoutMultiplier = 0;
    PortTimeouts.ReadTotalTimeoutConstant = 0;
  }
  channel_->SetTimeouts(PortTimeouts);
}

bool TzembROMWT::ReadChar(char& c) {
  uint8_t byte = 0;
  if (!channel_->ReadByte(byte)) return false;
  c = static_cast<char>(byte);
  if (byte >= 32) {
    Transcript += c;
  } else {
    Transcript += '#';
    Transcript += IntToHex(byte, 2);
  }
  if (onGetChar_) onGetChar_(this, c);
  return true;
}

std::string TzembROMWT::ReadLine() {
  std::string line;
  char c = 0;
  if (!ReadChar(c)) return line;
  SetReadTimeOut(100);
  for (;;) {
    if (c == kCR) return line;
    line += c;
    // A line without CR is cut here; the rest is read as the next line.
    if (line.size() >= kMaxLineLength) return line;
    if (!ReadChar(c)) return line;
  }
}

void TzembROMWT::WriteChar(char c) {
  if (channel_->WriteByte(static_cast<uint8_t>(c)) != 1) Abort();
}

void TzembROMWT::LogText(const std::string& text) {
  if (Log) Log->Add(text);
}

void TzembROMWT::FlushTranscript() {
  if (!Transcript.empty() && Log) Log->Add(Transcript);
}

void TzembROMWT::SendCommand(const std::string& command) {
  OpenPort();
  SetReadTimeOut(0);
  char c = 0;
  for (size_t drained = 0; drained < kMaxDrainBytes && ReadChar(c); ++drained) {
  }
  SetReadTimeOut(1000);
  for (char ch : command) WriteChar(ch);
  WriteChar(kCR);
  WriteChar(kLF);
}

bool TzembROMWT::Handshake() {
  OpenPort();
  SendCommand("RA");
  return StartsWith(ReadLine(), "RA");
}

bool TzembROMWT::Connect() {
  Connecting = true;
  Status.clear();
  Transcript.clear();
  bool connected = false;
  for (int attempt = 0; attempt < 4 && !connected; ++attempt) connected = Handshake();
  if (!connected) return false;
  if (!TypeSet && !defaultRT_.empty()) SetRomType(defaultRT_);
  Connecting = false;
  return true;
}

std::string TzembROMWT::SetRomType(const std::string& code) {
  std::string result;
  if (!Connecting && !Connect()) return result;
  SendCommand("RT " + code);
  const std::string line = ReadLine();
  Status = line;
  if (StartsWith(line, "RT OK")) {
    TypeSet = true;
    result = line;
  }
  FlushTranscript();
  return result;
}

bool TzembROMWT::ReadUploadChar(char& c) {
  if (!ReadChar(c)) return false;
  if (++lineBytesIn_ > kMaxBytesPerUploadLine) Abort();
  return true;
}

bool TzembROMWT::SendLines() {
  SetReadTimeOut(0);
  try {
    if (!Lines) return false;
    const int count = Lines->Count();
    for (int i = 0; i < count; ++i) {
      const std::string line = Lines->Get(i);
      lineBytesIn_ = 0;
      for (char ch : line) {
        // The hold clock runs from the last byte written.
        heldMs_ = 0;
        char c = 0;
        while (ReadUploadChar(c)) {
          if (c == kXOFF) {
            WaitWhileXoff();
          } else if (IsErrorLetter(c)) {
            Abort();
          }
        }
        WriteChar(ch);
      }
      WriteChar(kCR);
      WriteChar(kLF);
      if (onFlash_) onFlash_(this, i);
      if (!Transcript.empty()) LogText(Transcript);
      Transcript.clear();
    }
    return true;
  } catch (...) {
    // Every way out of an upload, the device's error letter included, is a false result;
    // the caller reads the device's answer next.
    return false;
  }
}

void TzembROMWT::WaitWhileXoff() {
  int passes = 0;
  for (;;) {
    char c = 0;
    if (ReadUploadChar(c)) {
      if (c != kXOFF) return;
      passes = 0;
    }
    channel_->Sleep(kXoffPollMs);
    heldMs_ += kXoffPollMs;
    // A writer that went away while holding the line sends nothing more; no need to wait
    // out the passes.
    if (!channel_->LineAlive()) Abort();
    // A fresh XOFF restarts the pass count, but not the clock of the whole hold.
    if (++passes > kXoffMaxPasses || heldMs_ > kMaxUploadHoldMs) Abort();
  }
}

std::string TzembROMWT::ReadStrippedLine() {
  return StripControlChars(ReadLine());
}

bool TzembROMWT::UploadThenReadAnswer(int32_t timeoutMs, const char* okPrefix) {
  const bool uploaded = SendLines();
  SetReadTimeOut(timeoutMs);
  Status = ReadStrippedLine();
  if (!uploaded) return false;
  if (okPrefix) return StartsWith(Status, okPrefix);
  // The final program answer is judged on its fourth and fifth characters alone.
  return Status.size() >= 5 && Status.compare(3, 2, "OK") == 0;
}

bool TzembROMWT::BlankCheck(int32_t start, int32_t end) {
  if (!Connect()) return false;
  SendCommand("RB " + RangeArgs(start, end, 4));
  SetReadTimeOut(5000);
  Status = ReadStrippedLine();
  FlushTranscript();
  return StartsWith(Status, "RB OK");
}

bool TzembROMWT::ReadRom(int32_t start, int32_t end) {
  // Without a list to fill, the read would have nowhere to put the data: refuse it before
  // anything goes to the device, leaving Status as a failed connection would.
  if (!Lines) {
    Status.clear();
    return false;
  }
  if (!Connect()) return false;
  SendCommand(RangeCommand("RR", start, end));
  std::string s = ReadStrippedLine();
  if (!StartsWith(s, ":")) return false;
  // Every record carries at least one byte of the range, in at most 16 characters per
  // byte; past twice that the device is streaming without end.
  const uint64_t range = RangeBytes(start, end);
  const uint64_t maxRecords = 2 * range + 64;
  const uint64_t maxChars = 32 * range + kMaxLineLength;
  {
    TStringsUpdate update(Lines);
    Lines->Clear();
    uint64_t records = 0;
    uint64_t chars = 0;
    do {
      Lines->Add(s);
      chars += s.size();
      if (++records > maxRecords || chars > maxChars) {
        Status = kReadOverflowStatus;
        return false;
      }
      s = ReadStrippedLine();
    } while (StartsWith(s, ":"));
  }
  if (s.empty()) s = ReadStrippedLine();
  Status = s;
  return StartsWith(s, "RR OK");
}

bool TzembROMWT::CompareRom(int32_t start, int32_t end) {
  if (!Connect()) return false;
  SendCommand(RangeCommand("RC", start, end));
  return UploadThenReadAnswer(5000, "RC OK");
}

bool TzembROMWT::ProgramRom(int32_t start, int32_t end) {
  if (!Connect()) {
    Status = "Program NG";
    return false;
  }
  SendCommand(RangeCommand("RP", start, end));
  SetReadTimeOut(50000);
  const std::string first = ReadStrippedLine();
  if (!StartsWith(first, "RB OK")) {
    Status = ReadStrippedLine();
    return false;
  }
  return UploadThenReadAnswer(20000, nullptr);
}

bool TzembROMWT::WriteRom(int32_t start, int32_t end) {
  if (!Connect()) {
    Status = "Write NG";
    return false;
  }
  SendCommand(RangeCommand("RW", start, end));
  return UploadThenReadAnswer(40000, "RW OK");
}

}  // namespace zemb
