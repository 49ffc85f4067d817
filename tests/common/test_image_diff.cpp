// Differences between a file and a chip, blank detail and repeated reads: counts, runs,
// the erase verdict and the wording the command line and the window share.
#include <gtest/gtest.h>

#include "ImageDiff.h"

namespace zemb {
namespace {

struct Poke {
  uint32_t address;
  uint8_t value;
};

SparseImage Filled(uint32_t first, uint32_t last, uint8_t value) {
  SparseImage image;
  for (uint64_t a = first; a <= last; ++a) image.Set(static_cast<uint32_t>(a), value);
  return image;
}

SparseImage With(SparseImage image, const std::vector<Poke>& pokes) {
  for (const Poke& p : pokes) image.Set(p.address, p.value);
  return image;
}

struct DiffCase {
  const char* name;
  std::vector<Poke> chipChanges;  // on a chip that otherwise holds the file's 0x3C
  uint64_t differing;
  uint64_t needErase;
  std::vector<std::string> lines;
};

TEST(ImageDiffTest, CountsRunsListsAndVerdict) {
  // The file holds 3C (0011 1100) everywhere. Programming clears bits only, so a chip bit
  // at 0 where the file has 1 needs an erase.
  const std::vector<DiffCase> cases = {
      {"identical", {}, 0, 0, {"all 256 bytes match"}},
      {"bits to clear only",
       {{0x10, 0x3D}, {0x11, 0xFF}, {0x80, 0x7C}},
       3,
       0,
       {"3 of 256 bytes differ, in 2 runs: 0x0010-0x0011, 0x0080", "0x0010  file 3C  chip 3D",
        "0x0011  file 3C  chip FF", "... and 1 more",
        "every difference only clears bits: a write without erasing can make this chip "
        "match"}},
      {"bits to set",
       {{0x20, 0x38}, {0x21, 0x00}},
       2,
       2,
       {"2 of 256 bytes differ, in 1 run: 0x0020-0x0021", "0x0020  file 3C  chip 38",
        "0x0021  file 3C  chip 00",
        "2 of the differing bytes need a bit set from 0 to 1: only erasing the chip can fix "
        "those"}},
      {"both",
       {{0x00, 0xFF}, {0x01, 0x34}, {0xFF, 0x00}},
       3,
       2,
       {"3 of 256 bytes differ, in 2 runs: 0x0000-0x0001, 0x00FF", "0x0000  file 3C  chip FF",
        "0x0001  file 3C  chip 34", "... and 1 more",
        "2 of the differing bytes need a bit set from 0 to 1: only erasing the chip can fix "
        "those"}},
  };
  const SparseImage file = Filled(0, 0xFF, 0x3C);
  for (const DiffCase& c : cases) {
    SCOPED_TRACE(c.name);
    const SparseImage chip = With(file, c.chipChanges);
    const ImageDiffReport report = DiffImages(file, chip, 0, 0xFF, 2);
    EXPECT_EQ(report.differing, c.differing);
    EXPECT_EQ(report.needErase, c.needErase);
    EXPECT_EQ(FormatDiffReport(report), c.lines);
  }
}

TEST(ImageDiffTest, OnlyTheFilesBytesInTheRangeAreCompared) {
  SparseImage file;
  file.Set(0x0F, 0x00);  // outside the range
  file.Set(0x10, 0x11);
  file.Set(0x30, 0x22);
  file.Set(0x41, 0x33);  // outside the range
  // The chip holds other bytes everywhere, which matter only where the file has data.
  const SparseImage chip = With(Filled(0, 0x4F, 0xFF), {{0x10, 0x11}, {0x30, 0x20}});
  const ImageDiffReport report = DiffImages(file, chip, 0x10, 0x40, 16);
  EXPECT_EQ(report.compared, 2u);
  EXPECT_EQ(report.differing, 1u);
  ASSERT_EQ(report.listed.size(), 1u);
  EXPECT_EQ(report.listed[0].address, 0x30u);
  EXPECT_EQ(report.needErase, 1u);  // 22 has bit 1 set, chip 20 lacks it
}

TEST(ImageDiffTest, RunsFollowAddressesAcrossPagesAndTheTopOfTheSpace) {
  SparseImage file;
  SparseImage chip;
  // A run across a page boundary of the sparse model, and one ending at FFFFFFFF.
  for (uint32_t a : {0x00FEu, 0x00FFu, 0x0100u, 0x0101u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
    file.Set(a, 0x00);
    chip.Set(a, 0x01);
  }
  const ImageDiffReport report = DiffImages(file, chip, 0, 0xFFFFFFFFu, 0);
  ASSERT_EQ(report.runs.size(), 2u);
  EXPECT_EQ(RunText(report.runs[0]), "0x00FE-0x0101");
  EXPECT_EQ(RunText(report.runs[1]), "0xFFFFFFFE-0xFFFFFFFF");
  EXPECT_EQ(report.needErase, 0u);
}

TEST(ImageDiffTest, ManyRunsAreCountedNotAllShown) {
  SparseImage file = Filled(0, 0x3F, 0x00);
  SparseImage chip = file;
  for (uint32_t a = 0; a < 0x40; a += 2) chip.Set(a, 0x80);
  const auto lines = FormatDiffReport(DiffImages(file, chip, 0, 0x3F, 0));
  EXPECT_EQ(lines[0],
            "32 of 64 bytes differ, in 32 runs: 0x0000, 0x0002, 0x0004, 0x0006, 0x0008, 0x000A, "
            "0x000C, 0x000E, ... (24 more)");
}

TEST(ImageDiffTest, BytesTheReadLacksAreNamedApart) {
  const SparseImage file = Filled(0, 3, 0x00);
  SparseImage chip;
  chip.Set(0, 0x00);
  chip.Set(1, 0x01);
  const ImageDiffReport report = DiffImages(file, chip, 0, 3, 16);
  EXPECT_EQ(report.missing, 2u);
  EXPECT_EQ(report.differing, 1u);
  EXPECT_EQ(FormatDiffReport(report)[1], "2 bytes of the file not in the chip's read");
}

TEST(BlankReportTest, NotFfBytesInRunsAndMissingBytes) {
  struct Case {
    const char* name;
    std::vector<Poke> pokes;
    uint32_t readTo;  // the read covers 0..readTo
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"blank", {}, 0x1F, {"all 32 bytes are FF"}},
      {"one byte",
       {{0x05, 0xFE}},
       0x1F,
       {"1 of 32 bytes is not FF, in 1 run: 0x0005", "0x0005  chip FE"}},
      {"runs and more",
       {{0x00, 0x00}, {0x01, 0x7F}, {0x1F, 0x12}},
       0x1F,
       {"3 of 32 bytes are not FF, in 2 runs: 0x0000-0x0001, 0x001F", "0x0000  chip 00",
        "0x0001  chip 7F", "... and 1 more"}},
      {"short read", {}, 0x0F, {"all 16 bytes are FF", "16 bytes of the range not in the read"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SparseImage chip = With(Filled(0, c.readTo, 0xFF), c.pokes);
    EXPECT_EQ(FormatBlankReport(CheckBlankImage(chip, 0, 0x1F, 2)), c.lines);
  }
}

TEST(RepeatReportTest, UnstableAddressesWithTheValueOfEachRead) {
  const SparseImage base = Filled(0x100, 0x10F, 0xA5);
  std::vector<SparseImage> reads = {base, base, base};
  EXPECT_EQ(FormatRepeatReport(CompareReads(reads, 0x100, 0x10F, 8)),
            std::vector<std::string>{"all 3 reads agree on 16 bytes"});

  reads[1].Set(0x104, 0xA4);
  reads[2].Set(0x105, 0x00);
  reads[2].Set(0x10F, 0x25);
  SparseImage shorter;  // a fourth read that lacks the last byte
  shorter.SetRange(0x100, std::vector<uint8_t>(15, 0xA5).data(), 15);
  reads.push_back(shorter);
  const RepeatReport report = CompareReads(reads, 0x100, 0x10F, 2);
  EXPECT_EQ(report.unstable, 3u);
  EXPECT_EQ(FormatRepeatReport(report),
            (std::vector<std::string>{
                "3 of 16 bytes differ between 4 reads, in 2 runs: 0x0104-0x0105, 0x010F",
                "0x0104  reads A5 A4 A5 A5", "0x0105  reads A5 A5 00 A5", "... and 1 more"}));
}

TEST(RepeatReportTest, AByteOnlyALaterReadHoldsIsUnstable) {
  SparseImage a;
  SparseImage b;
  b.Set(7, 0x01);
  const RepeatReport report = CompareReads({a, b}, 0, 15, 4);
  ASSERT_EQ(report.listed.size(), 1u);
  EXPECT_EQ(report.listed[0].values, (std::vector<int>{-1, 1}));
  EXPECT_EQ(FormatRepeatReport(report)[1], "0x0007  reads -- 01");
}

}  // namespace
}  // namespace zemb
