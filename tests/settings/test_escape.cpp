#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "uSetting.h"

using namespace zemb;
using std::string;
using namespace std::string_literals;

namespace {

using Cases = std::vector<std::pair<string, string>>;

// The 15-byte value: A = 1 , space " B " tab C \ D CR LF E.
const string kWorkedValue("A=1, \"B\"\tC\\D\r\nE", 15);
const string kWorkedEscaped = "A\\x3D1\\x2C \\x22B\\x22\\tC\\\\D\\nE";

bool HoldsForbiddenByte(const string& s) {
  for (unsigned char c : s) {
    if (c < 0x20 || c == '"' || c == '\'' || c == ',' || c == '=') return true;
  }
  return false;
}

}  // namespace

TEST(EscapeText, WorkedExamples) {
  EXPECT_EQ(EscapeText(kWorkedValue), kWorkedEscaped);
  EXPECT_EQ(UnescapeText(kWorkedEscaped), kWorkedValue);
  EXPECT_EQ(EscapeText(":0400000001020304F2\r\n:00000001FF"), ":0400000001020304F2\\n:00000001FF");
}

TEST(EscapeText, Table) {
  const Cases cases = {
      {"\r", "\\x0D"},
      {"\n", "\\x0A"},
      {"\r\r\n", "\\x0D\\n"},
      {"\n\r", "\\x0A\\x0D"},
      {"ab\r", "ab\\x0D"},
      {"\r\n\r\n", "\\n\\n"},
      {"\t", "\\t"},
      {"\\", "\\\\"},
      {string(1, '\0'), "\\x00"},
      {"\x1f\x0b", "\\x1F\\x0B"},
      {"\"',=", "\\x22\\x27\\x2C\\x3D"},
      {" !#&(+-<>[]^~\x7f", " !#&(+-<>[]^~\x7f"},
      // Shift-JIS "表" ends in 0x5C: the byte is escaped like any backslash.
      {"\x95\x5c", "\x95\\\\"},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(EscapeText(in), out) << "input " << testing::PrintToString(in);
    EXPECT_EQ(UnescapeText(out), in) << "escaped " << out;
  }
  string high;
  for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
  EXPECT_EQ(EscapeText(high), high);
}

TEST(UnescapeText, LettersAndOddities) {
  const Cases cases = {
      {"\\a\\b\\f\\v\\r\\t", "\a\b\f\v\r\t"},
      {"\\n", "\r\n"},
      {"\\x4a", "J"},
      {"\\x4A", "J"},
      {"\\x41", "A"},
      {"ab\\xA", "ab\n"},
      {"\\xAZ", "AZ"},
      {"\\xZ1", "Z1"},
      {"\\x4G", "4G"},
      {"ab\\x", "ab"},
      {"\\x\\t", "\t"},
      {"\\X41", "X41"},
      {"\\q", "q"},
      {"\\\\x41", "\\x41"},
      {"\\x00", string(1, '\0')},
      // A lone backslash at the end never comes from EscapeText and is dropped.
      {"ab\\", "ab"},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(UnescapeText(in), out) << "input " << in;
  }
}

TEST(HexByte, UpperCaseTwoDigits) {
  EXPECT_EQ(HexByte(0), "00");
  EXPECT_EQ(HexByte(0x3D), "3D");
  EXPECT_EQ(HexByte(0xAB), "AB");
  EXPECT_EQ(HexByte(255), "FF");
}

TEST(EscapeText, RoundTripsEveryByteString) {
  std::vector<string> inputs;
  string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  inputs.push_back(all);
  inputs.emplace_back(all.rbegin(), all.rend());

  std::mt19937 rng(20240601);
  // Half of the strings draw from the bytes that escaping treats specially, so that runs
  // such as CR CR LF or backslash x digit turn up often.
  const string special = "\r\n\\x\t\0=,'\"0aAfF"s;
  for (int i = 0; i < 4000; ++i) {
    string s(rng() % 48, '\0');
    for (char& c : s) {
      c = (i % 2) ? special[rng() % special.size()] : static_cast<char>(rng() % 256);
    }
    inputs.push_back(s);
  }
  for (const string& s : inputs) {
    const string escaped = EscapeText(s);
    ASSERT_EQ(UnescapeText(escaped), s) << testing::PrintToString(s);
    ASSERT_FALSE(HoldsForbiddenByte(escaped)) << testing::PrintToString(escaped);
  }
}
