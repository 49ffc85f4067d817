// The simulator program itself, talked to over its pseudo-terminal as a host would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    args.insert(args.begin(), ZEMBROMW_SIM_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, ZEMBROMW_SIM_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) throw std::runtime_error("posix_spawn");
    // The first line is the terminal's path.
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, 5000) == 1 && read(out[0], &c, 1) == 1 && c != '\n') path += c;
    close(out[0]);
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  // Exit status, or -1 when the process is still running after timeoutMs.
  int Wait(int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (Clock::now() < end);
    return -1;
  }
  int Terminate() {
    kill(pid_, SIGTERM);
    return Wait(5000);
  }

  std::string path;

 private:
  pid_t pid_ = -1;
};

class Port {
 public:
  explicit Port(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
  }
  ~Port() {
    if (fd_ >= 0) close(fd_);
  }
  bool IsOpen() const { return fd_ >= 0; }
  void Write(const std::string& text) {
    ASSERT_EQ(write(fd_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // Reads until the text received ends with `until`, or timeoutMs passes, or the line dies.
  std::string ReadUntil(const std::string& until, int timeoutMs = 3000) {
    std::string got;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end &&
           (got.size() < until.size() ||
            got.compare(got.size() - until.size(), until.size(), until) != 0)) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 20) != 1) continue;
      char buffer[4096];
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) {
        if (n < 0 && errno == EAGAIN) continue;
        hungUp = true;
        break;
      }
      got.append(buffer, static_cast<size_t>(n));
    }
    return got;
  }
  bool hungUp = false;

 private:
  int fd_ = -1;
};

std::string TempDir() {
  std::string pattern = ::testing::TempDir() + "zembromw-sim-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  return pattern;
}

TEST(SimProgram, ServesHostsThatReopenThePortAndCleansUp) {
  const std::string dir = TempDir();
  SimProcess sim({"--link", dir + "/rom", "--log", dir + "/log", "--dump", dir + "/dump.hex",
                  "--burn-ms", "0"});
  ASSERT_EQ(sim.path.rfind("/dev/pts/", 0), 0u) << sim.path;
  char target[256] = {};
  ASSERT_GT(readlink((dir + "/rom").c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(sim.path, target);

  {
    Port port(dir + "/rom");
    ASSERT_TRUE(port.IsOpen());
    port.Write("RA\r\n");
    EXPECT_EQ(port.ReadUntil("\r"), "RA zembromw-sim\r");  // nothing echoed
  }
  {
    Port port(sim.path);  // a second host, as the command-line tool opens once per command
    ASSERT_TRUE(port.IsOpen());
    port.Write("RW 00000,0001F+00000\r\n:0400100001020304E2\r\n:00000001FF\r\n");
    EXPECT_EQ(port.ReadUntil("RW OK\r"), "RW OK\r");
    port.Write("RR 00010,00013+00000\r\n");
    EXPECT_EQ(port.ReadUntil("RR OK\r"), ":0400100001020304E2\r:00000001FF\rRR OK\r");
  }

  EXPECT_EQ(sim.Terminate(), 0);
  struct stat st {};
  EXPECT_NE(lstat((dir + "/rom").c_str(), &st), 0);
  EXPECT_NE(Slurp(dir + "/dump.hex").find(":1000100001020304FFFF"), std::string::npos);
  const std::string log = Slurp(dir + "/log");
  EXPECT_NE(log.find(" < RA\\r\\n\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" > RA zembromw-sim\\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" > RR OK\\r\n"), std::string::npos) << log;
}

TEST(SimProgram, OnceExitsAfterTheFirstOperationFromAnImage) {
  const std::string dir = TempDir();
  std::ofstream(dir + "/image.hex") << ";MaxAdr=0FFF\r\n:0100200000DF\r\n:00000001FF\r\n";
  SimProcess sim({"--once", "--type", "00", "--image", dir + "/image.hex"});
  Port port(sim.path);
  ASSERT_TRUE(port.IsOpen());
  port.Write("RA\r\n");
  EXPECT_EQ(port.ReadUntil("\r"), "RA zembromw-sim\r");
  port.Write("RB 0000,0FFF\r\n");
  EXPECT_EQ(port.ReadUntil("\r"), "RB NG 00020\r");
  EXPECT_EQ(sim.Wait(3000), 0);
}

// The log and the dump are refused before the session when they could not be written: the
// log would otherwise truncate a write-protected file, and a dump would fail only at exit.
TEST(SimProgram, FilesItCannotWriteAreRefusedAtStart) {
  const std::string dir = TempDir();
  const std::string locked = dir + "/locked.hex";
  std::ofstream(locked) << "keep\n";
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  for (const char* option : {"--log", "--dump"}) {
    for (const std::string& target : {locked, dir}) {
      SCOPED_TRACE(std::string(option) + " " + target);
      SimProcess sim({option, target});
      EXPECT_EQ(sim.path, "");
      EXPECT_EQ(sim.Wait(3000), 1);
    }
  }
  EXPECT_EQ(Slurp(locked), "keep\n");
}

TEST(SimProgram, DisconnectDropsTheLineMidUpload) {
  SimProcess sim({"--disconnect-after-lines", "1"});
  Port port(sim.path);
  ASSERT_TRUE(port.IsOpen());
  port.Write("RW 00000,0001F+00000\r\n:0100000000FF\r\n");
  EXPECT_EQ(sim.Wait(3000), 0);
  port.ReadUntil("never", 500);
  EXPECT_TRUE(port.hungUp);
}

}  // namespace
