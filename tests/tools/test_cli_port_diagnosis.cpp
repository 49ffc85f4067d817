// zembromw-cli and a port it cannot open: after the message, the exit status 3 and the
// system's diagnosis on standard error, here a pseudo-terminal locked by another program.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "CliTestSupport.h"
#include "HeldPseudoTerminal.h"

namespace {

#if defined(ZEMBROMW_CLI_PATH)
constexpr const char* kCliPath = ZEMBROMW_CLI_PATH;
#else
constexpr const char* kCliPath = "";
#endif

// Runs args with standard error to errPath; the exit status, or -1.
int RunCli(std::vector<std::string> args, const std::string& errPath) {
  const pid_t pid = zemb::test::SpawnWithErrorsTo(std::move(args), errPath);
  int status = 0;
  if (pid <= 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(CliPortDiagnosis, ExitThreeForAHeldPortNamesTheHolder) {
  if (*kCliPath == '\0') GTEST_SKIP() << "zembromw-cli is not built";
  const zemb::test::HeldPseudoTerminal port;
  ASSERT_FALSE(port.Slave().empty());
  const std::string slave = port.Slave();
  const pid_t holder = port.Holder();

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

  ::unlink(errPath);
}

}  // namespace
