// A serial channel wrapper that keeps the window painting while a device operation blocks
// the user-interface thread: long reads are cut into short slices, and between slices (and
// now and then during busy traffic) pending paint events are handled. User input stays
// queued until the operation has returned.
#pragma once

#include <QElapsedTimer>
#include <functional>
#include <memory>

#include "SerialChannel.h"

namespace zemb::ui {

class PaintingChannel : public SerialChannel {
 public:
  // The longest single wait handed to the wrapped channel, ms; shorter reads (such as the
  // 100 ms between the bytes of a line) go through whole.
  static constexpr uint32_t kSliceMs = 200;
  // The least time between two pumps, ms.
  static constexpr qint64 kPumpIntervalMs = 30;

  // pump runs the pending non-input events; the default processes Qt's events without
  // user input. Once abortRequested answers true (a close request handled by a pump), every
  // call raises the silent abort, so the operation ends within one slice.
  explicit PaintingChannel(std::unique_ptr<SerialChannel> inner,
                           std::function<void()> pump = nullptr,
                           std::function<bool()> abortRequested = nullptr);

  SerialChannel& Inner() { return *inner_; }
  SerialFault LastFault() const override { return inner_->LastFault(); }
  std::string LastError() const override { return inner_->LastError(); }

  bool Open(const std::string& name) override { return inner_->Open(name); }
  bool IsOpen() const override { return inner_->IsOpen(); }
  void Close() override { inner_->Close(); }
  void SetTimeouts(const CommTimeouts& timeouts) override;
  bool Configure(int32_t baud) override { return inner_->Configure(baud); }
  void RaiseDtrRts() override { inner_->RaiseDtrRts(); }
  bool ReadByte(uint8_t& byte) override;
  int WriteByte(uint8_t byte) override;
  void Sleep(uint32_t ms) override;

 private:
  void MaybePump();
  void AbortIfRequested() const;

  std::unique_ptr<SerialChannel> inner_;
  std::function<void()> pump_;
  std::function<bool()> abortRequested_;
  CommTimeouts requested_;
  QElapsedTimer sincePump_;
};

}  // namespace zemb::ui
