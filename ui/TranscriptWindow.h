// The record of what went over the serial line: each command line the window sent and each
// line the device answered, time-stamped, with control bytes spelled out. Recording runs
// all the time at the cost of appending a byte to a string; the window that shows it does
// work only while it is open.
#pragma once

#include <QCoreApplication>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "ForwardingChannel.h"

class QPlainTextEdit;
class QPushButton;

namespace zemb::ui {

class TranscriptLog {
 public:
  enum class Direction { Sent, Received };

  struct Entry {
    uint64_t serial;  // counts every entry ever started, so a viewer can tell what is new
    int32_t timeMs;   // time of day of the entry's first byte, ms since midnight
    Direction direction;
    std::string text;  // printable ASCII; every other byte spelled out in <>
    bool closed;       // a line end has been seen (or the entry reached its size cap)
  };

  static constexpr size_t kDefaultMaxEntries = 4000;
  // A device that never sends CR still gets its bytes shown, in entries of this size.
  static constexpr size_t kMaxEntryText = 4096;

  // clock: ms since midnight (the local time of day unless a test gives another).
  explicit TranscriptLog(size_t maxEntries = kDefaultMaxEntries,
                         std::function<int32_t()> clock = nullptr);

  void Record(Direction direction, uint8_t byte);

  const std::deque<Entry>& Entries() const { return entries_; }
  // Counts every change; a viewer that has seen this count has seen everything.
  uint64_t Changes() const { return changes_; }

  // Called after every change; must be cheap.
  std::function<void()> OnChange;

  // The local time of day in ms since midnight, cheap enough to read for every entry.
  static std::function<int32_t()> TimeOfDayClock();
  // One entry as a line of text: time, direction mark, bytes.
  static std::string FormatEntry(const Entry& entry);
  // The bytes as the transcript spells them.
  static std::string Spell(uint8_t byte);
  // All entries, one line each, ending in a line break.
  std::string Text() const;

 private:
  Entry& Start(Direction direction);

  size_t maxEntries_;
  std::function<int32_t()> clock_;
  std::deque<Entry> entries_;
  uint64_t nextSerial_ = 1;
  uint64_t changes_ = 0;
};

// Wraps a serial channel and records every byte that was written.
class SentBytesTap : public ForwardingChannel {
 public:
  SentBytesTap(std::unique_ptr<SerialChannel> inner, TranscriptLog* log)
      : ForwardingChannel(std::move(inner)), log_(log) {}

  int WriteByte(uint8_t byte) override {
    const int written = ForwardingChannel::WriteByte(byte);
    if (written == 1) log_->Record(TranscriptLog::Direction::Sent, byte);
    return written;
  }

 private:
  TranscriptLog* log_;
};

// A tool window over a TranscriptLog, with a Copy button. F12 toggles it.
class TranscriptWindow : public QWidget {
  Q_DECLARE_TR_FUNCTIONS(TranscriptWindow)

 public:
  // The least time between two updates of the view while the traffic goes on, ms.
  static constexpr int kRefreshIntervalMs = 200;

  TranscriptWindow(TranscriptLog* log, QWidget* owner);
  ~TranscriptWindow() override;

  // Shows the window (brought up to date) or hides it when it is shown.
  void Toggle();
  // Brings the view up to date with the log now.
  void Refresh();
  // The text the view shows.
  QString ShownText() const;
  void CopyToClipboard() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ScheduleRefresh();
  void Rebuild();

  TranscriptLog* log_;
  QPlainTextEdit* view_;
  QPushButton* copy_;
  bool refreshPending_ = false;
  // What the view holds: entries up to this serial, the last one as it stood at this change.
  uint64_t shownSerial_ = 0;
  uint64_t shownChanges_ = 0;
  size_t shownLastLength_ = 0;
};

}  // namespace zemb::ui
