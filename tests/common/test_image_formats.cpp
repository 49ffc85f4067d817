// Image files: the Intel HEX and S-record readers (every record kind, every malformation
// named by its line), content detection, the writers, and the checksums against
// independent tools.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "ChipTypes.h"
#include "ImageFormats.h"
#include "ImageTestSupport.h"

namespace zemb {
namespace {

std::string Hex(const std::vector<uint8_t>& data, uint8_t type, uint16_t address) {
  return EncodeHexRecord(type, address, data.data(), data.size());
}

using testing::BytesOf;
using testing::SRec;

const std::vector<uint8_t> k16(16, 0xA5);

TEST(ImageRead, MalformedRecordsAreRefusedWithTheirLine) {
  const std::string good = Hex({1, 2, 3, 4}, kHexData, 0x10);  // :0400100001020304E2
  const std::string goodS = SRec(1, 2, 0x10, {1, 2, 3, 4});
  struct Case {
    ImageFormat format;
    std::string text;
    size_t line;
    const char* what;
  };
  const std::vector<Case> cases = {
      {ImageFormat::IntelHex, good + "\r\n:0400100001020304E3\r\n", 2, "checksum"},
      {ImageFormat::IntelHex, ";MinAdr=0\n\n:0500100001020304E1\n", 3, "length"},
      {ImageFormat::IntelHex, good + "\n" + good + "\n:0400100001020304E\n", 3, "odd"},
      {ImageFormat::IntelHex, ":04001000010203G4E2\r\n", 1, "hex digit"},
      {ImageFormat::IntelHex, ":00000006FA\r\n" + good, 1, "06"},  // type 06
      {ImageFormat::IntelHex, Hex({1}, kHexExtendedLinear, 0) + "\n", 1, "type 04"},
      {ImageFormat::IntelHex, good + "\nRW 0000\n", 2, "not an Intel HEX"},
      {ImageFormat::IntelHex, good + "\r" + good + "\r:00\r", 3, "length"},
      // Linear base FFFF0000: a record at FFF8 runs past 4 GiB.
      {ImageFormat::IntelHex, Hex({0xFF, 0xFF}, kHexExtendedLinear, 0) + "\n" + Hex(k16, 0, 0xFFF8),
       2, "4 GiB"},
      {ImageFormat::SRecord, goodS + "\n" + goodS.substr(0, goodS.size() - 2) + "00\n", 2,
       "checksum"},
      {ImageFormat::SRecord, "S1080010010203\n", 1, "length"},
      {ImageFormat::SRecord, goodS + "\nS10700100102030\n", 2, "odd"},
      {ImageFormat::SRecord, "S107001001020Z04E1\n", 1, "hex digit"},
      {ImageFormat::SRecord, SRec(4, 2, 0, {}) + "\n", 1, "S4"},
      {ImageFormat::SRecord, "S1020000FD\n", 1, "length"},  // count smaller than the address
      {ImageFormat::SRecord, goodS + "\n:0400100001020304E2\n", 2, "not an S-record"},
      {ImageFormat::SRecord, std::string("\n") + SRec(3, 4, 0xFFFFFFF8, k16), 2, "4 GiB"},
  };
  for (const Case& c : cases) {
    SparseImage image;
    ImageError error;
    EXPECT_FALSE(ReadImage(c.format, c.text, 0, image, error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text << " -> " << error.Text();
    EXPECT_NE(error.message.find(c.what), std::string::npos) << c.text << " -> " << error.Text();
    EXPECT_EQ(error.Text().rfind(std::string("line ") + std::to_string(c.line) + ": ", 0), 0u);
  }
}

TEST(ImageRead, EveryRecordKindPlacesItsData) {
  SparseImage hex;
  ImageError error;
  const std::string hexText =
      ";MinAdr=0\r\n"
      ":0400100001020304e2  \r\n"  // lower case, trailing blanks
      ":020000021000EC\r\n"        // segment base 0x10000
      ":0100010055A9\n"            // 0x10001
      ":0400000300001000E9\n"      // start segment address: no data
      ":020000040002F8\n"          // linear base 0x20000
      ":01FFFF00AA57\n"            // 0x2FFFF
      ":0400000500001000E7\n"      // start linear address: no data
      ":00000001FF\n"
      ":0000000000\n"       // after the end: checked, no data
      ":020000040000FA\n";  // no data: accepted
  ASSERT_TRUE(ReadIntelHex(hexText, hex, error)) << error.Text();
  EXPECT_EQ(BytesOf(hex),
            (std::map<uint32_t, uint8_t>{
                {0x10, 1}, {0x11, 2}, {0x12, 3}, {0x13, 4}, {0x10001, 0x55}, {0x2FFFF, 0xAA}}));

  SparseImage srec;
  const std::string srecText = SRec(0, 2, 0, {'h', 'd', 'r'}) + "\r\n" +
                               SRec(1, 2, 0xFFFE, {1, 2}) + "\r\n" + SRec(2, 3, 0x123456, {3}) +
                               "\n" + SRec(3, 4, 0xFFFFFFFF, {4}) + "\n" + SRec(5, 2, 3, {}) +
                               "\n" + SRec(9, 2, 0, {}) + "\n" + SRec(1, 2, 0, {}) + "\n";
  ASSERT_TRUE(ReadSRecord(srecText, srec, error)) << error.Text();
  EXPECT_EQ(BytesOf(srec), (std::map<uint32_t, uint8_t>{
                               {0xFFFE, 1}, {0xFFFF, 2}, {0x123456, 3}, {0xFFFFFFFF, 4}}));

  SparseImage bin;
  ASSERT_TRUE(ReadBinary(std::string("\x00\xFF\x7E", 3), 0xFFFFFFFD, bin, error));
  EXPECT_EQ(bin.MinAddress(), 0xFFFFFFFDu);
  EXPECT_EQ(bin.MaxAddress(), 0xFFFFFFFFu);
  SparseImage tooHigh;
  EXPECT_FALSE(ReadBinary("1234", 0xFFFFFFFD, tooHigh, error));
  EXPECT_EQ(error.line, 0u);
}

TEST(ImageRead, FormatIsDetectedFromTheContent) {
  const std::vector<std::pair<std::string, ImageFormat>> cases = {
      {";MaxAdr=7FFF\r\n\r\n  \r\n:00000001FF\r\n", ImageFormat::IntelHex},
      {":0400100001020304E3\r\n", ImageFormat::IntelHex},  // malformed, still HEX
      {";MinAdr=0\r\n;MaxAdr=FFF\r\n", ImageFormat::IntelHex},
      {"S00600004844521B\nS9030000FC\n", ImageFormat::SRecord},
      {"\n  S1130000285F245F2212226A000424290008237C2A\n", ImageFormat::SRecord},
      {"\xEF\xBB\xBF:00000001FF\r\n", ImageFormat::IntelHex},
      {";Type=8\r\nRA\r\n:00000001FF", ImageFormat::Binary},
      {std::string(":00000001FF\r\n\0", 14), ImageFormat::Binary},
      {std::string("\x00\x3A", 2), ImageFormat::Binary},
      {":\x80\xFF\r\n", ImageFormat::Binary},
      {"Sx", ImageFormat::Binary},
      {"", ImageFormat::Binary},
  };
  for (const auto& [text, format] : cases) {
    EXPECT_EQ(DetectImageFormat(text), format) << text;
  }
  ImageFormat f = ImageFormat::Binary;
  EXPECT_TRUE(ImageFormatFromExtension("dir.hex/dump.S19", f));
  EXPECT_EQ(f, ImageFormat::SRecord);
  EXPECT_TRUE(ImageFormatFromExtension("a.BIN", f));
  EXPECT_EQ(f, ImageFormat::Binary);
  EXPECT_FALSE(ImageFormatFromExtension("dir.hex/dump", f));
  EXPECT_FALSE(ImageFormatFromExtension(".hex", f));
}

TEST(ImageWrite, IntelHexRecordsAreAlignedWithLinearAddresses) {
  SparseImage image;
  for (uint32_t a = 0x5; a <= 0x21; ++a) image.Set(a, static_cast<uint8_t>(a));
  for (uint32_t a = 0xFFF8; a <= 0x10007; ++a) image.Set(a, static_cast<uint8_t>(a));
  image.Set(0x20000, 0x42);
  const auto records = EncodeIntelHexRecords(image);
  const std::vector<std::string> heads = {":0B000500", ":10001000", ":02002000", ":08FFF800",
                                          ":02000004", ":08000000", ":02000004", ":01000000"};
  ASSERT_EQ(records.size(), heads.size());
  for (size_t i = 0; i < heads.size(); ++i) EXPECT_EQ(records[i].substr(0, 9), heads[i]) << i;
  EXPECT_EQ(records[4], ":020000040001F9");
  EXPECT_EQ(records[6], ":020000040002F8");

  const std::string text = WriteIntelHex(image);
  EXPECT_EQ(text.substr(text.size() - 13), ":00000001FF\r\n");
  SparseImage back;
  ImageError error;
  ASSERT_TRUE(ReadIntelHex(text, back, error)) << error.Text();
  EXPECT_EQ(BytesOf(back), BytesOf(image));
}

TEST(ImageWrite, SRecordAddressWidthFollowsTheHighestAddress) {
  const std::vector<std::tuple<uint32_t, char, char>> cases = {{0xFFFF, '1', '9'},
                                                               {0x10000, '2', '8'},
                                                               {0xFFFFFF, '2', '8'},
                                                               {0x1000000, '3', '7'},
                                                               {0xFFFFFFFF, '3', '7'}};
  for (const auto& [top, data, end] : cases) {
    SparseImage image;
    for (uint32_t i = 0; i < 40; ++i) image.Set(top - 39 + i, static_cast<uint8_t>(i * 7));
    const std::string text = WriteSRecord(image);
    EXPECT_EQ(text.rfind("S0", 0), 0u);
    EXPECT_NE(text.find(std::string("\r\nS") + data), std::string::npos) << text;
    EXPECT_EQ(text[text.rfind("\r\nS", text.size() - 3) + 3], end) << text;
    SparseImage back;
    ImageError error;
    ASSERT_TRUE(ReadSRecord(text, back, error)) << error.Text() << "\n" << text;
    EXPECT_EQ(BytesOf(back), BytesOf(image));
  }
}

TEST(ImageModel, CoverageAndFill) {
  SparseImage image;
  image.SetRange(0x100, reinterpret_cast<const uint8_t*>("abc"), 3);
  image.Set(0x1FF, 'z');
  EXPECT_EQ(image.Count(), 4u);
  EXPECT_TRUE(image.Covers(0x100, 0x102));
  EXPECT_FALSE(image.Covers(0x100, 0x103));
  EXPECT_FALSE(image.Covers(0xFF, 0x102));
  image.Set(0x100, 'A');  // a later byte replaces, it does not add
  EXPECT_EQ(image.Count(), 4u);
  EXPECT_EQ(image.Flatten(0xFE, 0x103), (std::vector<uint8_t>{0xFF, 0xFF, 'A', 'b', 'c', 0xFF}));
  EXPECT_EQ(image.MinAddress(), 0x100u);
  EXPECT_EQ(image.MaxAddress(), 0x1FFu);
}

TEST(ImageChecksums, KnownVectors) {
  const auto bytes = [](const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
  };
  const std::string check = "123456789";
  EXPECT_EQ(Crc32(bytes(check), check.size()), 0xCBF43926u);
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
  EXPECT_EQ(Sha1Hex(nullptr, 0), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Sha1Hex(bytes("abc"), 3), "a9993e364706816aba3e25717850c26c9cd0d89d");
  // 56 bytes: the length no longer fits the first block.
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(Sha1Hex(bytes(two), two.size()), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(ByteSum16(bytes(check), check.size()), 0x01DD);
  const std::vector<uint8_t> ff(0x20000, 0xFF);  // a blank 1-Mbit part
  EXPECT_EQ(ByteSum16(ff.data(), ff.size()), 0x0000);
  EXPECT_EQ(ByteSum16(ff.data(), 0x101), 0xFFFF);
}

TEST(ImageChecksums, PiecesAndSlicesGiveTheWholeResult) {
  std::vector<uint8_t> data(0x30000);
  std::mt19937 rng(5);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  ImageChecksums pieces;
  size_t at = 0;
  for (size_t n :
       {size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{0}, size_t{127}, size_t{3}}) {
    pieces.Update(data.data() + at, n);
    at += n;
  }
  pieces.Update(data.data() + at, data.size() - at);
  EXPECT_EQ(pieces.Sha1Hex(), Sha1Hex(data.data(), data.size()));
  EXPECT_EQ(pieces.Crc32(), Crc32(data.data(), data.size()));

  // A range wider than one slice, with a hole the checksums see as 0xFF.
  SparseImage image;
  image.SetRange(0x100, data.data() + 0x100, 0x1FF00);
  image.SetRange(0x28000, data.data() + 0x28000, 0x8000);
  auto filled = data;
  std::fill(filled.begin(), filled.begin() + 0x100, 0xFF);
  std::fill(filled.begin() + 0x20000, filled.begin() + 0x28000, 0xFF);
  const ImageChecksums range = ChecksumRange(image, 0, 0x2FFFF);
  EXPECT_EQ(range.Sha1Hex(), Sha1Hex(filled.data(), filled.size()));
  EXPECT_EQ(range.Sum16(), ByteSum16(filled.data(), filled.size()));
}

// Runs a shell command and returns its first output line; empty when it cannot run.
std::string FirstLineOf(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  char line[256] = {};
  const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
  ::pclose(pipe);
  std::string text = got ? line : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

TEST(ImageChecksums, AgreeWithSha1sumAndZlib) {
  if (FirstLineOf("command -v sha1sum && command -v python3").empty()) {
    GTEST_SKIP() << "sha1sum or python3 missing";
  }
  char pattern[] = "/tmp/zembromw_checksums_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string path = std::string(pattern) + "/image.bin";
  std::mt19937 rng(12);
  for (size_t size :
       {size_t{1}, size_t{55}, size_t{64}, size_t{65}, size_t{4095}, size_t{0x20000}}) {
    std::vector<uint8_t> data(size);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(size));
    const std::string sha = FirstLineOf("sha1sum '" + path + "'");
    EXPECT_EQ(sha.substr(0, 40), Sha1Hex(data.data(), size)) << size;
    const std::string crc = FirstLineOf(
        "python3 -c 'import sys,zlib;print(zlib.crc32(open(sys.argv[1],\"rb\").read()))' '" + path +
        "'");
    EXPECT_EQ(crc, std::to_string(Crc32(data.data(), size))) << size;
    unsigned sum = 0;
    for (uint8_t b : data) sum += b;
    EXPECT_EQ(ByteSum16(data.data(), size), static_cast<uint16_t>(sum)) << size;
  }
  std::filesystem::remove_all(pattern);
}

TEST(ChipTypeTable, NineteenEntriesInTheWindowsOrder) {
  const auto& table = ChipTypeTable();
  ASSERT_EQ(table.size(), 19u);
  for (size_t i = 0; i < table.size(); ++i) {
    const std::string text = table[i].itemText;
    char code[24];
    std::snprintf(code, sizeof code, "%02zX", i);
    EXPECT_EQ(std::string(table[i].code), code);
    EXPECT_EQ(text.rfind(std::string(code) + ": " + table[i].part, 0), 0u) << text;
    if (*table[i].vpp != '\0') {
      EXPECT_NE(text.find(std::string("(vpp=") + table[i].vpp + ")"), std::string::npos) << text;
    }
    const std::string also = table[i].compatible;
    if (!also.empty()) {
      EXPECT_EQ(text.substr(text.size() - also.size()), also);
    }
    EXPECT_EQ(ChipTypeIndexOfCode(table[i].code), static_cast<int>(i));
  }
  EXPECT_EQ(ChipTypeItemTexts()[8], "08: 27256 t2 (vpp=12.5v)");
  EXPECT_EQ(ChipTypeIndexOfCode("0a"), 10);
  EXPECT_EQ(ChipTypeIndexOfCode("13"), -1);
  EXPECT_EQ(ChipTypeIndexOfCode("8"), -1);
}

}  // namespace
}  // namespace zemb
