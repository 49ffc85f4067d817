// Device and file text on a terminal: nothing in it may reach the terminal as a control.
#include <gtest/gtest.h>

#include "TerminalText.h"

namespace zemb {
namespace {

TEST(TerminalText, ControlsBecomeVisibleEscapesAndTextPasses) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"RB OK", "RB OK"},
      {"\x1B]0;pwned\x07RT OK", "\\x1B]0;pwned\\x07RT OK"},
      {"\x1B[31mred", "\\x1B[31mred"},
      {std::string("a\0b\r\n\t\x7F", 7), "a\\x00b\\x0D\\x0A\\x09\\x7F"},
      {"\x9B"
       "31m \x80\x9F",
       "\\x9B31m \\x80\\x9F"},  // raw C1 bytes
      {"\xC2\x9B"
       "31m",
       "\\xC2\\x9B31m"},  // C1 in UTF-8
      {"caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xC2\xA0",
       "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xC2\xA0"},
      {"\xFF\xFE", "\\xFF\\xFE"},           // not UTF-8
      {"\xE6\x97", "\\xE6\\x97"},           // cut character
      {"\xC0\xAF", "\\xC0\\xAF"},           // overlong
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},  // surrogate
      {"C:\\roms\\e.hex", "C:\\roms\\e.hex"},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeForTerminal(c.in), c.out) << c.out;
}

TEST(TerminalText, EveryByteValueAloneIsPrintableAfterwards) {
  for (int b = 0; b < 256; ++b) {
    const std::string out = EscapeForTerminal(std::string(1, static_cast<char>(b)));
    for (unsigned char c : out) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << b;
  }
}

TEST(TerminalText, LongTextIsCutWithAnEllipsisAtACharacterBoundary) {
  const std::string junk(64 * 1024, '#');
  EXPECT_EQ(EscapeForTerminal(junk, 10), "##########... (65536 bytes)");
  EXPECT_EQ(EscapeForTerminal("short", 10), "short");
  // The cut falls inside the second character: it is left out whole.
  EXPECT_EQ(EscapeForTerminal("\xE6\x97\xA5\xE6\x9C\xAC!", 4), "\xE6\x97\xA5... (7 bytes)");
  EXPECT_EQ(EscapeForTerminal("\x1B\x1B\x1B", 2), "\\x1B\\x1B... (3 bytes)");
}

}  // namespace
}  // namespace zemb
