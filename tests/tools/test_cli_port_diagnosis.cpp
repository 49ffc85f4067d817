// zembromw-cli and a port it cannot open: after the message, the exit status 3 and the
// system's diagnosis on standard error, here a pseudo-terminal locked by another program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

extern char** environ;

namespace {

#if defined(ZEMBROMW_CLI_PATH)
constexpr const char* kCliPath = ZEMBROMW_CLI_PATH;
#else
constexpr const char* kCliPath = "";
#endif

// Runs argv with standard error to errPath; the exit status, or -1.
int RunCli(std::vector<std::string> args, const std::string& errPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (rc != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(CliPortDiagnosis, ExitThreeForAHeldPortNamesTheHolder) {
  if (*kCliPath == '\0') GTEST_SKIP() << "zembromw-cli is not built";
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slave = ::ptsname(master);
  const int held = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, held, 0);
  char sleepPath[] = "/bin/sleep";
  char seconds[] = "30";
  char* argv[] = {sleepPath, seconds, nullptr};
  pid_t holder = -1;
  ASSERT_EQ(::posix_spawn(&holder, argv[0], &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(held);

  char errPath[] = "/tmp/zembromw_cli_diag_XXXXXX";
  const int errFd = ::mkstemp(errPath);
  ASSERT_GE(errFd, 0);
  ::close(errFd);
  // The holder's name shows in /proc once it has run exec.
  std::string text;
  int status = -1;
  for (int i = 0; i < 50; ++i) {
    status = RunCli({kCliPath, "-q", "-p", slave, "blank", "0", "FFF"}, errPath);
    std::ifstream in(errPath);
    std::stringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    if (text.find("(sleep)") != std::string::npos) break;
    ::usleep(20000);
  }
  EXPECT_EQ(status, 3) << text;
  EXPECT_EQ(text.rfind("zembromw-cli: cannot open port " + slave + ": " + slave +
                           ": in use by another program",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("\n  It is held by PID " + std::to_string(holder) + " (sleep).\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\n    kill " + std::to_string(holder) + "\n"), std::string::npos) << text;

  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ::close(master);
  ::unlink(errPath);
}

}  // namespace
