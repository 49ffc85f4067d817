// Record coding, image loading and dumping of the simulated ROM writer.
#include <gtest/gtest.h>

#include "ChipImage.h"

namespace zemb::sim {
namespace {

TEST(SimHex, EncodesRecordsWithChecksum) {
  const uint8_t data[] = {0x01, 0x02, 0x03, 0x04};
  EXPECT_EQ(EncodeHexRecord(kHexData, 0x0000, data, 4), ":0400000001020304F2");
  EXPECT_EQ(EncodeHexRecord(kHexEndOfFile, 0, nullptr, 0), kHexEofRecord);
  const uint8_t ela[] = {0x00, 0x01};
  EXPECT_EQ(EncodeHexRecord(kHexExtendedLinear, 0, ela, 2), ":020000040001F9");
}

TEST(SimHex, ParsesGoodRecordsAndRejectsBadOnes) {
  HexRecord r;
  ASSERT_EQ(ParseHexRecord(":0400100001020304e2  \t", r), HexParseResult::Ok);
  EXPECT_EQ(r.type, kHexData);
  EXPECT_EQ(r.address, 0x0010);
  EXPECT_EQ(r.data, (std::vector<uint8_t>{1, 2, 3, 4}));
  ASSERT_EQ(ParseHexRecord(":020000021000EC", r), HexParseResult::Ok);
  EXPECT_EQ(r.type, kHexExtendedSegment);

  EXPECT_EQ(ParseHexRecord(":0400100001020304E3", r), HexParseResult::Checksum);
  EXPECT_EQ(ParseHexRecord(":0500100001020304E2", r), HexParseResult::BadLength);
  EXPECT_EQ(ParseHexRecord(":04001000010203G4E2", r), HexParseResult::BadDigit);
  EXPECT_EQ(ParseHexRecord(":0400100001020304E", r), HexParseResult::OddDigits);
  EXPECT_EQ(ParseHexRecord("0400100001020304E2", r), HexParseResult::Syntax);
  EXPECT_EQ(ParseHexRecord(":00000001", r), HexParseResult::BadLength);
  EXPECT_EQ(ParseHexRecord("", r), HexParseResult::Syntax);
}

TEST(SimHex, RangeRecordsAreAlignedAndCarryLinearAddresses) {
  std::vector<uint8_t> memory(0x20000, 0xFF);
  memory[0x5] = 0x12;
  const auto low = EncodeHexRange(memory, 0x5, 0x21);
  ASSERT_EQ(low.size(), 3u);
  EXPECT_EQ(low[0].substr(0, 9), ":0B000500");  // up to the 16-byte boundary
  EXPECT_EQ(low[0].substr(9, 2), "12");
  EXPECT_EQ(low[1].substr(0, 9), ":10001000");
  EXPECT_EQ(low[2].substr(0, 9), ":02002000");

  const auto across = EncodeHexRange(memory, 0xFFF0, 0x1000F);
  ASSERT_EQ(across.size(), 3u);
  EXPECT_EQ(across[0].substr(0, 9), ":10FFF000");
  EXPECT_EQ(across[1], ":020000040001F9");
  EXPECT_EQ(across[2].substr(0, 9), ":10000000");
  // Starting above 64 KiB needs the linear address before the first record too.
  EXPECT_EQ(EncodeHexRange(memory, 0x10000, 0x10000)[0], ":020000040001F9");
}

TEST(SimHex, LoadsHexWithSegmentAndLinearRecords) {
  std::vector<uint8_t> memory(0x20000, 0xFF);
  std::string error;
  const std::string text =
      ";MinAdr=0\r\n"
      ":0400100001020304E2\r\n"
      ":020000021000EC\r\n"  // base 0x10000
      ":0100010055A9\r\n"    // 0x10001
      ":020000040001F9\n"    // base 0x10000 again, LF only
      ":01000200AA53\n"      // 0x10002
      ":00000001FF\n"
      ":0000000000\n";  // after the end: no data, accepted
  ASSERT_TRUE(LoadImage(text, memory, error)) << error;
  EXPECT_EQ(memory[0x10], 0x01);
  EXPECT_EQ(memory[0x13], 0x04);
  EXPECT_EQ(memory[0x10001], 0x55);
  EXPECT_EQ(memory[0x10002], 0xAA);
  EXPECT_EQ(memory[0x0], 0xFF);
}

TEST(SimHex, LoadRejectsBadImages) {
  std::vector<uint8_t> memory(0x1000, 0xFF);
  std::string error;
  EXPECT_FALSE(LoadImage(":0400100001020304E3\r\n", memory, error));
  EXPECT_NE(error.find("line 1"), std::string::npos);
  EXPECT_NE(error.find("checksum"), std::string::npos);
  EXPECT_FALSE(LoadImage(":0100000000FF\r\nnot hex\r\n", memory, error));
  EXPECT_NE(error.find("line 2"), std::string::npos);
  EXPECT_FALSE(LoadImage(":01100000AA45\r\n", memory, error));  // 0x1000: outside the chip
  EXPECT_NE(error.find("01000"), std::string::npos);
  EXPECT_FALSE(LoadImage(std::string(0x1001, 'x'), memory, error));
  // Text that starts as Intel HEX or S-record stays text despite a stray byte further on.
  using namespace std::string_literals;
  const std::pair<std::string, const char*> stray[] = {{";MinAdr=0\r\n:0100000000FF\r\n:01000100\0"s
                                                        "00FE\r\n",
                                                        "line 3"},
                                                       {"S104000042B9\nS104\x06"s, "line 2"}};
  for (const auto& [text, line] : stray) {
    EXPECT_FALSE(LoadImage(text, memory, error)) << text;
    EXPECT_NE(error.find(line), std::string::npos) << error;
  }
}

TEST(SimHex, LoadsBinaryAndDumpsRoundTrip) {
  std::vector<uint8_t> memory(0x2000, 0xFF);
  std::string error;
  ASSERT_TRUE(LoadImage(std::string("\x01\x00\xFE", 3), memory, error));
  EXPECT_EQ(memory[0], 0x01);
  EXPECT_EQ(memory[1], 0x00);
  EXPECT_EQ(memory[3], 0xFF);

  const std::string dump = DumpIntelHex(memory);
  EXPECT_EQ(dump.substr(dump.size() - 13), ":00000001FF\r\n");
  std::vector<uint8_t> copy(0x2000, 0x00);
  ASSERT_TRUE(LoadImage(dump, copy, error)) << error;
  EXPECT_EQ(copy, memory);
}

}  // namespace
}  // namespace zemb::sim
