// The simulated ROM writer's protocol engine, driven on a virtual clock.
#include <gtest/gtest.h>

#include <algorithm>

#include "ChipImage.h"
#include "SimConfig.h"
#include "SimEngine.h"
#include "WireTranscript.h"

namespace zemb::sim {
namespace {

constexpr char kXoff = 0x13;
constexpr char kXon = 0x11;

struct Sent {
  int64_t us;
  char c;
};

// Feeds the engine at a virtual time and collects every byte with the time it went out.
class Sim {
 public:
  explicit Sim(SimOptions options = {}) : engine(options) {}

  // Delivers bytes now, then lets up to horizonUs pass while anything is due.
  std::string Send(const std::string& bytes, int64_t horizonUs = 10'000'000) {
    const size_t from = out.size();
    engine.Receive(bytes, now);
    Run(horizonUs);
    return Text(from);
  }
  void Run(int64_t horizonUs) {
    const int64_t limit = now + horizonUs;
    for (;;) {
      for (char c : engine.TakeOutput(now)) out.push_back({now, c});
      const int64_t wake = engine.NextWakeUs();
      if (wake == kNever || wake > limit) break;
      now = std::max(now, wake);
    }
    now = std::max(now, limit);
  }
  std::string Text(size_t from = 0) const {
    std::string text;
    for (size_t i = from; i < out.size(); ++i) text += out[i].c;
    return text;
  }
  std::vector<int64_t> TimesOf(char c) const {
    std::vector<int64_t> times;
    for (const Sent& s : out) {
      if (s.c == c) times.push_back(s.us);
    }
    return times;
  }
  std::vector<uint8_t>& Chip() { return engine.Memory(engine.CurrentType()); }

  SimEngine engine;
  int64_t now = 0;
  std::vector<Sent> out;
};

std::string Record(uint16_t address, std::vector<uint8_t> data) {
  return EncodeHexRecord(kHexData, address, data.data(), data.size()) + "\r\n";
}
const std::string kEof = std::string(kHexEofRecord) + "\r\n";

TEST(SimEngine, AnswersHandshakeAndTypeCommands) {
  Sim sim;
  EXPECT_EQ(sim.Send("RA\r\n"), "RA zembromw-sim\r");
  EXPECT_EQ(sim.engine.CurrentType(), 0x08);
  EXPECT_EQ(sim.Send("RT 0A\r\n"), "RT OK 0A 1Mbit\r");
  EXPECT_EQ(sim.engine.CurrentType(), 0x0A);
  EXPECT_EQ(sim.Send("RT 13\r\n"), "RT NG unknown type\r");
  EXPECT_EQ(sim.Send("RT\r\n"), "RT NG syntax\r");
  EXPECT_EQ(sim.Send("RT 008\r\n"), "RT NG syntax\r");
  EXPECT_EQ(sim.engine.CurrentType(), 0x0A);
  EXPECT_EQ(sim.Send("ra\r\nRAX\r\n"), "");  // not commands
  EXPECT_EQ(sim.engine.OperationsAnswered(), 0);

  // Each type has its own chip.
  sim.Chip()[0] = 0x00;
  EXPECT_EQ(sim.Send("RB 0000,0000\r\n"), "RB NG 00000\r");
  sim.Send("RT 12\r\n");
  EXPECT_EQ(sim.Send("RB 0000,1FFFF\r\n"), "RB OK\r");
  EXPECT_EQ(sim.engine.OperationsAnswered(), 2);
}

TEST(SimEngine, BlankCheckFindsFirstProgrammedByteAndChecksRange) {
  Sim sim;
  sim.Chip()[0x1234] = 0xFE;
  sim.Chip()[0x2000] = 0x00;
  EXPECT_EQ(sim.Send("RB 0000,7FFF\r\n"), "RB NG 01234\r");
  EXPECT_EQ(sim.Send("RB 0000,1233\r\n"), "RB OK\r");
  EXPECT_EQ(sim.Send("RB 1235,7FFF\r\n"), "RB NG 02000\r");
  EXPECT_EQ(sim.Send("RB 0000,8000\r\n"), "RB NG range\r");
  EXPECT_EQ(sim.Send("RB 0100,0000\r\n"), "RB NG range\r");
  EXPECT_EQ(sim.Send("RB 0000;7FFF\r\n"), "RB NG syntax\r");
  EXPECT_EQ(sim.Send("RB 000000000,7FFF\r\n"), "RB NG syntax\r");
}

TEST(SimEngine, ReadSendsRecordsThenEndOfFileThenOk) {
  Sim sim;
  sim.Chip()[0x10] = 0xAB;
  const std::string text = sim.Send("RR 00000,0001F+00000\r\n");
  EXPECT_EQ(text,
            ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r"
            ":10001000ABFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF44\r:00000001FF\rRR OK\r");
  EXPECT_EQ(sim.Send("RR 00000,08000+00000\r\n"), "RR NG range\r");
  EXPECT_EQ(sim.engine.OperationsAnswered(), 2);

  // Above 64 KiB the records follow a linear address record; blank lines before the OK.
  SimOptions options;
  options.blankBeforeOk = 2;
  options.lf = true;
  Sim big(options);
  big.Send("RT 0B\r\n");
  EXPECT_EQ(big.Send("RR 0FFF0,1000F+00000\r\n"),
            ":10FFF000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF11\r\n:020000040001F9\r\n"
            ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n:00000001FF\r\n\r\n\r\nRR OK\r\n");
}

TEST(SimEngine, UnstableCellsReadDifferentlyEveryTimeAndTheRestStays) {
  SimOptions options;
  options.unstable = {0x11, 0x1F, 0x40000};  // the last is outside this chip: no effect
  Sim sim(options);
  sim.Chip()[0x11] = 0x5A;
  std::vector<std::string> reads;
  for (int i = 0; i < 9; ++i) reads.push_back(sim.Send("RR 00000,0001F+00000\r\n"));
  for (size_t i = 0; i < reads.size(); ++i) {
    SCOPED_TRACE(i);
    // The first record and the answer never change.
    EXPECT_EQ(reads[i].substr(0, 44), ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r");
    EXPECT_EQ(reads[i].substr(reads[i].size() - 18), ":00000001FF\rRR OK\r");
    for (size_t j = 0; j < i; ++j) EXPECT_NE(reads[i], reads[j]) << j;
  }
  // Only the weak cells' digits differ; the memory keeps what was stored.
  const std::string& a = reads[0];
  const std::string& b = reads[1];
  std::vector<size_t> differing;
  for (size_t k = 0; k < a.size(); ++k) {
    if (a[k] != b[k]) differing.push_back(k);
  }
  for (size_t k : differing) {
    const bool cell11 = k >= 44 + 11 && k < 44 + 13;
    const bool cell1F = k >= 44 + 39 && k < 44 + 41;
    const bool checksum = k >= 44 + 41 && k < 44 + 43;
    EXPECT_TRUE(cell11 || cell1F || checksum) << k;
  }
  EXPECT_EQ(sim.Chip()[0x11], 0x5A);
  EXPECT_EQ(sim.Chip()[0x1F], 0xFF);
}

TEST(SimEngine, WriteProgramsEveryRecordInsideXoffXon) {
  SimOptions options;
  options.burnMs = 5;
  Sim sim(options);
  std::string out = sim.Send("RW 00000,0001F+00000\r\n;MaxAdr=1F\r\n\r\n" +
                                 Record(0x00, {1, 2, 3, 4}) + Record(0x1E, {5, 6, 7, 8}),
                             100'000);
  out += sim.Send(kEof);
  EXPECT_EQ(out, (std::string{kXoff, kXon, kXoff, kXon} + "RW OK\r"));
  EXPECT_EQ(sim.TimesOf(kXon)[0] - sim.TimesOf(kXoff)[0], 5000);
  EXPECT_EQ(sim.TimesOf(kXon)[1] - sim.TimesOf(kXoff)[1], 5000);
  const auto& chip = sim.Chip();
  EXPECT_EQ(chip[0x03], 4);
  EXPECT_EQ(chip[0x1F], 6);
  EXPECT_EQ(chip[0x20], 0xFF);  // outside the command's range: not programmed
  EXPECT_EQ(sim.engine.OperationsAnswered(), 1);

  // Programming can only clear bits: the first record that needs a 1 fails at once, and
  // the rest of the upload is dropped.
  sim.out.clear();
  EXPECT_EQ(sim.Send("RW 00000,0001F+00000\r\n" + Record(0x00, {0x00, 0xFF}), 1000),
            "RW NG 00001 02 FF\r");
  EXPECT_EQ(chip[0x00], 1);  // the failing record is not half programmed
  EXPECT_EQ(sim.Send(Record(0x10, {0x00}) + kEof), "");
  EXPECT_EQ(chip[0x10], 0xFF);
  // The host's next command may follow the part of a record it had sent.
  EXPECT_EQ(sim.Send(":10000000ABRA\r\n"), "RA zembromw-sim\r");

  EXPECT_EQ(sim.Send("RW 00000,0001F+00000\r\n:0400100001020304E3\r\n" + kEof), "RW NG checksum\r");
  EXPECT_EQ(sim.Send("RW 00000,0001F+00000\r\n:04001000010203\r\n"), "RW NG syntax\r");
  EXPECT_EQ(sim.Send("RW 00000,0001F+00000\r\n:00000006FA\r\n"), "RW NG record type 06\r");
}

TEST(SimEngine, WriteTakesExtendedAddressRecords) {
  SimOptions options;
  options.burnMs = 0;
  Sim sim(options);
  sim.Send("RT 0A\r\n");
  const std::string out =
      sim.Send("RW 00000,1FFFF+00000\r\n:020000040001F9\r\n" + Record(0x0002, {0x11}) +
               ":020000021000EC\r\n" + Record(0x0004, {0x22}) + kEof);
  EXPECT_EQ(out, "RW OK\r");  // no burn time: no XOFF at all
  EXPECT_EQ(sim.Chip()[0x10002], 0x11);
  EXPECT_EQ(sim.Chip()[0x10004], 0x22);
}

TEST(SimEngine, ProgramBlankChecksFirst) {
  SimOptions options;
  options.burnMs = 0;
  Sim sim(options);
  sim.Chip()[0x10] = 0x7F;
  EXPECT_EQ(sim.Send("RP 00000,0001F+00000\r\n"), "RB NG 00010\rRP NG not blank\r");
  EXPECT_EQ(sim.Send(Record(0x00, {0x00}) + kEof), "");
  EXPECT_EQ(sim.Chip()[0x00], 0xFF);  // nothing taken

  EXPECT_EQ(sim.Send("RP 00020,0002F+00000\r\n", 1000), "RB OK\r");
  EXPECT_EQ(sim.Send(Record(0x20, {0x5A}) + kEof), "RP OK\r");
  EXPECT_EQ(sim.Chip()[0x20], 0x5A);
  EXPECT_EQ(sim.Send("RP 00000,08000+00000\r\n"), "RB NG range\rRP NG range\r");
  EXPECT_EQ(sim.engine.OperationsAnswered(), 3);
}

TEST(SimEngine, CompareAnswersMismatchAtOnce) {
  Sim sim;
  sim.Chip()[0x03] = 0x04;
  const std::string good = Record(0x00, {0xFF, 0xFF, 0xFF, 0x04});
  EXPECT_EQ(sim.Send("RC 00000,0001F+00000\r\n" + good + kEof), "RC OK\r");
  EXPECT_EQ(sim.Send("RC 00000,0001F+00000\r\n" + Record(0x00, {0xFF, 0xFF, 0xFF, 0x05}), 1000),
            "RC NG 00003 04 05\r");
  EXPECT_EQ(sim.Send(kEof), "");
  EXPECT_EQ(sim.Chip()[0x03], 0x04);
}

TEST(SimEngine, UploadWithoutEndRecordEndsAfterSilence) {
  Sim sim;
  sim.Send("RC 00000,0001F+00000\r\n" + Record(0x00, {0xFF}), 499'000);
  EXPECT_EQ(sim.Text(), "");
  sim.Run(2000);
  EXPECT_EQ(sim.Text(), "RC OK\r");
  // A record cut off by the silence is not taken for success.
  EXPECT_EQ(sim.Send("RW 00000,0001F+00000\r\n:0400000001"), "RW NG incomplete line\r");
  // Nothing uploaded at all.
  EXPECT_EQ(sim.Send("RC 00000,0001F+00000\r\n"), "RC OK\r");
  EXPECT_EQ(sim.engine.OperationsAnswered(), 3);
}

TEST(SimEngine, HoldXoffDelaysFirstBurnAndInput) {
  SimOptions options;
  options.holdXoffMs = 6000;
  Sim sim(options);
  sim.Send("RW 00000,0001F+00000\r\n" + Record(0x00, {0x00}) + Record(0x01, {0x00}));
  sim.Send(kEof);
  ASSERT_EQ(sim.TimesOf(kXon).size(), 2u);
  EXPECT_EQ(sim.TimesOf(kXon)[0], 6'000'000);
  EXPECT_EQ(sim.TimesOf(kXoff)[1], 6'000'000);  // the second record waited for the first
  EXPECT_EQ(sim.TimesOf(kXon)[1], 6'001'000);
}

TEST(SimEngine, BurnTimeGrowsWithTheBytesARecordPrograms) {
  SimOptions options;
  options.burnMs = 2;
  options.burnUsPerByte = 500;
  Sim sim(options);
  sim.Send("RW 00000,0001F+00000\r\n" + Record(0x00, {1, 2, 3, 4}), 100'000);
  // Two bytes of this record lie outside the range and are not burned.
  sim.Send("RW 00000,00011+00000\r\n" + Record(0x10, {1, 2, 3, 4}), 100'000);
  ASSERT_EQ(sim.TimesOf(kXon).size(), 2u);
  EXPECT_EQ(sim.TimesOf(kXon)[0] - sim.TimesOf(kXoff)[0], 2000 + 4 * 500);
  EXPECT_EQ(sim.TimesOf(kXon)[1] - sim.TimesOf(kXoff)[1], 2000 + 2 * 500);
}

TEST(SimEngine, LongHoldsRenewXoffAndTheAnswerIsNeverPaced) {
  // A host far ahead of a slow burn: 40 records of 300 ms each wait in the backlog.
  SimOptions options;
  options.burnMs = 300;
  Sim sim(options);
  std::string upload = "RW 00000,003FF+00000\r\n";
  for (uint16_t a = 0; a < 40 * 16; a += 16) upload += Record(a, {0x00});
  sim.Send(upload, 11'500'000);
  // The hold is renewed every second, so no single XOFF outlives the host's patience, and
  // the host's silence while it is held does not end the upload.
  const auto xoffs = sim.TimesOf(kXoff);
  ASSERT_GE(xoffs.size(), 11u);
  for (size_t i = 1; i < xoffs.size(); ++i) EXPECT_LE(xoffs[i] - xoffs[i - 1], 1'000'000);
  EXPECT_EQ(sim.Text().find('R'), std::string::npos) << sim.Text();

  // The same backlog with its end record in hand: the host is reading the answer now, so
  // the remaining burns go without pacing bytes and the answer comes clean.
  Sim ahead(options);
  ahead.Send(upload + kEof, 20'000'000);
  const std::string text = ahead.Text();
  EXPECT_EQ(text.substr(text.find_last_not_of("RW OK\r") + 1), "RW OK\r");
  EXPECT_LE(ahead.TimesOf(kXoff).size(), 1u);
  EXPECT_TRUE(ahead.TimesOf(kXon).empty());
  EXPECT_EQ(ahead.Chip()[39 * 16], 0x00);
}

TEST(SimEngine, DelayAndReadPauseShiftAnswers) {
  SimOptions options;
  options.delayMs = 300;
  options.readPauseMs = 150;
  options.readPauseAt = 2;
  Sim sim(options);
  sim.Send("RA\r\n");
  EXPECT_EQ(sim.out.front().us, 300'000);
  sim.out.clear();
  const int64_t sentAt = sim.now;
  sim.Send("RR 00000,0003F+00000\r\n");
  const std::vector<int64_t> lineStarts = [&] {
    std::vector<int64_t> starts{sim.out.front().us};
    for (size_t i = 1; i < sim.out.size(); ++i) {
      if (sim.out[i - 1].c == '\r') starts.push_back(sim.out[i].us);
    }
    return starts;
  }();
  ASSERT_EQ(lineStarts.size(), 6u);  // 4 records, end of file, RR OK
  EXPECT_EQ(lineStarts[0] - sentAt, 300'000);
  EXPECT_EQ(lineStarts[1], lineStarts[0]);
  EXPECT_EQ(lineStarts[2] - lineStarts[1], 150'000);
  EXPECT_EQ(lineStarts[4], lineStarts[2]);
  EXPECT_EQ(lineStarts[5] - lineStarts[4], 300'000);
}

TEST(SimEngine, PacedOutputKeepsAnAbsoluteSchedule) {
  SimOptions options;
  options.baud = 9600;
  Sim sim(options);
  sim.Send("RR 00000,00FFF+00000\r\n", 60'000'000);
  const size_t n = sim.out.size();
  ASSERT_GT(n, 10000u);
  const int64_t first = sim.out.front().us;
  for (size_t k : {size_t{1}, size_t{3}, n / 2, n - 1}) {
    EXPECT_EQ(sim.out[k].us - first, static_cast<int64_t>(k) * 10'000'000 / 9600) << k;
  }
}

// A simulator on a 9600 baud line that burns without delay, and a write of 32 bytes
// (without its end record) for it.
SimOptions PacedAt9600() {
  SimOptions options;
  options.baud = 9600;
  options.burnMs = 0;
  return options;
}

std::string WriteOf32Bytes() {
  std::string upload = "RW 00000,0001F+00000\r\n";
  for (uint16_t a = 0; a < 0x20; a += 4) upload += Record(a, {0xA0, 0xA1, 0xA2, 0xA3});
  return upload;
}

TEST(SimEngine, PacedInputHoldsTheHostWithFlowControl) {
  Sim sim(PacedAt9600());
  std::string upload = WriteOf32Bytes();
  const int64_t lineTime = static_cast<int64_t>(upload.size()) * 10'000'000 / 9600;
  // A burst far beyond the device's buffer is held at once and released near its end.
  EXPECT_EQ(sim.Send(upload, lineTime + 100'000), std::string({kXoff, kXon}));
  EXPECT_EQ(sim.out[0].us, 0);
  EXPECT_GT(sim.out[1].us, lineTime - 25'000);
  EXPECT_LT(sim.out[1].us, lineTime);
  EXPECT_EQ(sim.Send(kEof, 100'000), "RW OK\r");
  EXPECT_EQ(sim.Chip()[0x1F], 0xA3);
}

TEST(SimEngine, LateWakeUpKeepsABurnsXoffBeforeItsXon) {
  // A simulator that wakes late handles a whole burn in one go; the host must still get the
  // XOFF before the XON that ends it, or it would wait on a stray XOFF.
  SimOptions options = PacedAt9600();
  options.burnMs = 5;
  SimEngine engine(options);
  engine.Receive("RW 00000,0001F+00000\r\n" + Record(0x00, {1, 2, 3, 4}), 0);
  std::string flow;
  for (char c : engine.TakeOutput(1'000'000)) {
    if (c == kXoff || c == kXon) flow += c;
  }
  EXPECT_EQ(flow, std::string({kXoff, kXon}));
}

TEST(SimEngine, ImageEndInHandIsTakenAtOnceWithoutPacingBytes) {
  // A pseudo-terminal host can be far ahead of the line when it sends its last line; it then
  // reads the answer with 100 ms allowed between bytes, so nothing may hold it after that.
  Sim sim(PacedAt9600());
  std::string upload = WriteOf32Bytes();
  upload += kEof;
  EXPECT_EQ(sim.Send(upload.substr(0, 80), 0), std::string(1, kXoff));
  std::string rest = sim.Send(upload.substr(80), 0);
  rest += sim.Send("", 20'000);
  EXPECT_EQ(rest, std::string(1, kXon) + "RW OK\r");
  EXPECT_EQ(sim.Chip()[0x1F], 0xA3);
}

TEST(SimEngine, FaultSwitches) {
  SimOptions silent;
  silent.silent = true;
  Sim quiet(silent);
  EXPECT_EQ(
      quiet.Send("RA\r\nRR 00000,0000F+00000\r\nRW 00000,0000F+00000\r\n" + Record(0, {0}) + kEof),
      "");
  EXPECT_EQ(quiet.Chip()[0], 0x00);  // still works, only says nothing

  SimOptions reject;
  reject.rejectType = true;
  EXPECT_EQ(Sim(reject).Send("RT 08\r\n"), "RT NG rejected\r");

  SimOptions cut;
  cut.disconnectAfterLines = 2;
  Sim line(cut);
  line.Send("RW 00000,0001F+00000\r\n" + Record(0, {0}), 1000);
  EXPECT_FALSE(line.engine.Disconnected());
  line.Send(";header\r\n" + Record(1, {0}) + kEof);
  EXPECT_TRUE(line.engine.Disconnected());
  EXPECT_EQ(line.Chip()[1], 0xFF);
  EXPECT_EQ(line.engine.NextWakeUs(), kNever);
}

TEST(SimConfig, ParsesOptionsAndRejectsBadOnes) {
  SimConfig config;
  std::string error;
  const char* good[] = {
      "--baud=9600", "--burn-ms",         "0", "--type", "0a", "--lf", "--once", "--link",
      "/tmp/x",      "--blank-before-ok", "1"};
  ASSERT_TRUE(ParseSimArgs(11, good, config, error)) << error;
  EXPECT_EQ(config.engine.baud, 9600);
  EXPECT_EQ(config.engine.burnMs, 0);
  EXPECT_EQ(config.engine.startType, 0x0A);
  EXPECT_TRUE(config.engine.lf);
  EXPECT_TRUE(config.once);
  EXPECT_EQ(config.link, "/tmp/x");
  EXPECT_EQ(config.engine.blankBeforeOk, 1);
  const char* weak[] = {"--unstable=10,7ff0", "--unstable", "1FFFF"};
  ASSERT_TRUE(ParseSimArgs(3, weak, config, error)) << error;
  EXPECT_EQ(config.engine.unstable, (std::vector<uint32_t>{0x10, 0x7FF0, 0x1FFFF}));

  for (std::vector<const char*> bad : {std::vector<const char*>{"--baud"},
                                       {"--baud", "-1"},
                                       {"--delay-ms", "1x"},
                                       {"--type", "13"},
                                       {"--once=1"},
                                       {"--frobnicate"},
                                       {"--log", ""},
                                       {"--unstable", "10,"},
                                       {"--unstable", "g0"},
                                       {"--unstable", "20000"},
                                       {"--unstable", ""}}) {
    SimConfig c;
    EXPECT_FALSE(ParseSimArgs(static_cast<int>(bad.size()), bad.data(), c, error)) << bad[0];
  }
}

TEST(SimTranscript, OneEntryPerLineWithEscapes) {
  EXPECT_EQ(EscapeBytes(std::string("a\\\r\n\x13\xFF", 6)), "a\\\\\\r\\n\\x13\\xFF");
  TranscriptFormatter log(false);
  EXPECT_EQ(log.Add('<', "R", 12'345), "");
  EXPECT_EQ(log.Add('<', "A\r\n", 12'400), "    12.345 < RA\\r\\n\n");
  EXPECT_EQ(log.Add('>', std::string("\x13:00\r") + "RB", 20'000),
            "    20.000 > \\x13\n    20.000 > :00\\r\n");
  // A line in the other direction closes the partial one first.
  EXPECT_EQ(log.Add('<', "x", 30'000), "    20.000 > RB\n");
  EXPECT_EQ(log.Flush(), "    30.000 < x\n");
  // An LF after the device's CR does not open the next line's entry.
  EXPECT_EQ(log.Add('>', "RA\r\nRB", 40'000), "    40.000 > RA\\r\n    40.000 > \\n\n");
  EXPECT_EQ(log.Flush(), "    40.000 > RB\n");
}

}  // namespace
}  // namespace zemb::sim
