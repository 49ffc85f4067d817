// The window on the real serial backend against zembromw-sim: a close request or a
// termination signal ends a blocked operation at once and still saves the settings, and a
// writer that went away and came back is used again without touching port or speed.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <thread>

#include "ImageFormats.h"
#include "SerialChannel.h"
#include "TerminationSignals.h"
#include "UiTestSupport.h"
#include "uSetting.h"

extern char** environ;

namespace zemb::ui::test {
namespace {

#ifdef ZEMBROMW_SIM_PATH
constexpr const char* kSimPath = ZEMBROMW_SIM_PATH;
#else
constexpr const char* kSimPath = "";
#endif

using Clock = std::chrono::steady_clock;

// One simulator process, linked at a fixed path; ended and reaped when it goes.
class Sim {
 public:
  Sim(const std::string& dir, std::vector<std::string> options) {
    const std::string out = dir + "/sim.out";
    options.insert(options.begin(), kSimPath);
    std::vector<char*> argv;
    for (auto& o : options) argv.push_back(o.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    // Ready once it has printed its terminal's path.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && Clock::now() < deadline) {
      std::ifstream in(out);
      std::string line;
      if (std::getline(in, line) && !line.empty()) {
        ready_ = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ~Sim() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 500 && ::waitpid(pid_, nullptr, WNOHANG) != pid_; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  bool Ready() const { return ready_; }
  // Waits for a planned exit (--disconnect-after-lines).
  bool Exited(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
};

class WindowWithSim : public WindowTest {
 protected:
  void SetUp() override {
    if (*kSimPath == '\0') GTEST_SKIP() << "zembromw-sim is not built";
    WindowTest::SetUp();
    link_ = Path("rom-writer");
    ::setenv("ZEMBROMW_COM1", link_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("ZEMBROMW_COM1");
    WindowTest::TearDown();
  }

  // The window on the platform's serial backend, COM1 being the simulator's link.
  TForm1& MakeRealForm() {
    form_ = std::make_unique<TForm1>(CreatePlatformSerialChannel(), std::vector<std::string>{});
    form_->RadioGroup1->SetItemIndex(0);
    form_->show();
    return *form_;
  }

  // The first records of a 27256 image in the memo (2048 fill the chip), ready for WRITE.
  void FillMemo(TForm1& f, int records = 64) {
    std::vector<std::string> lines;
    for (int a = 0; a < records * 16; a += 16) {
      char rec[64];
      const unsigned sum = (0x100 - ((16 + (a >> 8) + (a & 0xFF)) & 0xFF)) & 0xFF;
      std::snprintf(rec, sizeof rec, ":10%04X0000000000000000000000000000000000%02X", a, sum);
      lines.emplace_back(rec);
    }
    lines.emplace_back(":00000001FF");
    f.Memo1->Lines()->SetLines(std::move(lines));
    f.Edit1->SetText("0000");
    f.Edit2->SetText("3FF");
  }

  std::string link_;
};

TEST_F(WindowWithSim, CloseOrSignalDuringAnOperationEndsItAndSavesTheSettings) {
  struct Case {
    const char* name;
    int signal;  // 0: the close button
  };
  const Case cases[] = {
      {"close request", 0}, {"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The writer holds the upload with XOFF for half a minute after the first record.
    Sim sim(dir_.string(), {"--link", link_, "--hold-xoff-ms", "30000"});
    ASSERT_TRUE(sim.Ready());
    ResetSettingsForTesting();
    TForm1& f = MakeRealForm();
    CloseOnTerminationSignals(&f);
    // More text than a pseudo-terminal buffers: a simulator too starved to send its XOFF
    // in time cannot let the whole image through, so the upload is still running when the
    // close comes (its XOFF would otherwise be read as a one-byte answer and end the write).
    FillMemo(f, 2048);
    f.Edit2->SetText("3F0");
    QTimer::singleShot(300, &f, [&f, signal = c.signal] {
      if (signal == 0) {
        f.close();
      } else {
        ::raise(signal);
      }
    });
    const auto start = Clock::now();
    RunGuarded([&f] { f.Button5Click(f.Button5); });
    const auto took = Clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(5));  // the hold would have lasted 30 s
    // The silent abort leaves the busy texts in place.
    EXPECT_EQ(f.Button3->Caption(), "...");
    EXPECT_EQ(f.Caption(), " 書込中 ...");
    for (int i = 0; i < 20 && f.isVisible(); ++i) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(f.isVisible());
    form_.reset();
    ShutdownSettings();
    EXPECT_NE(ReadFile(SettingsFile()).find("@Form1.Edit2=3F0"), std::string::npos)
        << ReadFile(SettingsFile());
    std::filesystem::remove(SettingsFile());
  }
}

// An S-record file loaded through the File button is written to the simulated chip at its
// own addresses: what the chip then holds is the file's bytes, read back by the simulator's
// own dump at exit.
TEST_F(WindowWithSim, AnSRecordFileIsWrittenToTheChipAsItsBytes) {
  if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat is not installed";
  std::string program;
  for (int i = 0; i < 700; ++i) program += static_cast<char>((i * 7 + 3) & 0xFF);
  const std::string bin = WriteFile("prog.bin", program);
  const std::string s19 = Path("prog.s19");
  ASSERT_EQ(std::system(
                ("srec_cat " + bin + " -binary -offset 0x1000 -o " + s19 + " -motorola 2>/dev/null")
                    .c_str()),
            0);
  const std::string dump = Path("chip.hex");
  {
    Sim sim(dir_.string(), {"--link", link_, "--burn-ms", "0", "--dump", dump});
    ASSERT_TRUE(sim.Ready());
    TForm1& f = MakeRealForm();
    ScriptDialog(f.OpenDialog1, {s19});
    f.Button7->click();
    ASSERT_TRUE(reporter_.messages.empty()) << reporter_.messages.front();
    RunGuarded([&f] { f.Button5Click(f.Button5); });
    EXPECT_EQ(f.Button3->Caption(), "WriteOK");
    EXPECT_EQ(f.Caption(), "RW OK");
    form_.reset();
  }  // the simulator writes its dump as it ends
  SparseImage chip;
  ImageError error;
  ASSERT_TRUE(ReadIntelHex(ReadFile(dump), chip, error)) << error.Text();
  const auto bytes = chip.Flatten(0x1000, 0x1000 + static_cast<uint32_t>(program.size()) - 1);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), program);
}

TEST_F(WindowWithSim, AWriterThatCameBackIsUsedWithoutTouchingPortOrSpeed) {
  struct Case {
    const char* name;
    bool midUpload;  // else it went away between two commands, with the port open
  };
  const Case cases[] = {{"gone during an upload", true}, {"gone while idle", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TForm1* f = nullptr;
    {
      std::vector<std::string> options{"--link", link_};
      if (c.midUpload) options.insert(options.end(), {"--disconnect-after-lines", "5"});
      Sim first(dir_.string(), options);
      ASSERT_TRUE(first.Ready());
      f = &MakeRealForm();
      FillMemo(*f);
      if (c.midUpload) {
        const auto start = Clock::now();
        RunGuarded([f] { f->Button5Click(f->Button5); });
        EXPECT_EQ(f->Button3->Caption(), "WriteNG");
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
        EXPECT_TRUE(first.Exited(std::chrono::seconds(10)));
      } else {
        RunGuarded([f] { f->Button1Click(f->Button1); });
        ASSERT_EQ(f->Button1->Caption(), "チェックOK");
      }
    }
    Sim second(dir_.string(), {"--link", link_});
    ASSERT_TRUE(second.Ready());
    // The very first press after the writer is back works.
    RunGuarded([f] { f->Button1Click(f->Button1); });
    EXPECT_EQ(f->Button1->Caption(), "チェックOK");
    EXPECT_EQ(f->Caption(), "RB OK");
    RunGuarded([f] { f->Button5Click(f->Button5); });
    EXPECT_EQ(f->Button3->Caption(), "WriteOK");
    form_.reset();
  }
}

}  // namespace
}  // namespace zemb::ui::test
