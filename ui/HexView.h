// The hex view: an image 16 bytes a row (address, hex, ASCII) with its range, byte count and
// CRC-32 below; and the same view of a file against a chip's read, every differing byte
// marked, with the count and the erase verdict on top.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "ImageDiff.h"
#include "ImageFormats.h"

class QLabel;

namespace zemb::ui {

// Paints only the rows in sight, so a megabit image opens as fast as a small one. Rows are
// the 16-byte rows that hold data; a byte the image lacks shows as "--".
class HexTable : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit HexTable(QWidget* parent = nullptr);

  void SetImage(SparseImage image);
  // Rows of file's bytes in first..last; where chip differs the byte is marked and a line
  // beneath the row gives the chip's values.
  void SetDifferences(SparseImage file, SparseImage chip, uint32_t first, uint32_t last);
  void Clear();

  int LineCount() const { return static_cast<int>(lines_.size()); }
  // A line as it is painted, without the marks.
  QString LineText(int index) const;
  // The addresses marked as differing on the row of line index.
  std::vector<uint32_t> MarkedAddresses(int index) const;
  // A marked byte of line index as one line: its address, the file's and the chip's value
  // ("0x0123  file 3C  chip FF"); empty for a byte that is not marked. Shown as its tooltip.
  QString DifferenceText(int index, int column) const;

 protected:
  bool viewportEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct Line {
    uint32_t row;        // address of the row's first byte, a multiple of 16
    bool chip;           // the chip's values under a row with differences
    uint16_t differing;  // bit i: byte i of the row differs
  };

  void BuildLines(uint32_t first, uint32_t last);
  void UpdateScrollBars();
  bool Differs(uint32_t address) const;
  // A cell's byte, kAbsent where the image has none, kBlank on a chip line where nothing
  // differs.
  static constexpr int kAbsent = -1;
  static constexpr int kBlank = -2;
  int ShownValue(const Line& line, int column) const;
  // The hex digits of a cell ("3C", "--", or blank).
  QString Cell(const Line& line, int column) const;
  QChar AsciiOf(const Line& line, int column) const;

  SparseImage image_;
  SparseImage chip_;
  bool diff_ = false;
  uint32_t first_ = 0;
  uint32_t last_ = 0;
  int addressDigits_ = 4;
  std::vector<Line> lines_;
};

class HexView : public QWidget {
  Q_OBJECT

 public:
  // A window of its own, owned by owner.
  explicit HexView(QWidget* owner);

  // The memo's text, read as the Intel HEX lines the device is sent.
  void ShowMemo(const std::string& text);
  // A file image against the chip's read of first..last.
  void ShowDifferences(const SparseImage& file, const SparseImage& chip, uint32_t first,
                       uint32_t last);
  // The read for the differences failed; status is the device's answer (may be empty).
  void ShowReadFailure(const std::string& status);
  // Something else stood in the way (the memo holds no image, the range runs backwards).
  void ShowProblem(const QString& text);

  QString HeaderText() const;
  QString StatusText() const;
  HexTable* Table() const { return table_; }

 private:
  void SetHeader(const QString& text);
  // The summary, the bytes the read lacked and the erase verdict, in the window's language.
  static QStringList DifferenceSummary(const ImageDiffReport& report, uint32_t first,
                                       uint32_t last);
  static QString RunsText(const std::vector<AddressRun>& runs);
  void SetStatusLine(const SparseImage& image, uint32_t first, uint32_t last);

  QLabel* header_;
  HexTable* table_;
  QLabel* status_;
};

}  // namespace zemb::ui
