#include "Controls.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionGroupBox>
#include <stdexcept>

#include "ErrorHandler.h"
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
