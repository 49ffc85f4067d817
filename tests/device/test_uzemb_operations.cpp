// The paced upload and the five ROM operations: wire bytes, timeouts, results and Status,
// against a scripted device on a virtual clock.
#include <gtest/gtest.h>

#include "FakeRomWriter.h"
#include "ScriptedChannel.h"
#include "uZEMB.h"

namespace zemb {
namespace {

using test::FakeRomWriter;
using test::ScriptedChannel;

class Operations : public ::testing::Test {
 protected:
  Operations() {
    device.AnswerHandshakeAndType();
    rom.Lines = &lines;
    rom.SetOnFlash([this](TzembROMWT*, int32_t line) { flashes.push_back(line); });
  }

  std::unique_ptr<SerialChannel> MakeChannel() {
    auto channel = std::make_unique<ScriptedChannel>();
    ch = channel.get();
    return channel;
  }

  // After the host has written `count` more bytes, the device sends each of `replies`
  // (delay in ms from that moment, bytes).
  void AfterBytes(size_t count, std::vector<std::pair<int64_t, std::string>> replies) {
    const size_t at = ch->written.size() + count;
    ch->onByte = [=](ScriptedChannel& c, uint8_t) {
      if (c.written.size() != at) return;
      const int64_t now = c.Now();
      for (const auto& [delay, bytes] : replies) c.DeliverAt(now + delay, bytes);
    };
  }
  void AfterBytes(size_t count, const std::string& bytes) { AfterBytes(count, {{0, bytes}}); }

  // Bytes the host writes for the handshake, the default type and a range command.
  static constexpr size_t kConnectBytes = 4 + 7;
  static constexpr size_t kRangeCommandBytes = 22;

  // What the host wrote after the operation's own command line.
  std::string UploadedText(const std::string& command) const {
    const std::string all = ch->WrittenText();
    const size_t at = all.find(command + "\r\n");
    return at == std::string::npos ? "<no command>" : all.substr(at + command.size() + 2);
  }

  ScriptedChannel* ch = nullptr;
  TzembROMWT rom{nullptr, MakeChannel()};
  FakeRomWriter device{*ch};
  TStringList lines;
  std::vector<int32_t> flashes;
};

// --- Upload ------------------------------------------------------------------------------

TEST_F(Operations, UploadSendsEveryLineWithCrLfAndFlashesAfterEach) {
  lines.SetLines({";Type=8", "", ":00000001FF"});
  rom.OpenPort();
  std::vector<size_t> writtenAtFlash;
  rom.SetOnFlash([&](TzembROMWT*, int32_t line) {
    flashes.push_back(line);
    writtenAtFlash.push_back(ch->written.size());
  });
  EXPECT_TRUE(rom.SendLines());
  EXPECT_EQ(ch->WrittenText(), ";Type=8\r\n\r\n:00000001FF\r\n");
  EXPECT_EQ(flashes, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(writtenAtFlash, (std::vector<size_t>{9, 11, 24}));
  EXPECT_EQ(ch->ReadTimeoutMs(), 0u);
}

TEST_F(Operations, EmptyOrMissingLineListUploads) {
  rom.OpenPort();
  EXPECT_TRUE(rom.SendLines());
  EXPECT_TRUE(ch->written.empty());
  EXPECT_TRUE(flashes.empty());
  rom.Lines = nullptr;
  EXPECT_FALSE(rom.SendLines());
}

TEST_F(Operations, XoffHoldsTheStreamUntilXonAndResumesWithTheDueCharacter) {
  lines.SetLines({"ABCDEF"});
  rom.OpenPort();
  AfterBytes(3, {{0, "\x13"}, {300, "\x11"}});
  EXPECT_TRUE(rom.SendLines());
  EXPECT_EQ(ch->WrittenText(), "ABCDEF\r\n");
  // The fourth character went out only after the XON.
  EXPECT_GE(ch->written[3].timeMs, 300);
  EXPECT_GE(ch->sleeps.size(), 29u);
  EXPECT_EQ(rom.Transcript, "");  // cleared after the line
}

TEST_F(Operations, AnyByteEndsTheXoffWaitEvenAnErrorLetter) {
  lines.SetLines({"ABCD"});
  rom.OpenPort();
  AfterBytes(2, {{0, "\x13"}, {50, "E"}});
  EXPECT_TRUE(rom.SendLines());
  EXPECT_EQ(ch->WrittenText(), "ABCD\r\n");
}

TEST_F(Operations, RepeatedXoffRestartsThePassCount) {
  lines.SetLines({"AB"});
  rom.OpenPort();
  // The second XOFF comes just before the first would run out.
  AfterBytes(1, {{0, "\x13"}, {4000, "\x13"}, {8000, "\x11"}});
  TStringList log;
  rom.Log = &log;
  EXPECT_TRUE(rom.SendLines());
  EXPECT_EQ(ch->WrittenText(), "AB\r\n");
  ASSERT_EQ(log.Count(), 1);
  EXPECT_EQ(log.Get(0), "#13#13#11");
}

TEST_F(Operations, XoffFollowedBySilenceGivesUpAfter500Passes) {
  lines.SetLines({"ABCDEF", "GH"});
  rom.OpenPort();
  AfterBytes(2, "\x13");
  EXPECT_FALSE(rom.SendLines());
  EXPECT_EQ(ch->WrittenText(), "AB");
  EXPECT_EQ(ch->sleeps.size(), 501u);
  EXPECT_TRUE(flashes.empty());
  EXPECT_EQ(rom.Transcript, "#13");  // the unfinished line's bytes stay
}

TEST_F(Operations, ErrorLettersEndTheUploadAndOtherBytesAreIgnored) {
  for (char letter : {'E', 'z', '[', '`', 'A'}) {
    ch->written.clear();
    lines.SetLines({"0123456789"});
    rom.OpenPort();
    AfterBytes(4, std::string(1, letter));
    EXPECT_FALSE(rom.SendLines()) << letter;
    EXPECT_EQ(ch->WrittenText(), "0123") << letter;
  }
  for (const char* noise : {"9", "\r", "\n", "\x11", "#", "{", "~", "\x7F", "\xC8"}) {
    ch->written.clear();
    lines.SetLines({"0123456789"});
    AfterBytes(4, noise);
    EXPECT_TRUE(rom.SendLines()) << int(noise[0]);
    EXPECT_EQ(ch->WrittenText(), "0123456789\r\n");
  }
}

TEST_F(Operations, ByteDuringTheLineEndIsExaminedBeforeTheNextLine) {
  lines.SetLines({"AB", "CD"});
  rom.OpenPort();
  AfterBytes(3, "E");  // arrives while CR LF of the first line goes out
  EXPECT_FALSE(rom.SendLines());
  EXPECT_EQ(ch->WrittenText(), "AB\r\n");
  EXPECT_EQ(flashes, std::vector<int32_t>{0});

  // After the last line end, a byte is left for the caller.
  ch->written.clear();
  flashes.clear();
  AfterBytes(8, "R");
  EXPECT_TRUE(rom.SendLines());
  EXPECT_EQ(ch->Pending(), 1u);
}

TEST_F(Operations, FlashHandlerErrorIsAFailedUpload) {
  lines.SetLines({"AB", "CD"});
  rom.OpenPort();
  rom.SetOnFlash([](TzembROMWT*, int32_t) { throw std::runtime_error("handler"); });
  EXPECT_FALSE(rom.SendLines());
  EXPECT_EQ(ch->WrittenText(), "AB\r\n");
}

// --- Commands and addresses ----------------------------------------------------------------

TEST_F(Operations, AddressFormatting) {
  device.On("RB ", {"RB OK\r"});
  EXPECT_TRUE(rom.BlankCheck(0, 0xFFF));
  EXPECT_TRUE(rom.BlankCheck(0, 0x1FFFF));
  EXPECT_TRUE(rom.BlankCheck(0x7FFF, 0));  // start above end goes out unchanged
  device.On("RR ", {"RR NG\r"});
  rom.SetOffsetAdr(0x1234);  // never part of a command
  rom.ReadRom(0, 0x1FFFF);
  rom.ReadRom(0x12345678, static_cast<int32_t>(0x80000000u));
  rom.ReadRom(-1, 0);
  EXPECT_EQ(device.lines, (std::vector<std::string>{
                              "RA", "RT 08", "RB 0000,0FFF", "RA", "RB 0000,1FFFF", "RA",
                              "RB 7FFF,0000", "RA", "RR 00000,1FFFF+00000", "RA",
                              "RR 12345678,80000000+00000", "RA", "RR FFFFFFFF,00000+00000"}));
}

TEST_F(Operations, BlankCheckWaitsFiveSecondsAndFlushes) {
  TStringList log;
  rom.Log = &log;
  device.On("RB ", {"RB NG 0123\r\n"}, 4900);
  EXPECT_FALSE(rom.BlankCheck(0, 0xFFF));
  EXPECT_EQ(rom.Status, "RB NG 0123");
  EXPECT_EQ(ch->ReadTimeoutMs(), 100u);
  ASSERT_GE(log.Count(), 1);
  EXPECT_NE(log.Get(log.Count() - 1).find("RB NG 0123#0D"), std::string::npos);

  device.On("RB ", {""});  // silence: the empty answer becomes Status
  EXPECT_FALSE(rom.BlankCheck(0, 0xFFF));
  EXPECT_EQ(rom.Status, "");
}

TEST_F(Operations, ConnectionFailureStatusPerOperation) {
  device.On("RA", {""});
  EXPECT_FALSE(rom.BlankCheck(0, 1));
  EXPECT_EQ(rom.Status, "");
  EXPECT_FALSE(rom.CompareRom(0, 1));
  EXPECT_EQ(rom.Status, "");
  EXPECT_FALSE(rom.ProgramRom(0, 1));
  EXPECT_EQ(rom.Status, "Program NG");
  EXPECT_FALSE(rom.WriteRom(0, 1));
  EXPECT_EQ(rom.Status, "Write NG");
  for (const auto& line : device.lines) EXPECT_EQ(line, "RA");
}

// --- Read ------------------------------------------------------------------------------

TEST_F(Operations, ReadFillsLinesAndToleratesOneBlankLine) {
  lines.SetLines({"old"});
  device.On("RR ", {":0400000001020304F2\r\n:00000001FF\r\n\r\nRR OK\r\n"});
  EXPECT_TRUE(rom.ReadRom(0, 3));
  EXPECT_EQ(lines.Lines(), (std::vector<std::string>{":0400000001020304F2", ":00000001FF"}));
  EXPECT_EQ(rom.Status, "RR OK");
}

TEST_F(Operations, ReadWithTwoBlankLinesBeforeTheAnswerFails) {
  device.On("RR ", {":00000001FF\r\r\rRR OK\r"});
  EXPECT_FALSE(rom.ReadRom(0, 3));
  EXPECT_EQ(lines.Lines(), std::vector<std::string>{":00000001FF"});
  EXPECT_EQ(rom.Status, "");
}

TEST_F(Operations, ReadAnsweredWithAnErrorKeepsLinesAndStatusFromConnect) {
  lines.SetLines({"keep"});
  device.On("RT ", {"RT NG\r"});
  device.On("RR ", {"RR NG range\r"});
  EXPECT_FALSE(rom.ReadRom(0, 0xFFFFF));
  EXPECT_EQ(lines.Lines(), std::vector<std::string>{"keep"});
  EXPECT_EQ(rom.Status, "RT NG");  // left by the type command of this connection
}

TEST_F(Operations, ReadFirstLineMustComeWithinOneSecond) {
  device.On("RR ", {":00000001FF\rRR OK\r"}, 1001);
  EXPECT_FALSE(rom.ReadRom(0, 3));
  ch->Advance(2000);  // let the late answer arrive; the next command drains it
  device.On("RR ", {":00000001FF\rRR OK\r"}, 999);
  EXPECT_TRUE(rom.ReadRom(0, 3));
}

TEST_F(Operations, ReadPauseInsideTheDataEndsItEarly) {
  device.On("RR ", {":10000000"});
  ch->onLine = [this, inner = ch->onLine](ScriptedChannel& c, const std::string& line) {
    inner(c, line);
    if (line.rfind("RR ", 0) == 0) c.Deliver("FFFF\r:00000001FF\rRR OK\r", 200);
  };
  EXPECT_FALSE(rom.ReadRom(0, 15));
  EXPECT_EQ(lines.Lines(), std::vector<std::string>{":10000000"});
}

TEST_F(Operations, ReadWithoutALineListSendsNothing) {
  rom.Lines = nullptr;
  EXPECT_FALSE(rom.ReadRom(0, 1));
  EXPECT_TRUE(ch->written.empty());
}

// --- Compare, program, write -------------------------------------------------------------------

TEST_F(Operations, CompareUploadsRightAfterTheCommandThenWaitsFiveSeconds) {
  lines.SetLines({";MaxAdr=0FFF", ":00000001FF"});
  device.On("RC ", {""});
  device.On(":00000001FF", {"RC OK\r"}, 4999);
  EXPECT_TRUE(rom.CompareRom(0, 0xFFF));
  EXPECT_EQ(UploadedText("RC 00000,00FFF+00000"), ";MaxAdr=0FFF\r\n:00000001FF\r\n");
  EXPECT_EQ(rom.Status, "RC OK");
}

TEST_F(Operations, CompareStoppedByTheDeviceKeepsTheRestOfItsLine) {
  lines.SetLines({":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00", ":00000001FF"});
  device.On("RC ", {""});
  rom.OpenPort();
  AfterBytes(kConnectBytes + kRangeCommandBytes + 10, "RC NG 00003 FF 00\r");
  EXPECT_FALSE(rom.CompareRom(0, 0xF));
  EXPECT_EQ(rom.Status, "C NG 00003 FF 00");
  EXPECT_EQ(UploadedText("RC 00000,0000F+00000"), ":10000000F");
}

TEST_F(Operations, EmptyLinesLetTheAnswerDecide) {
  device.On("RW ", {"RW OK\r"});
  EXPECT_TRUE(rom.WriteRom(0, 0xFFF));
  device.On("RC ", {"RC NG\r"});
  EXPECT_FALSE(rom.CompareRom(0, 0xFFF));
  EXPECT_EQ(rom.Status, "RC NG");
  EXPECT_TRUE(flashes.empty());
}

TEST_F(Operations, ProgramUploadsAfterTheBlankCheckAnswer) {
  lines.SetLines({":00000001FF"});
  device.On("RP ", {"RB OK\r\n"}, 30000);
  device.On(":00000001FF", {"xx OK done\r"}, 19000);
  EXPECT_TRUE(rom.ProgramRom(0, 0x7FFF));
  EXPECT_EQ(UploadedText("RP 00000,07FFF+00000"), ":00000001FF\r\n");
  EXPECT_EQ(rom.Status, "xx OK done");
  EXPECT_EQ(flashes, std::vector<int32_t>{0});
}

TEST_F(Operations, ProgramFinalAnswerIsJudgedOnCharactersFourAndFive) {
  lines.SetLines({":00000001FF"});
  device.On("RP ", {"RB OK\r"});
  device.On(":00000001FF", {"RP OK\r", "RP NG\r", "RPxOK\r", "RP O\r"});
  EXPECT_TRUE(rom.ProgramRom(0, 1));
  EXPECT_FALSE(rom.ProgramRom(0, 1));
  EXPECT_TRUE(rom.ProgramRom(0, 1));
  EXPECT_FALSE(rom.ProgramRom(0, 1));
}

TEST_F(Operations, ProgramOnANonBlankChipUploadsNothingAndShowsTheNextLine) {
  lines.SetLines({":00000001FF"});
  device.On("RP ", {"RB NG 00010\rRP NG not blank\r"});
  EXPECT_FALSE(rom.ProgramRom(0, 0xFF));
  EXPECT_EQ(rom.Status, "RP NG not blank");
  EXPECT_EQ(UploadedText("RP 00000,000FF+00000"), "");
  EXPECT_TRUE(flashes.empty());
}

TEST_F(Operations, ProgramWaitsASecondFiftySecondsWhenTheFirstAnswerIsSilent) {
  lines.SetLines({":00000001FF"});
  device.On("RP ", {"RP NG late\r"}, 99000);
  const int64_t before = ch->Now();
  EXPECT_FALSE(rom.ProgramRom(0, 0xFF));
  EXPECT_EQ(rom.Status, "RP NG late");
  EXPECT_GE(ch->Now() - before, 99000);

  device.On("RP ", {""});
  EXPECT_FALSE(rom.ProgramRom(0, 0xFF));
  EXPECT_EQ(rom.Status, "");
}

TEST_F(Operations, WriteWithoutBlankCheckAndUploadFailureReadsTheNextLine) {
  lines.SetLines({":0100000000FF", ":00000001FF"});
  device.On("RW ", {""});
  device.On(":00000001FF", {"RW OK\r"}, 39000);
  EXPECT_TRUE(rom.WriteRom(0, 0));
  EXPECT_EQ(rom.Status, "RW OK");

  ch->written.clear();
  AfterBytes(4 + kRangeCommandBytes + 5, "\x13");  // held and never released
  device.On(":00000001FF", {""});
  EXPECT_FALSE(rom.WriteRom(0, 0));
  EXPECT_EQ(rom.Status, "");
}

TEST_F(Operations, PortLostMidUploadIsAFalseResultNotAnAbort) {
  lines.SetLines({":0100000000FF", ":00000001FF"});
  device.On("RW ", {""});
  rom.OpenPort();
  const size_t at = ch->written.size() + kConnectBytes + kRangeCommandBytes + 5;
  ch->onByte = [at](ScriptedChannel& c, uint8_t) {
    if (c.written.size() == at) c.holdWrites = true;
  };
  EXPECT_FALSE(rom.WriteRom(0, 0));
}

}  // namespace
}  // namespace zemb
