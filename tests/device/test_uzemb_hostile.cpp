// Devices that try to hold the host for ever or flood it: every wait must end, on the
// scripted channel's virtual clock, with a false result the caller can report.
#include <gtest/gtest.h>

#include <chrono>

#include "FakeRomWriter.h"
#include "ScriptedChannel.h"
#include "uZEMB.h"

namespace zemb {
namespace {

using test::FakeRomWriter;
using test::ScriptedChannel;

// Once started, repeats a pattern for ever whenever the script has nothing else to send;
// each byte takes a millisecond of virtual time, as at 9600 baud.
class EndlessDevice : public ScriptedChannel {
 public:
  std::string pattern;
  size_t streamed = 0;

  bool ReadByte(uint8_t& byte) override {
    if (pattern.empty() || !IsOpen() || Pending() != 0) return ScriptedChannel::ReadByte(byte);
    Advance(1);
    byte = static_cast<uint8_t>(pattern[streamed++ % pattern.size()]);
    return true;
  }
};

class HostileDevice : public ::testing::Test {
 protected:
  HostileDevice() { Reset(); }

  // A fresh component on a fresh line, for each case of a table.
  void Reset() {
    device.reset();
    rom.reset();
    auto channel = std::make_unique<EndlessDevice>();
    ch = channel.get();
    rom = std::make_unique<TzembROMWT>(nullptr, std::move(channel));
    device = std::make_unique<FakeRomWriter>(*ch);
    device->AnswerHandshakeAndType();
    rom->Lines = &lines;
  }

  // Image lines of a 4 KiB chip: 256 records of 16 bytes, then the end record.
  static std::vector<std::string> Image() {
    std::vector<std::string> image(256, ":10000000000102030405060708090A0B0C0D0E0F78");
    image.emplace_back(":00000001FF");
    return image;
  }

  // The device answers the handshake and the type, and starts its stream after the
  // command that begins with `trigger`.
  void StreamAfter(const std::string& trigger, const std::string& stream) {
    ch->onLine = [this, trigger, stream](ScriptedChannel& d, const std::string& line) {
      if (line.rfind("RA", 0) == 0) d.Deliver("RA\r");
      if (line.rfind("RT", 0) == 0) d.Deliver("RT OK\r");
      if (line.rfind(trigger, 0) == 0) ch->pattern = stream;
    };
  }

  TStringList lines;
  EndlessDevice* ch = nullptr;
  std::unique_ptr<TzembROMWT> rom;
  std::unique_ptr<FakeRomWriter> device;
};

TEST_F(HostileDevice, XoffStormsEndOneMinuteAfterTheLastByteWritten) {
  struct Case {
    const char* name;
    int64_t everyMs;  // a fresh XOFF this often, each inside the 5 s allowed per XOFF
    int64_t xonAtMs;  // the XON that releases the stream, from the first XOFF; <0: never
    bool ok;
  };
  const Case cases[] = {
      {"XOFF every second for ten minutes", 1000, -1, false},
      {"XOFF every 4.9 s, never released", 4900, -1, false},
      {"renewed XOFFs, released after 55 s", 1000, 55000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    lines.SetLines(Image());
    device->On("RW ", {""});
    device->On(":00000001FF", {"RW OK\r"});
    int64_t stormStart = -1;
    // The storm begins 100 bytes into the image, in the middle of its third record.
    ch->onByte = [&, armAt = size_t{0}](ScriptedChannel& d, uint8_t) mutable {
      if (stormStart >= 0) return;
      if (armAt == 0) {
        if (!device->lines.empty() && device->lines.back().rfind("RW ", 0) == 0) {
          armAt = d.written.size() + 100;
        }
        return;
      }
      if (d.written.size() < armAt) return;
      stormStart = d.Now();
      const int64_t until = c.xonAtMs >= 0 ? c.xonAtMs : 600000;
      for (int64_t t = 0; t < until; t += c.everyMs) d.DeliverAt(stormStart + t, "\x13");
      if (c.xonAtMs >= 0) d.DeliverAt(stormStart + c.xonAtMs, "\x11");
    };
    const auto wallStart = std::chrono::steady_clock::now();
    const bool ok = rom->WriteRom(0, 0xFFF);
    EXPECT_EQ(ok, c.ok);
    ASSERT_GE(stormStart, 0);
    if (!c.ok) {
      // The upload stopped a minute into the storm; the answer wait follows it.
      const auto& sent = ch->written;
      EXPECT_LT(sent.back().timeMs - stormStart, TzembROMWT::kMaxUploadHoldMs + 1000);
      EXPECT_LT(ch->Now() - stormStart, TzembROMWT::kMaxUploadHoldMs + 41000);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(5));
  }
}

TEST_F(HostileDevice, FloodsDuringAnUploadEndIt) {
  struct Case {
    const char* name;
    std::string flood;
  };
  const Case cases[] = {
      {"digits", "5"},
      {"XOFF and XON in turn", "\x13\x11"},
      {"line ends", "\r\n"},
      {"bytes above the letters", "\x7F\xC8{"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    lines.SetLines(Image());
    StreamAfter("RC ", c.flood);
    const size_t before = ch->written.size();
    EXPECT_FALSE(rom->CompareRom(0, 0xFFF));
    // Not one record got through, and the wait for the answer read at most one long line.
    EXPECT_LT(ch->written.size() - before, 40u);
    EXPECT_LE(rom->Status.size(), TzembROMWT::kMaxLineLength);
  }
}

TEST_F(HostileDevice, PacingBytesWithinTheAllowanceDoNotEndTheUpload) {
  lines.SetLines(Image());
  device->On("RC ", {""});
  device->On(":00000001FF", {"RC OK\r"});
  // A chatty device: a burst of ignored bytes and an XOFF/XON pair during every line.
  ch->onByte = [this](ScriptedChannel& d, uint8_t b) {
    const bool afterRecord = !device->lines.empty() && device->lines.back().rfind(":10", 0) == 0;
    if (b == ':' && afterRecord) d.Deliver(std::string(1000, '0') + "\x13\x11");
  };
  EXPECT_TRUE(rom->CompareRom(0, 0xFFF));
  EXPECT_EQ(rom->Status, "RC OK");
}

TEST_F(HostileDevice, EndlessReadsStopAtWhatTheRangeCanHold) {
  struct Case {
    const char* name;
    std::string stream;
  };
  const Case cases[] = {
      {"records for ever", ":10000000000102030405060708090A0B0C0D0E0F78\r"},
      {"colons without a line end", ":"},
      {"short records with LF", ":00000001FF\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    StreamAfter("RR ", c.stream);
    EXPECT_FALSE(rom->ReadRom(0, 0xFFF));
    EXPECT_EQ(rom->Status, TzembROMWT::kReadOverflowStatus);
    // 4 KiB of chip: the read stopped within a few hundred KiB of traffic.
    EXPECT_LT(ch->streamed, 400u * 1024);
    EXPECT_GT(lines.Count(), 0);
  }
}

TEST_F(HostileDevice, AFullRangeOfOneByteRecordsIsStillARead) {
  // The least efficient device the bound must allow: one record per byte, then the
  // extended address and end records.
  std::string data;
  for (int a = 0; a < 0x1000; ++a) {
    char rec[32];
    const unsigned sum = (0x100 - ((1 + (a >> 8) + (a & 0xFF) + 0xAB) & 0xFF)) & 0xFF;
    std::snprintf(rec, sizeof rec, "\n:01%04X00AB%02X\r", a, sum);
    data += rec;
  }
  device->On("RR ", {data + ":00000001FF\r\nRR OK\r"});
  EXPECT_TRUE(rom->ReadRom(0, 0xFFF));
  EXPECT_EQ(lines.Count(), 0x1001);
  EXPECT_EQ(rom->Status, "RR OK");
}

TEST_F(HostileDevice, ReadWithoutALineListClearsStatus) {
  device->On("RB ", {"RB OK\r"});
  ASSERT_TRUE(rom->BlankCheck(0, 0xFFF));
  rom->Lines = nullptr;
  const size_t before = ch->written.size();
  EXPECT_FALSE(rom->ReadRom(0, 0xFFF));
  EXPECT_EQ(rom->Status, "");
  EXPECT_EQ(ch->written.size(), before);
}

}  // namespace
}  // namespace zemb
