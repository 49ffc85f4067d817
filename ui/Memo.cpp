#include "Memo.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextLayout>
#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "MemoText.h"

namespace zemb::ui {

namespace {

// CR LF, a lone CR and a lone LF each end a block; the text after the last break (maybe
// empty) is the last block.
std::vector<std::string> SplitBlocks(std::string_view text) {
  std::vector<std::string> blocks;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    blocks.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  blocks.emplace_back(text.substr(start));
  return blocks;
}

std::string JoinBlocks(const std::vector<std::string>& blocks, size_t count, bool lastBreak) {
  size_t size = 0;
  for (size_t i = 0; i < count; ++i) size += blocks[i].size() + 2;
  std::string out;
  out.reserve(size);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) out += "\r\n";
    out += blocks[i];
  }
  if (lastBreak && count > 0) out += "\r\n";
  return out;
}

size_t Weight(const std::vector<std::string>& lines) {
  size_t bytes = 0;
  for (const auto& line : lines) bytes += line.size() + sizeof(std::string);
  return bytes;
}

bool IsHigh(QChar c) {
  return c.isHighSurrogate();
}

// True when a surrogate pair starts at column.
bool PairAt(const QString& text, int column) {
  return column >= 0 && column + 1 < text.size() && IsHigh(text[column]) &&
         text[column + 1].isLowSurrogate();
}

// 0: space, 1: a word's letters and digits, 2: any other sign.
int CharClass(QChar c) {
  if (c.isSpace()) return 0;
  if (c.isLetterOrNumber() || c == QLatin1Char('_') || c.isSurrogate()) return 1;
  return 2;
}

QString NormalizedBreaks(const QString& text) {
  if (!text.contains(QLatin1Char('\r'))) return text;
  QString out = text;
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

}  // namespace

// --- Line list -------------------------------------------------------------------------

int TMemoStrings::Count() const {
  const auto& blocks = memo_->blocks_;
  return static_cast<int>(blocks.size()) - (blocks.back().empty() ? 1 : 0);
}

std::string TMemoStrings::Get(int index) const {
  if (index < 0 || index >= Count()) {
    throw std::out_of_range("line index " + std::to_string(index) + " out of bounds");
  }
  return memo_->blocks_[static_cast<size_t>(index)];
}

void TMemoStrings::Add(const std::string& line) {
  // Appended after the last line break; a last line without one gets one first.
  memo_->ForgetDecoded();
  auto& blocks = memo_->blocks_;
  if (blocks.back().empty()) {
    blocks.back() = line;
  } else {
    blocks.push_back(line);
  }
  blocks.emplace_back();
  memo_->ChangedFromCode();
}

void TMemoStrings::Clear() {
  memo_->ForgetDecoded();
  memo_->blocks_.assign(1, std::string());
  memo_->SetCursorPos({});
  memo_->ChangedFromCode();
}

void TMemoStrings::Delete(int index) {
  if (index < 0 || index >= Count()) {
    throw std::out_of_range("line index " + std::to_string(index) + " out of bounds");
  }
  memo_->ForgetDecoded();
  auto& blocks = memo_->blocks_;
  blocks.erase(blocks.begin() + index);
  if (static_cast<size_t>(index) == blocks.size()) blocks.emplace_back();
  memo_->ChangedFromCode();
}

void TMemoStrings::SetLines(std::vector<std::string> lines) {
  memo_->ForgetDecoded();
  memo_->blocks_ = std::move(lines);
  memo_->blocks_.emplace_back();
  memo_->SetCursorPos({});
  memo_->ChangedFromCode();
}

std::string TMemoStrings::Text() const {
  const auto& blocks = memo_->blocks_;
  return JoinBlocks(blocks, static_cast<size_t>(Count()), true);
}

void TMemoStrings::BeginUpdate() {
  memo_->BeginUpdate();
}

void TMemoStrings::EndUpdate() {
  memo_->EndUpdate();
}

// --- The memo --------------------------------------------------------------------------

TMemo::TMemo(TComponent* owner, QWidget* parent)
    : QAbstractScrollArea(parent), TComponent(owner), lines_(this) {
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setAcceptDrops(false);
  viewport()->setAcceptDrops(false);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  viewport()->setCursor(Qt::IBeamCursor);
  UpdateScrollBars();
}

TMemo::~TMemo() = default;

std::string TMemo::Text() const {
  return JoinBlocks(blocks_, blocks_.size(), false);
}

void TMemo::SetText(const std::string& value) {
  ForgetDecoded();
  blocks_ = SplitBlocks(value);
  SetCursorPos({});
  ChangedFromCode();
}

QString TMemo::LineText(int line) const {
  // One key decodes its line several times over (to clamp, to move, to lay out, to paint);
  // the last line decoded is kept, which makes that once even for a line of megabytes.
  if (line != decodedLine_) {
    decoded_ = BytesToMemoText(blocks_.at(static_cast<size_t>(line)));
    decodedLine_ = line;
  }
  return decoded_;
}

QString TMemo::SelectedText() const {
  const MemoPos start = SelectionStart();
  const MemoPos end = SelectionEnd();
  QString out;
  for (int line = start.line; line <= end.line; ++line) {
    const QString text = LineText(line);
    const int from = line == start.line ? start.column : 0;
    const int to = line == end.line ? end.column : static_cast<int>(text.size());
    out += QStringView(text).mid(from, to - from);
    if (line < end.line) out += QLatin1Char('\n');
  }
  return out;
}

MemoPos TMemo::Clamp(MemoPos pos) const {
  pos.line = std::clamp(pos.line, 0, BlockCount() - 1);
  const QString text = LineText(pos.line);
  pos.column = std::clamp(pos.column, 0, static_cast<int>(text.size()));
  // Never between the two halves of a character.
  if (pos.column > 0 && PairAt(text, pos.column - 1)) --pos.column;
  return pos;
}

void TMemo::SetCursorPos(MemoPos pos, bool keepAnchor) {
  cursor_ = Clamp(pos);
  if (!keepAnchor) anchor_ = cursor_;
  goalX_ = -1;
  mergeTyping_ = false;
  EnsureCursorVisible();
  RestartBlink();
  viewport()->update();
}

int TMemo::TopLine() const {
  return verticalScrollBar()->value();
}

// --- Editing ---------------------------------------------------------------------------

std::vector<std::string> TMemo::SwapLines(int first, int count, std::vector<std::string> lines) {
  ForgetDecoded();
  const auto begin = blocks_.begin() + first;
  std::vector<std::string> out(std::make_move_iterator(begin),
                               std::make_move_iterator(begin + count));
  if (static_cast<int>(lines.size()) == count) {
    std::move(lines.begin(), lines.end(), begin);
  } else {
    blocks_.erase(begin, begin + count);
    blocks_.insert(blocks_.begin() + first, std::make_move_iterator(lines.begin()),
                   std::make_move_iterator(lines.end()));
  }
  if (blocks_.empty()) blocks_.emplace_back();
  return out;
}

void TMemo::Replace(MemoPos from, MemoPos to, QStringView text, bool typing) {
  const MemoPos start = Clamp(std::min(from, to));
  const MemoPos end = Clamp(std::max(from, to));
  if (start == end && text.isEmpty()) return;
  const QString head = LineText(start.line).left(start.column);
  const QString tail = LineText(end.line).mid(end.column);

  std::vector<std::string> lines;
  MemoPos after{start.line, 0};
  for (qsizetype at = 0;;) {
    const qsizetype br = text.indexOf(QLatin1Char('\n'), at);
    const QStringView piece = br < 0 ? text.mid(at) : text.mid(at, br - at);
    QString line = lines.empty() ? head + piece.toString() : piece.toString();
    if (br < 0) {
      after = {start.line + static_cast<int>(lines.size()), static_cast<int>(line.size())};
      line += tail;
      lines.push_back(MemoTextToBytes(line));
      break;
    }
    lines.push_back(MemoTextToBytes(line));
    at = br + 1;
  }

  Edit edit;
  edit.first = start.line;
  edit.cursorBefore = cursor_;
  edit.anchorBefore = anchor_;
  edit.inserted = static_cast<int>(lines.size());
  edit.removed = SwapLines(start.line, end.line - start.line + 1, std::move(lines));
  edit.cursorAfter = after;
  edit.typing = typing;
  // Keys typed one after another on one line are one step: the earlier step keeps the line
  // as it was before the first of them.
  Edit* before = typing && mergeTyping_ && !undo_.empty() ? &undo_.back() : nullptr;
  if (before && before->typing && before->first == edit.first && before->inserted == 1 &&
      edit.inserted == 1 && edit.removed.size() == 1) {
    before->cursorAfter = edit.cursorAfter;
    redo_.clear();
  } else {
    PushUndo(std::move(edit));
  }
  // Units that stood for stray bytes may have joined with their neighbours into one
  // character, leaving the line shorter than the text put in.
  cursor_ = anchor_ = Clamp(after);
  goalX_ = -1;
  Changed();
  EnsureCursorVisible();
  RestartBlink();
  mergeTyping_ = typing;
}

void TMemo::PushUndo(Edit edit) {
  redo_.clear();
  undoBytes_ += Weight(edit.removed);
  undo_.push_back(std::move(edit));
  size_t drop = 0;
  while (undoBytes_ > kUndoBytes && drop + 1 < undo_.size()) {
    undoBytes_ -= Weight(undo_[drop].removed);
    ++drop;
  }
  undo_.erase(undo_.begin(), undo_.begin() + static_cast<std::ptrdiff_t>(drop));
}

void TMemo::Reverse(Edit& edit) {
  const int restored = static_cast<int>(edit.removed.size());
  edit.removed = SwapLines(edit.first, edit.inserted, std::move(edit.removed));
  edit.inserted = restored;
  goalX_ = -1;
  mergeTyping_ = false;
}

void TMemo::Undo() {
  if (undo_.empty()) return;
  Edit edit = std::move(undo_.back());
  undo_.pop_back();
  undoBytes_ -= Weight(edit.removed);
  Reverse(edit);
  cursor_ = Clamp(edit.cursorBefore);
  anchor_ = Clamp(edit.anchorBefore);
  redo_.push_back(std::move(edit));
  Changed();
  EnsureCursorVisible();
}

void TMemo::Redo() {
  if (redo_.empty()) return;
  Edit edit = std::move(redo_.back());
  redo_.pop_back();
  Reverse(edit);
  cursor_ = anchor_ = Clamp(edit.cursorAfter);
  undoBytes_ += Weight(edit.removed);
  undo_.push_back(std::move(edit));
  Changed();
  EnsureCursorVisible();
}

void TMemo::InsertText(const QString& text) {
  // A NUL would end the line list of the settings file and make a saved image unloadable.
  QString normalized = NormalizedBreaks(text);
  normalized.remove(QChar(u'\0'));
  const bool typing = normalized.size() <= 2 && !normalized.contains(QLatin1Char('\n'));
  Replace(anchor_, cursor_, normalized, typing && !HasSelection());
}

void TMemo::SelectAll() {
  anchor_ = {0, 0};
  const int last = BlockCount() - 1;
  cursor_ = {last, LineLength(last)};
  mergeTyping_ = false;
  viewport()->update();
  PublishSelectionSoon();
}

void TMemo::Copy() const {
  if (HasSelection()) QGuiApplication::clipboard()->setText(SelectedText());
}

void TMemo::Cut() {
  Copy();
  DeleteSelection();
}

void TMemo::Paste() {
  const QString text = QGuiApplication::clipboard()->text();
  if (!text.isEmpty()) InsertText(text);
}

void TMemo::DeleteSelection() {
  if (HasSelection()) Replace(anchor_, cursor_, {});
}

void TMemo::ChangedFromCode() {
  undo_.clear();
  redo_.clear();
  undoBytes_ = 0;
  mergeTyping_ = false;
  cursor_ = Clamp(cursor_);
  anchor_ = Clamp(anchor_);
  Changed();
}

void TMemo::Changed() {
  if (updateDepth_ > 0) {
    changePending_ = true;
    return;
  }
  changePending_ = false;
  UpdateScrollBars();
  viewport()->update();
  emit textChanged();
}

void TMemo::EndUpdate() {
  if (updateDepth_ > 0) --updateDepth_;
  if (updateDepth_ == 0 && changePending_) Changed();
}

// --- Cursor movement -------------------------------------------------------------------

MemoPos TMemo::NextPos(MemoPos pos, bool words) const {
  const QString text = LineText(pos.line);
  const int length = static_cast<int>(text.size());
  if (pos.column >= length) {
    return pos.line + 1 < BlockCount() ? MemoPos{pos.line + 1, 0} : pos;
  }
  int next = pos.column;
  if (pos.column < kShownUnits) {
    QTextLayout layout(QString(), font(), viewport());
    LayOut(layout, text);
    next = layout.nextCursorPosition(pos.column,
                                     words ? QTextLayout::SkipWords : QTextLayout::SkipCharacters);
  }
  if (next <= pos.column) next = pos.column + (PairAt(text, pos.column) ? 2 : 1);
  return {pos.line, std::min(next, length)};
}

MemoPos TMemo::PreviousPos(MemoPos pos, bool words) const {
  if (pos.column <= 0) {
    return pos.line > 0 ? MemoPos{pos.line - 1, LineLength(pos.line - 1)} : pos;
  }
  const QString text = LineText(pos.line);
  int previous = pos.column;
  if (pos.column <= kShownUnits) {
    QTextLayout layout(QString(), font(), viewport());
    LayOut(layout, text);
    previous = layout.previousCursorPosition(
        pos.column, words ? QTextLayout::SkipWords : QTextLayout::SkipCharacters);
  }
  if (previous >= pos.column) previous = pos.column - (PairAt(text, pos.column - 2) ? 2 : 1);
  return {pos.line, std::max(previous, 0)};
}

void TMemo::WordAround(MemoPos pos, MemoPos& start, MemoPos& end) const {
  const QString text = LineText(pos.line);
  const int length = static_cast<int>(text.size());
  start = end = pos;
  if (length == 0) return;
  const int at = std::min(pos.column, length - 1);
  const int kind = CharClass(text[at]);
  int from = at;
  int to = at + 1;
  while (from > 0 && CharClass(text[from - 1]) == kind) --from;
  while (to < length && CharClass(text[to]) == kind) ++to;
  start.column = from;
  end.column = to;
}

bool TMemo::MoveByKey(QKeyEvent* event) {
  enum class Move {
    NextChar,
    PrevChar,
    NextWord,
    PrevWord,
    Down,
    Up,
    Home,
    End,
    Top,
    Bottom,
    PageDown,
    PageUp
  };
  struct Binding {
    QKeySequence::StandardKey key;
    Move move;
    bool select;
  };
  static const Binding kBindings[] = {
      {QKeySequence::MoveToNextChar, Move::NextChar, false},
      {QKeySequence::SelectNextChar, Move::NextChar, true},
      {QKeySequence::MoveToPreviousChar, Move::PrevChar, false},
      {QKeySequence::SelectPreviousChar, Move::PrevChar, true},
      {QKeySequence::MoveToNextWord, Move::NextWord, false},
      {QKeySequence::SelectNextWord, Move::NextWord, true},
      {QKeySequence::MoveToPreviousWord, Move::PrevWord, false},
      {QKeySequence::SelectPreviousWord, Move::PrevWord, true},
      {QKeySequence::MoveToNextLine, Move::Down, false},
      {QKeySequence::SelectNextLine, Move::Down, true},
      {QKeySequence::MoveToPreviousLine, Move::Up, false},
      {QKeySequence::SelectPreviousLine, Move::Up, true},
      {QKeySequence::MoveToStartOfLine, Move::Home, false},
      {QKeySequence::SelectStartOfLine, Move::Home, true},
      {QKeySequence::MoveToStartOfBlock, Move::Home, false},
      {QKeySequence::SelectStartOfBlock, Move::Home, true},
      {QKeySequence::MoveToEndOfLine, Move::End, false},
      {QKeySequence::SelectEndOfLine, Move::End, true},
      {QKeySequence::MoveToEndOfBlock, Move::End, false},
      {QKeySequence::SelectEndOfBlock, Move::End, true},
      {QKeySequence::MoveToStartOfDocument, Move::Top, false},
      {QKeySequence::SelectStartOfDocument, Move::Top, true},
      {QKeySequence::MoveToEndOfDocument, Move::Bottom, false},
      {QKeySequence::SelectEndOfDocument, Move::Bottom, true},
      {QKeySequence::MoveToNextPage, Move::PageDown, false},
      {QKeySequence::SelectNextPage, Move::PageDown, true},
      {QKeySequence::MoveToPreviousPage, Move::PageUp, false},
      {QKeySequence::SelectPreviousPage, Move::PageUp, true},
  };
  const auto found = std::find_if(std::begin(kBindings), std::end(kBindings),
                                  [event](const Binding& b) { return event->matches(b.key); });
  if (found == std::end(kBindings)) return false;

  MemoPos target = cursor_;
  int lines = 0;
  switch (found->move) {
    case Move::NextChar:
      target = !found->select && HasSelection() ? SelectionEnd() : NextPos(cursor_, false);
      break;
    case Move::PrevChar:
      target = !found->select && HasSelection() ? SelectionStart() : PreviousPos(cursor_, false);
      break;
    case Move::NextWord:
      target = NextPos(cursor_, true);
      break;
    case Move::PrevWord:
      target = PreviousPos(cursor_, true);
      break;
    case Move::Down:
      lines = 1;
      break;
    case Move::Up:
      lines = -1;
      break;
    case Move::PageDown:
      lines = VisibleLines();
      break;
    case Move::PageUp:
      lines = -VisibleLines();
      break;
    case Move::Home:
      target.column = 0;
      break;
    case Move::End:
      target.column = LineLength(cursor_.line);
      break;
    case Move::Top:
      target = {0, 0};
      break;
    case Move::Bottom:
      target = {BlockCount() - 1, LineLength(BlockCount() - 1)};
      break;
  }
  if (lines == 0) {
    SetCursorPos(target, found->select);
    if (found->select) PublishSelectionSoon();
    return true;
  }
  // Up and down keep the cursor's horizontal place over shorter lines; a page scrolls the
  // view with the cursor.
  const int goal = goalX_ >= 0 ? goalX_ : ColumnX(cursor_.line, cursor_.column);
  const int line = std::clamp(cursor_.line + lines, 0, BlockCount() - 1);
  if (line != cursor_.line) {
    if (found->move == Move::PageDown || found->move == Move::PageUp) {
      verticalScrollBar()->setValue(TopLine() + line - cursor_.line);
    }
    SetCursorPos({line, ColumnAt(line, goal)}, found->select);
  } else if (!found->select) {
    SetCursorPos(cursor_);
  }
  if (found->select) PublishSelectionSoon();
  goalX_ = goal;
  return true;
}

bool TMemo::EditByKey(QKeyEvent* event) {
  if (event->matches(QKeySequence::SelectAll)) {
    SelectAll();
  } else if (event->matches(QKeySequence::Copy)) {
    Copy();
  } else if (event->matches(QKeySequence::Cut)) {
    Cut();
  } else if (event->matches(QKeySequence::Paste)) {
    Paste();
  } else if (event->matches(QKeySequence::Undo)) {
    Undo();
  } else if (event->matches(QKeySequence::Redo)) {
    Redo();
  } else if (event->matches(QKeySequence::Delete)) {
    if (HasSelection()) {
      DeleteSelection();
    } else {
      Replace(cursor_, NextPos(cursor_, false), {}, true);
    }
  } else if (event->matches(QKeySequence::DeleteStartOfWord)) {
    if (HasSelection()) {
      DeleteSelection();
    } else {
      Replace(PreviousPos(cursor_, true), cursor_, {});
    }
  } else if (event->matches(QKeySequence::DeleteEndOfWord)) {
    if (HasSelection()) {
      DeleteSelection();
    } else {
      Replace(cursor_, NextPos(cursor_, true), {});
    }
  } else if (event->matches(QKeySequence::InsertParagraphSeparator) ||
             event->matches(QKeySequence::InsertLineSeparator)) {
    InsertText(QStringLiteral("\n"));
  } else if (event->key() == Qt::Key_Backspace &&
             (event->modifiers() & ~Qt::ShiftModifier) == Qt::NoModifier) {
    if (HasSelection()) {
      DeleteSelection();
    } else if (cursor_.column == 0) {
      Replace(PreviousPos(cursor_, false), cursor_, {}, true);
    } else {
      // One character back, not a whole cluster: an accent typed by mistake goes alone.
      const QString text = LineText(cursor_.line);
      const int back = PairAt(text, cursor_.column - 2) ? 2 : 1;
      Replace({cursor_.line, cursor_.column - back}, cursor_, {}, true);
    }
  } else {
    const QString text = event->text();
    if (text.isEmpty() || text == QLatin1String("\t")) return false;
    // Ctrl+1 or Ctrl+Space carry their character but are commands, not typing; AltGr
    // (Ctrl+Alt) and a format mark typed with Ctrl+Shift are typing.
    const auto modifiers = event->modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier);
    const bool command =
        modifiers == Qt::ControlModifier || modifiers == (Qt::ControlModifier | Qt::ShiftModifier);
    if (command && text.at(0).category() != QChar::Other_Format) return false;
    if (!text.at(0).isPrint() && !text.at(0).isSurrogate()) return false;
    InsertText(text);
  }
  return true;
}

bool TMemo::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    // Editing keys belong to the memo, not to a shortcut of the window.
    auto* key = static_cast<QKeyEvent*>(event);
    static const QKeySequence::StandardKey kOwn[] = {QKeySequence::Copy,
                                                     QKeySequence::Cut,
                                                     QKeySequence::Paste,
                                                     QKeySequence::Undo,
                                                     QKeySequence::Redo,
                                                     QKeySequence::SelectAll,
                                                     QKeySequence::Delete,
                                                     QKeySequence::DeleteStartOfWord,
                                                     QKeySequence::DeleteEndOfWord,
                                                     QKeySequence::MoveToStartOfDocument,
                                                     QKeySequence::MoveToEndOfDocument,
                                                     QKeySequence::SelectStartOfDocument,
                                                     QKeySequence::SelectEndOfDocument,
                                                     QKeySequence::MoveToNextWord,
                                                     QKeySequence::MoveToPreviousWord,
                                                     QKeySequence::SelectNextWord,
                                                     QKeySequence::SelectPreviousWord};
    const bool own =
        std::any_of(std::begin(kOwn), std::end(kOwn), [key](auto k) { return key->matches(k); });
    const bool typed = !key->text().isEmpty() && key->text().at(0).isPrint() &&
                       !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (own || typed) {
      event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void TMemo::keyPressEvent(QKeyEvent* event) {
  if (MoveByKey(event) || EditByKey(event)) {
    event->accept();
    return;
  }
  event->ignore();
}

void TMemo::inputMethodEvent(QInputMethodEvent* event) {
  const bool input = !event->commitString().isEmpty() || event->replacementLength() > 0 ||
                     event->preeditString() != preedit_;
  // As in Qt's own fields, what the input method starts to give takes the selection's place.
  if (input && HasSelection()) DeleteSelection();
  if (event->replacementLength() > 0) {
    // The range is relative to the cursor and may lie partly or wholly outside the line; it
    // is cut to the line (in 64 bits: an input method may send any int).
    const qint64 length = LineLength(cursor_.line);
    const qint64 start = qint64{cursor_.column} + event->replacementStart();
    const qint64 from = std::clamp<qint64>(start, 0, length);
    const qint64 to = std::clamp<qint64>(start + event->replacementLength(), from, length);
    anchor_ = Clamp({cursor_.line, static_cast<int>(from)});
    cursor_ = Clamp({cursor_.line, static_cast<int>(to)});
  }
  if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
    InsertText(event->commitString());
  }
  preedit_ = event->preeditString();
  preeditCursor_ = static_cast<int>(preedit_.size());
  for (const auto& attribute : event->attributes()) {
    if (attribute.type == QInputMethodEvent::Cursor) {
      preeditCursor_ = std::clamp(attribute.start, 0, static_cast<int>(preedit_.size()));
    }
  }
  viewport()->update();
  event->accept();
}

QVariant TMemo::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled:
      return true;
    case Qt::ImCursorRectangle:
      return CursorRect().translated(viewport()->pos());
    case Qt::ImFont:
      return font();
    case Qt::ImCursorPosition:
      return cursor_.column;
    case Qt::ImAnchorPosition:
      return anchor_.line == cursor_.line ? anchor_.column : cursor_.column;
    case Qt::ImSurroundingText:
      return LineText(cursor_.line);
    case Qt::ImCurrentSelection:
      return anchor_.line == cursor_.line ? SelectedText() : QString();
    case Qt::ImHints:
      return static_cast<int>(Qt::ImhMultiLine);
    default:
      return QAbstractScrollArea::inputMethodQuery(query);
  }
}

// --- Mouse -----------------------------------------------------------------------------

void TMemo::mousePressEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (!preedit_.isEmpty()) {
    // A click ends the composing where it stands, as in Qt's own fields: the input method
    // commits it, or it goes.
    QGuiApplication::inputMethod()->commit();
    preedit_.clear();
    viewport()->update();
  }
  const bool tripleClick =
      tripleClickArmed_ &&
      event->timestamp() - doubleClickTime_ <
          static_cast<ulong>(QApplication::doubleClickInterval()) &&
      (point - doubleClickPoint_).manhattanLength() < QApplication::startDragDistance();
  tripleClickArmed_ = false;
  if (event->button() == Qt::LeftButton && tripleClick &&
      !(event->modifiers() & Qt::ShiftModifier)) {
    // A third click selects the line.
    const MemoPos at = PosAt(point);
    SetCursorPos({at.line, 0});
    SetCursorPos({at.line, LineLength(at.line)}, true);
    PublishSelection();
  } else if (event->button() == Qt::LeftButton) {
    SetCursorPos(PosAt(point), (event->modifiers() & Qt::ShiftModifier) != 0);
    dragging_ = true;
    dragPoint_ = point;
  } else if (event->button() == Qt::MiddleButton &&
             QGuiApplication::clipboard()->supportsSelection()) {
    const QString text = QGuiApplication::clipboard()->text(QClipboard::Selection);
    SetCursorPos(PosAt(point));
    if (!text.isEmpty()) InsertText(text);
  }
  event->accept();
}

void TMemo::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return;
  dragPoint_ = event->position().toPoint();
  SetCursorPos(PosAt(dragPoint_), true);
  // Held above or below the text, the view goes on scrolling.
  if (dragPoint_.y() < 0 || dragPoint_.y() >= viewport()->height()) {
    if (!dragTimer_.isActive()) dragTimer_.start(50, this);
  } else {
    dragTimer_.stop();
  }
}

void TMemo::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && dragging_) {
    dragging_ = false;
    dragTimer_.stop();
    PublishSelection();
  }
}

void TMemo::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  MemoPos start, end;
  WordAround(PosAt(event->position().toPoint()), start, end);
  SetCursorPos(start);
  SetCursorPos(end, true);
  PublishSelection();
  tripleClickArmed_ = true;
  doubleClickTime_ = event->timestamp();
  doubleClickPoint_ = event->position().toPoint();
}

void TMemo::ScrollForDrag() {
  if (!dragging_) {
    dragTimer_.stop();
    return;
  }
  SetCursorPos(PosAt(dragPoint_), true);
}

void TMemo::PublishSelectionSoon() {
  // A key held down over a large selection would copy it out at every repeat.
  if (QGuiApplication::clipboard()->supportsSelection()) selectionTimer_.start(100, this);
}

void TMemo::PublishSelection() const {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (HasSelection() && clipboard->supportsSelection()) {
    clipboard->setText(SelectedText(), QClipboard::Selection);
  }
}

void TMemo::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu(CreateEditMenu());
  menu->exec(event->globalPos());
}

QMenu* TMemo::CreateEditMenu() {
  auto* menu = new QMenu(this);
  // Qt's own texts, so that Qt's translations give them in the language shown.
  const auto add = [this, menu](const char* text, QKeySequence::StandardKey key, bool enabled,
                                const std::function<void()>& slot) {
    QString label = QCoreApplication::translate("QWidgetTextControl", text);
    const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
    if (!shortcut.isEmpty() && QGuiApplication::styleHints()->showShortcutsInContextMenus()) {
      label += QLatin1Char('\t') + shortcut;
    }
    QAction* action = menu->addAction(label);
    action->setEnabled(enabled);
    connect(action, &QAction::triggered, this, slot);
  };
  const bool empty = BlockCount() == 1 && blocks_.front().empty();
  add("&Undo", QKeySequence::Undo, CanUndo(), [this] { Undo(); });
  add("&Redo", QKeySequence::Redo, CanRedo(), [this] { Redo(); });
  menu->addSeparator();
  add("Cu&t", QKeySequence::Cut, HasSelection(), [this] { Cut(); });
  add("&Copy", QKeySequence::Copy, HasSelection(), [this] { Copy(); });
  // Asking for the type, not the text: the clipboard may hold megabytes.
  const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
  add("&Paste", QKeySequence::Paste, clipboard != nullptr && clipboard->hasText(),
      [this] { Paste(); });
  add("Delete", QKeySequence::UnknownKey, HasSelection(), [this] { DeleteSelection(); });
  menu->addSeparator();
  add("Select All", QKeySequence::SelectAll, !empty, [this] { SelectAll(); });
  return menu;
}

// --- Painting and the view -------------------------------------------------------------

void TMemo::LayOut(QTextLayout& layout, const QString& text) const {
  QString shown = text.size() > kShownUnits
                      ? text.left(PairAt(text, kShownUnits - 1) ? kShownUnits - 1 : kShownUnits)
                      : text;
  // A line or paragraph separator inside a line would end the laid-out line there and hide
  // the rest; it shows as a sign of its own, one unit as before.
  for (QChar& c : shown) {
    if (c == QChar::LineSeparator) c = QChar(0x21B5);
    if (c == QChar::ParagraphSeparator) c = QChar(0x00B6);
  }
  layout.setText(shown);
  QTextOption option;
  option.setWrapMode(QTextOption::NoWrap);
  // Every line reads from the left, as the image's records do; a run of right-to-left
  // script still reads right to left within it.
  option.setTextDirection(layoutDirection());
  layout.setTextOption(option);
  layout.setCacheEnabled(true);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (line.isValid()) line.setLineWidth(1e6);
  layout.endLayout();
}

int TMemo::LineHeight() const {
  return std::max(1, fontMetrics().lineSpacing());
}

int TMemo::VisibleLines() const {
  return std::max(1, (viewport()->height() - kMargin) / LineHeight());
}

int TMemo::ColumnX(int line, int column) const {
  QTextLayout layout(QString(), font(), viewport());
  LayOut(layout, LineText(line));
  const QTextLine textLine = layout.lineAt(0);
  if (!textLine.isValid()) return 0;
  const int shown = static_cast<int>(layout.text().size());
  return qRound(textLine.cursorToX(std::min(column, shown)));
}

int TMemo::ColumnAt(int line, int x) const {
  QTextLayout layout(QString(), font(), viewport());
  LayOut(layout, LineText(line));
  const QTextLine textLine = layout.lineAt(0);
  return textLine.isValid() ? textLine.xToCursor(x) : 0;
}

MemoPos TMemo::PosAt(const QPoint& point) const {
  const int y = point.y() - kMargin;
  const int offset = y >= 0 ? y / LineHeight() : -((-y + LineHeight() - 1) / LineHeight());
  const int line = std::clamp(TopLine() + offset, 0, BlockCount() - 1);
  return Clamp({line, ColumnAt(line, point.x() - kMargin + hOffset_)});
}

QRect TMemo::CursorRect() const {
  int textX = ColumnX(cursor_.line, cursor_.column);
  if (!preedit_.isEmpty()) {
    // Inside the text being composed, where the input method puts its own cursor (and so
    // its list of candidates).
    QTextLayout layout(QString(), font(), viewport());
    layout.setPreeditArea(cursor_.column, preedit_);
    LayOut(layout, LineText(cursor_.line));
    const QTextLine textLine = layout.lineAt(0);
    const int shown = static_cast<int>(layout.text().size());
    if (textLine.isValid()) {
      textX = qRound(textLine.cursorToX(std::min(cursor_.column, shown) + preeditCursor_));
    }
  }
  const int x = kMargin - hOffset_ + textX;
  const int y = kMargin + (cursor_.line - TopLine()) * LineHeight();
  return {x, y, 1, LineHeight()};
}

void TMemo::UpdateScrollBars() {
  QScrollBar* bar = verticalScrollBar();
  const int visible = VisibleLines();
  bar->setRange(0, std::max(0, BlockCount() - visible));
  bar->setPageStep(visible);
  bar->setSingleStep(1);
}

void TMemo::EnsureCursorVisible() {
  const int top = TopLine();
  const int visible = VisibleLines();
  if (cursor_.line < top) {
    verticalScrollBar()->setValue(cursor_.line);
  } else if (cursor_.line >= top + visible) {
    verticalScrollBar()->setValue(cursor_.line - visible + 1);
  }
  const int x = ColumnX(cursor_.line, cursor_.column);
  const int width = std::max(1, viewport()->width() - 2 * kMargin);
  const int before = hOffset_;
  if (x < hOffset_) {
    hOffset_ = x;
  } else if (x > hOffset_ + width) {
    hOffset_ = x - width;
  }
  if (hOffset_ != before) viewport()->update();
}

void TMemo::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QPalette& colors = palette();
  const int height = LineHeight();
  const MemoPos selStart = SelectionStart();
  const MemoPos selEnd = SelectionEnd();
  const bool showCursor = hasFocus() && blinkOn_;
  QTextLayout layout(QString(), font(), viewport());
  int y = kMargin;
  for (int line = TopLine(); line < BlockCount() && y < viewport()->height(); ++line, y += height) {
    if (y + height < event->rect().top()) continue;
    const QString text = LineText(line);
    const QPointF origin(kMargin - hOffset_, y);
    const bool preeditHere = !preedit_.isEmpty() && line == cursor_.line;
    // Set before the layout: changing it afterwards throws the laid-out line away.
    layout.setPreeditArea(preeditHere ? cursor_.column : -1, preeditHere ? preedit_ : QString());
    LayOut(layout, text);
    QList<QTextLayout::FormatRange> selections;
    if (HasSelection() && line >= selStart.line && line <= selEnd.line) {
      QTextLayout::FormatRange range;
      range.start = line == selStart.line ? selStart.column : 0;
      range.length =
          (line == selEnd.line ? selEnd.column : static_cast<int>(text.size())) - range.start;
      range.format.setBackground(colors.brush(QPalette::Highlight));
      range.format.setForeground(colors.brush(QPalette::HighlightedText));
      selections.append(range);
      if (line < selEnd.line) {
        // The selected line break: a space's width behind the line.
        const QTextLine textLine = layout.lineAt(0);
        const qreal end = textLine.isValid() ? textLine.naturalTextWidth() : 0;
        painter.fillRect(
            QRectF(origin.x() + end, y, fontMetrics().horizontalAdvance(QLatin1Char(' ')), height),
            colors.brush(QPalette::Highlight));
      }
    }
    if (preeditHere) {
      QTextLayout::FormatRange range;
      range.start = cursor_.column;
      range.length = static_cast<int>(preedit_.size());
      range.format.setFontUnderline(true);
      selections.append(range);
    }
    layout.draw(&painter, origin, selections);
    if (showCursor && line == cursor_.line) {
      const int shown = static_cast<int>(layout.text().size());
      const int column = std::min(cursor_.column, shown) + (preeditHere ? preeditCursor_ : 0);
      layout.drawCursor(&painter, origin, column, 1);
    }
  }
}

void TMemo::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void TMemo::scrollContentsBy(int /*dx*/, int /*dy*/) {
  viewport()->update();
}

void TMemo::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  RestartBlink();
}

void TMemo::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  blinkTimer_.stop();
  viewport()->update();
}

void TMemo::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    UpdateScrollBars();
    viewport()->update();
  }
}

void TMemo::RestartBlink() {
  blinkOn_ = true;
  const int period = QApplication::cursorFlashTime() / 2;
  if (hasFocus() && period > 0) {
    blinkTimer_.start(period, this);
  } else {
    blinkTimer_.stop();
  }
}

void TMemo::timerEvent(QTimerEvent* event) {
  if (event->timerId() == blinkTimer_.timerId()) {
    blinkOn_ = !blinkOn_;
    viewport()->update(CursorRect().adjusted(-2, 0, 2, 0));
  } else if (event->timerId() == dragTimer_.timerId()) {
    ScrollForDrag();
  } else if (event->timerId() == selectionTimer_.timerId()) {
    selectionTimer_.stop();
    PublishSelection();
  } else {
    QAbstractScrollArea::timerEvent(event);
  }
}

}  // namespace zemb::ui
