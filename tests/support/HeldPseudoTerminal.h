// A pseudo-terminal locked and held by another program, as a port that a second tool has
// open: the terminal end is flock()ed and handed to a `sleep 30` that inherits it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

extern char** environ;

namespace zemb::test {

class HeldPseudoTerminal {
 public:
  HeldPseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const char* name = ::ptsname(master_);
    if (name == nullptr) return;
    const int held = ::open(name, O_RDWR | O_NOCTTY);
    if (held < 0) return;
    if (::flock(held, LOCK_EX | LOCK_NB) == 0) {
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_adddup2(&actions, held, 0);
      char sleepPath[] = "/bin/sleep";
      char seconds[] = "30";
      char* argv[] = {sleepPath, seconds, nullptr};
      if (::posix_spawn(&holder_, argv[0], &actions, nullptr, argv, environ) != 0) holder_ = -1;
      posix_spawn_file_actions_destroy(&actions);
      if (holder_ > 0) slave_ = name;
    }
    ::close(held);
  }
  ~HeldPseudoTerminal() {
    if (holder_ > 0) {
      ::kill(holder_, SIGKILL);
      ::waitpid(holder_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
  }
  HeldPseudoTerminal(const HeldPseudoTerminal&) = delete;
  HeldPseudoTerminal& operator=(const HeldPseudoTerminal&) = delete;

  // Empty when the terminal could not be set up.
  const std::string& Slave() const { return slave_; }
  pid_t Holder() const { return holder_; }

 private:
  int master_ = -1;
  pid_t holder_ = -1;
  std::string slave_;
};

}  // namespace zemb::test
