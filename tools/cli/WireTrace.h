// A serial channel wrapped so that the command line can tell what really went over the
// wire: the device's last line always, and with -v a time-stamped transcript of every byte.
#pragma once

#include <chrono>
#include <iosfwd>
#include <memory>
#include <string>

#include "ForwardingChannel.h"
#include "WireTranscript.h"

namespace zemb::cli {

class WatchedChannel : public ForwardingChannel {
 public:
  // Longer device lines are cut: only their start matters for a message.
  static constexpr size_t kMaxLineKept = 512;

  // trace: where the transcript goes, or null for none.
  WatchedChannel(std::unique_ptr<SerialChannel> inner, std::ostream* trace);
  ~WatchedChannel() override;

  bool ReadByte(uint8_t& byte) override;
  int WriteByte(uint8_t byte) override;

  // The last line the device sent, control bytes removed as the component removes them;
  // a line still open counts once it holds anything.
  std::string LastDeviceLine() const;
  // True once a byte went out: before that the device was never addressed.
  bool SentAnything() const { return sentAnything_; }
  // Writes the transcript entries of partial lines.
  void FlushTrace();

 private:
  void Trace(char direction, uint8_t byte);

  std::ostream* trace_;
  TranscriptFormatter formatter_{false};
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::string lastLine_;
  std::string openLine_;
  bool sentAnything_ = false;
};

}  // namespace zemb::cli
