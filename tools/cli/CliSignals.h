// Termination signals during a command: caught, so that the operation ends by the silent
// abort and the port is released before the program exits with 128 + the signal.
#pragma once

#include <memory>
#include <string>

#include "ForwardingChannel.h"

namespace zemb::cli {

// Catches SIGTERM, SIGINT and SIGHUP (SIGINT and SIGTERM on Windows) while it exists, and
// puts the previous handlers back when it goes. A signal that was ignored when it came is
// left ignored.
class SignalCatcher {
 public:
  SignalCatcher();
  ~SignalCatcher();
  SignalCatcher(const SignalCatcher&) = delete;
  SignalCatcher& operator=(const SignalCatcher&) = delete;

  // The first signal caught since construction, or 0.
  static int Caught();
};

// "SIGTERM" and the like.
std::string SignalName(int signal);

// Wraps a channel so that a caught signal ends the operation within a tenth of a second:
// long reads are cut into short slices, and every call raises the silent abort once a
// signal has arrived.
class InterruptibleChannel : public SlicedChannel {
 public:
  static constexpr uint32_t kSliceMs = 100;

  explicit InterruptibleChannel(std::unique_ptr<SerialChannel> inner)
      : SlicedChannel(std::move(inner), kSliceMs) {}

 protected:
  void Between() override;
};

}  // namespace zemb::cli
