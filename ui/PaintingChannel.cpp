#include "PaintingChannel.h"

#include <QCoreApplication>

#include "Errors.h"

namespace zemb::ui {

PaintingChannel::PaintingChannel(std::unique_ptr<SerialChannel> inner, std::function<void()> pump,
                                 std::function<bool()> abortRequested)
    : SlicedChannel(std::move(inner), kSliceMs),
      pump_(std::move(pump)),
      abortRequested_(std::move(abortRequested)) {
  if (!pump_) {
    pump_ = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
  }
  sincePump_.start();
}

void PaintingChannel::Between() {
  if (sincePump_.elapsed() >= kPumpIntervalMs) {
    pump_();
    sincePump_.restart();
  }
  if (abortRequested_ && abortRequested_()) Abort();
}

}  // namespace zemb::ui
