// Times what "where does the chip differ" costs for a 1-Mbit (128 KiB) chip: the diff of two
// images that differ in 10% of their bytes with its report, and the hex view's first paint
// of such an image from the memo's text (parse, rows, painting the rows in sight). Prints
// the best and the median of several runs.
#include <QApplication>
#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "HexView.h"
#include "ImageDiff.h"
#include "ImageFormats.h"

int main(int argc, char** argv) {
  int runs = 15;
  int exit = 0;
  if (!zemb::bench::ParseRuns(argc, argv, "bench_image_diff", runs, exit)) return exit;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  constexpr size_t kSize = 0x20000;  // 1 Mbit
  std::mt19937 rng(1);
  std::vector<uint8_t> bytes(kSize);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  zemb::SparseImage file;
  file.SetRange(0, bytes.data(), bytes.size());
  // Every tenth byte on average differs, half of them by a bit the chip lacks.
  std::vector<uint8_t> chipBytes = bytes;
  size_t changed = 0;
  for (size_t i = 0; i < kSize; ++i) {
    if (rng() % 10 != 0) continue;
    uint8_t& b = chipBytes[i];
    b = rng() % 2 ? static_cast<uint8_t>(b | 0x80 | (rng() & 0x7F)) : static_cast<uint8_t>(~b);
    if (b == bytes[i]) b = static_cast<uint8_t>(~b);
    ++changed;
  }
  zemb::SparseImage chip;
  chip.SetRange(0, chipBytes.data(), chipBytes.size());
  std::printf("128 KiB image, %zu bytes differ on the chip\n", changed);

  zemb::bench::Time("diff, 10% differing (counts, runs, first 16)", runs, [&] {
    return static_cast<size_t>(zemb::DiffImages(file, chip, 0, kSize - 1, 16).differing);
  });
  zemb::bench::Time("diff and its report as text", runs, [&] {
    return zemb::FormatDiffReport(zemb::DiffImages(file, chip, 0, kSize - 1, 16)).size();
  });

  const std::string memo = zemb::WriteIntelHex(file);
  zemb::bench::Time("hex view: first paint from the memo's text", runs, [&] {
    zemb::ui::HexView view(nullptr);
    view.resize(720, 480);
    view.ShowMemo(memo);
    const QPixmap shot = view.grab();
    return static_cast<size_t>(view.Table()->LineCount()) + (shot.isNull() ? 0 : 1) - 1;
  });
  zemb::bench::Time("differences view: first paint", runs, [&] {
    zemb::ui::HexView view(nullptr);
    view.resize(720, 480);
    view.ShowDifferences(file, chip, 0, kSize - 1);
    const QPixmap shot = view.grab();
    return static_cast<size_t>(view.Table()->LineCount()) + (shot.isNull() ? 0 : 1) - 1;
  });
  return 0;
}
