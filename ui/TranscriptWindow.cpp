#include "TranscriptWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextBlock>
#include <QTextCursor>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <cstdio>

namespace zemb::ui {

namespace {

constexpr const char* kControlNames[32] = {"NUL", "SOH", "STX", "ETX",  "EOT", "ENQ", "ACK", "BEL",
                                           "BS",  "HT",  "LF",  "VT",   "FF",  "CR",  "SO",  "SI",
                                           "DLE", "XON", "DC2", "XOFF", "DC4", "NAK", "SYN", "ETB",
                                           "CAN", "EM",  "SUB", "ESC",  "FS",  "GS",  "RS",  "US"};

bool EndsWith(const std::string& text, const char* suffix) {
  const size_t n = std::char_traits<char>::length(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// The entries from index from on, one line each, without a line break after the last.
QString JoinEntries(const std::deque<TranscriptLog::Entry>& entries, size_t from) {
  QString text;
  for (size_t i = from; i < entries.size(); ++i) {
    if (!text.isEmpty()) text += QChar('\n');
    text += QString::fromStdString(TranscriptLog::FormatEntry(entries[i]));
  }
  return text;
}

}  // namespace

TranscriptLog::TranscriptLog(size_t maxEntries, std::function<int32_t()> clock)
    : maxEntries_(maxEntries == 0 ? 1 : maxEntries), clock_(std::move(clock)) {
  if (!clock_) clock_ = TimeOfDayClock();
}

std::function<int32_t()> TranscriptLog::TimeOfDayClock() {
  // The local time is read once a minute and carried on by the monotonic clock in between:
  // an upload starts thousands of entries, and reading the local time is the costly part.
  struct Origin {
    std::chrono::steady_clock::time_point at{};
    int64_t timeOfDayMs = -1;
  };
  auto origin = std::make_shared<Origin>();
  return [origin] {
    const auto now = std::chrono::steady_clock::now();
    if (origin->timeOfDayMs < 0 || now - origin->at > std::chrono::minutes(1)) {
      origin->at = now;
      origin->timeOfDayMs = QTime::currentTime().msecsSinceStartOfDay();
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - origin->at).count();
    return static_cast<int32_t>((origin->timeOfDayMs + elapsed) % (24 * 3600 * 1000));
  };
}

std::string TranscriptLog::Spell(uint8_t byte) {
  if (byte >= 0x20 && byte < 0x7F) return std::string(1, static_cast<char>(byte));
  if (byte < 0x20) return std::string("<") + kControlNames[byte] + ">";
  char text[8];
  std::snprintf(text, sizeof text, "<%02X>", byte);
  return text;
}

TranscriptLog::Entry& TranscriptLog::Start(Direction direction) {
  if (entries_.size() >= maxEntries_) entries_.pop_front();
  entries_.push_back(Entry{nextSerial_++, clock_(), direction, {}, false});
  return entries_.back();
}

void TranscriptLog::Record(Direction direction, uint8_t byte) {
  Entry* entry = entries_.empty() ? nullptr : &entries_.back();
  // The device ends its lines with CR; a LF right behind it belongs to the same line.
  const bool lateLineFeed = direction == Direction::Received && byte == '\n' && entry &&
                            entry->direction == direction && entry->closed &&
                            EndsWith(entry->text, "<CR>");
  if (!lateLineFeed && (!entry || entry->direction != direction || entry->closed)) {
    entry = &Start(direction);
  }
  if (byte >= 0x20 && byte < 0x7F) {
    entry->text += static_cast<char>(byte);
  } else {
    entry->text += Spell(byte);
  }
  const uint8_t lineEnd = direction == Direction::Sent ? '\n' : '\r';
  if (byte == lineEnd || entry->text.size() >= kMaxEntryText) entry->closed = true;
  ++changes_;
  if (OnChange) OnChange();
}

std::string TranscriptLog::FormatEntry(const Entry& entry) {
  const int32_t ms = entry.timeMs;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d ", ms / 3600000 % 24, ms / 60000 % 60,
                ms / 1000 % 60, ms % 1000);
  const char* mark = entry.direction == Direction::Sent
                         ? QT_TRANSLATE_NOOP("TranscriptWindow", "送")
                         : QT_TRANSLATE_NOOP("TranscriptWindow", "受");
  return stamp + QCoreApplication::translate("TranscriptWindow", mark).toStdString() + " " +
         entry.text;
}

std::string TranscriptLog::Text() const {
  std::string text;
  for (const Entry& entry : entries_) text += FormatEntry(entry) + "\n";
  return text;
}

TranscriptWindow::TranscriptWindow(TranscriptLog* log, QWidget* owner)
    : QWidget(owner, Qt::Window), log_(log) {
  setObjectName(QStringLiteral("TranscriptWindow"));
  setWindowTitle(tr("通信ログ"));
  view_ = new QPlainTextEdit(this);
  view_->setReadOnly(true);
  view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  view_->setMaximumBlockCount(static_cast<int>(TranscriptLog::kDefaultMaxEntries));
  view_->setAcceptDrops(false);
  // A window does not inherit its owner's font; the owner's is the fixed-pitch one.
  if (owner) setFont(owner->font());
  copy_ = new QPushButton(tr("コピー"), this);
  connect(copy_, &QPushButton::clicked, this, [this] { CopyToClipboard(); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(copy_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(view_, 1);
  layout->addLayout(buttons);
  resize(560, 300);

  auto* toggle = new QShortcut(QKeySequence(Qt::Key_F12), this);
  connect(toggle, &QShortcut::activated, this, [this] { hide(); });
}

TranscriptWindow::~TranscriptWindow() {
  log_->OnChange = nullptr;
}

void TranscriptWindow::Toggle() {
  if (isVisible()) {
    hide();
    return;
  }
  show();
  raise();
  activateWindow();
}

void TranscriptWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // While the window is hidden nothing but the log's own recording runs.
  log_->OnChange = [this] { ScheduleRefresh(); };
  Refresh();
}

void TranscriptWindow::ScheduleRefresh() {
  if (refreshPending_) return;
  if (!isVisible()) {
    log_->OnChange = nullptr;
    return;
  }
  refreshPending_ = true;
  // Coalesced and spaced out: a device operation lets timers run between its reads, and
  // laying out and painting the view for every line would slow the operation down.
  QTimer::singleShot(kRefreshIntervalMs, this, [this] {
    refreshPending_ = false;
    if (isVisible()) Refresh();
  });
}

void TranscriptWindow::Rebuild() {
  view_->setPlainText(JoinEntries(log_->Entries(), 0));
  view_->moveCursor(QTextCursor::End);
}

void TranscriptWindow::Refresh() {
  const auto& entries = log_->Entries();
  if (log_->Changes() == shownChanges_) return;
  if (entries.empty() || shownSerial_ == 0) {
    Rebuild();
  } else {
    const uint64_t first = entries.front().serial;
    // Only the newest entry grows; older ones are final once a newer one has started.
    if (shownSerial_ >= first) {
      const auto& last = entries[static_cast<size_t>(shownSerial_ - first)];
      if (last.text.size() != shownLastLength_) {
        QTextCursor cursor(view_->document());
        cursor.movePosition(QTextCursor::End);
        cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(QString::fromStdString(TranscriptLog::FormatEntry(last)));
      }
    }
    // Entries the log dropped meanwhile are beyond the view's own line cap as well.
    const size_t from = shownSerial_ >= first ? static_cast<size_t>(shownSerial_ - first) + 1 : 0;
    const QString added = JoinEntries(entries, from);
    if (!added.isEmpty()) view_->appendPlainText(added);
  }
  shownChanges_ = log_->Changes();
  shownSerial_ = entries.empty() ? 0 : entries.back().serial;
  shownLastLength_ = entries.empty() ? 0 : entries.back().text.size();
}

QString TranscriptWindow::ShownText() const {
  return view_->toPlainText();
}

void TranscriptWindow::CopyToClipboard() const {
  QApplication::clipboard()->setText(QString::fromStdString(log_->Text()));
}

}  // namespace zemb::ui
