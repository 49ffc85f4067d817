#include "PaintingChannel.h"

#include <QCoreApplication>
#include <algorithm>

#include "Errors.h"

namespace zemb::ui {

PaintingChannel::PaintingChannel(std::unique_ptr<SerialChannel> inner, std::function<void()> pump,
                                 std::function<bool()> abortRequested)
    : inner_(std::move(inner)), pump_(std::move(pump)), abortRequested_(std::move(abortRequested)) {
  if (!pump_) {
    pump_ = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
  }
  sincePump_.start();
}

void PaintingChannel::SetTimeouts(const CommTimeouts& timeouts) {
  requested_ = timeouts;
  inner_->SetTimeouts(timeouts);
}

void PaintingChannel::MaybePump() {
  if (sincePump_.elapsed() >= kPumpIntervalMs) {
    pump_();
    sincePump_.restart();
  }
  AbortIfRequested();
}

void PaintingChannel::AbortIfRequested() const {
  if (abortRequested_ && abortRequested_()) Abort();
}

bool PaintingChannel::ReadByte(uint8_t& byte) {
  MaybePump();
  // Only a plain total timeout longer than a slice is cut; every other setting (return at
  // once, or no timeout at all) goes to the wrapped channel as it is.
  const uint32_t total = requested_.ReadTotalTimeoutConstant;
  if (requested_.ReadTotalTimeoutMultiplier != 0 || total <= kSliceMs) {
    return inner_->ReadByte(byte);
  }
  CommTimeouts slice = requested_;
  slice.ReadIntervalTimeout = 0;
  bool got = false;
  for (uint32_t remaining = total; remaining > 0 && !got;) {
    const uint32_t wait = std::min(remaining, kSliceMs);
    slice.ReadTotalTimeoutConstant = wait;
    inner_->SetTimeouts(slice);
    got = inner_->ReadByte(byte);
    remaining -= wait;
    if (!got) {
      try {
        MaybePump();
      } catch (...) {
        inner_->SetTimeouts(requested_);
        throw;
      }
    }
  }
  inner_->SetTimeouts(requested_);
  return got;
}

int PaintingChannel::WriteByte(uint8_t byte) {
  MaybePump();
  return inner_->WriteByte(byte);
}

void PaintingChannel::Sleep(uint32_t ms) {
  MaybePump();
  inner_->Sleep(ms);
}

}  // namespace zemb::ui
