// Shaping an image for its chip: each step against srec_cat doing the same on the same
// images (dense, sparse, odd sizes, not starting at 0), mirroring, the fixed order of
// ShapeImage and its refusals; and the readers against srec_cat on awkward files.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "ChipTypes.h"
#include "ImageShaping.h"
#include "ImageTestSupport.h"
#include "TStrings.h"

namespace zemb {
namespace {

using testing::ByteMap;
using testing::BytesOf;
using testing::BytesOfOracleHex;
using testing::HaveSrecCat;
using testing::IHex;
using testing::RunSrecCat;
using testing::SRec;
using testing::TempDir;

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

SparseImage Random(std::mt19937& rng, std::initializer_list<std::pair<uint32_t, size_t>> runs) {
  SparseImage image;
  for (const auto& [address, size] : runs) {
    std::vector<uint8_t> data(size);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    image.SetRange(address, data.data(), size);
  }
  return image;
}

ShapeTarget Chip(uint64_t capacity, const char* part = "") {
  ShapeTarget target;
  target.capacity = capacity;
  target.part = part;
  return target;
}

ShapeTarget Range(uint32_t first, uint32_t last) {
  ShapeTarget target;
  target.hasRange = true;
  target.first = first;
  target.last = last;
  return target;
}

struct Sample {
  const char* name;
  SparseImage image;
};

std::vector<Sample> Samples() {
  std::mt19937 rng(3);
  return {
      {"dense from 0, odd size", Random(rng, {{0, 0x1001}})},
      {"sparse", Random(rng, {{3, 5}, {0x100, 0x33}, {0x7FFF, 2}, {0x10005, 3}})},
      {"from 0x8003", Random(rng, {{0x8003, 0x800}})},
      {"one byte at 1", Random(rng, {{1, 1}})},
      {"16-bit set", Random(rng, {{0, 0x400}, {0x1000, 0x3FF}})},
  };
}

// One shaping step in both tools: srec_cat's arguments after the input, and ours.
struct Step {
  std::string name;
  std::string oracle;
  std::function<bool(const SparseImage&, SparseImage&, std::string&)> ours;
};

TEST(ImageShaping, EachStepAgreesWithSrecCat) {
  if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat missing";
  TempDir dir;
  auto split = [](uint32_t lanes, uint32_t lane, uint32_t width) {
    return Step{
        "split " + std::to_string(lanes) + ":" + std::to_string(lane) + ":" + std::to_string(width),
        "-split " + std::to_string(lanes * width) + " " + std::to_string(lane * width) + " " +
            std::to_string(width),
        [=](const SparseImage& in, SparseImage& out, std::string& error) {
          return SplitImage(in, lanes, lane, width, out, error);
        }};
  };
  const std::vector<Step> steps = {
      {"offset +0x10003", "-offset 0x10003",
       [](const SparseImage& in, SparseImage& out, std::string& error) {
         return OffsetImage(in, 0x10003, out, error);
       }},
      {"offset -1", "-offset -1",
       [](const SparseImage& in, SparseImage& out, std::string& error) {
         return OffsetImage(in, -1, out, error);
       }},
      {"crop 0x50-0x8010", "-crop 0x50 0x8011",
       [](const SparseImage& in, SparseImage& out, std::string&) {
         out = CropImage(in, 0x50, 0x8010);
         return true;
       }},
      {"swap", "-byte-swap 2",
       [](const SparseImage& in, SparseImage& out, std::string&) {
         out = SwapBytes(in);
         return true;
       }},
      split(2, 0, 1),
      split(2, 1, 2),
      split(4, 3, 1),
      split(3, 1, 1),
      {"fill 0x10-0x1FFF", "-fill 0xAA 0x10 0x2000",
       [](const SparseImage& in, SparseImage& out, std::string& error) {
         return FillImage(in, 0x10, 0x1FFF, 0xAA, out, error);
       }},
  };
  for (const Sample& sample : Samples()) {
    const std::string input = dir.File("in.hex", WriteIntelHex(sample.image));
    for (const Step& step : steps) {
      SparseImage ours;
      std::string error;
      if (!step.ours(sample.image, ours, error)) {
        // Only a move below address 0 is ours to refuse.
        EXPECT_EQ(step.name, "offset -1") << sample.name << ": " << error;
        EXPECT_EQ(sample.image.MinAddress(), 0u);
        continue;
      }
      std::string oracle;
      ASSERT_TRUE(RunSrecCat(dir, "'" + input + "' -intel " + step.oracle, oracle))
          << sample.name << ", " << step.name;
      EXPECT_EQ(BytesOf(ours), BytesOfOracleHex(oracle)) << sample.name << ", " << step.name;
    }
  }
}

TEST(ImageShaping, MergeAgreesWithSrecCatAndUndoesSplit) {
  if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat missing";
  TempDir dir;
  std::mt19937 rng(9);
  struct Case {
    const char* name;
    std::vector<SparseImage> lanes;
    uint32_t width;
  };
  const std::vector<Case> cases = {
      {"two byte lanes", {Random(rng, {{0, 0x801}}), Random(rng, {{0, 0x801}})}, 1},
      {"two sparse word lanes",
       {Random(rng, {{0, 4}, {0x40, 0x11}}), Random(rng, {{2, 9}, {0x50, 1}})},
       2},
      {"four byte lanes",
       {Random(rng, {{0, 0x100}}), Random(rng, {{0, 0x100}}), Random(rng, {{0x10, 0xF0}}),
        Random(rng, {{0xFF, 1}})},
       1},
  };
  for (const Case& c : cases) {
    std::vector<const SparseImage*> lanes;
    std::string arguments;
    const uint32_t stride = static_cast<uint32_t>(c.lanes.size()) * c.width;
    for (size_t k = 0; k < c.lanes.size(); ++k) {
      lanes.push_back(&c.lanes[k]);
      const std::string file =
          dir.File("lane" + std::to_string(k) + ".hex", WriteIntelHex(c.lanes[k]));
      arguments += "'" + file + "' -intel -unsplit " + std::to_string(stride) + " " +
                   std::to_string(k * c.width) + " " + std::to_string(c.width) + " ";
    }
    SparseImage merged;
    std::string error;
    ASSERT_TRUE(MergeImages(lanes, c.width, merged, error)) << c.name << ": " << error;
    std::string oracle;
    ASSERT_TRUE(RunSrecCat(dir, arguments, oracle)) << c.name;
    EXPECT_EQ(BytesOf(merged), BytesOfOracleHex(oracle)) << c.name;
    for (size_t k = 0; k < c.lanes.size(); ++k) {
      SparseImage lane;
      ASSERT_TRUE(SplitImage(merged, static_cast<uint32_t>(c.lanes.size()),
                             static_cast<uint32_t>(k), c.width, lane, error));
      EXPECT_EQ(BytesOf(lane), BytesOf(c.lanes[k])) << c.name << ", lane " << k;
    }
  }
}

TEST(ImageShaping, MirrorRepeatsAPowerOfTwoImageThroughTheChip) {
  std::mt19937 rng(4);
  const SparseImage quarter = Random(rng, {{0, 0x2000}});
  SparseImage out;
  std::string error;
  ASSERT_TRUE(MirrorImage(quarter, 0x8000, out, error)) << error;
  EXPECT_EQ(out.Count(), 0x8000u);
  EXPECT_TRUE(out.Covers(0, 0x7FFF));
  const std::vector<uint8_t> once = quarter.Flatten(0, 0x1FFF);
  for (uint32_t copy = 0; copy < 4; ++copy) {
    EXPECT_EQ(out.Flatten(copy * 0x2000, copy * 0x2000 + 0x1FFF), once) << copy;
  }
  // Gaps repeat as gaps.
  const SparseImage holes = Random(rng, {{0x10, 4}, {0xFF, 1}});
  ASSERT_TRUE(MirrorImage(holes, 0x400, out, error)) << error;
  EXPECT_EQ(out.Count(), 5u * 4);
  EXPECT_TRUE(out.Has(0x3FF) && out.Has(0x310) && !out.Has(0x300));

  struct Refusal {
    const char* what;
    SparseImage image;
    uint64_t capacity;
    const char* reason;
  };
  const std::vector<Refusal> refusals = {
      {"not a power of two", Random(rng, {{0, 0x3000}}), 0x8000, "not a power of two"},
      {"larger than the chip", Random(rng, {{0, 0x10000}}), 0x8000,
       "larger than the 32 KiB of the chip"},
      {"empty", SparseImage(), 0x8000, "empty"},
      {"not starting at 0", Random(rng, {{0x8000, 0x4000}}), 0x10000, "not a power of two"},
  };
  for (const Refusal& r : refusals) {
    EXPECT_FALSE(MirrorImage(r.image, r.capacity, out, error)) << r.what;
    EXPECT_NE(error.find(r.reason), std::string::npos) << r.what << ": " << error;
  }
}

TEST(ImageShaping, ShapeAppliesTheStepsInOrder) {
  std::mt19937 rng(5);
  // An image linked at 0x8000 for a 16-bit bus.
  const SparseImage linked = Random(rng, {{0x8000, 0x4000}});
  std::string error;
  ShapeOptions options;
  options.offset = true;
  options.offsetBy = -0x8000;
  options.crop = true;
  options.cropFirst = 0;
  options.cropLast = 0x3FFF;
  options.swap = true;
  options.split = true;
  options.splitLane = 1;
  options.fill = true;
  options.mirror = true;
  ShapeTarget target{0x8000, "27256 t2", true, 0, 0x1FFF};
  SparseImage shaped;
  ASSERT_TRUE(ShapeImage(linked, options, target, shaped, error)) << error;
  // The fill covers the range given (0-0x1FFF after the split): the mirror then needs 8 KiB.
  SparseImage expectedWithRange;
  ASSERT_TRUE(OffsetImage(linked, -0x8000, expectedWithRange, error));
  expectedWithRange = SwapBytes(expectedWithRange);
  ASSERT_TRUE(SplitImage(expectedWithRange, 2, 1, 1, expectedWithRange, error));
  ASSERT_TRUE(FillImage(expectedWithRange, 0, 0x1FFF, 0xFF, expectedWithRange, error));
  ASSERT_TRUE(MirrorImage(expectedWithRange, 0x8000, expectedWithRange, error));
  EXPECT_EQ(BytesOf(shaped), BytesOf(expectedWithRange));

  // Without a range the fill reaches the capacity, and the mirror has nothing to add.
  target.hasRange = false;
  ASSERT_TRUE(ShapeImage(linked, options, target, shaped, error)) << error;
  ShapeOptions noMirror = options;
  noMirror.mirror = false;
  SparseImage unmirrored;
  ASSERT_TRUE(ShapeImage(linked, noMirror, target, unmirrored, error)) << error;
  EXPECT_EQ(BytesOf(shaped), BytesOf(unmirrored));
  EXPECT_EQ(shaped.Count(), 0x8000u);

  // Pad: FF up to the capacity; nothing asked: the image as it is.
  ShapeOptions pad;
  pad.pad = true;
  ASSERT_TRUE(ShapeImage(Random(rng, {{0x10, 2}}), pad, Chip(0x1000, "2732A"), shaped, error));
  EXPECT_TRUE(shaped.Covers(0, 0xFFF));
  EXPECT_EQ(shaped.Count(), 0x1000u);
  ASSERT_TRUE(ShapeImage(linked, ShapeOptions(), {}, shaped, error));
  EXPECT_EQ(BytesOf(shaped), BytesOf(linked));
  // In place.
  SparseImage inPlace = linked;
  ASSERT_TRUE(ShapeImage(inPlace, options, target, inPlace, error)) << error;
  EXPECT_EQ(BytesOf(inPlace), BytesOf(unmirrored));
  // A fill as the first step, in place, gives what it gives into another image.
  ShapeOptions fillOnly;
  fillOnly.fill = true;
  fillOnly.fillValue = 0x3C;
  const SparseImage gappy = Random(rng, {{0x10, 2}, {0x40, 0x30}, {0x200, 1}});
  ASSERT_TRUE(ShapeImage(gappy, fillOnly, Range(0x8, 0x3FF), shaped, error)) << error;
  inPlace = gappy;
  ASSERT_TRUE(ShapeImage(inPlace, fillOnly, Range(0x8, 0x3FF), inPlace, error)) << error;
  EXPECT_EQ(BytesOf(inPlace), BytesOf(shaped));
  EXPECT_EQ(inPlace.Count(), 0x3F8u);
}

TEST(ImageShaping, WrongOrClashingOptionsAreRefused) {
  std::mt19937 rng(6);
  const SparseImage image = Random(rng, {{0, 0x300}});
  auto with = [](auto change) {
    ShapeOptions options;
    change(options);
    return options;
  };
  struct Case {
    const char* what;
    ShapeOptions options;
    ShapeTarget target;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"mirror without a type", with([](ShapeOptions& o) { o.mirror = true; }), ShapeTarget(),
       "needs a chip type"},
      {"mirror of a size not a power of two", with([](ShapeOptions& o) { o.mirror = true; }),
       Chip(0x8000, "27256 t2"), "not a power of two"},
      {"lane past its count", with([](ShapeOptions& o) {
         o.split = true;
         o.splitLanes = 2;
         o.splitLane = 2;
       }),
       ShapeTarget(), "lane 2 is past the 2 lanes"},
      {"no lanes", with([](ShapeOptions& o) {
         o.split = true;
         o.splitLanes = 0;
       }),
       ShapeTarget(), "at least one lane"},
      {"fill and pad", with([](ShapeOptions& o) {
         o.fill = true;
         o.pad = true;
       }),
       Chip(0x8000), "clash"},
      {"pad without a type", with([](ShapeOptions& o) { o.pad = true; }), ShapeTarget(),
       "needs a chip type"},
      {"crop backwards", with([](ShapeOptions& o) {
         o.crop = true;
         o.cropFirst = 2;
         o.cropLast = 1;
       }),
       ShapeTarget(), "ends before it starts"},
      {"offset below 0", with([](ShapeOptions& o) {
         o.offset = true;
         o.offsetBy = -1;
       }),
       ShapeTarget(), "outside 0x0000-0xFFFFFFFF"},
      {"fill wider than 16 MiB", with([](ShapeOptions& o) { o.fill = true; }), Range(0, 0x1000000),
       "larger than 16 MiB"},
  };
  for (const Case& c : cases) {
    SparseImage out = image;
    out.Set(0xFFFF, 1);
    const ByteMap before = BytesOf(out);
    std::string error;
    EXPECT_FALSE(ShapeImage(image, c.options, c.target, out, error)) << c.what;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(BytesOf(out), before) << c.what << ": out changed";
    // Refused in place, the image is as it was too.
    SparseImage same = image;
    std::string inPlaceError;
    EXPECT_FALSE(ShapeImage(same, c.options, c.target, same, inPlaceError)) << c.what;
    EXPECT_EQ(inPlaceError, error) << c.what;
    EXPECT_EQ(BytesOf(same), BytesOf(image)) << c.what << ": changed in place";
  }
  // A fill the mirror after it refuses leaves the image shaped in place unfilled.
  ShapeOptions fillThenMirror;
  fillThenMirror.fill = true;
  fillThenMirror.mirror = true;
  SparseImage sparse = Random(rng, {{0x10, 0x20}});
  const ByteMap sparseBefore = BytesOf(sparse);
  ShapeTarget chipAndRange = Range(0, 0x2FFF);
  chipAndRange.capacity = 0x8000;
  std::string mirrorError;
  EXPECT_FALSE(ShapeImage(sparse, fillThenMirror, chipAndRange, sparse, mirrorError));
  EXPECT_NE(mirrorError.find("not a power of two"), std::string::npos) << mirrorError;
  EXPECT_EQ(BytesOf(sparse), sparseBefore);

  SparseImage a = Random(rng, {{0, 0x100}});
  SparseImage b = Random(rng, {{0, 0x80}});
  SparseImage out;
  std::string error;
  EXPECT_FALSE(MergeImages({&a, &a, &b}, 1, out, error, {"even.bin", "odd.bin", "third.bin"}));
  EXPECT_EQ(error, "the inputs differ in size: even.bin holds 0x0100 bytes, third.bin 0x0080");
}

// Files srec_cat also accepts: both read the same bytes, and the checksums of the span
// agree with srec_cat's own CRC-32 of it. srec_cat takes no CR-only line ends: it is given
// those files with LF ends.
TEST(ImageShaping, ReadersAgreeWithSrecCatOnAwkwardFiles) {
  if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat missing";
  TempDir dir;
  const std::vector<uint8_t> k16 = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  struct Case {
    const char* name;
    bool hex;
    std::string text;
  };
  const std::string lower = AsciiLower(IHex(0, 0x20, {0xAB, 0xCD, 0xEF}) + "\n");
  const std::vector<Case> cases = {
      {"overlap with equal data", true,
       IHex(0, 0, k16) + "\n" + IHex(0, 8, {8, 9, 10}) + "\n" + kHexEofRecord + "\n"},
      {"segment records, wrapping", true,
       IHex(2, 0, {0x10, 0x00}) + "\n" + IHex(0, 0xFFF8, k16) + "\n" + kHexEofRecord + "\n"},
      {"crossing 64 KiB, linear", true,
       IHex(4, 0, {0, 1}) + "\n" + IHex(0, 0xFFF8, k16) + "\n" + kHexEofRecord + "\n"},
      {"crossing 64 KiB, no base", true, IHex(0, 0xFFF8, k16) + "\n" + kHexEofRecord + "\n"},
      {"unsorted", true,
       IHex(0, 0x40, k16) + "\n" + IHex(0, 0x10, k16) + "\n" + IHex(0, 0x30, k16) + "\n" +
           kHexEofRecord + "\n"},
      {"CR only", true, IHex(0, 0, k16) + "\r" + IHex(0, 0x10, k16) + "\r" + kHexEofRecord + "\r"},
      {"lower case", true, lower + ":00000001ff\n"},
      {"DOS end-of-file mark", true, IHex(0, 0, k16) + "\r\n" + kHexEofRecord + "\r\n\x1A"},
      {"srec overlap, unsorted, counted", false,
       SRec(0, 2, 0, {'h'}) + "\n" + SRec(2, 3, 0x10008, k16) + "\n" + SRec(1, 2, 0x20, k16) +
           "\n" + SRec(2, 3, 0x10010, {8, 9}) + "\n" + SRec(5, 2, 3, {}) + "\n" +
           SRec(8, 3, 0, {}) + "\n"},
      {"srec CR only, lower case, mark", false,
       "S1130000000102030405060708090a0b0c0d0e0f74\r" + SRec(9, 2, 0, {}) + "\r\x1A"},
  };
  for (const Case& c : cases) {
    std::string forOracle = c.text;
    if (forOracle.find('\n') == std::string::npos) {
      std::replace(forOracle.begin(), forOracle.end(), '\r', '\n');
    }
    const std::string file = dir.File(c.hex ? "edge.hex" : "edge.s19", forOracle);
    SparseImage ours;
    ImageError error;
    ASSERT_TRUE(
        ReadImage(c.hex ? ImageFormat::IntelHex : ImageFormat::SRecord, c.text, 0, ours, error))
        << c.name << ": " << error.Text();
    const std::string in = "'" + file + "'" + (c.hex ? " -intel" : "");
    std::string oracle;
    ASSERT_TRUE(RunSrecCat(dir, in, oracle)) << c.name;
    EXPECT_EQ(BytesOf(ours), BytesOfOracleHex(oracle)) << c.name;

    const uint64_t first = ours.MinAddress();
    const uint64_t span = ours.Span();
    const std::string crc = dir.Path("crc.bin");
    const std::string command = "srec_cat " + in + " -fill 0xFF " + Hex(first) + " " +
                                Hex(first + span) + " -crop " + Hex(first) + " " +
                                Hex(first + span) + " -offset -" + Hex(first) + " -crc32-l-e " +
                                Hex(span) + " -crop " + Hex(span) + " " + Hex(span + 4) +
                                " -offset -" + Hex(span) + " -o '" + crc + "' -binary 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << c.name;
    std::ifstream crcFile(crc, std::ios::binary);
    uint8_t le[4] = {};
    crcFile.read(reinterpret_cast<char*>(le), 4);
    const uint32_t theirs =
        uint32_t{le[0]} | uint32_t{le[1]} << 8 | uint32_t{le[2]} << 16 | uint32_t{le[3]} << 24;
    EXPECT_EQ(
        ChecksumRange(ours, static_cast<uint32_t>(first), static_cast<uint32_t>(first + span - 1))
            .Crc32(),
        theirs)
        << c.name;
  }
}

}  // namespace
}  // namespace zemb
