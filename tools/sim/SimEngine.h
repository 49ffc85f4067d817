// The simulated ROM writer as a pure engine: bytes from the host go in with the time they
// arrived, bytes for the host come out when they are due. It knows no file descriptors and
// no real clock, so tests drive it on a virtual clock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace zemb::sim {

// Times are microseconds on the caller's clock.
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

constexpr int kChipTypeCount = 0x13;  // codes 00 to 12

// Bytes of chip memory for a type code, 0 for an unknown code.
size_t ChipSize(int code);
// Part family shown in the "RT OK" answer.
const char* ChipFamily(int code);

struct SimOptions {
  bool silent = false;                // never send anything
  int64_t delayMs = 0;                // before every answer line
  bool rejectType = false;            // answer every "RT " with an error
  bool lf = false;                    // LF after every CR
  int blankBeforeOk = 0;              // empty lines between the last record and "RR OK"
  int64_t burnMs = 1;                 // per programmed record; 0 sends no XOFF
  int64_t burnUsPerByte = 0;          // added to a record's burn for each byte it programs
  int64_t holdXoffMs = 0;             // first burn of an upload holds XOFF this long
  int64_t readPauseMs = 0;            // pause inside the read data ...
  int64_t readPauseAt = 10;           // ... after this many records
  int64_t disconnectAfterLines = -1;  // negative: never
  int64_t baud = 0;                   // 0: unpaced
  int startType = 0x08;
  // Weak cells: each read brings back another value there (the memory keeps its own).
  std::vector<uint32_t> unstable;
};

class SimEngine {
 public:
  // An upload that stays silent this long, counted while the simulator is not holding the
  // host with XOFF, is taken as complete.
  static constexpr int64_t kUploadIdleUs = 500'000;
  // While it holds the host this long, XOFF is sent again: a pseudo-terminal host may have
  // run far ahead before the first XOFF reached it, and would take a hold longer than its
  // own limit per XOFF for a device that has gone away.
  static constexpr int64_t kXoffRenewUs = 1'000'000;

  explicit SimEngine(const SimOptions& options);

  // Bytes that arrived from the host at nowUs (not earlier than any time passed before).
  void Receive(std::string_view bytes, int64_t nowUs);
  // Runs everything due up to nowUs.
  void Advance(int64_t nowUs);
  // Advances to nowUs and returns the bytes whose send time has come.
  std::string TakeOutput(int64_t nowUs);
  // The earliest time at which Advance or TakeOutput has something to do, or kNever.
  int64_t NextWakeUs() const;

  bool OutputPending() const { return !out_.empty() || !flowBytes_.empty(); }
  // The line was dropped (--disconnect-after-lines); the engine does nothing more.
  bool Disconnected() const { return disconnected_; }
  // ROM operations (RB, RR, RC, RP, RW) whose final answer has been queued.
  int OperationsAnswered() const { return operationsAnswered_; }

  int CurrentType() const { return currentType_; }
  // The memory of a chip type, created erased on first use; code must be known.
  std::vector<uint8_t>& Memory(int code);

 private:
  enum class Mode { Command, Upload };

  struct OutSegment {
    std::string bytes;
    size_t sent = 0;
    int64_t anchorUs = 0;  // byte i goes out at anchor + (slot + i) byte times
    int64_t slot = 0;
  };
  struct InChunk {
    int64_t arrivalUs = 0;
    std::string bytes;
    size_t consumed = 0;
  };

  int64_t ByteTime(int64_t anchorUs, int64_t slot) const;
  int64_t SegmentByteTime(const OutSegment& segment, size_t index) const;
  // When the line is free for the next output byte.
  int64_t OutputFreeUs() const;
  // Queues bytes to go out no earlier than earliestUs; returns when the first one goes.
  int64_t Enqueue(std::string bytes, int64_t earliestUs);
  // An answer line: waits for --delay-ms after the previous output.
  void SendAnswer(const std::string& text);
  // A line sent after extraGapUs past the previous output (no --delay-ms).
  void SendLine(const std::string& text, int64_t extraGapUs);

  int64_t NextConsumeUs() const;
  int64_t NextInternalEventUs() const;
  void ConsumeOneByte();
  void UpdateFlowControl();
  void StartBurn(int64_t durationUs);
  void ReleaseHoldIfFree();

  void HandleLine(const std::string& line);
  void HandleCommandLine(std::string_view line);
  void HandleUploadLine(std::string_view line);
  void FinishUpload(const std::string& answer);
  void AbortUpload(const std::string& reason);
  void Execute(char op, std::string_view args);
  void ExecuteRead(uint32_t start, uint32_t end);

  SimOptions options_;
  int64_t nowUs_ = 0;

  std::array<std::vector<uint8_t>, kChipTypeCount> memories_;
  int currentType_;

  std::deque<OutSegment> out_;
  // XOFF/XON for input pacing go out ahead of the paced output: a pseudo-terminal host is
  // not slowed by the line rate, so a pacing byte that waited its slot would arrive after
  // the host had sent hundreds of bytes more.
  std::string flowBytes_;
  int64_t outAnchorUs_ = std::numeric_limits<int64_t>::min() / 4;
  int64_t outSlot_ = 0;
  int64_t lastOutUs_ = std::numeric_limits<int64_t>::min() / 4;

  std::deque<InChunk> in_;
  size_t backlog_ = 0;
  // End-of-file records received but not yet taken. A pseudo-terminal host is not held to
  // the line rate and may be far ahead when it has sent its last line; it then waits for
  // the answer with a 100 ms gap allowed between bytes, so once the end of an image is in
  // hand the rest is taken at once and no more pacing bytes are sent.
  int eofInBacklog_ = 0;
  std::string receivedTail_;
  int64_t inAnchorUs_ = std::numeric_limits<int64_t>::min() / 4;
  int64_t inSlot_ = 0;
  size_t lowWater_ = 0;
  size_t highWater_ = 0;
  int64_t lastInputUs_ = 0;

  bool xoffSent_ = false;
  int64_t xoffAtUs_ = 0;       // when the XOFF in force went out
  int64_t xonAtUs_ = 0;        // when the host was last released
  bool faultHold_ = false;     // the --hold-xoff-ms burn: no renewed XOFF
  bool heldForFault_ = false;  // the XOFF in force was sent for that burn
  bool flowHold_ = false;
  bool burning_ = false;
  int64_t burnEndUs_ = 0;

  std::string line_;
  bool lastWasCr_ = false;
  bool lineOverflow_ = false;

  Mode mode_ = Mode::Command;
  char uploadOp_ = 0;
  uint32_t uploadStart_ = 0;
  uint32_t uploadEnd_ = 0;
  uint64_t uploadBase_ = 0;
  bool firstBurn_ = true;
  int64_t uploadLines_ = 0;
  int64_t uploadStartedUs_ = 0;

  bool disconnected_ = false;
  int operationsAnswered_ = 0;
  // Reads served so far; it varies what the unstable cells return.
  uint32_t readsServed_ = 0;
};

}  // namespace zemb::sim
