// A scripted ROM writer for component and window tests: answers the lines the host
// writes through a ScriptedChannel by rules keyed on the line's beginning.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedChannel.h"

namespace zemb::test {

class FakeRomWriter {
 public:
  // Hooks itself into the channel's onLine.
  explicit FakeRomWriter(ScriptedChannel& channel);

  // Lines that begin with prefix get the replies in turn, each delayMs after the line
  // ended; the last reply repeats. An empty reply sends nothing (silence).
  void On(const std::string& prefix, std::vector<std::string> replies, int64_t delayMs = 5);
  // The usual device: "RA" and "RT " answered as accepted.
  void AnswerHandshakeAndType();

  std::vector<std::string> lines;  // every line the host wrote

 private:
  struct Rule {
    std::string prefix;
    std::deque<std::string> replies;
    int64_t delayMs;
  };
  void Handle(ScriptedChannel& channel, const std::string& line);
  std::vector<Rule> rules_;
};

}  // namespace zemb::test
