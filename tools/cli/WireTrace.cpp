#include "WireTrace.h"

#include <ostream>

namespace zemb::cli {

WatchedChannel::WatchedChannel(std::unique_ptr<SerialChannel> inner, std::ostream* trace)
    : ForwardingChannel(std::move(inner)), trace_(trace) {}

WatchedChannel::~WatchedChannel() {
  FlushTrace();
}

bool WatchedChannel::ReadByte(uint8_t& byte) {
  if (!ForwardingChannel::ReadByte(byte)) return false;
  Trace('>', byte);
  if (byte == '\r') {
    // The component ends a line at CR and drops the LF some devices send after it.
    if (!openLine_.empty()) lastLine_ = openLine_;
    openLine_.clear();
  } else if (byte >= 0x20 && openLine_.size() < kMaxLineKept) {
    openLine_ += static_cast<char>(byte);
  }
  return true;
}

int WatchedChannel::WriteByte(uint8_t byte) {
  const int written = ForwardingChannel::WriteByte(byte);
  if (written == 1) {
    sentAnything_ = true;
    Trace('<', byte);
  }
  return written;
}

std::string WatchedChannel::LastDeviceLine() const {
  return openLine_.empty() ? lastLine_ : openLine_;
}

void WatchedChannel::Trace(char direction, uint8_t byte) {
  if (trace_ == nullptr) return;
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now() - start_)
                      .count();
  const char c = static_cast<char>(byte);
  const std::string entries = formatter_.Add(direction, std::string_view(&c, 1), us);
  if (!entries.empty()) *trace_ << entries << std::flush;
}

void WatchedChannel::FlushTrace() {
  if (trace_ == nullptr) return;
  const std::string entries = formatter_.Flush();
  if (!entries.empty()) *trace_ << entries << std::flush;
}

}  // namespace zemb::cli
