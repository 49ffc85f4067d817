// A serial channel wrapper that keeps the window painting while a device operation blocks
// the user-interface thread: long reads are cut into short slices, and between slices (and
// now and then during busy traffic) pending events are handled: painting, timers and a
// close request; what the user types or clicks meanwhile is dropped.
#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <functional>
#include <memory>

#include "ForwardingChannel.h"

namespace zemb::ui {

// Keys, mouse buttons and moves, wheel, touch, shortcuts, context menus and drops.
bool IsUserInput(QEvent::Type type);

// Handles every pending event but user input, which is dropped; a close request from the
// window system gets through.
void PumpWithoutInput();

class PaintingChannel : public SlicedChannel {
 public:
  // The longest single wait handed to the wrapped channel, ms; shorter reads (such as the
  // 100 ms between the bytes of a line) go through whole.
  static constexpr uint32_t kSliceMs = 200;
  // The least time between two pumps, ms.
  static constexpr qint64 kPumpIntervalMs = 30;

  // pump runs the pending non-input events; the default is PumpWithoutInput. Once abortRequested
  // answers true (a close request handled by a pump), every call raises the silent abort, so the
  // operation ends within one slice.
  explicit PaintingChannel(std::unique_ptr<SerialChannel> inner,
                           std::function<void()> pump = nullptr,
                           std::function<bool()> abortRequested = nullptr);

 protected:
  void Between() override;

 private:
  std::function<void()> pump_;
  std::function<bool()> abortRequested_;
  QElapsedTimer sincePump_;
};

}  // namespace zemb::ui
