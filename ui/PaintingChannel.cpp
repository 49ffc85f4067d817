#include "PaintingChannel.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include "Errors.h"

namespace zemb::ui {

namespace {

// Swallows what the user types, clicks or drops while an operation blocks the window.
class InputBlocker : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    return IsUserInput(event->type()) || QObject::eventFilter(watched, event);
  }
};

}  // namespace

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::Gesture:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

void PumpWithoutInput() {
  // Qt files the window system's close request under user input, so leaving user input
  // out here would hold the close button's request until the operation is over. Everything
  // is taken instead, and the input among it dropped.
  InputBlocker blocker;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  app->installEventFilter(&blocker);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  app->removeEventFilter(&blocker);
}

PaintingChannel::PaintingChannel(std::unique_ptr<SerialChannel> inner, std::function<void()> pump,
                                 std::function<bool()> abortRequested)
    : SlicedChannel(std::move(inner), kSliceMs),
      pump_(std::move(pump)),
      abortRequested_(std::move(abortRequested)) {
  if (!pump_) {
    pump_ = PumpWithoutInput;
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
