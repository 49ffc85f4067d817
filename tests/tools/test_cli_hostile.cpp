// zembromw-cli in-process against writers that refuse, echo or send junk, and against
// settings it must refuse before anything goes out.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "CliCore.h"
#include "CliTestSupport.h"
#include "FakeRomWriter.h"
#include "ScriptedChannel.h"
#include "TempDir.h"

namespace zemb::cli {
namespace {

using test::BorrowedChannel;
using test::FakeRomWriter;
using test::ScriptedChannel;

class CliHostile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Dir().empty());
    std::ofstream(Path("img.hex")) << ";MinAdr=0\r\n;MaxAdr=F\r\n:0100000000FF\r\n:00000001FF\r\n";
  }

  std::string Path(const std::string& name) const { return dir_.Path(name); }

  // A fresh line and writer for each run; `script` sets the writer's answers.
  int Run(const std::vector<std::string>& args,
          const std::function<void(FakeRomWriter&)>& script = nullptr) {
    device.reset();
    line = std::make_unique<ScriptedChannel>();
    ch = line.get();
    device = std::make_unique<FakeRomWriter>(*ch);
    device->AnswerHandshakeAndType();
    device->On("RB ", {"RB OK\r"});
    device->On("RR ", {":00000001FF\rRR OK\r"});
    device->On("RP ", {"RB OK\r"});
    device->On(":00000001FF", {"RP OK\r"});
    if (script) script(*device);
    out.str("");
    err.str("");
    Options options;
    std::string error;
    if (!ParseArguments(args, options, error)) {
      err << error;
      return kExitUsage;
    }
    Environment env;
    env.out = &out;
    env.err = &err;
    env.channel = std::make_unique<BorrowedChannel>(*ch);
    return cli::Run(options, env);
  }

  std::string LastErrLine() const {
    std::string text = err.str();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const size_t nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
  }

  test::TempDir dir_;
  std::unique_ptr<ScriptedChannel> line;
  ScriptedChannel* ch = nullptr;
  std::unique_ptr<FakeRomWriter> device;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(CliHostile, TypeTroubleStopsBeforeAnyRomCommand) {
  struct Case {
    const char* name;
    std::function<void(FakeRomWriter&)> script;
    int exit;
    const char* message;
    std::vector<std::string> sent;
  };
  const Case cases[] = {
      {"type refused",
       [](FakeRomWriter& d) { d.On("RT ", {"RT NG rejected\r"}); },
       kExitDeviceNg,
       "did not accept type 08 (answer: \"RT NG rejected\"); nothing was done",
       {"RA", "RT 08"}},
      // No type answer might be a late handshake answer: the type gets a second try.
      {"type unanswered",
       [](FakeRomWriter& d) { d.On("RT ", {""}); },
       kExitDeviceNg,
       "did not answer the type command (RT 08) in time; nothing was done",
       {"RA", "RT 08", "RA", "RT 08"}},
      {"answer that is no type answer",
       [](FakeRomWriter& d) { d.On("RT ", {"RA late\r"}); },
       kExitDeviceNg,
       "answered the type command (RT 08) with \"RA late\", which is no type answer",
       {"RA", "RT 08", "RA", "RT 08"}},
      {"port that echoes",
       [](FakeRomWriter& d) {
         d.On("RA", {"RA\r\n"});
         d.On("RT ", {"RT 08\r\n"});
       },
       kExitPortFailed,
       "no answer from the ROM writer (the port echoes what it is sent)",
       {"RA", "RT 08"}},
  };
  const std::vector<std::vector<std::string>> commands = {
      {"blank", "0", "FFF"}, {"read", "0", "FFF", Path("r.hex")}, {"program", Path("img.hex")}};
  for (const Case& c : cases) {
    for (const auto& command : commands) {
      SCOPED_TRACE(std::string(c.name) + " / " + command[0]);
      EXPECT_EQ(Run(command, c.script), c.exit);
      EXPECT_EQ(device->lines, c.sent);
      EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
      EXPECT_FALSE(std::filesystem::exists(Path("r.hex")));
    }
  }
  // "type" itself tells an echo from a refusal too.
  EXPECT_EQ(Run({"type", "08"}, cases[3].script), kExitPortFailed);
  EXPECT_NE(err.str().find("echoes"), std::string::npos);
  EXPECT_EQ(out.str(), "");
}

TEST_F(CliHostile, SettingsThatCannotWorkAreRefusedBeforeAnythingIsSent) {
  EXPECT_EQ(Run({"-s", "12345", "blank", "0", "FFF"}), kExitUsage);
  EXPECT_NE(err.str().find("12345 cannot be set"), std::string::npos) << err.str();
#ifndef _WIN32
  EXPECT_NE(err.str().find("9600, 19200"), std::string::npos) << err.str();
#endif
  EXPECT_TRUE(ch->openedNames.empty());

  EXPECT_EQ(Run({"-t", "", "blank", "0", "FFF"}), kExitUsage);
  EXPECT_TRUE(ch->openedNames.empty());

  // The port opened, but the line settings did not take: talking on it would be noise.
  auto refuseLine = [this](FakeRomWriter&) { ch->configureSucceeds = false; };
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"blank", "0", "FFF"}, {"type", "08"}}) {
    EXPECT_EQ(Run(args, refuseLine), kExitPortFailed) << args[0];
    EXPECT_NE(err.str().find("cannot set 9600 baud 8N1 on port COM1"), std::string::npos)
        << err.str();
    EXPECT_TRUE(ch->written.empty()) << args[0];
  }
}

TEST_F(CliHostile, DeviceTextReachesTheTerminalEscapedAndCut) {
  EXPECT_EQ(Run({"type", "08"},
                [](FakeRomWriter& d) { d.On("RT ", {"RT OK \x1B]0;owned\x07\x1B[31m\x9B\r"}); }),
            kExitOk);
  EXPECT_EQ(out.str(), "RT OK \\x1B]0;owned\\x07\\x1B[31m\\x9B\n");
  EXPECT_EQ(LastErrLine(), "RT OK \\x1B]0;owned\\x07\\x1B[31m\\x9B");
  // That answer is the device's last line; it is not repeated as if it differed.
  EXPECT_EQ(err.str().find("last line was"), std::string::npos) << err.str();

  // A line of junk without a CR: cut, and marked as cut.
  EXPECT_EQ(
      Run({"blank", "0", "FFF"}, [](FakeRomWriter& d) { d.On("RB ", {std::string(70000, '#')}); }),
      kExitDeviceNg);
  const std::string status = LastErrLine();
  EXPECT_LT(status.size(), 300u);
  EXPECT_NE(status.find("... (65536 bytes)"), std::string::npos) << status;
}

TEST_F(CliHostile, FailedReadSaysLeftAsItWasOnlyForAFileThatExisted) {
  auto refuse = [](FakeRomWriter& d) { d.On("RR ", {"RR NG range\r"}); };
  EXPECT_EQ(Run({"read", "0", "FFF", Path("new.hex")}, refuse), kExitDeviceNg);
  EXPECT_EQ(err.str().find("left as it was"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("nothing written to"), std::string::npos) << err.str();
  EXPECT_FALSE(std::filesystem::exists(Path("new.hex")));

  EXPECT_EQ(Run({"read", "0", "FFF", Path("img.hex")}, refuse), kExitDeviceNg);
  EXPECT_NE(err.str().find("img.hex left as it was"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace zemb::cli
