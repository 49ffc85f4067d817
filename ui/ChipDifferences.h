// The read behind the window's differences view: the range read from the chip into a list
// of its own, so that the memo, the device's last answer and the component's line list stay
// as the compare left them.
#pragma once

#include <QProgressBar>
#include <cstdint>
#include <string>

#include "ImageFormats.h"
#include "uZEMB.h"

namespace zemb::ui {

struct ChipRead {
  bool ok = false;
  // The port could not be opened or written (the silent abort).
  bool aborted = false;
  // The read's answer, or why its records could not be taken.
  std::string status;
  SparseImage chip;
};

// Reads start..end with rom, moving bar by the records received. rom's Status, Lines and
// OnGetChar handler are put back however the read ends.
ChipRead ReadChipRange(TzembROMWT& rom, int32_t start, int32_t end, QProgressBar* bar);

}  // namespace zemb::ui
