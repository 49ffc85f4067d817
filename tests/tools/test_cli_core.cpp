// The command-line front end run in-process against a scripted device on a virtual clock:
// argument handling, address ranges, exit statuses and what reaches the line.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "CliCore.h"
#include "FileIO.h"
#include "ScriptedChannel.h"

namespace zemb::cli {
namespace {

using test::ScriptedChannel;

// Lends a test-owned channel to the component, which destroys what it is given.
class BorrowedChannel : public SerialChannel {
 public:
  explicit BorrowedChannel(SerialChannel& target) : t_(target) {}
  bool Open(const std::string& name) override { return t_.Open(name); }
  bool IsOpen() const override { return t_.IsOpen(); }
  void Close() override { t_.Close(); }
  void SetTimeouts(const CommTimeouts& timeouts) override { t_.SetTimeouts(timeouts); }
  bool Configure(int32_t baud) override { return t_.Configure(baud); }
  void RaiseDtrRts() override { t_.RaiseDtrRts(); }
  bool ReadByte(uint8_t& byte) override { return t_.ReadByte(byte); }
  int WriteByte(uint8_t byte) override { return t_.WriteByte(byte); }
  void Sleep(uint32_t ms) override { t_.Sleep(ms); }

 private:
  SerialChannel& t_;
};

// A ROM writer answering from a script: every command gets its configured answer; an
// upload is answered after uploadLines data lines.
struct FakeDevice {
  bool silent = false;
  std::string typeAnswer = "RT OK";
  std::string blankAnswer = "RB OK";
  std::vector<std::string> readLines = {":0400000001020304F2", ":00000001FF"};
  std::string readAnswer = "RR OK";
  std::string finalAnswer;  // empty: "<command> OK"
  int uploadLines = 0;
  // After this many data lines the device reports an error with this line.
  int failAfterLines = -1;
  std::string failLine = "EVerify error 0010";

  int pending = 0;
  std::string uploadCommand;

  void Attach(ScriptedChannel& ch) {
    ch.onLine = [this](ScriptedChannel& c, const std::string& line) { OnLine(c, line); };
  }

  void OnLine(ScriptedChannel& c, const std::string& line) {
    if (silent) return;
    if (pending > 0) {
      --pending;
      if (failAfterLines >= 0 && uploadLines - pending == failAfterLines) {
        c.Deliver(failLine + "\r");
        pending = 0;
      } else if (pending == 0) {
        c.Deliver((finalAnswer.empty() ? uploadCommand + " OK" : finalAnswer) + "\r", 5);
      }
      return;
    }
    const std::string cmd = line.substr(0, 2);
    if (cmd == "RA") {
      c.Deliver("RA ready\r", 3);
    } else if (cmd == "RT") {
      c.Deliver(typeAnswer + "\r", 3);
    } else if (cmd == "RB") {
      c.Deliver(blankAnswer + "\r", 3);
    } else if (cmd == "RR") {
      std::string text;
      for (const auto& l : readLines) text += l + "\r";
      c.Deliver(text + readAnswer + "\r", 3);
    } else if (cmd == "RC" || cmd == "RP" || cmd == "RW") {
      uploadCommand = cmd;
      pending = uploadLines;
      if (cmd == "RP") c.Deliver(blankAnswer + "\r", 3);
      if (pending == 0 && cmd != "RP") c.Deliver(cmd + " OK\r", 5);
    }
  }
};

class CliRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zembromw_cli_core_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    device.Attach(channel);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  void WriteFile(const std::string& name, const std::string& text) {
    std::ofstream(Path(name), std::ios::binary) << text;
  }
  std::string ReadFile(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(path, bytes)) << path;
    return bytes;
  }

  int RunArgs(const std::vector<std::string>& args, bool progress = false) {
    Options options;
    std::string error;
    if (!ParseArguments(args, options, error)) {
      err.str(error);
      return -1;
    }
    Environment env;
    env.in = &in;
    env.out = &out;
    env.err = &err;
    env.progress = progress;
    env.channel = std::make_unique<BorrowedChannel>(channel);
    return cli::Run(options, env);
  }

  // The last line on standard error: the component's Status.
  std::string LastErrLine() const {
    std::string text = err.str();
    EXPECT_FALSE(text.empty());
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const size_t nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
  }

  std::vector<std::string> Sent() const { return channel.WrittenLines(); }

  std::string dir_;
  ScriptedChannel channel;
  FakeDevice device;
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
};

TEST(CliArguments, DefaultsAndEveryOptionForm) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseArguments({"blank", "0", "FFF"}, o, error)) << error;
  EXPECT_EQ(o.port, "COM1");
  EXPECT_EQ(o.speed, 9600);
  EXPECT_EQ(o.type, "08");
  EXPECT_FALSE(o.quiet);
  EXPECT_EQ(o.command, Command::Blank);
  EXPECT_EQ(o.operands, (std::vector<std::string>{"0", "FFF"}));

  Options a;
  ASSERT_TRUE(ParseArguments(
      {"-p", "/dev/ttyUSB0", "-s115200", "--type=0A", "-q", "read", "0", "7FFF", "-"}, a, error))
      << error;
  EXPECT_EQ(a.port, "/dev/ttyUSB0");
  EXPECT_EQ(a.speed, 115200);
  EXPECT_EQ(a.type, "0A");
  EXPECT_TRUE(a.quiet);
  EXPECT_EQ(a.operands.back(), "-");

  Options b;
  ASSERT_TRUE(ParseArguments(
      {"program", "x.hex", "--port", "COM3", "--speed", "19200", "-t", "05", "--", "-q"}, b, error))
      << error;
  EXPECT_EQ(b.port, "COM3");
  EXPECT_EQ(b.speed, 19200);
  EXPECT_EQ(b.type, "05");
  EXPECT_FALSE(b.quiet);
  EXPECT_EQ(b.operands, (std::vector<std::string>{"x.hex", "-q"}));
}

TEST(CliArguments, UsageErrors) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"-q"},
      {"erase"},
      {"--bogus", "blank", "0", "1"},
      {"blank", "0", "1", "-p"},
      {"-s", "fast", "blank", "0", "1"},
      {"-s", "0", "blank", "0", "1"},
      {"-s", "-9600", "blank", "0", "1"},
      {"-s", "99999999999", "blank", "0", "1"},
      {"--port=", "blank", "0", "1"},
      {"-t", "0\r\nRW 0,1", "blank", "0", "1"},
  };
  for (const auto& args : bad) {
    Options o;
    std::string error;
    EXPECT_FALSE(ParseArguments(args, o, error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
  Options help;
  std::string error;
  EXPECT_TRUE(ParseArguments({"--help"}, help, error));
  EXPECT_TRUE(help.help);
}

TEST(CliArguments, AddressesAsTheWindowFieldsTakeThem) {
  int32_t v = 0;
  EXPECT_TRUE(ParseAddress("0", v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(ParseAddress("7fff", v));
  EXPECT_EQ(v, 0x7FFF);
  EXPECT_TRUE(ParseAddress("1FFFF", v));
  EXPECT_EQ(v, 0x1FFFF);
  EXPECT_TRUE(ParseAddress("FFFFFFFF", v));
  EXPECT_EQ(v, -1);
  EXPECT_TRUE(ParseAddress("80000000", v));
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_TRUE(ParseAddress("000000FFF", v));  // leading zeros do not count
  EXPECT_EQ(v, 0xFFF);
  for (const char* bad : {"", " 1", "1 ", "$1", "0x1", "-1", "+1", "G", "12G4", "100000000"}) {
    EXPECT_FALSE(ParseAddress(bad, v)) << bad;
  }
}

TEST_F(CliRun, TypeSendsOnlyTheChosenTypeAndPrintsTheAnswer) {
  device.typeAnswer = "RT OK 27C101";
  EXPECT_EQ(RunArgs({"type", "0A"}), kExitOk);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"RA", "RT 0A"}));
  EXPECT_EQ(out.str(), "RT OK 27C101\n");
  EXPECT_EQ(LastErrLine(), "RT OK 27C101");
  EXPECT_EQ(channel.configuredBauds, (std::vector<int32_t>{9600}));
  EXPECT_EQ(channel.openedNames, (std::vector<std::string>{"COM1"}));
}

TEST_F(CliRun, RejectedTypeExitsOne) {
  device.typeAnswer = "RT NG";
  EXPECT_EQ(RunArgs({"type", "13"}), kExitDeviceNg);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(LastErrLine(), "RT NG");
}

TEST_F(CliRun, BlankCheckSendsDefaultTypeThenTheRange) {
  EXPECT_EQ(RunArgs({"-t", "05", "-s", "19200", "-p", "/dev/x", "blank", "0", "fff"}), kExitOk);
  // The type is settled on its own connection before the command goes out.
  EXPECT_EQ(Sent(), (std::vector<std::string>{"RA", "RT 05", "RA", "RB 0000,0FFF"}));
  EXPECT_EQ(channel.openedNames, (std::vector<std::string>{"/dev/x"}));
  EXPECT_EQ(channel.configuredBauds, (std::vector<int32_t>{19200}));
  EXPECT_EQ(LastErrLine(), "RB OK");

  device.blankAnswer = "RB NG 0123";
  err.str("");
  EXPECT_EQ(RunArgs({"blank", "0", "1FFFF"}), kExitDeviceNg);
  EXPECT_EQ(Sent().back(), "RB 0000,1FFFF");
  EXPECT_EQ(LastErrLine(), "RB NG 0123");
}

TEST_F(CliRun, SilentDeviceIsNoHandshakeAndExitsThree) {
  device.silent = true;
  EXPECT_EQ(RunArgs({"blank", "0", "FFF"}), kExitPortFailed);
  EXPECT_EQ(Sent(), (std::vector<std::string>(4, "RA")));
  EXPECT_NE(err.str().find("no answer to the handshake"), std::string::npos);
  EXPECT_EQ(LastErrLine(), "");

  // Program and write leave their NG text as Status.
  WriteFile("img.hex", ";MinAdr=0\r\n;MaxAdr=F\r\n:0100000042BD\r\n");
  err.str("");
  EXPECT_EQ(RunArgs({"program", Path("img.hex")}), kExitPortFailed);
  EXPECT_EQ(LastErrLine(), "Program NG");
  err.str("");
  EXPECT_EQ(RunArgs({"write", Path("img.hex")}), kExitPortFailed);
  EXPECT_EQ(LastErrLine(), "Write NG");
  err.str("");
  EXPECT_EQ(RunArgs({"type", "08"}), kExitPortFailed);
}

TEST_F(CliRun, DeviceFloodingBytesWithoutLineEndsIsNoHandshake) {
  device.silent = true;
  channel.onLine = [](ScriptedChannel& c, const std::string& line) {
    if (line == "RA") c.Deliver(std::string(300 * 1024, 'A'));
  };
  EXPECT_EQ(RunArgs({"blank", "0", "FFF"}), kExitPortFailed);
  EXPECT_EQ(LastErrLine(), "");
  EXPECT_EQ(Sent(), (std::vector<std::string>(4, "RA")));
}

TEST_F(CliRun, PortThatCannotBeOpenedExitsThree) {
  channel.openSucceeds = false;
  EXPECT_EQ(RunArgs({"-p", "COM4", "read", "0", "FFF", Path("out.hex")}), kExitPortFailed);
  EXPECT_NE(err.str().find("cannot open port COM4"), std::string::npos);
  EXPECT_TRUE(channel.written.empty());
  EXPECT_FALSE(std::filesystem::exists(Path("out.hex")));
}

TEST_F(CliRun, UploadTakesTheRangeFromTheHeaderAndSendsEveryLine) {
  const std::vector<std::string> image = {
      ";MinAdr=0000", ";MaxAdr=7FFF", ";Type=8", "", ":10000000000102030405060708090A0B0C0D0E0F78",
      ":00000001FF"};
  std::string text;
  for (const auto& l : image) text += l + "\r\n";
  WriteFile("img.hex", text);
  device.uploadLines = static_cast<int>(image.size());

  EXPECT_EQ(RunArgs({"program", Path("img.hex")}), kExitOk);
  std::vector<std::string> expected = {"RA", "RT 08", "RA", "RP 00000,07FFF+00000"};
  expected.insert(expected.end(), image.begin(), image.end());
  EXPECT_EQ(Sent(), expected);
  EXPECT_EQ(LastErrLine(), "RP OK");

  // Addresses on the command line win over the header.
  channel.written.clear();
  EXPECT_EQ(RunArgs({"compare", Path("img.hex"), "100", "1ff"}), kExitOk);
  EXPECT_EQ(Sent()[3], "RC 00100,001FF+00000");
  channel.written.clear();
  EXPECT_EQ(RunArgs({"write", Path("img.hex")}), kExitOk);
  EXPECT_EQ(Sent()[3], "RW 00000,07FFF+00000");
  EXPECT_EQ(Sent().size(), expected.size());
}

TEST_F(CliRun, ImageFromStandardInputWithLowerCaseHeaders) {
  in.str(";maxadr=3F\n;minadr=10\n:0100000042BD\n");
  device.uploadLines = 3;
  EXPECT_EQ(RunArgs({"write", "-"}), kExitOk);
  EXPECT_EQ(Sent()[3], "RW 00010,0003F+00000");
}

TEST_F(CliRun, FileAndRangeErrorsSendNothing) {
  WriteFile("norange.hex", ":00000001FF\r\n");
  WriteFile("onlymax.hex", ";MaxAdr=7FFF\r\n:00000001FF\r\n");
  WriteFile("badmin.hex", ";MinAdr=12G4\r\n;MaxAdr=7FFF\r\n");
  WriteFile("emptymin.hex", ";MinAdr=\r\n;MaxAdr=7FFF\r\n;MinAdr=0\r\n");
  const std::vector<std::vector<std::string>> cases = {
      {"program", Path("norange.hex")},
      {"compare", Path("onlymax.hex")},
      {"write", Path("badmin.hex")},
      {"program", Path("emptymin.hex")},  // only the first ;MinAdr counts, and it is empty
      {"program", Path("missing.hex")},
      {"program", dir_},
      {"program", Path("norange.hex"), "0"},
      {"program", Path("norange.hex"), "0", "7FFFG"},
      {"blank", "0"},
      {"blank", "0", "FFF", "1"},
      {"read", "0", "FFF"},
      {"read", "0", "FFF", Path("no/such/folder/out.hex")},
      {"read", "0", "$FFF", Path("out.hex")},
      {"type"},
      {"type", "08", "09"},
  };
  for (const auto& args : cases) {
    err.str("");
    EXPECT_EQ(RunArgs(args), kExitUsage) << ::testing::PrintToString(args);
    EXPECT_NE(err.str().find("zembromw-cli: "), std::string::npos);
  }
  EXPECT_TRUE(channel.openedNames.empty());
  EXPECT_TRUE(channel.written.empty());
}

TEST_F(CliRun, ImagesThatAreNotTextImagesAreRefusedBeforeTheDevice) {
  using namespace std::string_literals;
  WriteFile("empty.hex", "");
  WriteFile("headers.hex", ";MinAdr=0\r\n;MaxAdr=F\r\n");
  WriteFile("eof.hex", ";MinAdr=0\r\n;MaxAdr=F\r\n:00000001FF\r\n");
  WriteFile("nul.hex",
            ";MinAdr=0\r\n;MaxAdr=F\r\n:01000000\0"s
            "42BD\r\n:00000001FF\r\n");
  ASSERT_EQ(::mkfifo(Path("fifo.hex").c_str(), 0666), 0);  // nobody writes it
  struct Case {
    std::vector<std::string> args;
    std::string stdinText;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"program", Path("empty.hex"), "0", "F"}, "", "has no Intel HEX data record"},
      {{"write", Path("headers.hex")}, "", "has no Intel HEX data record"},
      {{"compare", Path("eof.hex")}, "", "has no Intel HEX data record"},
      {{"write", "-", "0", "F"}, "", "standard input holds no data"},
      {{"write", Path("nul.hex")}, "", "line 3 holds the binary byte 0x00 (NUL)"},
      {{"--format", "hex", "write", "-", "0", "F"},
       "\x01\x02\x03",
       "line 1 holds the binary byte 0x01"},
      {{"write", Path("fifo.hex"), "0", "F"}, "", ": is a FIFO"},
      {{"write", "/dev/zero", "0", "F"}, "", ": is a character device"},
      {{"write", "-", "0", "F"}, std::string(kMaxImageBytes + 1, ':'), "larger than 16 MiB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    err.str("");
    in.clear();
    in.str(c.stdinText);
    EXPECT_EQ(RunArgs(c.args), kExitUsage);
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
  }
  EXPECT_TRUE(channel.openedNames.empty());
  EXPECT_TRUE(channel.written.empty());
}

TEST_F(CliRun, ReadOutputThatCannotBeWrittenIsAFailure) {
  const std::string locked = Path("locked.hex");
  WriteFile("locked.hex", "old\r\n");
  ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
  // Refused before the device is asked for anything.
  EXPECT_EQ(RunArgs({"read", "0", "3", locked}), kExitUsage);
  EXPECT_NE(err.str().find("write-protected"), std::string::npos) << err.str();
  EXPECT_TRUE(channel.written.empty());
  EXPECT_EQ(ReadFile(locked), "old\r\n");

  // A FIFO nobody reads fails at the write, and stays a FIFO.
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0666), 0);
  err.str("");
  EXPECT_EQ(RunArgs({"read", "0", "3", Path("fifo")}), kExitUsage);
  EXPECT_NE(err.str().find("is a FIFO that nobody reads"), std::string::npos) << err.str();
  EXPECT_TRUE(std::filesystem::is_fifo(Path("fifo")));

  // Standard output that takes nothing: the answer of "type" and a read to "-".
  out.setstate(std::ios::badbit);
  err.str("");
  EXPECT_EQ(RunArgs({"type", "08"}), kExitUsage);
  EXPECT_NE(err.str().find("cannot write standard output"), std::string::npos);
  err.str("");
  EXPECT_EQ(RunArgs({"read", "0", "3", "-"}), kExitUsage);
  EXPECT_NE(err.str().find("cannot write standard output"), std::string::npos);
  // Standard error that takes nothing turns a success into a failure too.
  out.clear();
  err.setstate(std::ios::badbit);
  EXPECT_EQ(RunArgs({"type", "08"}), kExitUsage);
}

TEST_F(CliRun, ReadWritesTheReceivedLinesOnlyOnSuccess) {
  const std::string outPath = Path("out.hex");
  const std::string saved =
      ";MinAdr=0000\r\n;MaxAdr=0003\r\n;Type=8\r\n:0400000001020304F2\r\n:00000001FF\r\n";
  EXPECT_EQ(RunArgs({"read", "0", "3", outPath}), kExitOk);
  EXPECT_EQ(Sent().back(), "RR 00000,00003+00000");
  EXPECT_EQ(ReadFile(outPath), saved);
  EXPECT_EQ(LastErrLine(), "RR OK");

  // An error answer instead of data, then data cut short: the earlier file stays whole.
  device.readLines = {};
  device.readAnswer = "RR NG";
  err.str("");
  EXPECT_EQ(RunArgs({"read", "0", "3", outPath}), kExitDeviceNg);
  EXPECT_EQ(ReadFile(outPath), saved);

  device.readLines = {":0400000005060708DA"};
  device.readAnswer = "";
  err.str("");
  EXPECT_EQ(RunArgs({"read", "0", "3", outPath}), kExitDeviceNg);
  EXPECT_EQ(ReadFile(outPath), saved);
  EXPECT_EQ(LastErrLine(), "");
}

TEST_F(CliRun, ReadToStandardOutput) {
  device.readLines = {":0100000042BD", ":00000001FF"};
  EXPECT_EQ(RunArgs({"-q", "-t", "0a", "read", "0", "0", "-"}), kExitOk);
  EXPECT_EQ(out.str(),
            ";MinAdr=0000\r\n;MaxAdr=0000\r\n;Type=10\r\n:0100000042BD\r\n:00000001FF\r\n");
  EXPECT_EQ(err.str(), "RR OK\n");
}

TEST_F(CliRun, ErrorLetterDuringUploadExitsOneWithTheDevicesMessage) {
  WriteFile("img.hex", ";MinAdr=0\r\n;MaxAdr=F\r\n:0100000042BD\r\n:00000001FF\r\n");
  device.uploadLines = 4;
  device.failAfterLines = 1;
  EXPECT_EQ(RunArgs({"compare", Path("img.hex")}), kExitDeviceNg);
  EXPECT_EQ(LastErrLine(), "Verify error 0010");
  // The upload stopped early: fewer than all four image lines went out whole.
  EXPECT_LT(Sent().size(), 3u + 4u);
}

TEST_F(CliRun, ProgressBarOnRequestEndsBeforeTheStatusLine) {
  WriteFile("img.hex", ";MinAdr=0\r\n;MaxAdr=F\r\n:0100000042BD\r\n");
  device.uploadLines = 3;
  EXPECT_EQ(RunArgs({"write", Path("img.hex")}, true), kExitOk);
  const std::string text = err.str();
  EXPECT_NE(text.find("3/3 lines 100%"), std::string::npos) << text;
  EXPECT_NE(text.find("B/s"), std::string::npos);
  EXPECT_EQ(LastErrLine(), "RW OK");

  err.str("");
  EXPECT_EQ(RunArgs({"write", Path("img.hex")}, false), kExitOk);
  EXPECT_EQ(err.str(), "RW OK\n");

  // A read counts the records it receives, not the handshake's lines.
  err.str("");
  EXPECT_EQ(RunArgs({"read", "0", "3", "-"}, true), kExitOk);
  EXPECT_NE(err.str().find("received 2 records"), std::string::npos) << err.str();
  EXPECT_EQ(LastErrLine(), "RR OK");
}

}  // namespace
}  // namespace zemb::cli
