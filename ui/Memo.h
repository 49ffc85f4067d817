// The window's memo: an editor over the lines of an image, kept as the bytes they are, one
// string per line. Only the lines in view are ever decoded and laid out, so a million lines
// are taken, shown and scrolled at once, and a line nobody edits keeps every byte it had.
#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QString>
#include <cstddef>
#include <string>
#include <vector>

#include "TComponent.h"
#include "TStrings.h"

class QMenu;
class QTextLayout;

namespace zemb::ui {

class TMemo;

// A place in the memo's text: a line, and a UTF-16 unit within that line as it is shown.
struct MemoPos {
  int line = 0;
  int column = 0;

  friend bool operator==(MemoPos a, MemoPos b) { return a.line == b.line && a.column == b.column; }
  friend bool operator!=(MemoPos a, MemoPos b) { return !(a == b); }
  friend bool operator<(MemoPos a, MemoPos b) {
    return a.line < b.line || (a.line == b.line && a.column < b.column);
  }
};

// The memo's line list. The memo's text is its blocks joined by line breaks; the lines are
// those blocks, without the empty one after a last line break. Changes made here are not
// the user's: they clear the undo history. Between BeginUpdate and EndUpdate those watching
// the memo hear of the changes once, at the end.
class TMemoStrings : public TStrings {
 public:
  explicit TMemoStrings(TMemo* memo) : memo_(memo) {}

  int Count() const override;
  std::string Get(int index) const override;
  void Add(const std::string& line) override;
  void Clear() override;
  void Delete(int index) override;
  void SetLines(std::vector<std::string> lines) override;
  std::string Text() const override;
  void BeginUpdate() override;
  void EndUpdate() override;

 private:
  TMemo* memo_;
};

class TMemo : public QAbstractScrollArea, public TComponent {
  Q_OBJECT

 public:
  // Pixels between the frame and the text, as Qt's own text controls keep.
  static constexpr int kMargin = 4;
  // Units of a line that are laid out and shown; the rest of a longer line is kept, edited
  // and saved, but not painted.
  static constexpr int kShownUnits = 4096;
  // What the undo history may hold, in bytes of the lines it keeps; the oldest steps go
  // first, the latest always stays.
  static constexpr size_t kUndoBytes = size_t{256} << 20;

  TMemo(TComponent* owner, QWidget* parent);
  ~TMemo() override;

  TStrings* Lines() { return &lines_; }
  // The whole content, lines separated by CR LF, exactly as the memo holds it.
  std::string Text() const;
  // Replaces the content; CR LF, a lone CR and a lone LF each break a line.
  void SetText(const std::string& value);

  int BlockCount() const { return static_cast<int>(blocks_.size()); }
  // One line as shown: its bytes decoded, a byte that is not UTF-8 as one unit of its own.
  QString LineText(int line) const;

  MemoPos CursorPos() const { return cursor_; }
  MemoPos AnchorPos() const { return anchor_; }
  bool HasSelection() const { return cursor_ != anchor_; }
  // The selected text, "\n" between lines.
  QString SelectedText() const;
  // Puts the cursor at pos (clamped into the text); the anchor stays with keepAnchor.
  void SetCursorPos(MemoPos pos, bool keepAnchor = false);
  // The first line in view.
  int TopLine() const;

  // The user's editing, as the keys and the edit menu do it.
  void InsertText(const QString& text);
  void SelectAll();
  void Cut();
  void Copy() const;
  void Paste();
  void DeleteSelection();
  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  void Undo();
  void Redo();

  // The edit menu with Qt's own texts (translated with Qt's translations).
  QMenu* CreateEditMenu();

  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

 signals:
  // The text changed, by the user or from code.
  void textChanged();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  friend class TMemoStrings;

  // One step of the user's editing: lines [first, first + inserted) took the place of
  // `removed`; the cursor and anchor before and after.
  struct Edit {
    int first = 0;
    std::vector<std::string> removed;
    int inserted = 0;
    MemoPos cursorBefore, anchorBefore, cursorAfter;
    bool typing = false;
  };

  // Replaces the text between from and to (in either order) by text ("\n" breaks lines),
  // as one step of the undo history; typing steps on one line merge.
  void Replace(MemoPos from, MemoPos to, QStringView text, bool typing = false);
  // Swaps lines [first, first + count) for lines and returns the lines taken out.
  std::vector<std::string> SwapLines(int first, int count, std::vector<std::string> lines);
  void PushUndo(Edit edit);
  // Swaps an edit's lines back: what it removed returns and what it inserted is kept in
  // `removed`, so the same step serves the other way (undone, it can be redone).
  void Reverse(Edit& edit);
  // A change made from code: the undo history goes, the cursor stays inside the text, and
  // the view and those watching hear of it (at EndUpdate when inside an update).
  void ChangedFromCode();
  void Changed();
  void BeginUpdate() { ++updateDepth_; }
  void EndUpdate();

  int LineLength(int line) const { return static_cast<int>(LineText(line).size()); }
  // Every change of blocks_ calls this first: the line LineText keeps decoded is gone.
  void ForgetDecoded() {
    decodedLine_ = -1;
    decoded_.clear();
  }
  MemoPos Clamp(MemoPos pos) const;
  MemoPos SelectionStart() const { return cursor_ < anchor_ ? cursor_ : anchor_; }
  MemoPos SelectionEnd() const { return cursor_ < anchor_ ? anchor_ : cursor_; }
  // Next and previous places the cursor may stand, by character or by word.
  MemoPos NextPos(MemoPos pos, bool words) const;
  MemoPos PreviousPos(MemoPos pos, bool words) const;
  // The word (or run of spaces or of other signs) around pos.
  void WordAround(MemoPos pos, MemoPos& start, MemoPos& end) const;
  // Handles a key that moves the cursor; false when the key is none of those.
  bool MoveByKey(QKeyEvent* event);
  // Handles a key that edits or copies; false when the key is none of those.
  bool EditByKey(QKeyEvent* event);

  // Lays out the shown part of text on one line, without wrapping.
  void LayOut(QTextLayout& layout, const QString& text) const;
  int LineHeight() const;
  int VisibleLines() const;
  // Left pixel of column in line, in text coordinates (before the horizontal scroll).
  int ColumnX(int line, int column) const;
  int ColumnAt(int line, int x) const;
  MemoPos PosAt(const QPoint& viewportPoint) const;
  QRect CursorRect() const;
  void UpdateScrollBars();
  void EnsureCursorVisible();
  void RestartBlink();
  // Puts the selection where the middle button pastes it (X11).
  void PublishSelection() const;
  // The same once the selection has stopped changing for a moment.
  void PublishSelectionSoon();
  void ScrollForDrag();

  TMemoStrings lines_;
  std::vector<std::string> blocks_{std::string()};
  mutable int decodedLine_ = -1;
  mutable QString decoded_;
  MemoPos cursor_, anchor_;
  // The horizontal place the cursor keeps over lines of other lengths, -1 when unset.
  int goalX_ = -1;
  int hOffset_ = 0;
  std::vector<Edit> undo_, redo_;
  size_t undoBytes_ = 0;
  bool mergeTyping_ = false;
  int updateDepth_ = 0;
  bool changePending_ = false;
  QString preedit_;
  int preeditCursor_ = 0;
  bool blinkOn_ = true;
  bool dragging_ = false;
  QPoint dragPoint_;
  // A press soon after a double-click, near it, is a triple click.
  bool tripleClickArmed_ = false;
  ulong doubleClickTime_ = 0;
  QPoint doubleClickPoint_;
  QBasicTimer blinkTimer_;
  QBasicTimer dragTimer_;
  QBasicTimer selectionTimer_;
};

}  // namespace zemb::ui
