#include "ForwardingChannel.h"

#include <algorithm>

namespace zemb {

bool SlicedChannel::Open(const std::string& name) {
  Between();
  return ForwardingChannel::Open(name);
}

void SlicedChannel::SetTimeouts(const CommTimeouts& timeouts) {
  requested_ = timeouts;
  ForwardingChannel::SetTimeouts(timeouts);
}

bool SlicedChannel::ReadByte(uint8_t& byte) {
  Between();
  // Only a plain total timeout longer than a slice is cut; every other setting (return at
  // once, or no timeout at all) goes to the wrapped channel as it is.
  const uint32_t total = requested_.ReadTotalTimeoutConstant;
  if (requested_.ReadTotalTimeoutMultiplier != 0 || total <= sliceMs_) {
    return ForwardingChannel::ReadByte(byte);
  }
  SerialChannel& inner = Inner();
  CommTimeouts slice = requested_;
  slice.ReadIntervalTimeout = 0;
  bool got = false;
  for (uint32_t remaining = total; remaining > 0 && !got;) {
    const uint32_t wait = std::min(remaining, sliceMs_);
    slice.ReadTotalTimeoutConstant = wait;
    inner.SetTimeouts(slice);
    got = inner.ReadByte(byte);
    remaining -= wait;
    // A port closed by a hang-up answers at once: no use waiting out the rest.
    if (got || !inner.IsOpen()) break;
    try {
      Between();
    } catch (...) {
      inner.SetTimeouts(requested_);
      throw;
    }
  }
  inner.SetTimeouts(requested_);
  return got;
}

int SlicedChannel::WriteByte(uint8_t byte) {
  Between();
  return ForwardingChannel::WriteByte(byte);
}

void SlicedChannel::Sleep(uint32_t ms) {
  Between();
  ForwardingChannel::Sleep(ms);
}

}  // namespace zemb
