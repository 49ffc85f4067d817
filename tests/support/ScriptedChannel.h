// A serial channel for tests: the device side is a script on a virtual clock. Nothing
// sleeps; a read that has to wait moves the clock forward instead. Every byte the host
// writes is recorded with its virtual time, and so is every timeout it applies.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "SerialChannel.h"

namespace zemb::test {

class ScriptedChannel : public SerialChannel {
 public:
  struct WrittenByte {
    int64_t timeMs;
    uint8_t byte;
  };
  struct AppliedTimeouts {
    int64_t timeMs;
    CommTimeouts timeouts;
  };

  // --- The device side ---------------------------------------------------------------
  // Bytes that arrive at the absolute virtual time timeMs (in order with earlier bytes).
  void DeliverAt(int64_t timeMs, const std::string& bytes);
  // Bytes that arrive delayMs after the current virtual time.
  void Deliver(const std::string& bytes, int64_t delayMs = 0) { DeliverAt(now_ + delayMs, bytes); }
  // Called after every byte the host writes (the byte is already recorded).
  std::function<void(ScriptedChannel&, uint8_t)> onByte;
  // Called when the host has written a whole line (CR LF); the line comes without them.
  std::function<void(ScriptedChannel&, const std::string&)> onLine;

  // --- Knobs -------------------------------------------------------------------------
  bool openSucceeds = true;
  bool configureSucceeds = true;
  // While set, every write reports 0 bytes (the line is held).
  bool holdWrites = false;
  // Virtual time each written byte takes on the wire.
  double writeByteMs = 0.0;

  // --- What the host did -------------------------------------------------------------
  std::vector<WrittenByte> written;
  std::vector<AppliedTimeouts> timeouts;
  std::vector<std::string> openedNames;
  std::vector<int32_t> configuredBauds;
  int dtrRtsRaised = 0;
  int closeCount = 0;
  std::vector<uint32_t> sleeps;

  std::string WrittenText() const;
  // Lines the host wrote (split at CR LF), for checking command sequences.
  std::vector<std::string> WrittenLines() const;
  int64_t Now() const { return now_; }
  void Advance(int64_t ms) { now_ += ms; }
  // Bytes scheduled but not yet read by the host.
  size_t Pending() const { return incoming_.size(); }
  // The read timeout in force, ms (0 for "return at once").
  uint32_t ReadTimeoutMs() const;

  // --- SerialChannel -----------------------------------------------------------------
  bool Open(const std::string& name) override;
  bool IsOpen() const override { return open_; }
  void Close() override;
  void SetTimeouts(const CommTimeouts& t) override;
  bool Configure(int32_t baud) override;
  void RaiseDtrRts() override { ++dtrRtsRaised; }
  bool ReadByte(uint8_t& byte) override;
  int WriteByte(uint8_t byte) override;
  void Sleep(uint32_t ms) override;

 private:
  struct Incoming {
    int64_t timeMs;
    uint8_t byte;
  };
  std::deque<Incoming> incoming_;
  bool open_ = false;
  CommTimeouts current_;
  int64_t now_ = 0;
  double writeDebtMs_ = 0.0;
  std::string currentLine_;
};

}  // namespace zemb::test
