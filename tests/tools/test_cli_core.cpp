// The command-line front end run in-process against a scripted device on a virtual clock:
// argument handling, address ranges, exit statuses and what reaches the line.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "CliCore.h"
#include "CliTestSupport.h"
#include "FileIO.h"
#include "ImageFormats.h"
#include "ScriptedChannel.h"
#include "SimConfig.h"
#include "TempDir.h"

namespace zemb::cli {
namespace {

using test::BorrowedChannel;
using test::ScriptedChannel;

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
    ASSERT_FALSE(dir_.Dir().empty());
    device.Attach(channel);
  }

  std::string Path(const std::string& name) const { return dir_.Path(name); }

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
    env.outIsTerminal = outIsTerminal;
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

  test::TempDir dir_;
  ScriptedChannel channel;
  FakeDevice device;
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  bool outIsTerminal = false;
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
      // Options that would do nothing for the command are refused, not ignored.
      {"--base", "10", "read", "0", "FF", "x.bin"},
      {"blank", "0", "1", "--base=0"},
      {"--format", "bin", "types"},
      {"--format", "hex", "type", "08"},
      {"ports", "--base", "0"},
      // The reads behind an NG belong to one command each.
      {"read", "0", "1", "x.hex", "--diff"},
      {"compare", "x.hex", "--detail"},
      {"read", "0", "1", "x.hex", "--repeat", "1"},
      {"read", "0", "1", "x.hex", "--repeat", "10"},
      {"compare", "x.hex", "--diff", "--max", "-1"},
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

// The long options a text names; a manual page writes them as \-\-name.
std::set<std::string> LongOptions(std::string text) {
  for (size_t at; (at = text.find("\\-")) != std::string::npos;) text.erase(at, 1);
  std::set<std::string> names;
  for (size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
    size_t end = at + 2;
    while (end < text.size() && (std::islower(static_cast<unsigned char>(text[end])) ||
                                 (text[end] == '-' && end > at + 2))) {
      ++end;
    }
    if (end > at + 2) names.insert(text.substr(at, end - at));
  }
  return names;
}

// Each program's --help and manual page describe the same options, and the command line's
// both describe every command; a page may name the other program's options.
TEST(CliArguments, HelpAndManualPagesDescribeTheSameOptions) {
  const std::string cliUsage = UsageText();
  const std::string simUsage = sim::SimUsage("zembromw-sim");
  const std::pair<std::string, std::string> programs[] = {{"zembromw-cli", cliUsage},
                                                          {"zembromw-sim", simUsage}};
  for (const auto& [program, usage] : programs) {
    SCOPED_TRACE(program);
    std::string page;
    ASSERT_TRUE(ReadWholeFile(std::string(ZEMBROMW_MAN_DIR) + "/" + program + ".1", page));
    const std::set<std::string> helpOptions = LongOptions(usage);
    const std::set<std::string> pageOptions = LongOptions(page);
    const std::set<std::string> known = LongOptions(cliUsage + simUsage);
    for (const auto& option : helpOptions) EXPECT_TRUE(pageOptions.count(option)) << option;
    for (const auto& option : pageOptions) EXPECT_TRUE(known.count(option)) << option;
  }
  std::string page;
  ASSERT_TRUE(ReadWholeFile(std::string(ZEMBROMW_MAN_DIR) + "/zembromw-cli.1", page));
  for (const char* command :
       {"ports", "types", "info", "type", "blank", "read", "program", "compare", "write"}) {
    Options options;
    std::string error;
    EXPECT_TRUE(ParseArguments({command}, options, error)) << error;
    EXPECT_NE(cliUsage.find(std::string("\n  ") + command + " "), std::string::npos) << command;
    EXPECT_TRUE(page.find(std::string(".B ") + command + "\n") != std::string::npos ||
                page.find(std::string(".BI \"") + command + " ") != std::string::npos)
        << command;
  }
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
  // Nothing was sent, so no empty answer line follows the reason.
  EXPECT_NE(LastErrLine().find("cannot open port COM4"), std::string::npos) << err.str();
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
  in.str(";maxadr=3F\n;minadr=10\n:0100100042AD\n");
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
      {"program", dir_.Dir()},
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
      // Text whose first record is Intel HEX or S-record stays text with no name to go by.
      {{"write", "-"},
       ";MinAdr=0\r\n:0100000042BD\r\n:01000100\0"s
       "42BD\r\n",
       "line 3 holds the binary byte 0x00 (NUL)"},
      {{"write", "-"}, "S104000042B9\nS1\x1B"s, "line 2 holds the binary byte 0x1B"},
      {{"compare", "-"}, "\r\n:0100000042\x01\r\n"s, "line 2 holds the binary byte 0x01"},
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

// Standard output that cannot take the chip's data is refused before the device is asked.
TEST_F(CliRun, ReadToStandardOutputThatCannotTakeIt) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    bool terminal;
    bool closed;
    const char* message;  // null: the read goes ahead
  };
  const Case cases[] = {
      {"closed", {"read", "0", "0", "-"}, false, true, "cannot write standard output"},
      {"binary to a terminal",
       {"--format", "bin", "read", "0", "0", "-"},
       true,
       false,
       "will not write binary data to a terminal"},
      {"text to a terminal", {"--format", "srec", "read", "0", "0", "-"}, true, false, nullptr},
      {"binary to a pipe", {"--format", "bin", "read", "0", "0", "-"}, false, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device.readLines = {":0100000042BD", ":00000001FF"};
    channel.written.clear();
    out.str("");
    out.clear();
    if (c.closed) out.setstate(std::ios::badbit);
    err.str("");
    outIsTerminal = c.terminal;
    const int status = RunArgs(c.args);
    if (c.message != nullptr) {
      EXPECT_EQ(status, kExitUsage);
      EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
      EXPECT_TRUE(channel.written.empty());
    } else {
      EXPECT_EQ(status, kExitOk) << err.str();
      EXPECT_FALSE(out.str().empty());
    }
  }
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

TEST_F(CliRun, CompareDiffReadsTheRangeAfterAnNg) {
  // The read after a failed compare has a bar of its own, after the upload's; the
  // compare's answer stays the last line.
  WriteFile("four.hex", ":0400000001020305F1\r\n");
  device.uploadLines = 1;
  device.finalAnswer = "RC NG 00003 04 05";
  EXPECT_EQ(RunArgs({"compare", Path("four.hex"), "0", "3", "--diff"}, true), kExitDeviceNg);
  const std::string diff = err.str();
  EXPECT_LT(diff.find("1/1 lines 100%"), diff.find("received 2 records")) << diff;
  EXPECT_EQ(LastErrLine(), "RC NG 00003 04 05");
  EXPECT_EQ(out.str(),
            "1 of 4 bytes differs, in 1 run: 0x0003\n0x0003  file 05  chip 04\n"
            "1 of the differing bytes need a bit set from 0 to 1: only erasing the chip can "
            "fix those\n");

  // The device says NG, but its read matches the file: said plainly, still a failure.
  out.str("");
  device.readLines = {":0400000001020305F1", ":00000001FF"};
  EXPECT_EQ(RunArgs({"compare", Path("four.hex"), "0", "3", "--diff"}), kExitDeviceNg);
  EXPECT_EQ(out.str(),
            "the device answered NG, but its read of 00000-00003 matches the file in all 4 "
            "bytes: the device's compare and its read disagree\n");
  EXPECT_EQ(LastErrLine(), "RC NG 00003 04 05");

  // One byte is one byte, in the compare's message and in the blank check's.
  out.str("");
  WriteFile("one.hex", ":0100000001FE\r\n");
  device.readLines = {":0100000001FE", ":00000001FF"};
  device.finalAnswer = "RC NG 00000 02 01";
  EXPECT_EQ(RunArgs({"compare", Path("one.hex"), "0", "0", "--diff"}), kExitDeviceNg);
  EXPECT_EQ(out.str(),
            "the device answered NG, but its read of 00000-00000 matches the file in all 1 "
            "byte: the device's compare and its read disagree\n");
  out.str("");
  device.readLines = {":01000000FF00", ":00000001FF"};
  device.blankAnswer = "RB NG 00000";
  EXPECT_EQ(RunArgs({"blank", "0", "0", "--detail"}), kExitDeviceNg);
  EXPECT_EQ(out.str(),
            "the device answered NG, but its read of 00000-00000 is FF in all 1 byte: the "
            "device's blank check and its read disagree\n");
}

using test::SRec;

TEST_F(CliRun, SRecordAndBinaryImagesGoOutAsIntelHexRecords) {
  // Twenty bytes from 0xFFF8: one record below 64 KiB, a linear address record, one above.
  std::string data;
  for (int i = 0; i < 20; ++i) data += static_cast<char>(0x30 + i);
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  const std::vector<std::string> records = {
      EncodeHexRecord(kHexData, 0xFFF8, bytes, 8), ":020000040001F9",
      EncodeHexRecord(kHexData, 0, bytes + 8, 12), ":00000001FF"};
  WriteFile("img.bin", data);
  // S2 records with 24-bit addresses, split differently from the converted records.
  WriteFile("img.s19", SRec(0, 2, 0, "HDR") + SRec(2, 3, 0xFFF8, data.substr(0, 10)) +
                           SRec(2, 3, 0x10002, data.substr(10)) + SRec(8, 3, 0, ""));
  struct Case {
    std::vector<std::string> args;
    std::string command, min, max;
  };
  const std::vector<Case> cases = {
      {{"write", "--base", "FFF8", Path("img.bin")}, "RW 0FFF8,1000B+00000", "FFF8", "1000B"},
      {{"write", Path("img.s19")}, "RW 0FFF8,1000B+00000", "FFF8", "1000B"},
      {{"--format", "srec", "write", Path("img.s19")}, "RW 0FFF8,1000B+00000", "FFF8", "1000B"},
      {{"write", Path("img.bin")}, "RW 00000,00013+00000", "0000", "0013"},
  };
  for (const Case& c : cases) {
    channel.written.clear();
    device.uploadLines = c.min == "FFF8" ? 2 + static_cast<int>(records.size()) : 2 + 3;
    EXPECT_EQ(RunArgs(c.args), kExitOk) << ::testing::PrintToString(c.args) << err.str();
    // The image follows the command, after the handshake and type lines.
    const auto sent = Sent();
    const auto command = std::find(sent.begin(), sent.end(), c.command);
    ASSERT_LE(command + 3, sent.end()) << ::testing::PrintToString(sent);
    EXPECT_EQ(command[1], ";MinAdr=" + c.min);
    EXPECT_EQ(command[2], ";MaxAdr=" + c.max);
    if (c.min == "FFF8") {
      EXPECT_EQ(std::vector<std::string>(command + 3, sent.end()), records);
    }
  }
}

TEST_F(CliRun, MalformedImagesAreRefusedByLineBeforeAnythingIsSent) {
  const std::string good = ":0400100001020304E2\r\n";
  const std::vector<std::tuple<std::string, std::string, std::vector<std::string>>> cases = {
      {"sum.hex", good + ":0400100001020304E3\r\n", {"line 2", "checksum"}},
      {"len.hex", ";MinAdr=0\r\n;MaxAdr=F\r\n:0500100001020304E2\r\n", {"line 3", "length"}},
      {"odd.s19", "S1070010010203F\r\n", {"line 1", "odd"}},
      {"big.s19",
       SRec(3, 4, 0, std::string(16, '\0')) + SRec(3, 4, 0xFFFFFFF8, std::string(16, 'x')),
       {"line 2", "4 GiB"}},
      {"text.hex", good + "RW 0,FFF\r\n", {"line 2", "not an Intel HEX record"}},
  };
  for (const auto& [name, text, words] : cases) {
    WriteFile(name, text);
    err.str("");
    EXPECT_EQ(RunArgs({"program", Path(name)}), kExitUsage) << name;
    for (const std::string& w : words) EXPECT_NE(err.str().find(w), std::string::npos) << err.str();
  }
  // A format that does not match the content, and --base for anything but binary.
  WriteFile("good.hex", good);
  err.str("");
  EXPECT_EQ(RunArgs({"--format", "srec", "compare", Path("good.hex")}), kExitUsage);
  EXPECT_NE(err.str().find("line 1: not an S-record"), std::string::npos) << err.str();
  EXPECT_EQ(RunArgs({"--base", "100", "compare", Path("good.hex")}), kExitUsage);
  EXPECT_EQ(RunArgs({"--format", "elf", "compare", Path("good.hex")}), -1);
  EXPECT_EQ(RunArgs({"--base", "0x100", "compare", Path("good.hex")}), -1);
  EXPECT_TRUE(channel.openedNames.empty());
  EXPECT_TRUE(channel.written.empty());
}

TEST_F(CliRun, ReadDataThatIsUnsoundLeavesTheFileUntouched) {
  const std::string outPath = Path("out.bin");
  WriteFile("out.bin", "precious");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{":0400000001020304F3"}, "checksum"},
      {{":\x80\xff"}, "record 1"},
      {{":0400000001020304F2", ":0400040005060708DE", ":00000001FF"}, "outside"},
      {{":0200000001020304F2"}, "length"},
      {{":0200000001F"}, "odd"},
      {{":00000001FF"}, "no data"},
  };
  for (const auto& [lines, why] : cases) {
    device.readLines = lines;
    err.str("");
    EXPECT_EQ(RunArgs({"read", "0", "3", outPath}), kExitDeviceNg) << why;
    EXPECT_NE(err.str().find(why), std::string::npos) << err.str();
    EXPECT_EQ(LastErrLine(), "RR OK");
    EXPECT_EQ(ReadFile(outPath), "precious");
  }
  // Four bytes do not cover eight.
  device.readLines = {":0400000001020304F2"};
  err.str("");
  EXPECT_EQ(RunArgs({"read", "0", "7", outPath}), kExitDeviceNg);
  EXPECT_NE(err.str().find("4 of 8 bytes"), std::string::npos) << err.str();
  EXPECT_EQ(ReadFile(outPath), "precious");

  // Sound data in any output format; the checksum line comes before the Status.
  device.readLines = {":0400000001020304F2", ":00000001FF"};
  err.str("");
  EXPECT_EQ(RunArgs({"read", "0", "3", outPath}), kExitOk);
  EXPECT_EQ(ReadFile(outPath), std::string("\x01\x02\x03\x04"));
  EXPECT_NE(err.str().find("read 00000-00003, 4 data bytes, crc32 b63cfbcd, sha1 "
                           "12dada1fff4d4787ade3333147202c3b443e376f, sum16 000A\n"),
            std::string::npos)
      << err.str();
  EXPECT_EQ(RunArgs({"--format", "srec", "-q", "read", "0", "3", "-"}), kExitOk);
  EXPECT_EQ(out.str(), "S0030000FC\r\nS107000001020304EE\r\nS9030000FC\r\n");
}

TEST_F(CliRun, DeviceLastLineIsShownWhenStatusHoldsAnEarlierAnswer) {
  // A read whose first answer is not data leaves Status as the connection left it.
  device.typeAnswer = "RT OK 27256";
  device.readLines = {};
  device.readAnswer = "RR NG range";
  EXPECT_EQ(RunArgs({"read", "8000", "8FFF", Path("x.hex")}), kExitDeviceNg);
  EXPECT_NE(err.str().find("the device's last line was: RR NG range\n"), std::string::npos)
      << err.str();
  EXPECT_EQ(LastErrLine(), "");

  // When Status is the last line there is nothing to add.
  err.str("");
  EXPECT_EQ(RunArgs({"blank", "0", "FFF"}), kExitOk);
  EXPECT_EQ(err.str(), "RB OK\n");
}

TEST_F(CliRun, VerboseTracesEveryByteWithTimeAndDirection) {
  EXPECT_EQ(RunArgs({"-v", "blank", "0", "FFF"}), kExitOk);
  const std::string text = err.str();
  std::vector<std::string> entries;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) entries.push_back(line);
  ASSERT_EQ(entries.size(), 9u) << text;
  const std::vector<std::string> expected = {
      "< RA\\r\\n", "> RA ready\\r", "< RT 08\\r\\n",        "> RT OK\\r",
      "< RA\\r\\n", "> RA ready\\r", "< RB 0000,0FFF\\r\\n", "> RB OK\\r"};
  for (size_t i = 0; i < expected.size(); ++i) {
    // "%10.3f" milliseconds, a blank, the direction and the escaped bytes.
    ASSERT_GT(entries[i].size(), 11u);
    EXPECT_EQ(entries[i][6], '.') << entries[i];
    EXPECT_EQ(entries[i].substr(11), expected[i]);
  }
  EXPECT_EQ(entries.back(), "RB OK");
}

TEST_F(CliRun, TypesAndInfoNeedNoDevice) {
  EXPECT_EQ(RunArgs({"types"}), kExitOk);
  std::istringstream rows(out.str());
  std::vector<std::string> lines;
  for (std::string line; std::getline(rows, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 20u);
  EXPECT_EQ(lines[0], "code  part      size     width  vpp    also");
  EXPECT_EQ(lines[9], "08    27256 t2  32 KiB   x8     12.5v");
  EXPECT_EQ(lines[11], "0A    271MA     128 KiB  x8     -      Hita27C101,Mitsu27C101");
  EXPECT_EQ(lines[19], "12    1024C     128 KiB  x16    -      FujiMBM27C1024");

  // Checksums of the range with 0xFF where no record gives data.
  WriteFile("gap.hex", ";MinAdr=0\r\n;MaxAdr=7\r\n:0400000001020304F2\r\n:00000001FF\r\n");
  out.str("");
  EXPECT_EQ(RunArgs({"info", Path("gap.hex")}), kExitOk);
  const std::vector<uint8_t> filled = {1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF};
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(Crc32(filled.data(), 8)));
  EXPECT_EQ(out.str(), Path("gap.hex") + ": hex, 00000-00007, 4 data bytes, crc32 " + crc +
                           ", sha1 " + Sha1Hex(filled.data(), 8) + ", sum16 0406\n");
  out.str("");
  EXPECT_EQ(RunArgs({"--base", "10", "info", Path("gap.hex")}), kExitUsage);
  WriteFile("raw.bin", std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(RunArgs({"--base", "10", "info", Path("raw.bin")}), kExitOk);
  EXPECT_NE(out.str().find(": bin, 00010-00013, 4 data bytes, crc32 b63cfbcd"), std::string::npos)
      << out.str();
  EXPECT_EQ(RunArgs({"info", Path("raw.bin"), "3", "0"}), kExitUsage);
  EXPECT_EQ(RunArgs({"types", "x"}), kExitUsage);
  EXPECT_TRUE(channel.openedNames.empty());
}

TEST_F(CliRun, ImageTypeLineChoosesTheTypeUnlessGiven) {
  // A ;Type line that names no entry ("0A" is read as a decimal index, as the window reads
  // it) is refused rather than replaced by the default type; -t settles it.
  const std::vector<std::tuple<std::string, std::vector<std::string>, std::string>> cases = {
      {"10", {}, "RT 0A"}, {"$0A", {}, "RT 0A"}, {"10", {"-t", "05"}, "RT 05"}, {"19", {}, ""},
      {"-1", {}, ""},      {"0A", {}, ""},       {"0A", {"-t", "0A"}, "RT 0A"},
  };
  for (const auto& [value, extra, expected] : cases) {
    WriteFile("typed.hex", ";Type=" + value + "\r\n:0100000042BD\r\n:00000001FF\r\n");
    channel.written.clear();
    err.str("");
    device.uploadLines = 3;
    std::vector<std::string> args = extra;
    args.insert(args.end(), {"write", Path("typed.hex")});
    if (expected.empty()) {
      EXPECT_EQ(RunArgs(args), kExitUsage) << value;
      EXPECT_NE(err.str().find("its ;Type line (" + value + ") names no entry"), std::string::npos)
          << err.str();
      EXPECT_TRUE(channel.written.empty()) << value;
      continue;
    }
    EXPECT_EQ(RunArgs(args), kExitOk) << value;
    ASSERT_GE(Sent().size(), 2u);
    EXPECT_EQ(Sent()[1], expected) << value;
  }
}

}  // namespace
}  // namespace zemb::cli
