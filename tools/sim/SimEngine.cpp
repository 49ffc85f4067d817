#include "SimEngine.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "ChipImage.h"
#include "Convert.h"

namespace zemb::sim {
namespace {

constexpr char kXoff = 0x13;
constexpr char kEofRecord[] = ":00000001FF";
constexpr char kXon = 0x11;
// Longest line kept: an Intel HEX record is at most 521 characters.
constexpr size_t kMaxLine = 1024;

bool IsOperationLetter(char c) {
  return c == 'A' || c == 'T' || c == 'B' || c == 'R' || c == 'C' || c == 'P' || c == 'W';
}

bool IsCommandAt(std::string_view line, size_t pos) {
  return pos + 2 <= line.size() && line[pos] == 'R' && IsOperationLetter(line[pos + 1]) &&
         (pos + 2 == line.size() || line[pos + 2] == ' ');
}

// A line that does not begin with a command may carry one at its end: after an aborted
// upload the host's next command follows the part of a record it had sent.
size_t FindCommand(std::string_view line) {
  if (IsCommandAt(line, 0)) return 0;
  for (size_t pos = line.size(); pos-- > 0;) {
    if (IsCommandAt(line, pos)) return pos;
  }
  return std::string_view::npos;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Up to eight hex digits; advances text past them.
bool ParseHex(std::string_view& text, uint32_t& value) {
  size_t digits = 0;
  uint32_t result = 0;
  while (digits < text.size()) {
    const int d = HexDigitValue(text[digits]);
    if (d < 0) break;
    if (digits == 8) return false;
    result = result << 4 | static_cast<uint32_t>(d);
    ++digits;
  }
  if (digits == 0) return false;
  text.remove_prefix(digits);
  value = result;
  return true;
}

// "start,end" with an optional "+offset" behind it (the offset is accepted and unused).
bool ParseRange(std::string_view args, uint32_t& start, uint32_t& end) {
  args = Trim(args);
  if (!ParseHex(args, start) || args.empty() || args.front() != ',') return false;
  args.remove_prefix(1);
  if (!ParseHex(args, end)) return false;
  if (args.empty()) return true;
  if (args.front() != '+') return false;
  args.remove_prefix(1);
  uint32_t offset = 0;
  return ParseHex(args, offset) && args.empty();
}

std::string Hex5(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%05llX", static_cast<unsigned long long>(value));
  return text;
}

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

}  // namespace

size_t ChipSize(int code) {
  if (code == 0x00) return 4 * 1024;
  if (code >= 0x01 && code <= 0x03) return 8 * 1024;
  if (code >= 0x04 && code <= 0x06) return 16 * 1024;
  if (code >= 0x07 && code <= 0x08) return 32 * 1024;
  if (code == 0x09) return 64 * 1024;
  if (code >= 0x0A && code <= 0x12) return 128 * 1024;
  return 0;
}

const char* ChipFamily(int code) {
  if (code == 0x00) return "2732A";
  if (code >= 0x01 && code <= 0x03) return "2764";
  if (code >= 0x04 && code <= 0x06) return "27128";
  if (code >= 0x07 && code <= 0x08) return "27256";
  if (code == 0x09) return "27512";
  if (code >= 0x0A && code <= 0x0F) return "1Mbit";
  if (code >= 0x10 && code <= 0x12) return "1024";
  return "";
}

SimEngine::SimEngine(const SimOptions& options)
    : options_(options), currentType_(options.startType) {
  if (ChipSize(currentType_) == 0) throw std::invalid_argument("unknown chip type");
  // Flow control keeps the host within about 20 ms of line time ahead of the device, so a
  // paced line stays a line and the host's own timeouts behave as on real hardware.
  const size_t perSlice = options_.baud > 0 ? static_cast<size_t>(options_.baud / 500) : 0;
  lowWater_ = std::max<size_t>(16, perSlice);
  highWater_ = lowWater_ + std::max<size_t>(32, perSlice);
}

std::vector<uint8_t>& SimEngine::Memory(int code) {
  const size_t size = ChipSize(code);
  if (size == 0) throw std::out_of_range("unknown chip type");
  std::vector<uint8_t>& memory = memories_[static_cast<size_t>(code)];
  if (memory.empty()) memory.assign(size, 0xFF);
  return memory;
}

int64_t SimEngine::ByteTime(int64_t anchorUs, int64_t slot) const {
  // From the anchor, not from the previous byte, so rounding never accumulates.
  return anchorUs + slot * 10'000'000 / options_.baud;
}

int64_t SimEngine::SegmentByteTime(const OutSegment& segment, size_t index) const {
  if (options_.baud <= 0) return segment.anchorUs;
  return ByteTime(segment.anchorUs, segment.slot + static_cast<int64_t>(index));
}

int64_t SimEngine::OutputFreeUs() const {
  return options_.baud > 0 ? ByteTime(outAnchorUs_, outSlot_) : lastOutUs_;
}

int64_t SimEngine::Enqueue(std::string bytes, int64_t earliestUs) {
  if (options_.silent || bytes.empty()) return earliestUs;
  OutSegment segment;
  int64_t first;
  if (options_.baud > 0) {
    if (earliestUs > ByteTime(outAnchorUs_, outSlot_)) {
      outAnchorUs_ = earliestUs;
      outSlot_ = 0;
    }
    segment.anchorUs = outAnchorUs_;
    segment.slot = outSlot_;
    first = ByteTime(outAnchorUs_, outSlot_);
    outSlot_ += static_cast<int64_t>(bytes.size());
  } else {
    first = std::max(earliestUs, lastOutUs_);
    segment.anchorUs = first;
    lastOutUs_ = first;
  }
  segment.bytes = std::move(bytes);
  out_.push_back(std::move(segment));
  return first;
}

void SimEngine::SendLine(const std::string& text, int64_t extraGapUs) {
  std::string bytes = text + '\r';
  if (options_.lf) bytes += '\n';
  Enqueue(std::move(bytes), std::max(nowUs_, OutputFreeUs()) + extraGapUs);
}

void SimEngine::SendAnswer(const std::string& text) {
  SendLine(text, options_.delayMs * 1000);
}

void SimEngine::Receive(std::string_view bytes, int64_t nowUs) {
  Advance(nowUs);
  if (disconnected_ || bytes.empty()) return;
  in_.push_back(InChunk{nowUs, std::string(bytes), 0});
  backlog_ += bytes.size();
  // Look for end-of-file records, also across chunk boundaries.
  std::string window = receivedTail_ + std::string(bytes);
  for (size_t at = window.find(kEofRecord); at != std::string::npos;
       at = window.find(kEofRecord, at + 1)) {
    if (at + sizeof(kEofRecord) - 1 > receivedTail_.size()) ++eofInBacklog_;
  }
  const size_t keep = sizeof(kEofRecord) - 2;
  receivedTail_ = window.size() > keep ? window.substr(window.size() - keep) : window;
  // The host is reading the answer now and allows 100 ms between its bytes: a burn in
  // progress ends here, and the records still in hand are taken without burn time.
  if (eofInBacklog_ > 0 && burning_ && !faultHold_) burnEndUs_ = std::min(burnEndUs_, nowUs);
  if (eofInBacklog_ > 0 && flowHold_) {
    flowHold_ = false;
    ReleaseHoldIfFree();
  }
  UpdateFlowControl();
  Advance(nowUs);
}

int64_t SimEngine::NextConsumeUs() const {
  if (in_.empty()) return kNever;
  int64_t ready = in_.front().arrivalUs;
  if (burning_) ready = std::max(ready, burnEndUs_);
  if (options_.baud > 0 && eofInBacklog_ == 0)
    ready = std::max(ready, ByteTime(inAnchorUs_, inSlot_));
  return ready;
}

int64_t SimEngine::NextInternalEventUs() const {
  if (disconnected_) return kNever;
  int64_t next = NextConsumeUs();
  if (burning_) next = std::min(next, burnEndUs_);
  // The host is silent because it is held: that is no end of the upload.
  if (mode_ == Mode::Upload && in_.empty() && !burning_ && !xoffSent_) {
    const int64_t quiet = std::max({lastInputUs_, OutputFreeUs(), uploadStartedUs_, xonAtUs_});
    next = std::min(next, quiet + kUploadIdleUs);
  }
  if (xoffSent_ && !faultHold_ && eofInBacklog_ == 0) {
    next = std::min(next, xoffAtUs_ + kXoffRenewUs);
  }
  return next;
}

int64_t SimEngine::NextWakeUs() const {
  int64_t next = NextInternalEventUs();
  if (!flowBytes_.empty()) return 0;
  if (!out_.empty()) {
    const OutSegment& front = out_.front();
    next = std::min(next, SegmentByteTime(front, front.sent));
  }
  return next;
}

void SimEngine::Advance(int64_t nowUs) {
  while (!disconnected_) {
    const int64_t event = NextInternalEventUs();
    if (event > nowUs) break;
    nowUs_ = std::max(nowUs_, event);
    if (burning_ && burnEndUs_ <= event) {
      burning_ = false;
      faultHold_ = false;
      // The host was held during the burn, so the line carried nothing meanwhile: input
      // goes on at the line rate from the burn's end.
      if (options_.baud > 0 && ByteTime(inAnchorUs_, inSlot_) < burnEndUs_) {
        inAnchorUs_ = burnEndUs_;
        inSlot_ = 0;
      }
      // A host that has sent its last line is reading the answer: a late XON would be
      // taken for its first character.
      if (eofInBacklog_ > 0 && !heldForFault_ && !flowHold_) xoffSent_ = false;
      ReleaseHoldIfFree();
    } else if (xoffSent_ && !faultHold_ && eofInBacklog_ == 0 &&
               xoffAtUs_ + kXoffRenewUs <= event) {
      flowBytes_ += kXoff;
      xoffAtUs_ = event;
    } else if (!in_.empty() && NextConsumeUs() <= event) {
      ConsumeOneByte();
    } else if (mode_ == Mode::Upload) {
      // The upload went quiet: take it as complete unless a record was cut off.
      if (line_.empty()) {
        FinishUpload(std::string("R") + uploadOp_ + " OK");
      } else {
        line_.clear();
        FinishUpload(std::string("R") + uploadOp_ + " NG incomplete line");
      }
    } else {
      break;
    }
  }
  nowUs_ = std::max(nowUs_, nowUs);
}

std::string SimEngine::TakeOutput(int64_t nowUs) {
  Advance(nowUs);
  std::string due;
  due.swap(flowBytes_);
  while (!out_.empty()) {
    OutSegment& front = out_.front();
    while (front.sent < front.bytes.size() && SegmentByteTime(front, front.sent) <= nowUs) {
      due += front.bytes[front.sent++];
    }
    if (front.sent < front.bytes.size()) break;
    out_.pop_front();
  }
  return due;
}

void SimEngine::ConsumeOneByte() {
  const int64_t at = NextConsumeUs();
  if (options_.baud > 0 && eofInBacklog_ > 0) {
    // Taken at once: the line owes no time for it, so the next command is heard at once.
    inAnchorUs_ = at;
    inSlot_ = 0;
  } else if (options_.baud > 0) {
    if (at > ByteTime(inAnchorUs_, inSlot_)) {
      inAnchorUs_ = at;
      inSlot_ = 0;
    }
    ++inSlot_;
  }
  InChunk& chunk = in_.front();
  const char c = chunk.bytes[chunk.consumed++];
  if (chunk.consumed == chunk.bytes.size()) in_.pop_front();
  --backlog_;
  lastInputUs_ = at;
  UpdateFlowControl();

  if (c == '\r' || c == '\n') {
    // CR LF ends one line, not two.
    const bool pairedLf = c == '\n' && lastWasCr_;
    lastWasCr_ = c == '\r';
    if (pairedLf) return;
    std::string line;
    line.swap(line_);
    const bool overflow = lineOverflow_;
    lineOverflow_ = false;
    if (overflow && mode_ == Mode::Upload) {
      AbortUpload("NG line too long");
      return;
    }
    if (line == kEofRecord && eofInBacklog_ > 0) --eofInBacklog_;
    HandleLine(line);
    return;
  }
  lastWasCr_ = false;
  line_ += c;
  if (line_.size() > kMaxLine) {
    // Keep the tail: in command mode a command may still follow the garbage.
    line_.erase(0, line_.size() - kMaxLine / 2);
    lineOverflow_ = true;
  }
}

void SimEngine::UpdateFlowControl() {
  // Unpaced, every byte is taken at once; only a burn holds input, and it sends XOFF itself.
  if (options_.silent || options_.baud <= 0 || eofInBacklog_ > 0) return;
  if (!flowHold_ && backlog_ > highWater_) {
    flowHold_ = true;
    if (!xoffSent_) {
      flowBytes_ += kXoff;
      xoffSent_ = true;
      xoffAtUs_ = nowUs_;
      heldForFault_ = false;
    }
  } else if (flowHold_ && backlog_ <= lowWater_) {
    flowHold_ = false;
    ReleaseHoldIfFree();
  }
}

void SimEngine::StartBurn(int64_t durationUs) {
  if (durationUs <= 0) return;
  int64_t from = nowUs_;
  // Once the host has sent its last line it is reading the answer, where a pacing byte
  // would be taken for the answer's first character; the held-XOFF fault still holds.
  if (!options_.silent && !xoffSent_ && (eofInBacklog_ == 0 || faultHold_)) {
    if (options_.baud > 0) {
      // At once, like the XON that ends the burn: a queued XOFF could go out after that XON
      // when both fall into one wake-up, and the host would then wait for ever.
      flowBytes_ += kXoff;
    } else {
      from = Enqueue(std::string(1, kXoff), nowUs_);
    }
    xoffSent_ = true;
    xoffAtUs_ = from;
    heldForFault_ = faultHold_;
  }
  burning_ = true;
  burnEndUs_ = from + durationUs;
}

void SimEngine::ReleaseHoldIfFree() {
  if (xoffSent_ && !flowHold_ && !burning_) {
    if (options_.baud > 0) {
      flowBytes_ += kXon;
      xonAtUs_ = nowUs_;
    } else {
      xonAtUs_ = Enqueue(std::string(1, kXon), nowUs_);
    }
    xoffSent_ = false;
    heldForFault_ = false;
  }
}

void SimEngine::HandleLine(const std::string& line) {
  if (mode_ == Mode::Upload) {
    ++uploadLines_;
    HandleUploadLine(line);
    if (options_.disconnectAfterLines >= 0 && uploadLines_ >= options_.disconnectAfterLines) {
      disconnected_ = true;
      out_.clear();
    }
    return;
  }
  HandleCommandLine(line);
}

void SimEngine::HandleCommandLine(std::string_view line) {
  // Anything else (image lines after an aborted upload, noise) is dropped.
  const size_t pos = FindCommand(line);
  if (pos == std::string_view::npos) return;
  const std::string_view command = line.substr(pos);
  Execute(command[1], command.size() > 2 ? command.substr(3) : std::string_view());
}

void SimEngine::Execute(char op, std::string_view args) {
  const std::string prefix = std::string("R") + op + " ";
  if (op == 'A') {
    SendAnswer("RA zembromw-sim");
    return;
  }
  if (op == 'T') {
    args = Trim(args);
    uint32_t code = 0;
    std::string_view digits = args;
    if (options_.rejectType) {
      SendAnswer("RT NG rejected");
    } else if (args.empty() || args.size() > 2 || !ParseHex(digits, code) || !digits.empty()) {
      SendAnswer("RT NG syntax");
    } else if (ChipSize(static_cast<int>(code)) == 0) {
      SendAnswer("RT NG unknown type");
    } else {
      currentType_ = static_cast<int>(code);
      SendAnswer("RT OK " + Hex2(code) + " " + ChipFamily(currentType_));
    }
    return;
  }

  uint32_t start = 0;
  uint32_t end = 0;
  std::string error;
  if (!ParseRange(args, start, end)) {
    error = "NG syntax";
  } else if (start > end || end >= Memory(currentType_).size()) {
    error = "NG range";
  }
  const std::vector<uint8_t>& memory = Memory(currentType_);
  auto firstUnblank = [&]() -> int64_t {
    for (uint64_t a = start; a <= end; ++a) {
      if (memory[a] != 0xFF) return static_cast<int64_t>(a);
    }
    return -1;
  };

  switch (op) {
    case 'B': {
      if (error.empty()) {
        const int64_t at = firstUnblank();
        SendAnswer(at < 0 ? "RB OK" : "RB NG " + Hex5(static_cast<uint64_t>(at)));
      } else {
        SendAnswer(prefix + error);
      }
      ++operationsAnswered_;
      return;
    }
    case 'R':
      if (error.empty()) {
        ExecuteRead(start, end);
      } else {
        SendAnswer(prefix + error);
      }
      ++operationsAnswered_;
      return;
    case 'C':
    case 'P':
    case 'W':
      break;
    default:
      return;
  }

  if (op == 'P') {
    // The host judges the first answer by the blank check and shows the line after it.
    if (!error.empty()) {
      SendAnswer("RB " + error);
      SendAnswer(prefix + error);
      ++operationsAnswered_;
      return;
    }
    const int64_t at = firstUnblank();
    if (at >= 0) {
      SendAnswer("RB NG " + Hex5(static_cast<uint64_t>(at)));
      SendAnswer("RP NG not blank");
      ++operationsAnswered_;
      return;
    }
    SendAnswer("RB OK");
  } else if (!error.empty()) {
    SendAnswer(prefix + error);
    ++operationsAnswered_;
    return;
  }
  mode_ = Mode::Upload;
  uploadOp_ = op;
  uploadStart_ = start;
  uploadEnd_ = end;
  uploadBase_ = 0;
  firstBurn_ = true;
  uploadLines_ = 0;
  uploadStartedUs_ = nowUs_;
  if (options_.disconnectAfterLines == 0) {
    disconnected_ = true;
    out_.clear();
  }
}

void SimEngine::ExecuteRead(uint32_t start, uint32_t end) {
  // Only the range is taken from the chip; the weak cells in it are changed in that copy.
  const std::vector<uint8_t>& memory = Memory(currentType_);
  SparseImage image = RangeImage(memory, start, end);
  // A mask that changes from read to read (1 to 255, never 0) makes every read of a weak
  // cell differ from the one before it, and any nine reads differ from each other.
  const auto mask = static_cast<uint8_t>(readsServed_ % 255 + 1);
  ++readsServed_;
  for (uint32_t address : options_.unstable) {
    if (address >= start && address <= end) image.Set(address, memory[address] ^ mask);
  }
  std::vector<std::string> records = EncodeIntelHexRecords(image);
  records.emplace_back(kHexEofRecord);
  for (size_t i = 0; i < records.size(); ++i) {
    int64_t gapUs = i == 0 ? options_.delayMs * 1000 : 0;
    if (options_.readPauseMs > 0 && static_cast<int64_t>(i) == options_.readPauseAt) {
      gapUs += options_.readPauseMs * 1000;
    }
    SendLine(records[i], gapUs);
  }
  for (int i = 0; i < options_.blankBeforeOk; ++i) SendLine(std::string(), 0);
  SendAnswer("RR OK");
}

void SimEngine::HandleUploadLine(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == ';') return;
  const std::string prefix = std::string("R") + uploadOp_ + " ";
  HexRecord record;
  const HexParseResult parsed = ParseHexRecord(line, record);
  if (parsed != HexParseResult::Ok) {
    // A command instead of a record: the host gave up on this upload without an error
    // letter and has moved on.
    if (FindCommand(line) != std::string_view::npos) {
      mode_ = Mode::Command;
      HandleCommandLine(line);
      return;
    }
    AbortUpload(parsed == HexParseResult::Checksum ? "NG checksum" : "NG syntax");
    return;
  }

  switch (record.type) {
    case kHexData:
      break;
    case kHexEndOfFile:
      FinishUpload(prefix + "OK");
      return;
    case kHexExtendedSegment:
    case kHexExtendedLinear:
      if (record.data.size() != 2) {
        AbortUpload("NG syntax");
        return;
      }
      uploadBase_ = static_cast<uint64_t>(record.data[0] << 8 | record.data[1])
                    << (record.type == kHexExtendedLinear ? 16 : 4);
      return;
    case kHexStartSegment:
    case kHexStartLinear:
      return;
    default:
      AbortUpload("NG record type " + Hex2(record.type));
      return;
  }

  // Bytes outside the command's range are not part of this operation.
  std::vector<uint8_t>& memory = Memory(currentType_);
  bool touched = false;
  for (size_t i = 0; i < record.data.size(); ++i) {
    const uint64_t address = uploadBase_ + record.address + i;
    if (address < uploadStart_ || address > uploadEnd_) continue;
    const uint8_t want = record.data[i];
    const uint8_t have = memory[address];
    if (uploadOp_ == 'C' ? have != want : (have & want) != want) {
      // A programmed 0 cannot be made 1 again without erasing.
      AbortUpload("NG " + Hex5(address) + " " + Hex2(have) + " " + Hex2(want));
      return;
    }
    touched = true;
  }
  if (uploadOp_ == 'C' || !touched) return;
  int64_t programmed = 0;
  for (size_t i = 0; i < record.data.size(); ++i) {
    const uint64_t address = uploadBase_ + record.address + i;
    if (address >= uploadStart_ && address <= uploadEnd_) {
      memory[address] = record.data[i];
      ++programmed;
    }
  }
  faultHold_ = firstBurn_ && options_.holdXoffMs > 0;
  int64_t burnUs = options_.burnMs * 1000 + options_.burnUsPerByte * programmed;
  if (faultHold_) {
    burnUs = options_.holdXoffMs * 1000;
  } else if (eofInBacklog_ > 0) {
    burnUs = 0;
  }
  firstBurn_ = false;
  StartBurn(burnUs);
}

void SimEngine::FinishUpload(const std::string& answer) {
  mode_ = Mode::Command;
  SendAnswer(answer);
  ++operationsAnswered_;
}

void SimEngine::AbortUpload(const std::string& reason) {
  // The rest of the upload arrives in command mode, where image lines are dropped.
  FinishUpload(std::string("R") + uploadOp_ + " " + reason);
}

}  // namespace zemb::sim
