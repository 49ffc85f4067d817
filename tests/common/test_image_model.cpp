// The one image model every reader fills: each byte's origin, conflicting data refused,
// nothing after the end record, S-record counts, segment wrap, the DOS end-of-file mark, and
// a cost that follows the data rather than the addresses it spans.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ChipTypes.h"
#include "Convert.h"
#include "ImageFormats.h"
#include "ImageInput.h"
#include "ImageTestSupport.h"

namespace zemb {
namespace {

using testing::ByteMap;
using testing::BytesOf;
using testing::IHex;
using testing::SRec;

struct RuleCase {
  const char* what;
  ImageFormat format;
  std::string text;
  size_t line;         // 0: accepted
  std::string reason;  // the error text, or a part of it
};

void CheckRules(const std::vector<RuleCase>& cases) {
  for (const RuleCase& c : cases) {
    SparseImage image;
    ImageError error;
    const bool read = ReadImage(c.format, c.text, 0, image, error);
    if (c.line == 0) {
      EXPECT_TRUE(read) << c.what << ": " << error.Text();
      continue;
    }
    EXPECT_FALSE(read) << c.what;
    EXPECT_EQ(error.line, c.line) << c.what;
    EXPECT_NE(error.Text().find(c.reason), std::string::npos) << c.what << ": " << error.Text();
  }
}

TEST(ImageRules, ConflictingDataIsRefusedNamingBothLines) {
  const std::string hdr = ";MinAdr=0\r\n";
  const std::string s0 = SRec(0, 2, 0, {'x'}) + "\n";
  const std::vector<uint8_t> ramp = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  CheckRules({
      {"hex", ImageFormat::IntelHex,
       hdr + IHex(0, 8, {0x11}) + "\r\n" + IHex(0, 8, {0x22}) + "\r\n", 3,
       "line 3 gives 0x0008 the value 22, line 2 gave 11"},
      {"srec", ImageFormat::SRecord,
       s0 + SRec(1, 2, 8, {0x11}) + "\n" + SRec(1, 2, 8, {0x22}) + "\n", 3,
       "line 3 gives 0x0008 the value 22, line 2 gave 11"},
      {"overlap, lowest differing address named", ImageFormat::IntelHex,
       IHex(0, 0, ramp) + "\n" + IHex(0, 9, {9, 10, 0xAA, 0xBB}) + "\n", 2,
       "line 2 gives 0x000B the value AA, line 1 gave 0B"},
      {"above 64 KiB", ImageFormat::SRecord,
       SRec(3, 4, 0x12345678, {1}) + "\n\n" + SRec(2, 3, 0x345678, {1}) + "\n" +
           SRec(3, 4, 0x12345678, {2}) + "\n",
       4, "line 4 gives 0x12345678 the value 02, line 1 gave 01"},
      {"through a segment base", ImageFormat::IntelHex,
       IHex(0, 0x10, {1}) + "\n" + IHex(2, 0, {0x00, 0x01}) + "\n" + IHex(0, 0, {2}) + "\n", 3,
       "line 3 gives 0x0010 the value 02, line 1 gave 01"},
      {"same value twice", ImageFormat::IntelHex,
       IHex(0, 0, ramp) + "\n" + IHex(0, 4, {4, 5, 6}) + "\n" + IHex(0, 0, ramp) + "\n", 0, ""},
  });
}

TEST(ImageRules, DataAfterTheEndRecordIsRefused) {
  const std::string data = IHex(0, 0, {0x42});
  const std::string eof = kHexEofRecord;
  CheckRules({
      {"hex data", ImageFormat::IntelHex, data + "\n" + eof + "\n" + IHex(0, 4, {1}) + "\n", 3,
       "data record after the end record of line 2"},
      {"hex data, blank lines between", ImageFormat::IntelHex,
       eof + "\n\n;MinAdr=0\n" + data + "\n", 4, "after the end record of line 1"},
      {"s1 after s9", ImageFormat::SRecord,
       SRec(1, 2, 0, {1}) + "\n" + SRec(9, 2, 0, {}) + "\n" + SRec(1, 2, 4, {1}) + "\n", 3,
       "after the end record of line 2"},
      {"s3 after s7", ImageFormat::SRecord, SRec(7, 4, 0, {}) + "\n" + SRec(3, 4, 4, {1}) + "\n", 2,
       "after the end record"},
      {"a malformed record after the end is still named", ImageFormat::IntelHex,
       eof + "\n:0100000000\n", 2, "length"},
      {"records without data after the end", ImageFormat::IntelHex,
       data + "\n" + eof + "\n" + IHex(4, 0, {0, 1}) + "\n" + IHex(0, 0, {}) + "\n" + eof + "\n", 0,
       ""},
      {"srec records without data after the end", ImageFormat::SRecord,
       SRec(9, 2, 0, {}) + "\n" + SRec(1, 2, 0, {}) + "\n" + SRec(5, 2, 0, {}) + "\n", 0, ""},
  });
}

TEST(ImageRules, SRecordCountsMustMatch) {
  const std::string two = SRec(1, 2, 0, {1}) + "\n" + SRec(1, 2, 1, {2}) + "\n";
  CheckRules({
      {"s5 matches", ImageFormat::SRecord, two + SRec(5, 2, 2, {}) + "\n" + SRec(9, 2, 0, {}), 0,
       ""},
      {"s6 matches", ImageFormat::SRecord, two + SRec(6, 3, 2, {}) + "\n", 0, ""},
      {"s5 too high", ImageFormat::SRecord, two + SRec(5, 2, 3, {}) + "\n", 3,
       "S5 record counts 3 data records, the file has 2 before it"},
      {"s6 too low", ImageFormat::SRecord, two + SRec(6, 3, 1, {}) + "\n", 3, "S6 record counts 1"},
      {"count of the records before it, not after", ImageFormat::SRecord,
       SRec(1, 2, 0, {1}) + "\n" + SRec(5, 2, 2, {}) + "\n" + SRec(1, 2, 1, {2}) + "\n", 2,
       "counts 2"},
      {"a header record is not counted", ImageFormat::SRecord,
       SRec(0, 2, 0, {'h'}) + "\n" + two + SRec(5, 2, 2, {}) + "\n", 0, ""},
  });
}

TEST(ImageRules, SegmentOffsetsWrapLinearOnesRunOn) {
  const std::vector<uint8_t> four = {1, 2, 3, 4};
  struct Case {
    const char* what;
    std::string text;
    ByteMap bytes;
  };
  const std::vector<Case> cases = {
      {"segment 1000: FFFE.. wraps to the segment's start",
       IHex(2, 0, {0x10, 0x00}) + "\n" + IHex(0, 0xFFFE, four) + "\n",
       {{0x1FFFE, 1}, {0x1FFFF, 2}, {0x10000, 3}, {0x10001, 4}}},
      {"segment 0",
       IHex(2, 0, {0, 0}) + "\n" + IHex(0, 0xFFFF, four) + "\n",
       {{0xFFFF, 1}, {0, 2}, {1, 3}, {2, 4}}},
      {"segment base not a multiple of 64 KiB",
       IHex(2, 0, {0x00, 0x01}) + "\n" + IHex(0, 0xFFFF, {7, 8}) + "\n",
       {{0x1000F, 7}, {0x10, 8}}},
      {"linear base: runs on",
       IHex(4, 0, {0, 1}) + "\n" + IHex(0, 0xFFFE, four) + "\n",
       {{0x1FFFE, 1}, {0x1FFFF, 2}, {0x20000, 3}, {0x20001, 4}}},
      {"no base: runs on", IHex(0, 0xFFFF, {7, 8}) + "\n", {{0xFFFF, 7}, {0x10000, 8}}},
      {"a linear record after a segment one ends the wrap",
       IHex(2, 0, {0x10, 0}) + "\n" + IHex(4, 0, {0, 1}) + "\n" + IHex(0, 0xFFFF, {7, 8}) + "\n",
       {{0x1FFFF, 7}, {0x20000, 8}}},
  };
  for (const Case& c : cases) {
    SparseImage image;
    ImageError error;
    ASSERT_TRUE(ReadIntelHex(c.text, image, error)) << c.what << ": " << error.Text();
    EXPECT_EQ(BytesOf(image), c.bytes) << c.what;
  }
}

TEST(ImageRules, ADosEndOfFileMarkEndsATextImage) {
  const std::string hex = IHex(0, 0, {0x42}) + "\r\n" + kHexEofRecord;
  const std::string srec = SRec(1, 2, 0, {0x42}) + "\r\n" + SRec(9, 2, 0, {});
  CheckRules({
      {"hex, mark on a line of its own", ImageFormat::IntelHex, hex + "\r\n\x1A", 0, ""},
      {"hex, mark right after the end record", ImageFormat::IntelHex, hex + "\x1A", 0, ""},
      {"hex, mark then a line end", ImageFormat::IntelHex, hex + "\r\n\x1A\r\n", 0, ""},
      {"srec", ImageFormat::SRecord, srec + "\n\x1A", 0, ""},
      {"srec, CR only", ImageFormat::SRecord, srec + "\r\x1A", 0, ""},
      {"the mark in the middle is a fault", ImageFormat::IntelHex, "\x1A\n" + hex, 1,
       "not an Intel HEX record"},
      {"two marks", ImageFormat::SRecord, srec + "\n\x1A\x1A", 3, "not an S-record"},
  });
  EXPECT_EQ(DetectImageFormat(hex + "\r\n\x1A"), ImageFormat::IntelHex);
  EXPECT_EQ(DetectImageFormat(srec + "\x1A"), ImageFormat::SRecord);
  EXPECT_EQ(DetectImageFormat(";MaxAdr=7FFF\r\n\x1A"), ImageFormat::IntelHex);
  ImageFormat format = ImageFormat::Binary;
  EXPECT_TRUE(FirstRecordFormat("\x1A", format) == false);
  // A binary image keeps the byte as data.
  SparseImage binary;
  ImageError error;
  ASSERT_TRUE(ReadBinary("\x01\x1A", 0, binary, error));
  EXPECT_EQ(binary.Count(), 2u);
}

TEST(ImageRules, CostFollowsTheDataNotTheSpan) {
  // 34 bytes of S3 records: one byte at 0 and one at FFFFFFFF.
  const std::string ends = SRec(3, 4, 0, {0xAA}) + "\n" + SRec(3, 4, 0xFFFFFFFF, {0xBB}) + "\n";
  ASSERT_EQ(ends.size(), 34u);
  SparseImage image;
  ImageError error;
  ASSERT_TRUE(ReadSRecord(ends, image, error)) << error.Text();
  EXPECT_EQ(image.Count(), 2u);
  EXPECT_EQ(image.RunCount(), 2u);
  EXPECT_EQ(image.Span(), uint64_t{1} << 32);
  EXPECT_FALSE(image.Covers(0, 0xFFFFFFFF));
  const OutsideRange outside = image.CountOutside(1, 0xFFFFFFFE);
  EXPECT_EQ(outside.count, 2u);
  EXPECT_EQ(outside.first, 0u);
  EXPECT_EQ(EncodeIntelHexRecords(image).size(), 3u);  // two data records and one base

  // Scattered one-byte records: one run each, however far apart.
  std::string scattered;
  constexpr uint32_t kRecords = 20000;
  for (uint32_t i = 0; i < kRecords; ++i) {
    scattered += SRec(3, 4, i * 0x10001u * 3, {static_cast<uint8_t>(i)}) + "\n";
  }
  SparseImage sparse;
  ASSERT_TRUE(ReadSRecord(scattered, sparse, error)) << error.Text();
  EXPECT_EQ(sparse.Count(), kRecords);
  EXPECT_EQ(sparse.RunCount(), kRecords);

  // Records written in order share runs; each byte still knows its line.
  std::vector<uint8_t> megabit(0x20000);
  std::mt19937 rng(2);
  for (auto& b : megabit) b = static_cast<uint8_t>(rng());
  SparseImage written;
  written.SetRange(0, megabit.data(), megabit.size());
  SparseImage ordered;
  ASSERT_TRUE(ReadIntelHex(WriteIntelHex(written), ordered, error)) << error.Text();
  EXPECT_EQ(ordered.RunCount(), 2u);  // the linear base record at 64 KiB breaks the lines
  ImageOrigin origin;
  ASSERT_TRUE(ordered.OriginOf(0x1234F, origin));
  EXPECT_EQ(origin.line, 4096u + 1 + 1 + 0x234);  // 4096 records, the base, then record 0x234

  // A binary image is one run, whatever its size.
  SparseImage binary;
  ASSERT_TRUE(ReadBinary(std::string(0x100000, 'x'), 0x10, binary, error));
  EXPECT_EQ(binary.RunCount(), 1u);
}

TEST(ImageRules, AnIntelHexTextEndsWithItsEndRecord) {
  const std::string data = IHex(0, 0, {0x42}) + "\r\n";
  const std::vector<std::pair<std::string, bool>> cases = {
      {data + kHexEofRecord + "\r\n", true},
      {data + ":00000001ff\r\n\r\n;MaxAdr=0\r\n\x1A", true},
      {data, false},                             // a read that lacks it
      {kHexEofRecord + ("\r\n" + data), false},  // not last
      {data + ":00000001FE\r\n", false},         // bad checksum
      {data + IHex(1, 0, {0}) + "\r\n", false},  // end record with data
      {"", false},
  };
  for (const auto& [text, ends] : cases) EXPECT_EQ(EndsWithHexEndRecord(text), ends) << text;
  EXPECT_TRUE(EndsWithHexEndRecord(WriteIntelHex(SparseImage())));
}

TEST(ImageModel, EveryByteKnowsItsOrigin) {
  const std::string text = ";Type=8\r\n" + IHex(0, 0, {1, 2, 3, 4}) + "\r\n" +
                           IHex(0, 2, {3, 4, 5}) + "\r\n" + kHexEofRecord + "\r\n";
  SparseImage image;
  ImageError error;
  ASSERT_TRUE(ReadIntelHex(text, image, error, "chip.hex")) << error.Text();
  const std::vector<std::pair<uint32_t, uint32_t>> lines = {{0, 2}, {3, 2}, {4, 3}};
  for (const auto& [address, line] : lines) {
    ImageOrigin origin;
    ASSERT_TRUE(image.OriginOf(address, origin)) << address;
    EXPECT_EQ(origin.source, "chip.hex");
    EXPECT_EQ(origin.line, line) << address;
  }
  ImageOrigin none;
  EXPECT_FALSE(image.OriginOf(5, none));

  // Data from a second file that contradicts the first names both files.
  ASSERT_FALSE(ReadSRecord(SRec(1, 2, 3, {9}), image, error, "patch.s19"));
  EXPECT_EQ(error.Text(), "patch.s19 line 1 gives 0x0003 the value 09, chip.hex line 2 gave 04");
  EXPECT_EQ(image.Count(), 5u);  // the refused record placed nothing
  ASSERT_FALSE(ReadBinary("\x01\x02\x07", 0, image, error, "a.bin"));
  EXPECT_EQ(error.Text(), "a.bin gives 0x0002 the value 07, chip.hex line 2 gave 03");
}

// Random placements and replacements against a plain map: the runs must split, join and
// report exactly the bytes and origins the map holds. Half the records follow the one
// before on the next line, as files written in order do, so that runs join across lines.
TEST(ImageModel, RunsAgreeWithAPlainMap) {
  std::mt19937 rng(7);
  for (int round = 0; round < 60; ++round) {
    SparseImage image;
    ByteMap reference;
    std::map<uint32_t, uint32_t> lines;
    const uint32_t window = round % 2 == 0 ? 64 : 4096;
    const uint32_t base = round % 3 == 0 ? 0xFFFFFFFFu - window : 0x1000u * round;
    uint64_t previousEnd = base;
    size_t previousSize = 16;
    for (int op = 0; op < 80; ++op) {
      const bool follows = rng() % 2 == 0 && previousEnd <= 0xFFFFFFFFu;
      const uint32_t at = follows ? static_cast<uint32_t>(previousEnd) : base + rng() % window;
      const size_t size = follows && rng() % 4 != 0 ? previousSize : 1 + rng() % 24;
      std::vector<uint8_t> data(size);
      for (auto& b : data) b = static_cast<uint8_t>(rng() % 3);
      const uint32_t line = static_cast<uint32_t>(op + 1);
      const size_t inside = static_cast<size_t>(std::min<uint64_t>(size, 0x100000000 - at));
      previousEnd = uint64_t{at} + size;
      previousSize = size;
      if (rng() % 4 == 0) {
        image.SetRange(at, data.data(), size);
        for (size_t i = 0; i < inside; ++i) {
          reference[at + static_cast<uint32_t>(i)] = data[i];
          lines[at + static_cast<uint32_t>(i)] = 0;
        }
        continue;
      }
      bool clash = false;
      for (size_t i = 0; i < inside; ++i) {
        const auto it = reference.find(at + static_cast<uint32_t>(i));
        clash = clash || (it != reference.end() && it->second != data[i]);
      }
      ImageConflict conflict;
      ASSERT_EQ(image.Place(at, data.data(), size, 0, line, &conflict), !clash);
      if (clash) {
        EXPECT_NE(reference.at(conflict.address), conflict.value);
        EXPECT_EQ(reference.at(conflict.address), conflict.earlier);
        EXPECT_EQ(lines.at(conflict.address), conflict.earlierOrigin.line);
        continue;
      }
      for (size_t i = 0; i < inside; ++i) {
        reference.emplace(at + static_cast<uint32_t>(i), data[i]);
        lines.emplace(at + static_cast<uint32_t>(i), line);
      }
    }
    for (const auto& [address, line] : lines) {
      ImageOrigin origin;
      ASSERT_TRUE(image.OriginOf(address, origin));
      ASSERT_EQ(origin.line, line) << round << " at " << address;
    }
    ASSERT_EQ(BytesOf(image), reference) << round;
    ASSERT_EQ(image.Count(), reference.size());
    EXPECT_EQ(image.MinAddress(), reference.begin()->first);
    EXPECT_EQ(image.MaxAddress(), reference.rbegin()->first);
    // Runs are maximal: no two touch.
    uint64_t lastEnd = 0;
    bool first = true;
    image.ForEachRun([&](uint32_t address, const uint8_t*, size_t size) {
      EXPECT_TRUE(first || address > lastEnd) << round;
      first = false;
      lastEnd = uint64_t{address} + size;
    });
    for (int probe = 0; probe < 40; ++probe) {
      const uint32_t lo = base + rng() % window;
      const uint32_t hi = lo + rng() % 32;
      if (hi < lo) continue;
      bool covered = true;
      OutsideRange outside;
      for (uint64_t a = lo; a <= hi; ++a) covered = covered && reference.count(a);
      for (const auto& [a, v] : reference) {
        if (a >= lo && a <= hi) continue;
        if (outside.count++ == 0) outside.first = a;
      }
      EXPECT_EQ(image.Covers(lo, hi), covered) << round;
      const OutsideRange got = image.CountOutside(lo, hi);
      EXPECT_EQ(got.count, outside.count);
      if (outside.count > 0) {
        EXPECT_EQ(got.first, outside.first);
      }
      const std::vector<uint8_t> flat = image.Flatten(lo, hi, 0xEE);
      for (uint64_t a = lo; a <= hi; ++a) {
        const auto it = reference.find(static_cast<uint32_t>(a));
        EXPECT_EQ(flat[a - lo], it == reference.end() ? 0xEE : it->second);
      }
    }
    // Filling the gaps of a range gives each empty address of it the value, with no line,
    // and leaves every byte held, with its line, as it was.
    const uint32_t lo = base + rng() % window;
    const uint32_t hi = static_cast<uint32_t>(std::min<uint64_t>(0xFFFFFFFFu, lo + rng() % window));
    SparseImage filled = image;
    filled.FillGaps(lo, hi, 0xA5);
    ByteMap expected = reference;
    for (uint64_t a = lo; a <= hi; ++a) expected.emplace(static_cast<uint32_t>(a), 0xA5);
    ASSERT_EQ(BytesOf(filled), expected) << round;
    EXPECT_EQ(filled.Count(), expected.size());
    for (uint64_t a = lo; a <= hi; ++a) {
      ImageOrigin origin;
      ASSERT_TRUE(filled.OriginOf(static_cast<uint32_t>(a), origin));
      const auto it = lines.find(static_cast<uint32_t>(a));
      EXPECT_EQ(origin.line, it == lines.end() ? 0u : it->second) << round << " at " << a;
    }
  }
}

// Gaps at the edges of the range and of runs: each gets the value, nothing else changes.
TEST(ImageModel, FillGapsAtTheEdges) {
  struct Case {
    const char* what;
    std::vector<std::pair<uint32_t, uint32_t>> runs;  // first, last
    uint32_t first;
    uint32_t last;
  };
  const std::vector<Case> cases = {
      {"empty image", {}, 0x10, 0x1F},
      {"one byte missing at the end", {{0x10, 0x1E}}, 0x10, 0x1F},
      {"one byte missing at the start", {{0x11, 0x1F}}, 0x10, 0x1F},
      {"range inside a run", {{0x00, 0xFF}}, 0x10, 0x1F},
      {"range starts and ends in runs", {{0x08, 0x12}, {0x15, 0x16}, {0x1C, 0x30}}, 0x10, 0x1F},
      {"runs outside only", {{0x00, 0x03}, {0x40, 0x41}}, 0x10, 0x1F},
      {"the top of the address space", {{0xFFFFFFF0u, 0xFFFFFFF1u}}, 0xFFFFFFF0u, 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    SparseImage image;
    ByteMap expected;
    for (const auto& [first, last] : c.runs) {
      for (uint64_t a = first; a <= last; ++a) {
        const auto value = static_cast<uint8_t>(a * 3);
        ASSERT_TRUE(image.Place(static_cast<uint32_t>(a), &value, 1, 0, 7));
        expected[static_cast<uint32_t>(a)] = value;
      }
    }
    const bool lastHeld = image.Has(c.last);
    for (uint64_t a = c.first; a <= c.last; ++a) expected.emplace(static_cast<uint32_t>(a), 0x5A);
    image.FillGaps(c.first, c.last, 0x5A);
    EXPECT_EQ(BytesOf(image), expected) << c.what;
    EXPECT_EQ(image.Count(), expected.size()) << c.what;
    ImageOrigin origin;
    ASSERT_TRUE(image.OriginOf(c.last, origin)) << c.what;
    EXPECT_EQ(origin.line, lastHeld ? 7u : 0u) << c.what;
  }
}

// Readers given their records in the opposite order hold the same bytes and origins: the
// in-order path and the searching one must agree.
TEST(ImageModel, RecordOrderDoesNotChangeTheImage) {
  std::vector<std::string> records;
  for (uint32_t a = 0; a < 0x30000; a += 0x1000 + a % 7) {
    records.push_back(IHex(kHexExtendedLinear, 0, {0, static_cast<uint8_t>(a >> 16)}));
    records.push_back(IHex(kHexData, static_cast<uint16_t>(a), {uint8_t(a), uint8_t(a >> 8), 9}));
  }
  std::string forward;
  std::string backward;
  for (size_t i = 0; i < records.size(); i += 2) {
    forward += records[i] + "\n" + records[i + 1] + "\n";
    const size_t j = records.size() - 2 - i;
    backward += records[j] + "\n" + records[j + 1] + "\n";
  }
  SparseImage first;
  SparseImage second;
  ImageError error;
  ASSERT_TRUE(ReadIntelHex(forward, first, error)) << error.Text();
  ASSERT_TRUE(ReadIntelHex(backward, second, error)) << error.Text();
  ASSERT_EQ(BytesOf(first), BytesOf(second));
  const size_t lineCount = records.size();
  for (const auto& [address, value] : BytesOf(first)) {
    ImageOrigin a;
    ImageOrigin b;
    ASSERT_TRUE(first.OriginOf(address, a) && second.OriginOf(address, b));
    EXPECT_EQ(a.line + b.line, lineCount + 2) << address;  // line k forward is n + 1 - k back
  }
}

// Content decides; a file the content calls binary is read as the text format its name or
// its first record names, so that a stray byte is reported by its line.
TEST(ImageInput, TheFormatOfAFileFollowsItsContentThenItsNameThenItsFirstRecord) {
  const std::string hex = IHex(kHexData, 0, {1, 2}) + "\n";
  const std::string srec = SRec(1, 2, 0, {1, 2}) + "\n";
  // A control byte in the first record makes the content look binary.
  const std::string hexStray = IHex(kHexData, 0, {1, 2}) + "\x01\n" + hex;
  const std::string srecStray = SRec(1, 2, 0, {1, 2}) + "\x01\n";
  const struct {
    const char* path;
    std::string bytes;
    ImageFormat expected;
  } cases[] = {
      {"a.bin", hex, ImageFormat::IntelHex},
      {"a.hex", srec, ImageFormat::SRecord},
      {"", std::string("\x00\x01", 2), ImageFormat::Binary},
      {"a.hex", std::string("\x00\x01", 2), ImageFormat::IntelHex},
      {"dir.s19/A.HEX", hexStray, ImageFormat::IntelHex},
      {"a.S19", hexStray, ImageFormat::SRecord},
      {"a.dat", srecStray, ImageFormat::SRecord},
      {"", hexStray, ImageFormat::IntelHex},
      {"a.dat", "\x01" + hex, ImageFormat::Binary},
      {"a.rom", hexStray, ImageFormat::Binary},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ImageFormatOfFile(c.path, c.bytes), c.expected) << c.path << ": " << c.bytes;
  }
}

TEST(ImageInput, HeaderLinesNameTheRangeAndTheType) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(ImageHeaderLines(true, 0, 0x7FFF, 3),
            (Lines{";MinAdr=0000", ";MaxAdr=7FFF", ";Type=3"}));
  EXPECT_EQ(ImageHeaderLines(true, 0x100, 0x1FFFFF), (Lines{";MinAdr=0100", ";MaxAdr=1FFFFF"}));
  EXPECT_EQ(ImageHeaderLines(false, 5, 6, 0), Lines{";Type=0"});
  EXPECT_EQ(ImageHeaderText(true, 0, 0xF, 12), ";MinAdr=0000\r\n;MaxAdr=000F\r\n;Type=12\r\n");
  EXPECT_EQ(ImageHeaderText(false, 0, 0), "");
}

// Loading without the upload lines must read the same headers, range and type as loading
// with them, and the lines made must be the file's own, or its records converted.
TEST(ImageInput, LinesAreMadeOnlyWhenAskedAndChangeNothingElse) {
  const std::string data = IHex(kHexData, 0x10, {1, 2, 3, 4});
  const std::string end = kHexEofRecord;
  struct Case {
    const char* what;
    ImageFormat format;
    std::string text;
    uint32_t start;
    uint32_t end;
    int typeIndex;
    const char* unknownType;
  };
  const std::vector<Case> cases = {
      {"plain", ImageFormat::IntelHex, data + "\r\n" + end + "\r\n", 0x10, 0x13, -1, ""},
      {"headers", ImageFormat::IntelHex,
       ";MinAdr=0000\r\n;MaxAdr=00FF\r\n;Type=9\r\n" + data + "\r\n" + end, 0, 0xFF, 9, ""},
      {"folded names, first of each counts", ImageFormat::IntelHex,
       ";minadr=8\n;MAXADR=1F\n;Type=abc\n;Type=3\n;MinAdr=0\n" + data + "\n", 8, 0x1F, -1, "abc"},
      {"lone CR ends, DOS end mark", ImageFormat::IntelHex,
       ";MaxAdr=40\r" + data + "\r" + end + "\r\x1A\r\n", 0x10, 0x40, -1, ""},
      {"a bad header value", ImageFormat::IntelHex, ";MinAdr= 10\n" + data + "\n", 0, 0, -1, ""},
      {"a NUL ends the lines", ImageFormat::IntelHex,
       data + "\n" + std::string(";Type=\0", 7) + "\n;Type=2\n", 0x10, 0x13, -1, ""},
      {"headers only", ImageFormat::IntelHex, ";MinAdr=0\n;MaxAdr=FFF\n", 0, 0xFFF, -1, ""},
      {"S-record", ImageFormat::SRecord, SRec(1, 2, 0x20, {5, 6}) + "\n" + SRec(3, 4, 0x10000, {7}),
       0x20, 0x10000, -1, ""},
      {"binary", ImageFormat::Binary, std::string("\x00\x01\x02", 3), 0x100, 0x102, -1, ""},
  };
  for (const Case& c : cases) {
    InputImage with;
    InputImage without;
    std::string withError;
    std::string withoutError;
    const bool read = LoadInputImage("f", c.text, c.format, 0x100, with, withError);
    ASSERT_EQ(LoadInputImage("f", c.text, c.format, 0x100, without, withoutError, false), read)
        << c.what;
    EXPECT_EQ(withoutError, withError) << c.what;
    if (!read) continue;
    EXPECT_EQ(with.start, c.start) << c.what;
    EXPECT_EQ(with.end, c.end) << c.what;
    EXPECT_EQ(with.typeIndex, c.typeIndex) << c.what;
    EXPECT_EQ(with.unknownType, c.unknownType) << c.what;
    EXPECT_EQ(without.lines.Count(), 0) << c.what;
    EXPECT_EQ(BytesOf(without.image), BytesOf(with.image)) << c.what;
    EXPECT_EQ(without.hasRange, with.hasRange) << c.what;
    EXPECT_EQ(without.start, with.start) << c.what;
    EXPECT_EQ(without.end, with.end) << c.what;
    EXPECT_EQ(without.typeIndex, with.typeIndex) << c.what;
    EXPECT_EQ(without.unknownType, with.unknownType) << c.what;
    // The upload lines: an Intel HEX file's own, else its records behind the range.
    std::vector<std::string> expected;
    if (c.format == ImageFormat::IntelHex) {
      expected = SplitLines(std::string(WithoutDosEof(c.text)));
    } else {
      expected = {";MinAdr=" + IntToHex(static_cast<int32_t>(with.start), 4),
                  ";MaxAdr=" + IntToHex(static_cast<int32_t>(with.end), 4)};
      for (const std::string& record : EncodeIntelHexRecords(with.image)) {
        expected.push_back(record);
      }
      expected.emplace_back(kHexEofRecord);
    }
    std::vector<std::string> lines;
    for (int i = 0; i < with.lines.Count(); ++i) lines.push_back(with.lines.Get(i));
    EXPECT_EQ(lines, expected) << c.what;
    if (c.format == ImageFormat::IntelHex) {
      for (const char* name : {";MinAdr", ";MaxAdr", ";Type"}) {
        EXPECT_EQ(with.lines.Values(name), TStringList(expected).Values(name)) << c.what;
      }
    }
  }
}

TEST(ChipTypeTable, CapacityAndWidthOfEveryPart) {
  for (const ChipType& type : ChipTypeTable()) {
    EXPECT_EQ(type.capacity & (type.capacity - 1), 0u) << type.part;
    const bool word = std::string(type.code) >= "10";
    EXPECT_EQ(type.width, word ? 16 : 8) << type.part;
    EXPECT_EQ(WidthText(type), word ? "x16" : "x8");
  }
  EXPECT_EQ(CapacityText(ChipTypeTable()[0].capacity), "4 KiB");  // 2732A
  EXPECT_EQ(CapacityText(16u << 20), "16 MiB");
  EXPECT_EQ(CapacityText(0x1001), "4097 bytes");
}

}  // namespace
}  // namespace zemb
