#include "HexView.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "Convert.h"
#include "ImageInput.h"

namespace zemb::ui {
namespace {

constexpr int kBytesPerRow = 16;
constexpr int kMargin = 4;
// Ranges wider than this get no CRC-32: no chip is near that size, and the sum would take
// as long as the span, not the data.
constexpr uint64_t kMaxChecksumSpan = 16u << 20;

const QColor kMarkBackground(255, 205, 205);
const QColor kMarkText(170, 0, 0);

QString Hex(uint32_t value, int digits) {
  return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// Character column of hex cell i and of ASCII cell i, after the address and two blanks.
int HexColumn(int addressDigits, int i) {
  return addressDigits + 2 + i * 3 + (i >= 8 ? 1 : 0);
}
int AsciiColumn(int addressDigits, int i) {
  return HexColumn(addressDigits, kBytesPerRow - 1) + 2 + 2 + i;
}
int LineColumns(int addressDigits) {
  return AsciiColumn(addressDigits, kBytesPerRow);
}

// A count as tr() takes it for choosing the plural form; no image the window can hold comes
// near the limit.
int Plural(uint64_t n) {
  return static_cast<int>(std::min<uint64_t>(n, INT_MAX));
}

QString Number(uint64_t n) {
  return QString::number(static_cast<qulonglong>(n));
}

int DigitsFor(uint32_t highest) {
  int digits = 4;
  while (digits < 8 && (highest >> (digits * 4)) != 0) ++digits;
  return digits;
}

}  // namespace

HexTable::HexTable(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName(QStringLiteral("HexTable"));
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  viewport()->setAutoFillBackground(true);
  viewport()->setBackgroundRole(QPalette::Base);
  setFocusPolicy(Qt::StrongFocus);
}

void HexTable::SetImage(SparseImage image) {
  image_ = std::move(image);
  chip_ = SparseImage();
  diff_ = false;
  BuildLines(0, UINT32_MAX);
}

void HexTable::SetDifferences(SparseImage file, SparseImage chip, uint32_t first, uint32_t last) {
  image_ = std::move(file);
  chip_ = std::move(chip);
  diff_ = true;
  BuildLines(first, last);
}

void HexTable::Clear() {
  SetImage(SparseImage());
}

bool HexTable::Differs(uint32_t address) const {
  if (address < first_ || address > last_) return false;
  uint8_t want = 0;
  uint8_t have = 0;
  return image_.Get(address, want) && chip_.Get(address, have) && want != have;
}

void HexTable::BuildLines(uint32_t first, uint32_t last) {
  first_ = first;
  last_ = last;
  lines_.clear();
  // Cost follows the data: one walk over the runs, one line per row that holds a byte.
  image_.ForEachRun([&](uint32_t address, const uint8_t*, size_t size) {
    const uint64_t end = uint64_t{address} + size - 1;
    if (end < first || address > last) return;
    const uint64_t from = std::max<uint64_t>(address, first) & ~uint64_t{kBytesPerRow - 1};
    const uint64_t to = std::min<uint64_t>(end, last);
    for (uint64_t row = from; row <= to; row += kBytesPerRow) {
      const auto r = static_cast<uint32_t>(row);
      if (!lines_.empty() && lines_.back().row == r) continue;
      lines_.push_back({r, false, 0});
    }
  });
  if (diff_) {
    std::vector<Line> withChip;
    withChip.reserve(lines_.size());
    for (Line line : lines_) {
      for (int i = 0; i < kBytesPerRow; ++i) {
        if (Differs(line.row + static_cast<uint32_t>(i))) line.differing |= uint16_t(1u << i);
      }
      withChip.push_back(line);
      if (line.differing != 0) withChip.push_back({line.row, true, line.differing});
    }
    lines_ = std::move(withChip);
  }
  addressDigits_ = DigitsFor(lines_.empty() ? 0 : lines_.back().row + kBytesPerRow - 1);
  UpdateScrollBars();
  verticalScrollBar()->setValue(0);
  viewport()->update();
}

int HexTable::ShownValue(const Line& line, int column) const {
  const uint32_t address = line.row + static_cast<uint32_t>(column);
  if (line.chip && !((line.differing >> column) & 1u)) return kBlank;
  uint8_t value = 0;
  const SparseImage& source = line.chip ? chip_ : image_;
  const bool inRange = !diff_ || (address >= first_ && address <= last_);
  return inRange && source.Get(address, value) ? value : kAbsent;
}

QString HexTable::Cell(const Line& line, int column) const {
  const int value = ShownValue(line, column);
  if (value == kBlank) return QStringLiteral("  ");
  if (value == kAbsent) return QStringLiteral("--");
  return Hex(static_cast<uint32_t>(value), 2);
}

QChar HexTable::AsciiOf(const Line& line, int column) const {
  const int value = ShownValue(line, column);
  if (value < 0) return QLatin1Char(' ');
  return value >= 0x20 && value < 0x7F ? QLatin1Char(static_cast<char>(value)) : QLatin1Char('.');
}

QString HexTable::LineText(int index) const {
  if (index < 0 || index >= LineCount()) return QString();
  const Line& line = lines_[static_cast<size_t>(index)];
  QString text(LineColumns(addressDigits_), QLatin1Char(' '));
  const QString label = line.chip ? tr("ROM").leftJustified(addressDigits_, QLatin1Char(' '), true)
                                  : Hex(line.row, addressDigits_);
  text.replace(0, label.size(), label);
  for (int i = 0; i < kBytesPerRow; ++i) {
    text.replace(HexColumn(addressDigits_, i), 2, Cell(line, i));
    text[AsciiColumn(addressDigits_, i)] = AsciiOf(line, i);
  }
  return text;
}

std::vector<uint32_t> HexTable::MarkedAddresses(int index) const {
  std::vector<uint32_t> marked;
  if (index < 0 || index >= LineCount()) return marked;
  const Line& line = lines_[static_cast<size_t>(index)];
  for (int i = 0; i < kBytesPerRow; ++i) {
    if ((line.differing >> i) & 1u) marked.push_back(line.row + static_cast<uint32_t>(i));
  }
  return marked;
}

QString HexTable::DifferenceText(int index, int column) const {
  if (index < 0 || index >= LineCount() || column < 0 || column >= kBytesPerRow) return QString();
  const Line& line = lines_[static_cast<size_t>(index)];
  if (!((line.differing >> column) & 1u)) return QString();
  const uint32_t address = line.row + static_cast<uint32_t>(column);
  uint8_t file = 0;
  uint8_t chip = 0;
  image_.Get(address, file);
  chip_.Get(address, chip);
  return tr("%1  ファイル %2  ROM %3")
      .arg(QString::fromStdString(AddressText(address)), Hex(file, 2), Hex(chip, 2));
}

bool HexTable::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QAbstractScrollArea::viewportEvent(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  const QFontMetrics metrics(font());
  const int lineHeight = std::max(1, metrics.height());
  const int charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
  const int index = verticalScrollBar()->value() + help->pos().y() / lineHeight;
  const int x = help->pos().x() - kMargin + horizontalScrollBar()->value();
  // A hex cell takes its two digits and the blank on either side; an ASCII cell one place.
  int column = -1;
  for (int i = 0; i < kBytesPerRow && x >= 0 && column < 0; ++i) {
    const int hex = HexColumn(addressDigits_, i) * charWidth;
    const int ascii = AsciiColumn(addressDigits_, i) * charWidth;
    if ((x >= hex - charWidth / 2 && x < hex + 2 * charWidth + charWidth / 2) ||
        (x >= ascii && x < ascii + charWidth)) {
      column = i;
    }
  }
  const QString text = DifferenceText(index, column);
  if (text.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), text, viewport());
    event->accept();
  }
  return true;
}

void HexTable::UpdateScrollBars() {
  const QFontMetrics metrics(font());
  const int lineHeight = std::max(1, metrics.height());
  const int visible = std::max(1, viewport()->height() / lineHeight);
  verticalScrollBar()->setPageStep(visible);
  verticalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setRange(0, std::max(0, LineCount() - visible));
  const int width =
      2 * kMargin + metrics.horizontalAdvance(QLatin1Char('0')) * LineColumns(addressDigits_);
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
}

void HexTable::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void HexTable::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QFontMetrics metrics(font());
  const int lineHeight = std::max(1, metrics.height());
  const int charWidth = metrics.horizontalAdvance(QLatin1Char('0'));
  const int left = kMargin - horizontalScrollBar()->value();
  const int top = verticalScrollBar()->value();
  const QRect area = event->rect();
  const int firstLine = top + area.top() / lineHeight;
  const int lastLine = std::min(LineCount() - 1, top + area.bottom() / lineHeight);
  const QColor text = palette().color(QPalette::Text);
  const QColor faint = palette().color(QPalette::PlaceholderText);
  for (int index = firstLine; index <= lastLine; ++index) {
    const Line& line = lines_[static_cast<size_t>(index)];
    const int y = (index - top) * lineHeight;
    const int baseline = y + metrics.ascent();
    if (line.differing != 0) {
      for (int i = 0; i < kBytesPerRow; ++i) {
        if (!((line.differing >> i) & 1u)) continue;
        painter.fillRect(left + HexColumn(addressDigits_, i) * charWidth - charWidth / 2, y,
                         3 * charWidth, lineHeight, kMarkBackground);
        painter.fillRect(left + AsciiColumn(addressDigits_, i) * charWidth, y, charWidth,
                         lineHeight, kMarkBackground);
      }
    }
    // One call per line: a line's text is a few dozen characters.
    const QString content = LineText(index);
    painter.setPen(line.chip ? kMarkText : text);
    painter.drawText(left, baseline, content.left(addressDigits_));
    for (int i = 0; i < kBytesPerRow; ++i) {
      const bool marked = (line.differing >> i) & 1u;
      const QString cell = content.mid(HexColumn(addressDigits_, i), 2);
      painter.setPen(marked ? kMarkText : (cell == QLatin1String("--") ? faint : text));
      painter.drawText(left + HexColumn(addressDigits_, i) * charWidth, baseline, cell);
    }
    painter.setPen(line.chip ? kMarkText : text);
    painter.drawText(left + AsciiColumn(addressDigits_, 0) * charWidth, baseline,
                     content.mid(AsciiColumn(addressDigits_, 0)));
  }
}

HexView::HexView(QWidget* owner) : QWidget(owner, Qt::Window) {
  setObjectName(QStringLiteral("HexView"));
  setWindowTitle(tr("HEX表示"));
  header_ = new QLabel(this);
  header_->setObjectName(QStringLiteral("HexViewHeader"));
  // Device answers and file contents reach this label: never rich text.
  header_->setTextFormat(Qt::PlainText);
  header_->setWordWrap(true);
  header_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  header_->hide();
  table_ = new HexTable(this);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("HexViewStatus"));
  status_->setTextFormat(Qt::PlainText);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(header_);
  layout->addWidget(table_, 1);
  layout->addWidget(status_);
  // Wide enough for a row of a 1-Mbit chip, but never larger than the screen (at a scale
  // factor of 2 a small screen has less room than one row needs).
  const QFontMetrics metrics(table_->font());
  QSize size(metrics.horizontalAdvance(QLatin1Char('0')) * (LineColumns(5) + 2) + 40,
             metrics.height() * 24 + 60);
  if (const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen()) {
    size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
  }
  resize(size);
}

void HexView::SetHeader(const QString& text) {
  header_->setText(text);
  header_->setVisible(!text.isEmpty());
}

void HexView::SetStatusLine(const SparseImage& image, uint32_t first, uint32_t last) {
  const uint64_t bytes = image.Count() - image.CountOutside(first, last).count;
  const int digits = DigitsFor(last);
  const QString crc = uint64_t{last} - first + 1 <= kMaxChecksumSpan
                          ? Hex(ChecksumRange(image, first, last).Crc32(), 8)
                          : tr("(範囲が広すぎます)");
  status_->setText(tr("範囲 %1-%2  %3 バイト  CRC-32 %4")
                       .arg(Hex(first, digits), Hex(last, digits))
                       .arg(bytes)
                       .arg(crc));
}

void HexView::ShowMemo(const std::string& text) {
  setWindowTitle(tr("HEX表示"));
  InputImage input;
  std::string error;
  if (!LoadInputImage("memo", text, ImageFormat::IntelHex, 0, input, error)) {
    table_->Clear();
    SetHeader(tr("メモの内容を読めません: %1").arg(QString::fromStdString(error)));
    status_->clear();
    return;
  }
  SetHeader(QString());
  if (!input.hasRange) {
    table_->Clear();
    status_->setText(tr("データがありません"));
    return;
  }
  // The range of the header lines may run either way; the sum covers what lies between.
  const uint32_t first = std::min(input.start, input.end);
  const uint32_t last = std::max(input.start, input.end);
  SetStatusLine(input.image, first, last);
  table_->SetImage(std::move(input.image));
}

void HexView::ShowDifferences(const SparseImage& file, const SparseImage& chip, uint32_t first,
                              uint32_t last) {
  setWindowTitle(tr("差分"));
  const ImageDiffReport report = DiffImages(file, chip, first, last, 0);
  SetHeader(DifferenceSummary(report, first, last).join(QLatin1Char('\n')));
  SetStatusLine(file, first, last);
  table_->SetDifferences(file, chip, first, last);
}

QString HexView::RunsText(const std::vector<AddressRun>& runs) {
  const size_t shown = std::min(runs.size(), kSummaryRunsShown);
  QStringList named;
  for (size_t i = 0; i < shown; ++i) named << QString::fromStdString(RunText(runs[i]));
  QString list = named.join(QStringLiteral(", "));
  if (runs.size() > shown) {
    //: Address runs cut short; %2 is how many more there are.
    list = tr("%1 ほか %2 か所").arg(list, Number(runs.size() - shown));
  }
  //: Follows the count of differing bytes; %1 lists the runs of consecutive addresses.
  return tr("（%n か所: %1）", nullptr, Plural(runs.size())).arg(list);
}

QStringList HexView::DifferenceSummary(const ImageDiffReport& report, uint32_t first,
                                       uint32_t last) {
  QStringList lines;
  if (report.differing == 0 && report.missing == 0) {
    // The view opens after the device answered NG, so a read that matches contradicts it.
    const QString range = QString::fromStdString(RangeText(first, last));
    lines << tr("ROMライタの比較は NG でしたが、%1 の読み出しは %n バイトすべてがファイルと一致し"
                "ます: ROMライタの比較と読み出しが食い違っています",
                nullptr, Plural(report.compared))
                 .arg(range);
    return lines;
  }
  if (report.differing == 0) {
    if (report.compared == report.missing) {
      lines << tr("ファイルのバイトは ROM の読み出しにひとつもありません");
    } else {
      lines << tr("%n バイトすべてが一致します", nullptr, Plural(report.compared - report.missing));
    }
  } else {
    // English puts "differ" after the differing count and "bytes" after the compared one.
    const QString runs = RunsText(report.runs);
    const QString differing = Number(report.differing);
    const int compared = Plural(report.compared);
    lines << (report.differing == 1
                  ? tr("%n バイト中 %1 バイトが異なります%2", "one byte differs", compared)
                  : tr("%n バイト中 %1 バイトが異なります%2", "several bytes differ", compared))
                 .arg(differing, runs);
  }
  if (report.missing > 0) {
    lines << tr("ファイルの %n バイトが ROM の読み出しにありません", nullptr,
                Plural(report.missing));
  }
  if (report.differing > 0) {
    if (report.needErase > 0) {
      lines << tr("うち %1 バイトは 0 のビットを 1 に戻す必要があり、消去しないと直せません")
                   .arg(Number(report.needErase));
    } else {
      lines << tr("どの違いもビットを 0 にするだけなので、消去せずに書き込めば一致させられます");
    }
  }
  return lines;
}

void HexView::ShowReadFailure(const std::string& status) {
  ShowProblem(tr("ROMの読み出しに失敗しました: %1")
                  .arg(status.empty() ? tr("(応答なし)") : QString::fromStdString(status)));
}

void HexView::ShowProblem(const QString& text) {
  setWindowTitle(tr("差分"));
  table_->Clear();
  status_->clear();
  SetHeader(text);
}

QString HexView::HeaderText() const {
  return header_->isVisibleTo(this) ? header_->text() : QString();
}

QString HexView::StatusText() const {
  return status_->text();
}

}  // namespace zemb::ui
