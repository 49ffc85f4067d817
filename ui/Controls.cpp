#include "Controls.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QStyleOptionGroupBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <stdexcept>

#include "ErrorHandler.h"
#include "MemoText.h"
#include "PlainText.h"

namespace zemb::ui {

namespace {

void Fire(const TNotifyEvent& event, TComponent* sender) {
  if (event) RunGuarded([&] { event(sender); });
}

}  // namespace

void SetBounds(QWidget* widget, int left, int top, int width, int height) {
  widget->setGeometry(left, top, width, height);
}

TButton::TButton(TComponent* owner, QWidget* parent) : QPushButton(parent), TComponent(owner) {
  connect(this, &QPushButton::clicked, this, [this] { Fire(OnClick, this); });
}

TLabel::TLabel(TComponent* owner, QWidget* parent) : QLabel(parent), TComponent(owner) {
  // A path is shown as it is, never as rich text.
  setTextFormat(Qt::PlainText);
}

void TLabel::SetCaption(const std::string& caption) {
  setText(QString::fromStdString(caption));
  UpdateToolTip();
}

QString TLabel::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void TLabel::paintEvent(QPaintEvent* event) {
  const QString shown = ShownText();
  if (shown == text()) {
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(),
                        QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                        isEnabled(), shown, foregroundRole());
}

void TLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  UpdateToolTip();
}

void TLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange) UpdateToolTip();
}

void TLabel::UpdateToolTip() {
  setToolTip(ShownText() == text() ? QString() : PlainToolTip(text()));
}

TPanel::TPanel(TComponent* owner, QWidget* parent) : QFrame(parent), TComponent(owner) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
}

void TPanel::SetCaption(const std::string& caption) {
  caption_ = QString::fromStdString(caption);
  update();
}

void TPanel::SetShowCaption(bool show) {
  showCaption_ = show;
  update();
}

void TPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (!showCaption_) return;
  QPainter painter(this);
  painter.drawText(contentsRect(), Qt::AlignCenter, caption_);
}

TProgressBar::TProgressBar(TComponent* owner, QWidget* parent)
    : QProgressBar(parent), TComponent(owner) {
  setTextVisible(false);
}

TEdit::TEdit(TComponent* owner, QWidget* parent) : QLineEdit(parent), TComponent(owner) {
  setAcceptDrops(false);
}

// --- Memo ------------------------------------------------------------------------------

TMemo::TMemo(TComponent* owner, QWidget* parent)
    : QPlainTextEdit(parent), TComponent(owner), lines_(this) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  // Tab and Shift+Tab move the focus on, as everywhere else in the window.
  setTabChangesFocus(true);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setAcceptDrops(false);
  viewport()->setAcceptDrops(false);
  connect(document(), &QTextDocument::contentsChanged, this, [this] {
    if (!ownChange_) lines_.Invalidate();
  });
}

std::string TMemo::Text() const {
  if (Filling()) return MemoLinesToBytes(fillText_, QChar('\n'));
  return MemoLinesToBytes(document()->toRawText(), QChar::ParagraphSeparator);
}

void TMemo::SetText(const std::string& value) {
  const QString text = BytesToMemoLines(value, QChar('\n'));
  lines_.SetCacheFrom(text, QChar('\n'));
  ReplaceDocumentText(text);
}

void TMemo::ReplaceDocumentText(const QString& text) {
  EndFill();
  // Counting stops once it is clear that the text is large.
  qsizetype cut = -1;
  int lines = 0;
  for (qsizetype at = text.indexOf(QChar('\n')); at >= 0; at = text.indexOf(QChar('\n'), at + 1)) {
    if (++lines == kFirstFillLines) {
      cut = at;
      break;
    }
  }
  ownChange_ = true;
  if (cut < 0 || cut + 1 >= text.size()) {
    setPlainText(text);
    ownChange_ = false;
    return;
  }
  setPlainText(text.left(cut));
  ownChange_ = false;
  fillText_ = text;
  fillPos_ = cut;
  readOnlyBeforeFill_ = isReadOnly();
  setReadOnly(true);
  // Undo steps for the slices would only let the user take half the image back out.
  document()->setUndoRedoEnabled(false);
  ScheduleFill();
}

void TMemo::FillFor(int budgetMs) {
  if (!Filling()) return;
  QElapsedTimer clock;
  clock.start();
  {
    // The memo's text and lines already are the whole text, so the slices change nothing
    // anyone watching the memo could see: its signals stay quiet. One edit per call: the
    // layout and the scroll bars hear of the slices once.
    const QSignalBlocker quiet(this);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    ownChange_ = true;
    do {
      qsizetype end = fillPos_;
      for (int i = 0; i < kFillSliceLines && end >= 0; ++i) {
        end = fillText_.indexOf(QChar('\n'), end + 1);
      }
      if (end < 0 || end + 1 >= fillText_.size()) end = fillText_.size();
      // The slice begins with the line break that ends the document's last line.
      cursor.insertText(QStringView(fillText_).mid(fillPos_, end - fillPos_).toString());
      fillPos_ = end;
    } while (fillPos_ < fillText_.size() && (budgetMs < 0 || clock.elapsed() < budgetMs));
    cursor.endEditBlock();
    ownChange_ = false;
  }
  if (fillPos_ >= fillText_.size()) EndFill();
}

void TMemo::ScheduleFill() {
  if (fillScheduled_) return;
  fillScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    fillScheduled_ = false;
    FillFor(kFillSliceMs);
    if (Filling()) ScheduleFill();
  });
}

void TMemo::FinishFill() {
  FillFor(-1);
}

void TMemo::EndFill() {
  if (!Filling()) return;
  fillPos_ = -1;
  fillText_.clear();
  document()->setUndoRedoEnabled(true);
  setReadOnly(readOnlyBeforeFill_);
}

void TMemoStrings::SetCacheFrom(QStringView text, QChar separator) const {
  cache_.clear();
  qsizetype start = 0;
  for (;;) {
    const qsizetype end = text.indexOf(separator, start);
    if (end < 0) {
      // The text after the last line break is a line only when it is not empty.
      if (start < text.size()) cache_.push_back(MemoTextToBytes(text.mid(start)));
      break;
    }
    cache_.push_back(MemoTextToBytes(text.mid(start, end - start)));
    start = end + 1;
  }
  cacheValid_ = true;
}

void TMemoStrings::EnsureCache() const {
  if (cacheValid_) return;
  if (memo_->Filling()) {
    SetCacheFrom(memo_->fillText_, QChar('\n'));
  } else {
    SetCacheFrom(memo_->document()->toRawText(), QChar::ParagraphSeparator);
  }
}

int TMemoStrings::Count() const {
  EnsureCache();
  return static_cast<int>(cache_.size());
}

std::string TMemoStrings::Get(int index) const {
  EnsureCache();
  if (index < 0 || index >= static_cast<int>(cache_.size())) {
    throw std::out_of_range("line index " + std::to_string(index) + " out of bounds");
  }
  return cache_[static_cast<size_t>(index)];
}

void TMemoStrings::Add(const std::string& line) {
  EnsureCache();
  if (updateDepth_ > 0) {
    cache_.push_back(line);
    rewritePending_ = true;
    return;
  }
  // Appended after the last line break; a last line without one gets one first.
  memo_->FinishFill();
  QTextDocument* doc = memo_->document();
  const bool endsWithBreak = doc->lastBlock().text().isEmpty();
  QString text = BytesToMemoText(line) + QChar('\n');
  if (!endsWithBreak) text.prepend(QChar('\n'));
  QTextCursor cursor(doc);
  cursor.movePosition(QTextCursor::End);
  memo_->ownChange_ = true;
  cursor.insertText(text);
  memo_->ownChange_ = false;
  cache_.push_back(line);
}

void TMemoStrings::Clear() {
  cache_.clear();
  cacheValid_ = true;
  if (updateDepth_ > 0) {
    rewritePending_ = true;
    return;
  }
  Rewrite();
}

void TMemoStrings::Delete(int index) {
  EnsureCache();
  if (index < 0 || index >= static_cast<int>(cache_.size())) {
    throw std::out_of_range("line index " + std::to_string(index) + " out of bounds");
  }
  cache_.erase(cache_.begin() + index);
  if (updateDepth_ > 0) {
    rewritePending_ = true;
    return;
  }
  Rewrite();
}

void TMemoStrings::SetLines(std::vector<std::string> lines) {
  cache_ = std::move(lines);
  cacheValid_ = true;
  if (updateDepth_ > 0) {
    rewritePending_ = true;
    return;
  }
  Rewrite();
}

void TMemoStrings::EndUpdate() {
  if (updateDepth_ > 0) --updateDepth_;
  if (updateDepth_ == 0 && rewritePending_) Rewrite();
}

void TMemoStrings::Rewrite() {
  size_t size = 0;
  for (const auto& line : cache_) size += line.size() + 1;
  std::string joined;
  joined.reserve(size);
  for (const auto& line : cache_) {
    joined += line;
    joined += '\n';
  }
  rewritePending_ = false;
  memo_->ReplaceDocumentText(BytesToMemoText(joined));
  cacheValid_ = true;
}

// --- Combo box -------------------------------------------------------------------------

TComboBox::TComboBox(TComponent* owner, QWidget* parent) : QComboBox(parent), TComponent(owner) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setCompleter(nullptr);
  setMaxVisibleItems(19);
  setAcceptDrops(false);
  lineEdit()->setAcceptDrops(false);
  connect(this, &QComboBox::activated, this, [this](int) {
    if (suppressActivation_) return;
    RunGuarded([this] {
      if (OnClick) OnClick(this);
      if (OnChange) OnChange(this);
    });
  });
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] { Fire(OnChange, this); });
  // Qt leaves the cursor behind the text a selection puts there, scrolling the item's code
  // out of a narrow field.
  connect(this, &QComboBox::currentIndexChanged, this, [this] { ShowTextStart(); });
}

void TComboBox::SetText(const std::string& value) {
  setEditText(QString::fromStdString(value));
  ShowTextStart();
}

void TComboBox::ShowTextStart() {
  lineEdit()->setCursorPosition(0);
}

void TComboBox::SetItemIndex(int index) {
  setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

void TComboBox::SetItems(const std::vector<std::string>& items) {
  clear();
  for (const auto& item : items) addItem(QString::fromStdString(item));
}

void TComboBox::showPopup() {
  // Raised before the base call: Qt returns at once from an empty list.
  Fire(OnDropDown, this);
  QAbstractItemView* list = view();
  // Room for a scroll bar too: a screen shorter than the list makes it scroll.
  const int widest = list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                     style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
  list->setMinimumWidth(std::max(widest, width()));
  QComboBox::showPopup();
}

void TComboBox::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  suppressActivation_ = enter;
  QComboBox::keyPressEvent(event);
  suppressActivation_ = false;
}

void TComboBox::focusOutEvent(QFocusEvent* event) {
  suppressActivation_ = true;
  QComboBox::focusOutEvent(event);
  suppressActivation_ = false;
  ShowTextStart();
}

// --- Radio group -----------------------------------------------------------------------

// The style's round indicator can be taller than an item's share of the designed group;
// it is drawn smaller then, so that neighbouring items keep a gap.
class RadioItemStyle : public QProxyStyle {
 public:
  void SetMaxIndicator(int size) { maxIndicator_ = size; }
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    const int base = QProxyStyle::pixelMetric(metric, option, widget);
    if (metric == PM_ExclusiveIndicatorWidth || metric == PM_ExclusiveIndicatorHeight) {
      return std::min(base, maxIndicator_);
    }
    return base;
  }

 private:
  int maxIndicator_ = 1 << 16;
};

namespace {

// The group's item buttons are components without a name, owned by the group.
class TRadioItem : public QRadioButton, public TComponent {
 public:
  TRadioItem(TComponent* owner, const QString& text, QWidget* parent)
      : QRadioButton(text, parent), TComponent(owner) {}
};

}  // namespace

TRadioGroup::TRadioGroup(TComponent* owner, QWidget* parent)
    : QGroupBox(parent),
      TComponent(owner),
      group_(new QButtonGroup(this)),
      itemStyle_(std::make_unique<RadioItemStyle>()) {
  group_->setExclusive(true);
}

TRadioGroup::~TRadioGroup() {
  for (auto* button : buttons_) delete static_cast<TRadioItem*>(button);
}

void TRadioGroup::SetItems(const std::vector<std::string>& items) {
  for (auto* button : buttons_) delete static_cast<TRadioItem*>(button);
  buttons_.clear();
  index_ = -1;
  for (const auto& text : items) {
    const int id = static_cast<int>(buttons_.size());
    auto* button = new TRadioItem(this, QString::fromStdString(text), this);
    button->setStyle(itemStyle_.get());
    group_->addButton(button, id);
    connect(button, &QRadioButton::toggled, this, [this, id](bool checked) {
      if (!checked || settingFromCode_ || id == index_) return;
      index_ = id;
      Fire(OnClick, this);
    });
    buttons_.push_back(button);
  }
  ArrangeItems();
}

void TRadioGroup::ArrangeItems() {
  const int n = static_cast<int>(buttons_.size());
  if (n == 0) return;
  QStyleOptionGroupBox option;
  initStyleOption(&option);
  const QRect inside =
      style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, this);
  const int itemHeight = inside.height() / n;
  const int top = inside.top() + inside.height() % n / 2;
  itemStyle_->SetMaxIndicator(std::max(6, itemHeight - 2));
  for (int i = 0; i < n; ++i) {
    buttons_[static_cast<size_t>(i)]->setGeometry(inside.left() + 4, top + i * itemHeight,
                                                  inside.width() - 4, itemHeight);
  }
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  ArrangeItems();
}

void TRadioGroup::changeEvent(QEvent* event) {
  QGroupBox::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) ArrangeItems();
}

void TRadioGroup::SetItemIndex(int index) {
  if (index < -1) index = -1;
  if (index > ItemCount() - 1) index = ItemCount() - 1;
  if (index == index_) return;
  if (index == -1) {
    group_->setExclusive(false);
    buttons_[static_cast<size_t>(index_)]->setChecked(false);
    group_->setExclusive(true);
    index_ = -1;
    return;
  }
  settingFromCode_ = true;
  buttons_[static_cast<size_t>(index)]->setChecked(true);
  settingFromCode_ = false;
  index_ = index;
  // Raised here rather than from Qt's signal so that an error reaches the caller.
  if (OnClick) OnClick(this);
}

// --- File dialogs ----------------------------------------------------------------------

TFileDialog::TFileDialog(TComponent* owner, Kind kind, QWidget* parentWindow)
    : TComponent(owner), kind_(kind), parentWindow_(parentWindow) {}

bool TFileDialog::Execute() {
  if (runner_) return runner_(*this);
  return RunQtDialog();
}

QStringList QtNameFilters(const std::string& filter) {
  QStringList out;
  const QStringList parts = QString::fromStdString(filter).split(QChar('|'));
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    out << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
  }
  return out;
}

bool TFileDialog::RunQtDialog() {
  QFileDialog dialog(parentWindow_);
  const bool open = kind_ == Kind::Open;
  dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  // Any name is accepted; a name that names no file fails later, when it is loaded.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  const QStringList filters = QtNameFilters(filter_);
  dialog.setNameFilters(filters);
  // A name typed without an extension gets the chosen filter's, or the default one.
  const auto suffixFor = [this](int index) {
    const std::string ext = FilterExtension(filter_, index);
    return QString::fromStdString(ext.empty() ? defaultExt_ : ext);
  };
  if (filterIndex_ >= 1 && filterIndex_ <= filters.size()) {
    dialog.selectNameFilter(filters[filterIndex_ - 1]);
  }
  dialog.setDefaultSuffix(suffixFor(filterIndex_));
  QObject::connect(
      &dialog, &QFileDialog::filterSelected, &dialog,
      [&dialog, &filters, suffixFor](const QString& chosen) {
        dialog.setDefaultSuffix(suffixFor(static_cast<int>(filters.indexOf(chosen)) + 1));
      });
  if (!fileName_.empty()) dialog.selectFile(QString::fromStdString(fileName_));
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return false;
  fileName_ = files.first().toStdString();
  const qsizetype chosen = filters.indexOf(dialog.selectedNameFilter());
  if (chosen >= 0) filterIndex_ = static_cast<int>(chosen) + 1;
  return true;
}

std::string FilterExtension(const std::string& filter, int index) {
  const QStringList parts = QString::fromStdString(filter).split(QChar('|'));
  const qsizetype at = 2 * (qsizetype{index} - 1) + 1;
  if (index < 1 || at >= parts.size()) return {};
  const QString first = parts[at].split(QChar(';')).first().trimmed();
  if (!first.startsWith(QStringLiteral("*.")) || first.size() < 3 ||
      first.indexOf(QChar('*'), 1) >= 0) {
    return {};
  }
  return first.mid(2).toStdString();
}

}  // namespace zemb::ui
