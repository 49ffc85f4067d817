#include "ChipDifferences.h"

#include <algorithm>
#include <climits>

#include "Errors.h"
#include "TStrings.h"

namespace zemb::ui {

ChipRead ReadChipRange(TzembROMWT& rom, int32_t start, int32_t end, QProgressBar* bar) {
  ChipRead result;
  TStringList received;
  struct PutBack {
    TzembROMWT& rom;
    std::string status = rom.Status;
    TStrings* lines = rom.Lines;
    TzembGet onGetChar = rom.OnGetChar();
    ~PutBack() {
      rom.Status = status;
      rom.Lines = lines;
      rom.SetOnGetChar(onGetChar);
    }
  } putBack{rom};

  // One record per 16-byte row of the range.
  const uint64_t records =
      (uint64_t{static_cast<uint32_t>(end)} >> 4) - (static_cast<uint32_t>(start) >> 4) + 1;
  bar->setMaximum(static_cast<int>(std::min<uint64_t>(records, INT_MAX)));
  bar->setValue(0);
  int count = 0;
  bool lineStart = true;
  rom.SetOnGetChar([&](TzembROMWT* sender, char c) {
    if (putBack.onGetChar) putBack.onGetChar(sender, c);
    if (lineStart && c == ':') {
      bar->setValue(std::min(++count, bar->maximum()));
      bar->repaint();
    }
    lineStart = c == '\r' || c == '\n';
  });
  rom.Lines = &received;
  try {
    result.ok = rom.ReadRom(start, end);
  } catch (const EAbort&) {
    result.aborted = true;
    return result;
  }
  result.status = rom.Status;
  ImageError fault;
  if (result.ok && !ReadIntelHex(received.Text(), result.chip, fault)) {
    result.ok = false;
    result.status += " (" + fault.Text() + ")";
  }
  return result;
}

}  // namespace zemb::ui
