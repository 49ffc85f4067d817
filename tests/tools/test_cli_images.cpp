// What the command line makes of an image before anything is sent, and of the data a read
// brings back: ranges that leave data out or span more than any chip, reads that contradict
// themselves or lack their end record, and traffic left over from an interrupted command.
// In-process against a scripted writer on a virtual clock.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "CliCore.h"
#include "CliTestSupport.h"
#include "FakeRomWriter.h"
#include "FileIO.h"
#include "ScriptedChannel.h"
#include "TempDir.h"

namespace zemb::cli {
namespace {

using test::BorrowedChannel;
using test::FakeRomWriter;
using test::ScriptedChannel;
using test::SRec;

class CliImages : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.Dir().empty()); }

  std::string Path(const std::string& name) const { return dir_.Path(name); }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
  }
  std::string Read(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(path, bytes)) << path;
    return bytes;
  }

  // A fresh line and writer for each run; before() may queue traffic or change answers.
  int Run(const std::vector<std::string>& args,
          const std::function<void(FakeRomWriter&, ScriptedChannel&)>& before = nullptr) {
    line_ = std::make_unique<ScriptedChannel>();
    device_ = std::make_unique<FakeRomWriter>(*line_);
    device_->AnswerHandshakeAndType();
    device_->On("RB ", {"RB OK\r"});
    device_->On("RR ", {":0400000001020304F2\r:00000001FF\rRR OK\r"});
    device_->On("RP ", {"RB OK\r"});
    device_->On("RC ", {""});
    device_->On("RW ", {""});
    // The answer after the image's end record, as each upload command expects it.
    for (const auto& [command, answer] :
         {std::pair{"program", "RP OK\r"}, {"compare", "RC OK\r"}, {"write", "RW OK\r"}}) {
      if (std::find(args.begin(), args.end(), command) != args.end()) {
        device_->On(":00000001FF", {answer});
      }
    }
    if (before) before(*device_, *line_);
    out.str("");
    err.str("");
    Options options;
    std::string error;
    if (!ParseArguments(args, options, error)) {
      err << error;
      return -1;
    }
    Environment env;
    env.out = &out;
    env.err = &err;
    env.in = &in;
    env.channel = std::make_unique<BorrowedChannel>(*line_);
    return cli::Run(options, env);
  }

  // The commands the writer was sent, data lines left out.
  std::vector<std::string> Commands() const {
    std::vector<std::string> commands;
    for (const auto& l : device_->lines) {
      if (!l.empty() && l[0] == 'R') commands.push_back(l);
    }
    return commands;
  }
  bool NothingSent() const { return line_ == nullptr || line_->written.empty(); }

  test::TempDir dir_;
  std::unique_ptr<ScriptedChannel> line_;
  std::unique_ptr<FakeRomWriter> device_;
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
};

// One data byte at 0x10, behind a header that ends at 0x0F.
const char kBeyondHeader[] =
    ";MinAdr=0\r\n;MaxAdr=F\r\n:0100000042BD\r\n:0100100043AC\r\n:00000001FF\r\n";

TEST_F(CliImages, DataOutsideTheRangeIsRefusedFromTheHeaderAndWarnedFromTheCommandLine) {
  const std::string file = Write("beyond.hex", kBeyondHeader);
  const std::string s19 =
      Write("wide.s19", SRec(1, 2, 0x100, std::string(4, 'a')) +
                            SRec(1, 2, 0x300, std::string(2, 'b')) + SRec(9, 2, 0, ""));
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string message;
    std::string command;  // what reached the device, empty: nothing
  };
  const Case cases[] = {
      {{"program", file},
       kExitUsage,
       "beyond.hex: 1 data byte outside 00000-0000F, the first at 0x0010 (line 4); they lie "
       "outside the range of its ;MinAdr/;MaxAdr lines",
       ""},
      {{"program", file, "0", "F"},
       kExitOk,
       "warning: " + file +
           ": 1 data byte outside 00000-0000F, the first at 0x0010 (line 4); only 00000-0000F is "
           "asked of the device",
       "RP 00000,0000F+00000"},
      // info sends nothing and refuses nothing, but says what its checksums leave out.
      {{"info", file},
       kExitOk,
       "note: " + file +
           ": 1 data byte outside 00000-0000F, the first at 0x0010 (line 4); the "
           "checksums cover 00000-0000F only",
       ""},
      {{"-q", "write", s19, "101", "200"},
       kExitOk,
       ": 3 data bytes outside 00101-00200, the first at 0x0100 (line 1)",
       "RW 00101,00200+00000"},
      // Data on both sides of a range that covers none of it.
      {{"compare", s19, "200", "2FF"},
       kExitOk,
       "6 data bytes outside 00200-002FF, the first at 0x0100 (line 1)",
       "RC 00200,002FF+00000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_EQ(Run(c.args), c.exit) << err.str();
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    if (c.command.empty()) {
      EXPECT_TRUE(NothingSent());
    } else {
      EXPECT_EQ(Commands().back(), c.command);
    }
  }
}

TEST_F(CliImages, RangesWiderThanAnyChipAreRefusedAndInfoLeavesOutTheChecksums) {
  // Two bytes, at the bottom and the top of the address space.
  const std::string far =
      Write("far.s19", SRec(3, 4, 0, "\x11") + SRec(3, 4, 0xFFFFFFFF, "\x22") + SRec(7, 4, 0, ""));
  const std::string small = Write("small.hex", ":0100000042BD\r\n:00000001FF\r\n");
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"program", far}, {"write", small, "0", "1000000"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_EQ(Run(args), kExitUsage);
    EXPECT_NE(err.str().find("more than 16 MiB: no chip in the type list is near that size"),
              std::string::npos)
        << err.str();
    EXPECT_TRUE(NothingSent());
  }
  // Exactly 16 MiB is still taken.
  EXPECT_EQ(Run({"write", small, "0", "FFFFFF"}), kExitOk) << err.str();

  EXPECT_EQ(Run({"info", far}), kExitOk);
  EXPECT_EQ(out.str(), far +
                           ": srec, 00000-FFFFFFFF, 2 data bytes; no checksums: the range spans "
                           "4294967296 bytes, more than the 16 MiB they are taken over\n");
  EXPECT_EQ(Run({"info", far, "0", "FF"}), kExitOk);
  EXPECT_NE(out.str().find("00000-000FF, 1 data byte, crc32 "), std::string::npos) << out.str();
}

TEST_F(CliImages, ReadsThatContradictThemselvesOrLackTheEndRecord) {
  const std::string target = Write("chip.hex", "precious\r\n");
  struct Case {
    const char* name;
    std::string sent;  // what the writer answers to RR
    int exit;
    std::string written;  // the file afterwards
  };
  const std::string header = ";MinAdr=0000\r\n;MaxAdr=0003\r\n;Type=8\r\n";
  const Case cases[] = {
      {"two records give address 1 different values",
       ":0400000001020304F2\r:0100010009F5\r:00000001FF\rRR OK\r", kExitDeviceNg, "precious\r\n"},
      {"the same value twice is no contradiction",
       ":0400000001020304F2\r:0100010002FC\r:00000001FF\rRR OK\r", kExitOk,
       header + ":0400000001020304F2\r\n:0100010002FC\r\n:00000001FF\r\n"},
      {"no end record", ":0400000001020304F2\rRR OK\r", kExitOk,
       header + ":0400000001020304F2\r\n:00000001FF\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write("chip.hex", "precious\r\n");
    EXPECT_EQ(Run({"read", "0", "3", target},
                  [&](FakeRomWriter& d, ScriptedChannel&) { d.On("RR ", {c.sent}); }),
              c.exit)
        << err.str();
    EXPECT_EQ(Read(target), c.written);
    if (c.exit == kExitDeviceNg) {
      EXPECT_NE(err.str().find("contradicts itself: line 2 gives 0x0001 the value 09, line 1 gave "
                               "02"),
                std::string::npos)
          << err.str();
    }
  }
  // An S-record file gets its end record from the writer in any case.
  EXPECT_EQ(Run({"--format", "srec", "-q", "read", "0", "3", "-"},
                [](FakeRomWriter& d, ScriptedChannel&) {
                  d.On("RR ", {":0400000001020304F2\rRR OK\r"});
                }),
            kExitOk);
  EXPECT_EQ(out.str(), "S0030000FC\r\nS107000001020304EE\r\nS9030000FC\r\n");
}

// The writer still sends a read that was stopped: a record every 20 ms for `ms`.
void StillSending(ScriptedChannel& line, int64_t ms) {
  const std::string record = ":10000000000102030405060708090A0B0C0D0E0F78\r";
  for (int64_t t = 0; t < ms; t += 20) line.DeliverAt(t, record);
}

TEST_F(CliImages, TrafficLeftFromAnInterruptedReadIsDrainedAndNamed) {
  struct Case {
    const char* name;
    int64_t sendingMs;
    int exit;
    std::string message;  // empty: nothing said
  };
  const Case cases[] = {
      {"a read that ends two seconds into the next command", 2000, kExitOk,
       "waiting until it stops (Ctrl-C gives up)\n"
       "zembromw-cli: the device was still sending (4400 bytes drained)\n"},
      {"a device that does not stop", 600 * 1000, kExitPortFailed,
       "the device is still sending (524288 bytes drained); reset it, then try again"},
      {"a line end left from the last answer", 1, kExitOk, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int status = Run({"blank", "0", "FFF"}, [&](FakeRomWriter&, ScriptedChannel& line) {
      if (c.sendingMs == 1) {
        line.Deliver("\n");
      } else {
        StillSending(line, c.sendingMs);
      }
    });
    EXPECT_EQ(status, c.exit) << err.str();
    if (c.message.empty()) {
      EXPECT_EQ(err.str(), "RB OK\n");
    } else {
      EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    }
    EXPECT_EQ(err.str().find("no answer to the handshake"), std::string::npos) << err.str();
    if (c.exit == kExitOk) {
      EXPECT_EQ(Commands().back(), "RB 0000,0FFF");
    } else {
      EXPECT_TRUE(device_->lines.empty());
    }
  }
}

std::string Bytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed) % 251);
  return bytes;
}

TEST_F(CliImages, InfoWithATypeSaysWhetherTheImageFits) {
  const std::string k16 = Write("16k.bin", Bytes(0x4000, 1));
  const std::string k40 = Write("40k.bin", Bytes(0xA000, 2));
  const std::string k128 = Write("128k.bin", Bytes(0x20000, 3));
  const std::string typed = Write("typed.hex", ";Type=4\r\n:0100000042BD\r\n:00000001FF\r\n");
  const std::string fit32 = "fit: 27256 t2 (32 KiB x8): ";
  struct Case {
    std::vector<std::string> args;
    std::string fit;  // the second line; empty: none
  };
  const Case cases[] = {
      {{"-t", "08", "info", k16},
       fit32 + "data 0x0000-0x3FFF, 16384 bytes, 50.0% of the chip; fits"},
      {{"-t", "08", "info", k40},
       fit32 + "data 0x0000-0x9FFF, 40960 bytes, 125.0% of the chip; does not fit: data up to "
               "0x9FFF, beyond the 32 KiB of a 27256 t2: 0x0000-0x7FFF"},
      {{"-t", "08", "info", k16, "0", "FFFF"},
       fit32 + "data 0x0000-0x3FFF, 16384 bytes, 50.0% of the chip; does not fit: the range "
               "0x0000-0xFFFF reaches beyond the 32 KiB of a 27256 t2: 0x0000-0x7FFF"},
      // The x16 parts are checked in bytes.
      {{"-t", "10", "info", k128},
       "fit: 1024A (128 KiB x16): data 0x0000-0x1FFFF, 131072 bytes, 100.0% of the chip; fits"},
      // Judged after shaping.
      {{"-t", "08", "--mirror", "info", k16},
       fit32 + "data 0x0000-0x7FFF, 32768 bytes, 100.0% of the chip; fits"},
      {{"-t", "08", "--crop", "0", "7FFF", "info", k40},
       fit32 + "data 0x0000-0x7FFF, 32768 bytes, 100.0% of the chip; fits"},
      {{"info", typed},
       "fit: 27128 (16 KiB x8): data 0x0000-0x0000, 1 byte, 0.0% of the chip; fits"},
      {{"info", k16}, ""},
      {{"-t", "7F", "info", k16}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_EQ(Run(c.args), kExitOk) << err.str();
    const std::string text = out.str();
    const size_t nl = text.find('\n');
    ASSERT_NE(nl, std::string::npos) << text;
    EXPECT_EQ(text.substr(nl + 1), c.fit.empty() ? "" : c.fit + "\n");
    EXPECT_TRUE(NothingSent());
  }
}

TEST_F(CliImages, WrongOrClashingShapingIsRefusedBeforeAnything) {
  const std::string k12 = Write("12k.bin", Bytes(0x3000, 4));
  const std::string k16 = Write("16k.bin", Bytes(0x4000, 5));
  const std::string at8000 = Write("hi.s19", SRec(1, 2, 0x8000, "ab") + SRec(9, 2, 0, ""));
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--mirror", "program", k16}, "needs a chip type"},
      {{"-t", "08", "--mirror", "program", k12}, "power of two"},
      {{"-t", "08", "--mirror", "program", at8000}, ""},
      {{"--split", "2:2", "program", k16}, "lane 2 is past the 2 lanes"},
      {{"--split", "2", "convert", k16, Path("x.bin")}, "--split takes N:K or N:K:W"},
      {{"--split", "1:0", "info", k16}, "--split takes N:K or N:K:W"},
      {{"--fill", "100", "write", k16}, "--fill takes a byte"},
      {{"--offset", "12G", "write", k16}, "not a signed hexadecimal amount"},
      {{"--offset", "-8001", "write", at8000}, "outside"},
      {{"-t", "08", "--pad", "--fill", "00", "write", k16}, "clash"},
      {{"--pad", "write", k16}, "needs a chip type or a range"},
      {{"--crop", "100", "write", k16}, "--crop takes START END in hexadecimal"},
      {{"--crop", "200", "100", "write", k16}, "ends before it starts"},
      {{"--crop", "20000", "2FFFF", "write", k16}, "holds no data once shaped"},
      {{"--swap", "read", "0", "1", Path("x.hex")}, "--swap is for program, compare, write, info"},
      {{"--width", "0", "merge", Path("x.bin"), k16, k16}, "--width takes"},
      {{"merge", Path("x.bin"), k16, k12}, "differ in size"},
      {{"merge", Path("x.bin"), k16}, "merge takes OUT IN0 IN1 [IN2 IN3]"},
      {{"merge", Path("x.bin"), "-", "-"}, "standard input can be only one"},
      {{"convert", k16}, "convert takes IN OUT"},
      {{"convert", k16, Path("no/such/dir/x.bin")}, "cannot write"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const int status = Run(c.args);
    // Refused by the parser (-1 here) or by the command: either way with exit status 2.
    EXPECT_TRUE(status == kExitUsage || status == -1) << status << err.str();
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    EXPECT_TRUE(NothingSent());
    EXPECT_FALSE(std::filesystem::exists(Path("x.bin")));
  }
}

TEST_F(CliImages, AShapedImageGoesOutAsRecordsOfSixteenBytes) {
  // Linked at 0x8000, 40 bytes: moved to 0 and padded for a 2732A (4 KiB).
  std::string s19;
  const std::string data = Bytes(40, 6);
  s19 += SRec(1, 2, 0x8000, data.substr(0, 20)) + SRec(1, 2, 0x8014, data.substr(20));
  const std::string file = Write("linked.s19", s19 + SRec(9, 2, 0, ""));
  EXPECT_EQ(Run({"-t", "00", "--offset", "-8000", "--pad", "program", file}), kExitOk) << err.str();
  std::vector<std::string> sent;
  for (const auto& l : device_->lines) {
    if (l[0] == ':' || l[0] == ';') sent.push_back(l);
  }
  EXPECT_EQ(Commands().back(), "RP 00000,00FFF+00000");
  ASSERT_EQ(sent.size(), 2u + 4096 / 16 + 1);
  EXPECT_EQ(sent[0], ";MinAdr=0000");
  EXPECT_EQ(sent[1], ";MaxAdr=0FFF");
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  EXPECT_EQ(sent[2], EncodeHexRecord(kHexData, 0, bytes, 16));
  const std::vector<uint8_t> filled(16, 0xFF);
  EXPECT_EQ(sent[2 + 255], EncodeHexRecord(kHexData, 0xFF0, filled.data(), 16));
  EXPECT_EQ(sent.back(), ":00000001FF");
}

TEST_F(CliImages, ConvertAndMergeWriteTheFormatAskedFor) {
  const std::string k4 = Write("4k.bin", Bytes(0x1000, 7));
  EXPECT_EQ(Run({"--split", "2:1", "convert", k4, Path("odd.hex")}), kExitOk) << err.str();
  EXPECT_EQ(err.str(),
            "zembromw-cli: " + Path("odd.hex") + ": hex, 00000-007FF, 2048 data bytes\n");
  const std::string hex = Read(Path("odd.hex"));
  EXPECT_EQ(hex.rfind(";MinAdr=0000\r\n;MaxAdr=07FF\r\n:10000000", 0), 0u) << hex.substr(0, 80);
  EXPECT_EQ(hex.substr(hex.size() - 13), ":00000001FF\r\n");

  EXPECT_EQ(Run({"-q", "--split", "2:0", "convert", k4, Path("even.s19")}), kExitOk) << err.str();
  EXPECT_EQ(Read(Path("even.s19")).rfind("S0", 0), 0u);
  // Back to the original, to standard output as binary.
  EXPECT_EQ(Run({"--format", "bin", "merge", "-", Path("even.s19"), Path("odd.hex")}), kExitOk)
      << err.str();
  EXPECT_EQ(out.str(), Read(k4));
  // A binary file that does not start at 0 says where it does.
  EXPECT_EQ(Run({"--offset", "100", "convert", k4, Path("moved.bin")}), kExitOk) << err.str();
  EXPECT_NE(err.str().find("(its first byte is address 00100)"), std::string::npos) << err.str();
  EXPECT_EQ(Read(Path("moved.bin")), Read(k4));
}

TEST_F(CliImages, ADosEndOfFileMarkIsNoLineForTheDevice) {
  for (const std::string end : {"\x1A", "\x1A\r\n", ":00000001FF\x1A"}) {
    SCOPED_TRACE(::testing::PrintToString(end));
    const std::string body = ";MinAdr=0\r\n;MaxAdr=0\r\n:0100000042BD\r\n";
    const std::string file =
        Write("eof.hex", body + (end[0] == ':' ? end : ":00000001FF\r\n" + end));
    EXPECT_EQ(Run({"program", file}), kExitOk) << err.str();
    EXPECT_EQ(device_->lines,
              (std::vector<std::string>{"RA", "RT 08", "RA", "RP 00000,00000+00000", ";MinAdr=0",
                                        ";MaxAdr=0", ":0100000042BD", ":00000001FF"}));
  }
}

}  // namespace
}  // namespace zemb::cli
