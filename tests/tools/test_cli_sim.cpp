// zembromw-cli run as a program against zembromw-sim on a pseudo-terminal: every command,
// a full 27256 round trip, XOFF pacing, the simulator's fault switches and a line that
// goes away mid-upload.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "FileIO.h"
#include "TStrings.h"

extern char** environ;

namespace {

#if defined(ZEMBROMW_SIM_PATH) && defined(ZEMBROMW_CLI_PATH)
constexpr bool kToolsBuilt = true;
constexpr const char* kSimPath = ZEMBROMW_SIM_PATH;
constexpr const char* kCliPath = ZEMBROMW_CLI_PATH;
#else
constexpr bool kToolsBuilt = false;
constexpr const char* kSimPath = "";
constexpr const char* kCliPath = "";
#endif

using Clock = std::chrono::steady_clock;

std::string ReadFileText(const std::string& path) {
  std::string bytes;
  zemb::ReadWholeFile(path, bytes);
  return bytes;
}

void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<char*> ArgvOf(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

// Starts a program with its standard streams on files; returns its pid or -1.
pid_t Spawn(std::vector<std::string> args, const std::string& inPath, const std::string& outPath,
            const std::string& errPath, char** env = environ) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  auto argv = ArgvOf(args);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Waits for pid up to timeout; -1 when it is still running afterwards.
int WaitFor(pid_t pid, std::chrono::milliseconds timeout, struct rusage* usage = nullptr) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t r = wait4(pid, &status, WNOHANG, usage);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (r < 0) return -2;
    if (Clock::now() > deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void KillAndReap(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  if (WaitFor(pid, std::chrono::milliseconds(3000)) == -1) {
    ::kill(pid, SIGKILL);
    WaitFor(pid, std::chrono::milliseconds(3000));
  }
}

// A simulator on its own pty for the length of one test; it is always ended and reaped.
class Simulator {
 public:
  Simulator(const std::string& dir, std::vector<std::string> options) : dir_(dir) {
    options.insert(options.begin(), kSimPath);
    outPath_ = dir + "/sim.out";
    pid_ = Spawn(options, "/dev/null", outPath_, dir + "/sim.err");
    if (pid_ <= 0) return;
    // The first line on its standard output is the pty path.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
      const std::string text = ReadFileText(outPath_);
      const size_t nl = text.find('\n');
      if (nl != std::string::npos) {
        pty_ = text.substr(0, nl);
        return;
      }
      if (WaitFor(pid_, std::chrono::milliseconds(0)) >= 0) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ~Simulator() { KillAndReap(pid_); }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  const std::string& Pty() const { return pty_; }
  bool Ready() const { return pid_ > 0 && !pty_.empty(); }
  // Asks the simulator to end (it writes its dump then) and waits for it.
  bool Stop() {
    if (pid_ <= 0) return false;
    ::kill(pid_, SIGTERM);
    const int rc = WaitFor(pid_, std::chrono::milliseconds(5000));
    if (rc == -1) return false;
    pid_ = -1;
    return true;
  }
  std::string Errors() const { return ReadFileText(dir_ + "/sim.err"); }

 private:
  std::string dir_;
  std::string outPath_;
  std::string pty_;
  pid_t pid_ = -1;
};

struct CliResult {
  int exitCode = -1;
  std::string out;
  std::string err;
  long maxRssKb = 0;

  // The last line on standard error: the component's Status.
  std::string Status() const {
    std::string text = err;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const size_t nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
  }
};

std::ostream& operator<<(std::ostream& os, const CliResult& r) {
  return os << "exit " << r.exitCode << "\nstderr:\n" << r.err;
}

// One record per 16 bytes, as a 27256 image file with its header lines.
std::string MakeImageFile(const std::vector<uint8_t>& data, uint32_t base, bool headers = true) {
  std::string text;
  char line[80];
  if (headers) {
    std::snprintf(line, sizeof line, ";MinAdr=%04X\r\n;MaxAdr=%04X\r\n;Type=8\r\n", base,
                  static_cast<unsigned>(base + data.size() - 1));
    text += line;
  }
  for (size_t off = 0; off < data.size(); off += 16) {
    const size_t n = std::min<size_t>(16, data.size() - off);
    const uint32_t addr = base + static_cast<uint32_t>(off);
    unsigned sum = static_cast<unsigned>(n) + (addr >> 8 & 0xFF) + (addr & 0xFF);
    std::snprintf(line, sizeof line, ":%02X%04X00", static_cast<unsigned>(n), addr & 0xFFFF);
    text += line;
    for (size_t i = 0; i < n; ++i) {
      std::snprintf(line, sizeof line, "%02X", data[off + i]);
      text += line;
      sum += data[off + i];
    }
    std::snprintf(line, sizeof line, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    text += line;
  }
  return text + ":00000001FF\r\n";
}

// The data records of a HEX text as address -> byte (16-bit addresses with type 04 bases).
std::map<uint32_t, uint8_t> ParseHex(const std::string& text) {
  std::map<uint32_t, uint8_t> bytes;
  uint32_t upper = 0;
  for (const std::string& raw : zemb::SplitLines(text)) {
    const size_t colon = raw.find(':');
    if (colon == std::string::npos) continue;
    const std::string l = raw.substr(colon + 1);
    if (l.size() < 10) continue;
    const auto byteAt = [&](size_t i) {
      return static_cast<uint8_t>(std::stoul(l.substr(i * 2, 2), nullptr, 16));
    };
    const unsigned n = byteAt(0);
    const uint32_t addr = static_cast<uint32_t>(byteAt(1)) << 8 | byteAt(2);
    const unsigned type = byteAt(3);
    if (l.size() < (5 + n) * 2) continue;
    if (type == 0) {
      for (unsigned i = 0; i < n; ++i) bytes[upper + addr + i] = byteAt(4 + i);
    } else if (type == 4 && n == 2) {
      upper = (static_cast<uint32_t>(byteAt(4)) << 8 | byteAt(5)) << 16;
    } else if (type == 2 && n == 2) {
      upper = (static_cast<uint32_t>(byteAt(4)) << 8 | byteAt(5)) << 4;
    }
  }
  return bytes;
}

std::vector<uint8_t> RandomImage(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> data(size);
  // Never all 0xFF, so that a programmed range is never blank.
  for (auto& b : data) b = static_cast<uint8_t>(rng() % 0xFF);
  return data;
}

class CliAgainstSimulator : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kToolsBuilt) GTEST_SKIP() << "zembromw-sim or zembromw-cli is not built";
    char pattern[] = "/tmp/zembromw_cli_sim_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    sim_.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  Simulator& StartSim(std::vector<std::string> options) {
    sim_ = std::make_unique<Simulator>(dir_, std::move(options));
    EXPECT_TRUE(sim_->Ready()) << sim_->Errors();
    return *sim_;
  }

  // Runs the CLI on the simulator's pty; a run that outlives the timeout is killed and
  // fails the test.
  CliResult Cli(std::vector<std::string> args,
                std::chrono::seconds timeout = std::chrono::seconds(60), bool onSimPort = true,
                char** env = environ) {
    if (onSimPort) {
      args.insert(args.begin(), sim_->Pty());
      args.insert(args.begin(), "--port");
    }
    args.insert(args.begin(), kCliPath);
    CliResult result;
    const pid_t pid = Spawn(args, "/dev/null", Path("cli.out"), Path("cli.err"), env);
    EXPECT_GT(pid, 0);
    if (pid <= 0) return result;
    struct rusage usage {};
    result.exitCode = WaitFor(pid, timeout, &usage);
    if (result.exitCode == -1) {
      KillAndReap(pid);
      ADD_FAILURE() << "zembromw-cli did not finish within " << timeout.count() << " s";
    }
    result.maxRssKb = usage.ru_maxrss;
    result.out = ReadFileText(Path("cli.out"));
    result.err = ReadFileText(Path("cli.err"));
    return result;
  }

  std::string dir_;
  std::unique_ptr<Simulator> sim_;
};

TEST_F(CliAgainstSimulator, TypeAndBlankCheck) {
  StartSim({"--burn-ms", "0"});
  const CliResult type = Cli({"type", "08"});
  EXPECT_EQ(type.exitCode, 0) << type;
  EXPECT_EQ(type.out.rfind("RT OK", 0), 0u) << type.out;
  EXPECT_EQ(type.Status().rfind("RT OK", 0), 0u);

  const CliResult blank = Cli({"blank", "0", "7FFF"});
  EXPECT_EQ(blank.exitCode, 0) << blank;
  EXPECT_EQ(blank.Status().rfind("RB OK", 0), 0u) << blank;
}

TEST_F(CliAgainstSimulator, FullProgramReadBackAndCompareOf27256) {
  StartSim({"--burn-ms", "0"});
  const auto data = RandomImage(0x8000, 256);
  const std::string image = Path("image.hex");
  WriteFileText(image, MakeImageFile(data, 0));

  const CliResult program = Cli({"-q", "program", image});
  ASSERT_EQ(program.exitCode, 0) << program;
  EXPECT_EQ(program.Status().substr(3, 2), "OK");

  // The range is no longer blank: a blank check and a second program are refused.
  const CliResult blank = Cli({"blank", "0", "7FFF"});
  EXPECT_EQ(blank.exitCode, 1) << blank;
  EXPECT_EQ(blank.Status().rfind("RB NG", 0), 0u) << blank;
  // Status is the line after the refused blank check, not the refusal itself.
  const CliResult again = Cli({"program", image});
  EXPECT_EQ(again.exitCode, 1) << again;
  EXPECT_EQ(again.Status().rfind("RP NG", 0), 0u) << again;

  const std::string readBack = Path("read.hex");
  const CliResult read = Cli({"read", "0", "7fff", readBack});
  ASSERT_EQ(read.exitCode, 0) << read;
  EXPECT_EQ(read.Status().rfind("RR OK", 0), 0u);
  const auto chip = ParseHex(ReadFileText(readBack));
  ASSERT_EQ(chip.size(), data.size());
  for (const auto& [addr, byte] : chip) {
    ASSERT_LT(addr, data.size());
    ASSERT_EQ(byte, data[addr]) << "at " << addr;
  }

  // The read-back file carries no header lines, so the range is given.
  const CliResult same = Cli({"compare", readBack, "0", "7FFF"});
  EXPECT_EQ(same.exitCode, 0) << same;
  EXPECT_EQ(same.Status().rfind("RC OK", 0), 0u);
  const CliResult original = Cli({"compare", image});
  EXPECT_EQ(original.exitCode, 0) << original;

  // One byte changed, its record's checksum kept valid.
  auto changed = data;
  changed[0x4321] ^= 0x01;
  const std::string changedPath = Path("changed.hex");
  WriteFileText(changedPath, MakeImageFile(changed, 0));
  const CliResult differs = Cli({"compare", changedPath});
  EXPECT_EQ(differs.exitCode, 1) << differs;
  // The device's "RC NG ..." stops the upload; its "R" is taken as the error letter.
  EXPECT_EQ(differs.Status().rfind("C NG", 0), 0u) << differs;
}

TEST_F(CliAgainstSimulator, WriteWithoutBlankCheckAndReadToStandardOutput) {
  StartSim({"--burn-ms", "0"});
  const auto data = RandomImage(0x100, 7);
  const std::string image = Path("small.hex");
  WriteFileText(image, MakeImageFile(data, 0x200, false));

  // Without header lines or a range the data's own range is written.
  const CliResult write = Cli({"write", image});
  ASSERT_EQ(write.exitCode, 0) << write;
  EXPECT_EQ(write.Status().rfind("RW OK", 0), 0u);

  const CliResult read = Cli({"-q", "read", "200", "2FF", "-"});
  ASSERT_EQ(read.exitCode, 0) << read;
  const auto chip = ParseHex(read.out);
  ASSERT_EQ(chip.size(), data.size());
  EXPECT_EQ(chip.begin()->first, 0x200u);
  EXPECT_EQ(chip.rbegin()->second, data.back());
}

TEST_F(CliAgainstSimulator, ProgramIsPacedByXoff) {
  // The simulator stops pacing once the end record is in hand, so the upload must be more
  // than a pseudo-terminal buffers (64 KiB of line buffer and 4 KiB of line discipline at
  // most): however late the simulator gets to read, its first read then lacks the end
  // record, and the first record it burns sends XOFF.
  const std::string log = Path("sim.log");
  StartSim({"--burn-ms", "0", "--burn-us-per-byte", "10", "--log", log});
  const auto data = RandomImage(0x8000, 3);
  const std::string image = Path("paced.hex");
  const std::string text = MakeImageFile(data, 0);
  ASSERT_GT(text.size(), size_t{68} * 1024);
  WriteFileText(image, text);

  const CliResult program = Cli({"program", image});
  ASSERT_EQ(program.exitCode, 0) << program;
  const CliResult compare = Cli({"compare", image});
  EXPECT_EQ(compare.exitCode, 0) << compare;
  sim_->Stop();
  const std::string transcript = ReadFileText(log);
  EXPECT_NE(transcript.find("\\x13"), std::string::npos) << transcript.substr(0, 2000);
}

TEST_F(CliAgainstSimulator, WriteAndCompareOnALineOf9600Baud) {
  // The host on a pseudo-terminal runs far ahead of the simulated line; the answer after
  // the last image line must still arrive within the 100 ms the host allows between bytes.
  StartSim({"--baud", "9600", "--burn-ms", "0"});
  const std::string image = Path("paced9600.hex");
  WriteFileText(image, MakeImageFile(RandomImage(0x200, 11), 0));
  const CliResult write = Cli({"write", image});
  EXPECT_EQ(write.exitCode, 0) << write;
  EXPECT_EQ(write.Status(), "RW OK");
  const CliResult compare = Cli({"compare", image});
  EXPECT_EQ(compare.exitCode, 0) << compare;
  EXPECT_EQ(compare.Status(), "RC OK");
}

TEST_F(CliAgainstSimulator, SilentDeviceIsNoHandshake) {
  StartSim({"--silent"});
  const CliResult r = Cli({"blank", "0", "FFF"});
  EXPECT_EQ(r.exitCode, 3) << r;
  EXPECT_EQ(r.Status(), "");
}

TEST_F(CliAgainstSimulator, LateAnswersWithinTheTimeoutsStillSucceed) {
  StartSim({"--delay-ms", "700", "--burn-ms", "0"});
  EXPECT_EQ(Cli({"type", "08"}).exitCode, 0);
  const CliResult r = Cli({"blank", "0", "FFF"});
  EXPECT_EQ(r.exitCode, 0) << r;
  EXPECT_EQ(r.Status().rfind("RB OK", 0), 0u);
}

TEST_F(CliAgainstSimulator, RejectedTypeStopsEveryCommandBeforeTheChipIsTouched) {
  const std::string log = Path("reject.log");
  StartSim({"--reject-type", "--burn-ms", "0", "--log", log});
  const CliResult type = Cli({"type", "08"});
  EXPECT_EQ(type.exitCode, 1) << type;
  EXPECT_EQ(type.out, "");
  EXPECT_EQ(type.Status().rfind("RT NG", 0), 0u) << type;

  const std::string image = Path("reject.hex");
  WriteFileText(image, MakeImageFile(RandomImage(0x100, 4), 0));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-t", "08", "program", image},
        std::vector<std::string>{"blank", "0", "FFF"}}) {
    const CliResult r = Cli(args);
    EXPECT_EQ(r.exitCode, 1) << r;
    EXPECT_NE(r.err.find("did not accept type 08 (answer: \"RT NG rejected\")"), std::string::npos)
        << r;
  }
  sim_->Stop();
  const std::string transcript = ReadFileText(log);
  EXPECT_EQ(transcript.find("< RP"), std::string::npos) << transcript;
  EXPECT_EQ(transcript.find("< RB"), std::string::npos) << transcript;
}

TEST_F(CliAgainstSimulator, LineFeedsAfterCarriageReturnsAreStripped) {
  StartSim({"--lf", "--burn-ms", "0"});
  const auto data = RandomImage(0x200, 11);
  const std::string image = Path("lf.hex");
  WriteFileText(image, MakeImageFile(data, 0));
  ASSERT_EQ(Cli({"program", image}).exitCode, 0);

  const std::string readBack = Path("lf_read.hex");
  const CliResult read = Cli({"read", "0", "1FF", readBack});
  ASSERT_EQ(read.exitCode, 0) << read;
  EXPECT_EQ(read.Status().rfind("RR OK", 0), 0u);
  const std::string text = ReadFileText(readBack);
  // Only the line ends of the file itself remain: no LF of the device's lines is stored.
  for (const std::string& line : zemb::SplitLines(text)) {
    if (line[0] != ';') {
      EXPECT_EQ(line.rfind(':', 0), 0u) << line;
    }
  }
  size_t crlf = 0;
  for (size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++crlf;
  EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), crlf);
  EXPECT_EQ(ParseHex(text).size(), data.size());
  EXPECT_EQ(Cli({"compare", readBack, "0", "1FF"}).exitCode, 0);
}

TEST_F(CliAgainstSimulator, OneBlankLineBeforeTheReadAnswerIsTolerated) {
  StartSim({"--blank-before-ok", "1", "--burn-ms", "0"});
  const CliResult r = Cli({"read", "0", "FF", Path("one.hex")});
  EXPECT_EQ(r.exitCode, 0) << r;
  EXPECT_EQ(r.Status().rfind("RR OK", 0), 0u);
  EXPECT_EQ(ParseHex(ReadFileText(Path("one.hex"))).size(), 0x100u);
}

TEST_F(CliAgainstSimulator, TwoBlankLinesFailTheReadAndKeepTheFile) {
  StartSim({"--blank-before-ok", "2", "--burn-ms", "0"});
  const std::string out = Path("keep.hex");
  WriteFileText(out, "precious\r\n");
  const CliResult r = Cli({"read", "0", "FF", out});
  EXPECT_EQ(r.exitCode, 1) << r;
  EXPECT_EQ(r.Status(), "");
  EXPECT_EQ(ReadFileText(out), "precious\r\n");
}

TEST_F(CliAgainstSimulator, PauseInTheReadDataEndsItEarly) {
  StartSim({"--read-pause-ms", "400", "--read-pause-at", "4", "--burn-ms", "0"});
  const std::string out = Path("paused.hex");
  WriteFileText(out, "precious\r\n");
  const CliResult r = Cli({"read", "0", "FFF", out});
  EXPECT_EQ(r.exitCode, 1) << r;
  EXPECT_EQ(r.Status(), "");  // the gap, then nothing within 100 ms
  EXPECT_EQ(ReadFileText(out), "precious\r\n");
}

TEST_F(CliAgainstSimulator, XoffHeldPastTheLimitEndsTheUpload) {
  StartSim({"--hold-xoff-ms", "8000", "--burn-ms", "1"});
  const std::string image = Path("held.hex");
  WriteFileText(image, MakeImageFile(RandomImage(0x100, 5), 0));
  const CliResult r = Cli({"program", image});
  EXPECT_EQ(r.exitCode, 1) << r;
  EXPECT_EQ(r.Status(), "");  // the late XON is the only byte that follows
}

TEST_F(CliAgainstSimulator, LineClosedMidUploadNeitherHangsNorTouchesTheFile) {
  StartSim({"--disconnect-after-lines", "20", "--burn-ms", "0"});
  const std::string image = Path("cut.hex");
  WriteFileText(image, MakeImageFile(RandomImage(0x1000, 9), 0));
  const std::string before = ReadFileText(image);
  const CliResult r = Cli({"program", image}, std::chrono::seconds(90));
  EXPECT_EQ(r.exitCode, 3) << r;  // the port could no longer be written
  EXPECT_EQ(r.Status(), "");
  EXPECT_EQ(ReadFileText(image), before);
}

TEST_F(CliAgainstSimulator, PortNamesThatCannotBeOpened) {
  const CliResult longName = Cli({"--port", "/dev/" + std::string(130, 'x'), "blank", "0", "FFF"},
                                 std::chrono::seconds(30), false);
  EXPECT_EQ(longName.exitCode, 3) << longName;
  EXPECT_NE(longName.err.find("cannot open port"), std::string::npos);

  const CliResult missing = Cli({"--port", Path("no-such-tty"), "read", "0", "FFF", Path("x.hex")},
                                std::chrono::seconds(30), false);
  EXPECT_EQ(missing.exitCode, 3) << missing;
  EXPECT_FALSE(std::filesystem::exists(Path("x.hex")));
}

TEST_F(CliAgainstSimulator, ComNameMapsThroughTheEnvironment) {
  StartSim({"--burn-ms", "0"});
  std::vector<std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("ZEMBROMW_COM2=", 0) != 0) vars.emplace_back(*e);
  }
  vars.push_back("ZEMBROMW_COM2=" + sim_->Pty());
  std::vector<char*> env;
  for (auto& v : vars) env.push_back(v.data());
  env.push_back(nullptr);
  const CliResult r =
      Cli({"-p", "COM2", "blank", "0", "FFF"}, std::chrono::seconds(30), false, env.data());
  EXPECT_EQ(r.exitCode, 0) << r;
}

// The standard streams and the file size limit of a real run: output that cannot be written
// is a failure, a closed standard output cannot become the port, and a full disk leaves the
// old file and no temporary one.
TEST_F(CliAgainstSimulator, OutputThatCannotBeWrittenFailsTheRun) {
  StartSim({"--burn-ms", "0", "--log", Path("sim.log")});
  // Runs the CLI with standard output on outPath, or closed when outPath is empty.
  auto run = [&](std::vector<std::string> args, const std::string& outPath) {
    args.insert(args.begin(), {kCliPath, "--port", sim_->Pty()});
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outPath.empty()) {
      posix_spawn_file_actions_addclose(&actions, 1);
    } else {
      posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, Path("cli.err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    auto argv = ArgvOf(args);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    CliResult result;
    result.exitCode = WaitFor(pid, std::chrono::seconds(60));
    result.err = ReadFileText(Path("cli.err"));
    return result;
  };

  const CliResult full = run({"type", "08"}, "/dev/full");
  EXPECT_EQ(full.exitCode, 2) << full;
  EXPECT_NE(full.err.find("cannot write standard output"), std::string::npos) << full;

  // With standard output closed the port must not take its place (the read's lines would
  // go to the device), and what is written there is lost: a read is refused before the
  // device is asked, and any other output is a failed write.
  const CliResult closed = run({"read", "0", "FF", "-"}, "");
  EXPECT_EQ(closed.exitCode, 2) << closed;
  EXPECT_NE(closed.err.find("cannot write standard output; nothing was read"), std::string::npos)
      << closed;
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"type", "08"}, {"types"}, {"--help"}}) {
    const CliResult lost = run(args, "");
    EXPECT_EQ(lost.exitCode, 2) << args[0] << lost;
  }
  std::istringstream log(ReadFileText(Path("sim.log")));
  for (std::string line; std::getline(log, line);) {
    const bool fromHost = line.find(" < ") != std::string::npos;
    EXPECT_FALSE(fromHost && line.find(":10000000") != std::string::npos) << line;
  }

  // A file size limit, inherited by the child, stands in for a full disk.
  const std::string target = Path("old.hex");
  WriteFileText(target, "old\r\n");
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::vector<std::string> args = {kCliPath, "--port", sim_->Pty(), "read", "0", "7FFF", target};
  const pid_t pid = Spawn(args, "/dev/null", "/dev/null", Path("cli.err"));
  setrlimit(RLIMIT_FSIZE, &saved);
  const int code = WaitFor(pid, std::chrono::seconds(60));
  const std::string err = ReadFileText(Path("cli.err"));
  EXPECT_EQ(code, 2) << err;
  EXPECT_NE(err.find("File too large"), std::string::npos) << err;
  EXPECT_EQ(ReadFileText(target), "old\r\n");
  for (const auto& e : std::filesystem::directory_iterator(dir_)) {
    EXPECT_EQ(e.path().filename().string().find(".zembromw"), std::string::npos) << e.path();
  }
}

// Runs a shell command; true when it exits 0.
bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

TEST_F(CliAgainstSimulator, RoundTripsThroughEveryImageFormat) {
  if (!Shell("command -v srec_cat >/dev/null")) GTEST_SKIP() << "srec_cat (srecord) is missing";
  const auto data = RandomImage(0x2000, 77);
  const std::string bin = Path("data.bin");
  WriteFileText(bin, std::string(data.begin(), data.end()));
  // The reference files come from an independent tool.
  ASSERT_TRUE(
      Shell("srec_cat " + bin + " -binary -offset 0x1000 -o " + Path("data.s19") + " -motorola"));
  ASSERT_TRUE(
      Shell("srec_cat " + bin + " -binary -offset 0x1000 -o " + Path("data.hex") + " -intel"));

  const std::vector<std::vector<std::string>> writes = {{"program", "--base", "1000", bin},
                                                        {"program", Path("data.s19")},
                                                        {"program", Path("data.hex")}};
  for (const auto& args : writes) {
    const std::string dump = Path("dump.hex");
    StartSim({"--burn-ms", "0", "--dump", dump});
    const CliResult program = Cli(args);
    ASSERT_EQ(program.exitCode, 0) << program;
    ASSERT_TRUE(sim_->Stop());
    const auto chip = ParseHex(ReadFileText(dump));
    for (uint32_t a = 0; a < 0x8000; ++a) {
      const uint8_t expected = a >= 0x1000 && a < 0x3000 ? data[a - 0x1000] : 0xFF;
      ASSERT_EQ(chip.at(a), expected) << args.back() << " at " << a;
    }
  }

  // The chip the last write left, read back in each format: the independent tool reads every
  // file back to the same bytes, and each compares with no range given.
  StartSim({"--burn-ms", "0", "--image", Path("data.hex")});
  std::string sums;
  for (const char* name : {"read.hex", "read.s19", "read.bin"}) {
    const std::string file = Path(name);
    const CliResult read = Cli({"read", "1000", "2FFF", file});
    ASSERT_EQ(read.exitCode, 0) << read;
    const size_t at = read.err.find("read 01000-02FFF, 8192 data bytes, crc32 ");
    ASSERT_NE(at, std::string::npos) << read;
    const std::string line = read.err.substr(at, read.err.find('\n', at) - at);
    if (sums.empty()) sums = line;
    EXPECT_EQ(line, sums);

    const std::string back = Path("back.bin");
    const std::string in = std::string(name) == "read.bin" ? file + " -binary -offset 0x1000"
                           : std::string(name) == "read.s19"
                               ? file + " -motorola"
                               : "'(' " + Path("plain.hex") + " -intel ')'";
    if (std::string(name) == "read.hex") {
      ASSERT_TRUE(Shell("grep -v '^;' " + file + " > " + Path("plain.hex")));
      EXPECT_EQ(ReadFileText(file).rfind(";MinAdr=1000\r\n;MaxAdr=2FFF\r\n;Type=8\r\n", 0), 0u);
    }
    ASSERT_TRUE(Shell("srec_cat " + in + " -offset -0x1000 -o " + back + " -binary")) << name;
    EXPECT_EQ(ReadFileText(back), ReadFileText(bin)) << name;

    // A binary file has no addresses of its own: its base is given again.
    const bool raw = std::string(name) == "read.bin";
    const CliResult compare = Cli(raw ? std::vector<std::string>{"--base", "1000", "compare", file}
                                      : std::vector<std::string>{"compare", file});
    EXPECT_EQ(compare.exitCode, 0) << name << compare;
    const CliResult info = Cli(raw ? std::vector<std::string>{"--base", "1000", "info", file}
                                   : std::vector<std::string>{"info", file},
                               std::chrono::seconds(10), false);
    EXPECT_NE(info.out.find(line.substr(5)), std::string::npos) << info.out;
  }
}

// A chip type known from -t or the image's ;Type line: what reaches past its capacity is
// refused before the port is opened, unless --force sends it.
TEST_F(CliAgainstSimulator, FitIsCheckedBeforeAnythingIsSentAndForceSendsAnyway) {
  const std::string log = Path("sim.log");
  StartSim({"--burn-ms", "0", "--log", log});
  const auto data = RandomImage(0xA000, 5);
  const std::string big = Path("big.bin");
  WriteFileText(big, std::string(data.begin(), data.end()));
  const std::string typed = Path("typed.hex");  // ;Type=8, data up to 0x9FFF
  WriteFileText(typed, MakeImageFile(data, 0));
  const std::string small = Path("small.bin");
  WriteFileText(small, std::string(data.begin(), data.begin() + 0x4000));
  const std::string beyond = "beyond the 32 KiB of a 27256 t2: 0x0000-0x7FFF";
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string message;
    bool sent;
  };
  const Case cases[] = {
      {{"-t", "08", "program", big}, 2, "big.bin: data up to 0x9FFF, " + beyond, false},
      {{"compare", typed}, 2, "typed.hex: data up to 0x9FFF, " + beyond, false},
      {{"-t", "08", "write", small, "0", "FFFF"},
       2,
       "the range 0x0000-0xFFFF reaches " + beyond + "; --force sends it anyway",
       false},
      // A type that holds it, and a shaping that leaves only what fits.
      {{"-t", "09", "write", big}, 0, "", true},
      {{"-t", "08", "--crop", "0", "7FFF", "write", big}, 0, "", true},
      // The writer itself refuses what lies past the chip; --force only lets it try.
      {{"-t", "08", "--force", "write", big},
       1,
       "warning: " + big + ": data up to 0x9FFF, " + beyond + "; sent anyway (--force)",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const size_t logged = ReadFileText(log).size();
    const CliResult r = Cli(c.args);
    EXPECT_EQ(r.exitCode, c.exit) << r;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r;
    EXPECT_EQ(ReadFileText(log).size() != logged, c.sent) << ReadFileText(log).substr(logged);
  }
}

// A 16-bit ROM set: one 128 KiB image split into the even and the odd 64 KiB chip, each
// programmed into its own writer, read back and merged into the original bytes.
TEST_F(CliAgainstSimulator, SplitSixteenBitImageProgramsTwoChipsThatMergeBack) {
  const auto data = RandomImage(0x20000, 16);
  const std::string image = Path("rom16.bin");
  WriteFileText(image, std::string(data.begin(), data.end()));
  std::vector<std::string> dumps;
  for (const char* lane : {"0", "1"}) {
    const std::string dir = Path(std::string("chip") + lane);
    std::filesystem::create_directory(dir);
    Simulator chip(dir, {"--burn-ms", "0", "--type", "09"});
    ASSERT_TRUE(chip.Ready()) << chip.Errors();
    const CliResult program = Cli(
        {"-q", "-p", chip.Pty(), "-t", "09", "--split", std::string("2:") + lane, "program", image},
        std::chrono::seconds(120), false);
    ASSERT_EQ(program.exitCode, 0) << program;
    dumps.push_back(dir + "/chip.hex");
    const CliResult read =
        Cli({"-q", "-p", chip.Pty(), "-t", "09", "read", "0", "FFFF", dumps.back()},
            std::chrono::seconds(120), false);
    ASSERT_EQ(read.exitCode, 0) << read;
  }
  const std::string merged = Path("merged.bin");
  const CliResult merge =
      Cli({"merge", merged, dumps[0], dumps[1]}, std::chrono::seconds(30), false);
  ASSERT_EQ(merge.exitCode, 0) << merge;
  EXPECT_EQ(ReadFileText(merged), std::string(data.begin(), data.end()));
}

// A read stopped by Ctrl-C leaves the writer sending the rest of the range; the next
// command waits it out and says so, instead of finding no answer to its handshake.
TEST_F(CliAgainstSimulator, NextCommandDrainsAReadThatWasInterrupted) {
  const auto data = RandomImage(0x2000, 9);
  const std::string image = Path("chip.bin");
  WriteFileText(image, std::string(data.begin(), data.end()));
  // 9600 bytes a second: the 8 KiB read takes about 2.3 s.
  StartSim({"--baud", "96000", "--image", image});
  const pid_t read = Spawn({kCliPath, "-p", sim_->Pty(), "read", "0", "1FFF", Path("r.hex")},
                           "/dev/null", Path("read.out"), Path("read.err"));
  ASSERT_GT(read, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ::kill(read, SIGINT);
  EXPECT_EQ(WaitFor(read, std::chrono::seconds(10)), 128 + SIGINT)
      << ReadFileText(Path("read.err"));
  const CliResult blank = Cli({"blank", "2000", "2FFF"});
  EXPECT_EQ(blank.exitCode, 0) << blank;
  EXPECT_NE(blank.err.find("the device was still sending ("), std::string::npos) << blank;
  EXPECT_EQ(blank.err.find("no answer to the handshake"), std::string::npos) << blank;
  EXPECT_EQ(blank.Status().rfind("RB OK", 0), 0u) << blank;
}

// Each shaping option as the command line takes it gives what the independent tool gives
// for the same operation, on a sparse image of odd sizes that does not start at 0.
TEST_F(CliAgainstSimulator, ConvertShapesAsTheIndependentToolDoes) {
  if (!Shell("command -v srec_cat >/dev/null && command -v srec_cmp >/dev/null")) {
    GTEST_SKIP() << "srec_cat (srecord) is missing";
  }
  const auto low = RandomImage(0x1001, 31);
  const auto high = RandomImage(0x21, 32);
  const std::string in = Path("in.hex");
  std::string text = MakeImageFile(low, 0x8000, false);
  text.erase(text.rfind(":00000001FF"));  // one end record, after both parts
  WriteFileText(in, text + MakeImageFile(high, 0x9100, false));
  struct Case {
    std::vector<std::string> options;
    std::string reference;  // srec_cat's filters for the same result
  };
  const Case cases[] = {
      {{"--offset", "-8000"}, "-offset -0x8000"},
      {{"--offset", "+10"}, "-offset 0x10"},
      {{"--crop", "8100", "90FF"}, "-crop 0x8100 0x9100"},
      {{"--swap"}, "-byte-swap 2"},
      {{"--split", "2:1"}, "-split 2 1 1"},
      {{"--split", "2:0:2"}, "-split 4 0 2"},
      {{"--split", "4:3"}, "-split 4 3 1"},
      {{"--fill", "5A"}, "-fill 0x5A 0x8000 0x9121"},
      // The fixed order, whatever the order given: offset, then crop, then swap.
      {{"--swap", "--crop", "0", "FFF", "--offset", "-8000"},
       "-offset -0x8000 -crop 0 0x1000 -byte-swap 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    const std::string ours = Path("ours.s19");
    const std::string theirs = Path("theirs.s19");
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"convert", in, ours});
    const CliResult r = Cli(args, std::chrono::seconds(30), false);
    ASSERT_EQ(r.exitCode, 0) << r;
    ASSERT_TRUE(
        Shell("srec_cat " + in + " -intel " + c.reference + " -o " + theirs + " -motorola"));
    EXPECT_TRUE(Shell("srec_cmp " + ours + " " + theirs + " >/dev/null")) << ReadFileText(ours);
  }
}

// A failed compare with --diff: the simulator's chip differs from the file in known places,
// and the report names them, counts them and says whether only an erase can help.
TEST_F(CliAgainstSimulator, CompareDiffSaysWhereAndWhetherOnlyErasingHelps) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, uint8_t>> chip;  // changes to the file's 3C bytes
    std::vector<std::string> report;
  };
  const std::vector<Case> cases = {
      {"bits to clear only",
       {{0x10, 0x3D}, {0x11, 0xFF}, {0x12, 0xBC}, {0xF0, 0x7C}},
       {"4 of 256 bytes differ, in 2 runs: 0x0010-0x0012, 0x00F0", "0x0010  file 3C  chip 3D",
        "0x0011  file 3C  chip FF", "... and 2 more",
        "every difference only clears bits: a write without erasing can make this chip match"}},
      {"bits to set",
       {{0x20, 0x34}, {0x80, 0x00}},
       {"2 of 256 bytes differ, in 2 runs: 0x0020, 0x0080", "0x0020  file 3C  chip 34",
        "0x0080  file 3C  chip 00",
        "2 of the differing bytes need a bit set from 0 to 1: only erasing the chip can fix "
        "those"}},
      {"both",
       {{0x00, 0xFF}, {0x01, 0x38}, {0xFF, 0xFE}},
       {"3 of 256 bytes differ, in 2 runs: 0x0000-0x0001, 0x00FF", "0x0000  file 3C  chip FF",
        "0x0001  file 3C  chip 38", "... and 1 more",
        "1 of the differing bytes need a bit set from 0 to 1: only erasing the chip can fix "
        "those"}},
  };
  const std::vector<uint8_t> data(0x100, 0x3C);
  const std::string file = Path("file.hex");
  WriteFileText(file, MakeImageFile(data, 0));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> chip = data;
    for (const auto& [address, value] : c.chip) chip[address] = value;
    WriteFileText(Path("chip.hex"), MakeImageFile(chip, 0, false));
    StartSim({"--burn-ms", "0", "--image", Path("chip.hex")});
    const CliResult plain = Cli({"compare", file});
    EXPECT_EQ(plain.exitCode, 1) << plain;
    EXPECT_EQ(plain.out, "");
    const CliResult diff = Cli({"compare", file, "--diff", "--max", "2"});
    EXPECT_EQ(diff.exitCode, 1) << diff;
    std::string expected;
    for (const std::string& line : c.report) expected += line + "\n";
    EXPECT_EQ(diff.out, expected);
    // The last line is still the compare's answer, not the read's (whether the error
    // letter cut the upload short or came after it).
    EXPECT_NE(diff.Status().find("C NG "), std::string::npos) << diff;
    EXPECT_EQ(diff.err.find("last line"), std::string::npos) << diff;
  }
  // A chip that matches: no read, nothing listed.
  WriteFileText(Path("chip.hex"), MakeImageFile(data, 0, false));
  StartSim({"--burn-ms", "0", "--image", Path("chip.hex"), "--log", Path("sim.log")});
  const CliResult same = Cli({"compare", file, "--diff"});
  EXPECT_EQ(same.exitCode, 0) << same;
  EXPECT_EQ(same.out, "");
  EXPECT_EQ(ReadFileText(Path("sim.log")).find("RR "), std::string::npos);
}

TEST_F(CliAgainstSimulator, BlankDetailListsTheBytesThatAreNotFf) {
  std::vector<uint8_t> chip(0x100, 0xFF);
  chip[0x40] = 0x00;
  chip[0x41] = 0xFE;
  chip[0xC3] = 0x12;
  WriteFileText(Path("chip.hex"), MakeImageFile(chip, 0, false));
  StartSim({"--image", Path("chip.hex")});
  const CliResult detail = Cli({"blank", "0", "FF", "--detail"});
  EXPECT_EQ(detail.exitCode, 1) << detail;
  EXPECT_EQ(detail.out,
            "3 of 256 bytes are not FF, in 2 runs: 0x0040-0x0041, 0x00C3\n"
            "0x0040  chip 00\n0x0041  chip FE\n0x00C3  chip 12\n");
  EXPECT_EQ(detail.Status(), "RB NG 00040");
  const CliResult blank = Cli({"blank", "100", "1FF", "--detail"});
  EXPECT_EQ(blank.exitCode, 0) << blank;
  EXPECT_EQ(blank.out, "");
  // --max lists no more than it says, and needs the listing it limits.
  EXPECT_EQ(Cli({"blank", "0", "FF", "--detail", "--max", "0"}).out,
            "3 of 256 bytes are not FF, in 2 runs: 0x0040-0x0041, 0x00C3\n... and 3 more\n");
  const CliResult usage = Cli({"blank", "0", "FF", "--max", "3"});
  EXPECT_EQ(usage.exitCode, 2) << usage;
}

TEST_F(CliAgainstSimulator, RepeatedReadsWriteTheFileOnlyWhenTheyAgree) {
  const auto data = RandomImage(0x200, 19);
  WriteFileText(Path("chip.hex"), MakeImageFile(data, 0, false));
  const std::string out = Path("out.hex");
  WriteFileText(out, "kept\n");
  StartSim({"--image", Path("chip.hex"), "--unstable", "5,1F0"});
  const CliResult weak = Cli({"read", "0", "1FF", out, "--repeat", "3"});
  EXPECT_EQ(weak.exitCode, 1) << weak;
  EXPECT_NE(weak.err.find("2 of 512 bytes differ between 3 reads, in 2 runs: 0x0005, 0x01F0"),
            std::string::npos)
      << weak;
  EXPECT_NE(weak.err.find("0x0005  reads "), std::string::npos) << weak;
  EXPECT_NE(weak.err.find("0x01F0  reads "), std::string::npos) << weak;
  EXPECT_EQ(ReadFileText(out), "kept\n");

  StartSim({"--image", Path("chip.hex"), "--log", Path("sim.log")});
  const CliResult good = Cli({"read", "0", "1FF", out, "--repeat", "2"});
  EXPECT_EQ(good.exitCode, 0) << good;
  const auto bytes = ParseHex(ReadFileText(out));
  ASSERT_EQ(bytes.size(), 0x200u);
  for (uint32_t a = 0; a < 0x200; ++a) EXPECT_EQ(bytes.at(a), data[a]) << a;
  // Two reads on the line, one file with each record once.
  const std::string log = ReadFileText(Path("sim.log"));
  size_t reads = 0;
  for (size_t at = log.find("< RR "); at != std::string::npos; at = log.find("< RR ", at + 1)) {
    ++reads;
  }
  EXPECT_EQ(reads, 2u);
  const std::string text = ReadFileText(out);
  EXPECT_EQ(text.find(":10000000"), text.rfind(":10000000"));
}

}  // namespace
