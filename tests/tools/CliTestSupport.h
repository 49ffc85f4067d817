// Pieces shared by the command-line tests: a line lent to an in-process run, S-record lines
// built by hand, and the command line started as a separate program.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ForwardingChannel.h"

extern char** environ;

namespace zemb::test {

// Hands a test-owned line to a run, which destroys what it is given, so that the test can
// look at the line afterwards.
class BorrowedChannel : public ForwardingChannel {
 public:
  explicit BorrowedChannel(SerialChannel& target) : ForwardingChannel(target) {}
};

// An S-record line with its count and checksum.
inline std::string SRec(int type, int addressBytes, uint32_t address, const std::string& data) {
  std::string bytes(1, static_cast<char>(addressBytes + data.size() + 1));
  for (int i = addressBytes - 1; i >= 0; --i) bytes += static_cast<char>(address >> (8 * i));
  bytes += data;
  unsigned sum = 0;
  for (char c : bytes) sum += static_cast<uint8_t>(c);
  bytes += static_cast<char>(~sum);
  std::string line = "S" + std::to_string(type);
  for (char c : bytes) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<uint8_t>(c));
    line += hex;
  }
  return line + "\r\n";
}

// Starts args (args[0] a path) with no input, output to /dev/null and standard error to
// errPath; the process id, or -1.
inline pid_t SpawnWithErrorsTo(std::vector<std::string> args, const std::string& errPath) {
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
  return rc == 0 ? pid : -1;
}

}  // namespace zemb::test
