// zembromw-cli stopped by SIGTERM, SIGINT or SIGHUP in the middle of an operation, on a
// pseudo-terminal whose other end stays open: the run ends at once with 128 + the signal,
// and the terminal is left free for the next run (no exclusive flag, no lock).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "CliTestSupport.h"

extern char** environ;

namespace {

#if defined(ZEMBROMW_CLI_PATH)
constexpr const char* kCliPath = ZEMBROMW_CLI_PATH;
#else
constexpr const char* kCliPath = "";
#endif

using Clock = std::chrono::steady_clock;

// A ROM writer on a pseudo-terminal that answers the handshake and the type (and the lines
// that begin with a key of `answers`, with its value), and then keeps the host waiting: it
// never answers `stallOn`, after sending `stallWith`. It holds the terminal end open
// itself, as a second program on the line would.
class StallingWriter {
 public:
  StallingWriter(std::string stallOn, std::string stallWith,
                 std::map<std::string, std::string> answers = {})
      : stallOn_(std::move(stallOn)),
        stallWith_(std::move(stallWith)),
        answers_(std::move(answers)) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    slave_ = ::ptsname(master_);
    held_ = ::open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    thread_ = std::thread([this] { Serve(); });
  }
  ~StallingWriter() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (held_ >= 0) ::close(held_);
    if (master_ >= 0) ::close(master_);
  }

  const std::string& Slave() const { return slave_; }
  int Held() const { return held_; }
  bool Stalled() const { return stalled_; }

 private:
  void Serve() {
    std::string line;
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 20) != 1) continue;
      char buf[256];
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) continue;
      for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] == '\n') continue;
        if (buf[i] != '\r') {
          line += buf[i];
          continue;
        }
        std::string answer;
        if (line.rfind(stallOn_, 0) == 0) {
          answer = stallWith_;
          stalled_ = true;
        } else if (line == "RA") {
          answer = "RA\r";
        } else if (line.rfind("RT ", 0) == 0) {
          answer = "RT OK\r";
        } else {
          for (const auto& [prefix, reply] : answers_) {
            if (line.rfind(prefix, 0) == 0) answer = reply;
          }
        }
        if (!answer.empty()) [[maybe_unused]]
          auto w = ::write(master_, answer.data(), answer.size());
        line.clear();
      }
    }
  }

  std::string stallOn_;
  std::string stallWith_;
  std::map<std::string, std::string> answers_;
  int master_ = -1;
  int held_ = -1;
  std::string slave_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> stalled_{false};
};

using zemb::test::SpawnWithErrorsTo;

// The exit status, 1000 + the signal for a death by signal, or -1 on timeout.
int WaitFor(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }
    if (Clock::now() > deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(CliSignals, ASignalMidOperationReleasesThePortAndExitsWith128PlusIt) {
  if (*kCliPath == '\0') GTEST_SKIP() << "zembromw-cli is not built";
  char pattern[] = "/tmp/zembromw_cli_signals_XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const std::string image = dir + "/img.hex";
  std::ofstream(image) << ";MinAdr=0\r\n;MaxAdr=F\r\n:0100000000FF\r\n:00000001FF\r\n";
  const std::string errPath = dir + "/err.txt";

  struct Case {
    const char* name;
    std::vector<std::string> command;
    const char* stallOn;
    std::string stallWith;
    std::map<std::string, std::string> answers;
  };
  // The read that follows a failed compare ends as a read does (a blank check's --detail
  // read goes the same way).
  const Case cases[] = {
      {"waiting for the blank check's answer", {"blank", "0", "FFF"}, "RB ", "", {}},
      {"upload held by XOFF", {"program", image}, "RP ", "RB OK\r\x13", {}},
      {"the read after a failed compare",
       {"compare", image, "--diff"},
       "RR ",
       ":10000000",
       {{":00000001FF", "RC NG 00000 00 FF\r"}}},
  };
  for (const Case& c : cases) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
      SCOPED_TRACE(std::string(c.name) + ", signal " + std::to_string(sig));
      StallingWriter writer(c.stallOn, c.stallWith, c.answers);
      ASSERT_GE(writer.Held(), 0);
      std::vector<std::string> args = {kCliPath, "-q", "-p", writer.Slave()};
      args.insert(args.end(), c.command.begin(), c.command.end());
      const pid_t pid = SpawnWithErrorsTo(args, errPath);
      ASSERT_GT(pid, 0);
      const auto deadline = Clock::now() + std::chrono::seconds(10);
      while (!writer.Stalled() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      ASSERT_TRUE(writer.Stalled());
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ::kill(pid, sig);
      const int status = WaitFor(pid, std::chrono::seconds(3));
      if (status == -1) {
        ::kill(pid, SIGKILL);
        WaitFor(pid, std::chrono::seconds(3));
      }
      EXPECT_EQ(status, 128 + sig) << ReadText(errPath);
      EXPECT_NE(ReadText(errPath).find("received; port " + writer.Slave() + " released"),
                std::string::npos)
          << ReadText(errPath);

      // The terminal carries no exclusive flag and no lock: the next run may open it.
      int exclusive = -1;
      ASSERT_EQ(::ioctl(writer.Held(), TIOCGEXCL, &exclusive), 0);
      EXPECT_EQ(exclusive, 0);
      const int again = ::open(writer.Slave().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
      ASSERT_GE(again, 0);
      EXPECT_EQ(::flock(again, LOCK_EX | LOCK_NB), 0);
      ::close(again);
    }
  }
  std::filesystem::remove_all(dir);
}

// Started under nohup or trap '' HUP INT, the program keeps ignoring those two, as every
// POSIX tool does; SIGTERM still ends it the usual way.
TEST(CliSignals, SignalsIgnoredAtStartStayIgnored) {
  if (*kCliPath == '\0') GTEST_SKIP() << "zembromw-cli is not built";
  char pattern[] = "/tmp/zembromw_cli_signals_XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const std::string errPath = dir + "/err.txt";
  StallingWriter writer("RB ", "");
  ASSERT_GE(writer.Held(), 0);
  const pid_t pid =
      SpawnWithErrorsTo({"/bin/sh", "-c", "trap '' HUP INT; exec \"$0\" -q -p \"$1\" blank 0 FFF",
                         kCliPath, writer.Slave()},
                        errPath);
  ASSERT_GT(pid, 0);
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (!writer.Stalled() && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(writer.Stalled());
  ::kill(pid, SIGHUP);
  ::kill(pid, SIGINT);
  EXPECT_EQ(WaitFor(pid, std::chrono::milliseconds(500)), -1) << ReadText(errPath);
  ::kill(pid, SIGTERM);
  const int status = WaitFor(pid, std::chrono::seconds(3));
  if (status == -1) {
    ::kill(pid, SIGKILL);
    WaitFor(pid, std::chrono::seconds(3));
  }
  EXPECT_EQ(status, 128 + SIGTERM) << ReadText(errPath);
  std::filesystem::remove_all(dir);
}

}  // namespace
