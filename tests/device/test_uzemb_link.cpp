// The component's byte channel, command framing, handshake and ROM type command, checked
// on the bytes it writes and the timeouts it applies, on a virtual clock.
#include <gtest/gtest.h>

#include "FakeRomWriter.h"
#include "ScriptedChannel.h"
#include "uZEMB.h"

namespace zemb {
namespace {

using test::FakeRomWriter;
using test::ScriptedChannel;

class Link : public ::testing::Test {
 protected:
  std::unique_ptr<SerialChannel> MakeChannel() {
    auto channel = std::make_unique<ScriptedChannel>();
    ch = channel.get();
    return channel;
  }

  // Read timeouts applied so far (0 = return at once), in order.
  std::vector<uint32_t> ReadTimeouts() const {
    std::vector<uint32_t> out;
    for (const auto& t : ch->timeouts) {
      const bool immediate = t.timeouts.ReadIntervalTimeout == CommTimeouts::kMaxDword &&
                             t.timeouts.ReadTotalTimeoutConstant == 0;
      out.push_back(immediate ? 0 : t.timeouts.ReadTotalTimeoutConstant);
    }
    return out;
  }

  ScriptedChannel* ch = nullptr;
  TzembROMWT rom{nullptr, MakeChannel()};
  FakeRomWriter device{*ch};
};

TEST_F(Link, CreatedWithPublishedDefaultsAndPortClosed) {
  EXPECT_EQ(rom.com(), "COM1");
  EXPECT_EQ(rom.Speed(), 9600);
  EXPECT_EQ(rom.defaultRT(), "08");
  EXPECT_EQ(rom.OffsetAdr(), 0);
  EXPECT_FALSE(rom.PortOpen());
  EXPECT_FALSE(rom.TypeSet);
  EXPECT_FALSE(rom.Connecting);
  EXPECT_TRUE(ch->openedNames.empty());
}

TEST_F(Link, OpenPortAppliesTimeoutsLineAndControlLinesOnceOnly) {
  rom.OpenPort();
  ASSERT_TRUE(rom.PortOpen());
  EXPECT_EQ(ch->openedNames, std::vector<std::string>{"COM1"});
  const CommTimeouts expected{CommTimeouts::kMaxDword, 0, 0, 10, 10};
  EXPECT_EQ(rom.PortTimeouts, expected);
  EXPECT_EQ(ch->configuredBauds, std::vector<int32_t>{9600});
  EXPECT_EQ(ch->dtrRtsRaised, 1);

  // An open port is left as it is, also after the read timeout changed.
  rom.SetReadTimeOut(250);
  rom.OpenPort();
  EXPECT_EQ(ch->openedNames.size(), 1u);
  EXPECT_EQ(ch->ReadTimeoutMs(), 250u);
}

TEST_F(Link, SpeedTheLineRejectsLeavesPortOpenButUnconfigured) {
  ch->configureSucceeds = false;
  rom.OpenPort();
  EXPECT_TRUE(rom.PortOpen());
  EXPECT_EQ(ch->dtrRtsRaised, 0);
  EXPECT_FALSE(rom.PortConfig.Applied);
}

TEST_F(Link, PropertySettersCloseThePortOnlyOnARealChange) {
  rom.OpenPort();
  rom.Setcom("COM1");
  rom.SetSpeed(9600);
  rom.SetdefaultRT("0A");
  rom.SetOffsetAdr(0x100);
  EXPECT_TRUE(rom.PortOpen());

  rom.Setcom("com1");  // case counts
  EXPECT_FALSE(rom.PortOpen());
  rom.OpenPort();
  EXPECT_EQ(ch->openedNames.back(), "com1");
  rom.SetSpeed(19200);
  EXPECT_FALSE(rom.PortOpen());
  rom.OpenPort();
  EXPECT_EQ(ch->configuredBauds.back(), 19200);

  rom.ClosePort();
  rom.ClosePort();  // closing a closed port is harmless
  EXPECT_EQ(ch->closeCount, 3);
}

TEST_F(Link, OverlongPortNameIsRefusedLikeAMissingDevice) {
  rom.Setcom(std::string(129, 'x'));
  rom.OpenPort();
  EXPECT_FALSE(rom.PortOpen());
  EXPECT_TRUE(ch->openedNames.empty());
  EXPECT_THROW(rom.WriteChar('A'), EAbort);
}

TEST_F(Link, ClosedPortReadsNothingAndWritesAbort) {
  char c = 'q';
  EXPECT_FALSE(rom.ReadChar(c));
  EXPECT_EQ(c, 'q');
  EXPECT_EQ(rom.ReadLine(), "");
  EXPECT_THROW(rom.WriteChar('A'), EAbort);
}

TEST_F(Link, SetReadTimeOutMapsZeroAndNegativeToReturnAtOnce) {
  rom.OpenPort();
  for (int32_t ms : {0, -5}) {
    rom.SetReadTimeOut(ms);
    EXPECT_EQ(rom.PortTimeouts.ReadIntervalTimeout, CommTimeouts::kMaxDword);
    EXPECT_EQ(rom.PortTimeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(rom.PortTimeouts.WriteTotalTimeoutConstant, 10u);
  }
  rom.SetReadTimeOut(1);
  EXPECT_EQ(rom.PortTimeouts.ReadIntervalTimeout, 50u);
  EXPECT_EQ(rom.PortTimeouts.ReadTotalTimeoutConstant, 1u);
}

TEST_F(Link, ReadLineStopsAtCrLeavesLfAndKeeps100ms) {
  rom.OpenPort();
  ch->Deliver("RA\r\n");
  rom.SetReadTimeOut(1000);
  EXPECT_EQ(rom.ReadLine(), "RA");
  EXPECT_EQ(ch->ReadTimeoutMs(), 100u);
  EXPECT_EQ(rom.Transcript, "RA#0D");
  EXPECT_EQ(ch->Pending(), 1u);
  EXPECT_EQ(rom.ReadLine(), "\n");  // the LF starts the next line, which then times out
  EXPECT_EQ(rom.Transcript, "RA#0D#0A");
}

TEST_F(Link, ReadLineEmptyCasesAndTimeoutLeftAsItWas) {
  rom.OpenPort();
  rom.SetReadTimeOut(1000);
  const int64_t before = ch->Now();
  EXPECT_EQ(rom.ReadLine(), "");
  EXPECT_EQ(ch->Now() - before, 1000);
  EXPECT_EQ(ch->ReadTimeoutMs(), 1000u);  // no byte: unchanged

  ch->Deliver("\r");
  EXPECT_EQ(rom.ReadLine(), "");
  EXPECT_EQ(ch->ReadTimeoutMs(), 100u);
}

TEST_F(Link, ReadLineEndsAtAGapOfMoreThan100ms) {
  rom.OpenPort();
  ch->Deliver("RB O");
  ch->Deliver("K\r", 150);
  rom.SetReadTimeOut(5000);
  EXPECT_EQ(rom.ReadLine(), "RB O");
  EXPECT_EQ(rom.ReadLine(), "K");
}

TEST_F(Link, ReadLineIsCappedSoAFloodCannotGrowWithoutBound) {
  rom.OpenPort();
  ch->Deliver(std::string(TzembROMWT::kMaxLineLength + 10, '7') + "\r");
  rom.SetReadTimeOut(1000);
  EXPECT_EQ(rom.ReadLine().size(), TzembROMWT::kMaxLineLength);
  EXPECT_EQ(rom.ReadLine(), std::string(10, '7'));
}

TEST_F(Link, TranscriptAndControlBytes) {
  rom.OpenPort();
  std::string seen;
  rom.SetOnGetChar([&](TzembROMWT* sender, char c) {
    EXPECT_EQ(sender, &rom);
    seen += c;
  });
  ch->Deliver(std::string("A\0\x13\x11\x7F\xE9\r", 7));
  rom.SetReadTimeOut(10);
  const std::string line = rom.ReadLine();
  EXPECT_EQ(line, std::string("A\0\x13\x11\x7F\xE9", 6));
  EXPECT_EQ(rom.Transcript, "A#00#13#11\x7F\xE9#0D");
  EXPECT_EQ(seen, std::string("A\0\x13\x11\x7F\xE9\r", 7));
  EXPECT_EQ(StripControlChars(line), "A\x7F\xE9");
}

TEST_F(Link, LogReceivesTranscriptOnlyWhenAttached) {
  rom.Transcript = "RA#0D";
  rom.FlushTranscript();
  rom.LogText("x");
  TStringList log;
  rom.Log = &log;
  rom.FlushTranscript();
  rom.LogText("note");
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"RA#0D", "note"}));
  EXPECT_EQ(rom.Transcript, "RA#0D");  // flushing does not clear
}

TEST_F(Link, SilentDeviceFailsAfterFourHandshakesOfOneSecond) {
  EXPECT_FALSE(rom.Connect());
  EXPECT_EQ(device.lines, std::vector<std::string>(4, "RA"));
  EXPECT_EQ(ch->Now(), 4000);
  EXPECT_EQ(rom.Status, "");
  EXPECT_TRUE(rom.Connecting);
  // Each handshake drains (0) and then waits a second for the answer.
  EXPECT_EQ(ReadTimeouts(), (std::vector<uint32_t>{0, 0, 1000, 0, 1000, 0, 1000, 0, 1000}));

  // While Connecting stays set, a type choice goes out without a handshake.
  device.On("RT ", {"RT OK 0A\r"});
  EXPECT_EQ(rom.SetRomType("0A"), "RT OK 0A");
  EXPECT_EQ(device.lines.back(), "RT 0A");
  EXPECT_EQ(device.lines.size(), 5u);
  EXPECT_TRUE(rom.TypeSet);
}

TEST_F(Link, WireBytesOfTheFirstConnection) {
  device.AnswerHandshakeAndType();
  EXPECT_TRUE(rom.Connect());
  EXPECT_EQ(ch->WrittenText(), "RA\r\nRT 08\r\n");
  EXPECT_FALSE(rom.Connecting);
  EXPECT_TRUE(rom.TypeSet);
  EXPECT_EQ(rom.Status, "RT OK");
}

TEST_F(Link, DeviceAnsweringOnlyTheSecondHandshake) {
  device.On("RA", {"", "RA v1.0\r"});
  device.On("RT ", {"RT OK\r"});
  EXPECT_TRUE(rom.Connect());
  EXPECT_EQ(device.lines, (std::vector<std::string>{"RA", "RA", "RT 08"}));
  EXPECT_GE(ch->Now(), 1000);
  EXPECT_LT(ch->Now(), 1300);
}

TEST_F(Link, HandshakeJudgesTheLineAsRead) {
  device.On("RA", {"ra\r", "\nRA\r", "RAxyz\r"});
  device.On("RT ", {"RT OK\r"});
  EXPECT_FALSE(rom.Handshake());
  EXPECT_FALSE(rom.Handshake());
  EXPECT_TRUE(rom.Handshake());
}

TEST_F(Link, RejectedDefaultTypeIsSentAgainAtTheNextConnection) {
  device.On("RA", {"RA\r"});
  device.On("RT ", {"RT NG\r", "RT OK\r"});
  EXPECT_TRUE(rom.Connect());
  EXPECT_FALSE(rom.TypeSet);
  EXPECT_EQ(rom.Status, "RT NG");
  EXPECT_TRUE(rom.Connect());
  EXPECT_TRUE(rom.TypeSet);
  EXPECT_EQ(device.lines, (std::vector<std::string>{"RA", "RT 08", "RA", "RT 08"}));

  // Accepted once, never sent again, not even after a change of port.
  rom.Setcom("COM2");
  EXPECT_TRUE(rom.Connect());
  EXPECT_EQ(device.lines.back(), "RA");
}

TEST_F(Link, EmptyDefaultTypeSendsNoTypeCommand) {
  device.AnswerHandshakeAndType();
  rom.SetdefaultRT("");
  EXPECT_TRUE(rom.Connect());
  EXPECT_EQ(device.lines, std::vector<std::string>{"RA"});
  EXPECT_FALSE(rom.TypeSet);
}

TEST_F(Link, UserTypeChoiceOnAFreshComponentSendsThreeCommands) {
  device.On("RA", {"RA\r"});
  device.On("RT ", {"RT OK 08\r", "RT OK 0A\r"});
  EXPECT_EQ(rom.SetRomType("0A"), "RT OK 0A");
  EXPECT_EQ(ch->WrittenText(), "RA\r\nRT 08\r\nRT 0A\r\n");
  EXPECT_EQ(rom.Status, "RT OK 0A");
}

TEST_F(Link, RejectedTypeReturnsEmptyButKeepsTheLineAndFlushes) {
  TStringList log;
  rom.Log = &log;
  device.On("RA", {"RA\r"});
  device.On("RT ", {"RT OK\r", "RT NG 99\r"});
  EXPECT_EQ(rom.SetRomType("99"), "");
  EXPECT_EQ(rom.Status, "RT NG 99");
  EXPECT_TRUE(rom.TypeSet);  // the default was accepted before
  ASSERT_FALSE(log.Lines().empty());
  EXPECT_NE(log.Lines().back().find("RT NG 99#0D"), std::string::npos);
}

TEST_F(Link, DrainDiscardsOldBytesIntoTheTranscript) {
  device.AnswerHandshakeAndType();
  ASSERT_TRUE(rom.Connect());
  ch->Deliver("stale\r\n");
  device.On("RT ", {"RT OK 03\r"});
  EXPECT_EQ(rom.SetRomType("03"), "RT OK 03");
  EXPECT_NE(rom.Transcript.find("stale#0D#0A"), std::string::npos);
}

TEST_F(Link, LateLineFeedBecomesTheFirstByteOfTheNextAnswer) {
  device.On("RA", {"RA\r"});
  device.On("RT ", {"\nRT OK\r"});  // the LF of an earlier answer, arriving after the drain
  EXPECT_TRUE(rom.Connect());
  EXPECT_FALSE(rom.TypeSet);
  EXPECT_EQ(rom.Status, "\nRT OK");
}

TEST_F(Link, MissingPortAbortsOutOfConnectAndSetRomType) {
  ch->openSucceeds = false;
  EXPECT_THROW(rom.Connect(), EAbort);
  EXPECT_TRUE(rom.Connecting);
  EXPECT_EQ(rom.Status, "");
  EXPECT_THROW(rom.SetRomType("08"), EAbort);
  EXPECT_TRUE(ch->written.empty());
}

TEST_F(Link, WriteThatCannotCompleteAborts) {
  rom.OpenPort();
  ch->holdWrites = true;
  EXPECT_THROW(rom.SendCommand("RA"), EAbort);
  EXPECT_TRUE(ch->written.empty());
}

}  // namespace
}  // namespace zemb
