// Channel wrappers: a channel that passes every call to another one, and one that also
// cuts long reads into slices so that its owner gets control back while a device is silent.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "SerialChannel.h"

namespace zemb {

// Passes every call to the inner channel; wrappers that watch the traffic override what
// they need. The inner channel is owned, or borrowed when given by reference.
class ForwardingChannel : public SerialChannel {
 public:
  explicit ForwardingChannel(std::unique_ptr<SerialChannel> inner)
      : owned_(std::move(inner)), inner_(owned_.get()) {}
  explicit ForwardingChannel(SerialChannel& inner) : inner_(&inner) {}

  SerialChannel& Inner() { return *inner_; }

  bool Open(const std::string& name) override { return inner_->Open(name); }
  bool IsOpen() const override { return inner_->IsOpen(); }
  void Close() override { inner_->Close(); }
  void SetTimeouts(const CommTimeouts& timeouts) override { inner_->SetTimeouts(timeouts); }
  bool Configure(int32_t baud) override { return inner_->Configure(baud); }
  void RaiseDtrRts() override { inner_->RaiseDtrRts(); }
  bool ReadByte(uint8_t& byte) override { return inner_->ReadByte(byte); }
  int WriteByte(uint8_t byte) override { return inner_->WriteByte(byte); }
  void Sleep(uint32_t ms) override { inner_->Sleep(ms); }
  bool LineAlive() override { return inner_->LineAlive(); }
  SerialFault LastFault() const override { return inner_->LastFault(); }
  std::string LastError() const override { return inner_->LastError(); }

 private:
  std::unique_ptr<SerialChannel> owned_;
  SerialChannel* inner_;
};

// Cuts a read whose plain total timeout is longer than sliceMs into slices of at most
// sliceMs, with the same total wait, and calls Between() before every open, read, write and
// sleep and after every empty slice. Between() may throw (EAbort, say) to end the operation;
// the wrapped channel then gets its requested timeouts back.
class SlicedChannel : public ForwardingChannel {
 public:
  SlicedChannel(std::unique_ptr<SerialChannel> inner, uint32_t sliceMs)
      : ForwardingChannel(std::move(inner)), sliceMs_(sliceMs) {}

  bool Open(const std::string& name) override;
  void SetTimeouts(const CommTimeouts& timeouts) override;
  bool ReadByte(uint8_t& byte) override;
  int WriteByte(uint8_t byte) override;
  void Sleep(uint32_t ms) override;

 protected:
  virtual void Between() {}

 private:
  uint32_t sliceMs_;
  CommTimeouts requested_;
};

}  // namespace zemb
