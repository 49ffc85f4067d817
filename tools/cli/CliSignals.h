// Termination signals during a command: caught, so that the operation ends by the silent
// abort and the port is released before the program exits with 128 + the signal.
#pragma once

#include <memory>
#include <string>

#include "SerialChannel.h"

namespace zemb::cli {

// Catches SIGTERM, SIGINT and SIGHUP (SIGINT and SIGTERM on Windows) while it exists, and
// puts the previous handlers back when it goes.
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
class InterruptibleChannel : public SerialChannel {
 public:
  static constexpr uint32_t kSliceMs = 100;

  explicit InterruptibleChannel(std::unique_ptr<SerialChannel> inner) : inner_(std::move(inner)) {}

  bool Open(const std::string& name) override;
  bool IsOpen() const override { return inner_->IsOpen(); }
  void Close() override { inner_->Close(); }
  void SetTimeouts(const CommTimeouts& timeouts) override;
  bool Configure(int32_t baud) override { return inner_->Configure(baud); }
  void RaiseDtrRts() override { inner_->RaiseDtrRts(); }
  bool ReadByte(uint8_t& byte) override;
  int WriteByte(uint8_t byte) override;
  void Sleep(uint32_t ms) override;
  SerialFault LastFault() const override { return inner_->LastFault(); }
  std::string LastError() const override { return inner_->LastError(); }

 private:
  static void ThrowIfCaught();

  std::unique_ptr<SerialChannel> inner_;
  CommTimeouts requested_;
};

}  // namespace zemb::cli
