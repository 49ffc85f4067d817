#include "FakeRomWriter.h"

namespace zemb::test {

FakeRomWriter::FakeRomWriter(ScriptedChannel& channel) {
  channel.onLine = [this](ScriptedChannel& ch, const std::string& line) { Handle(ch, line); };
}

void FakeRomWriter::On(const std::string& prefix, std::vector<std::string> replies,
                       int64_t delayMs) {
  // A later rule for the same prefix replaces the earlier one.
  for (auto it = rules_.begin(); it != rules_.end(); ++it) {
    if (it->prefix == prefix) {
      rules_.erase(it);
      break;
    }
  }
  rules_.push_back({prefix, std::deque<std::string>(replies.begin(), replies.end()), delayMs});
}

void FakeRomWriter::AnswerHandshakeAndType() {
  On("RA", {"RA\r"});
  On("RT ", {"RT OK\r"});
}

void FakeRomWriter::Handle(ScriptedChannel& channel, const std::string& line) {
  lines.push_back(line);
  for (auto& rule : rules_) {
    if (line.rfind(rule.prefix, 0) != 0 || rule.replies.empty()) continue;
    const std::string reply = rule.replies.front();
    if (rule.replies.size() > 1) rule.replies.pop_front();
    if (!reply.empty()) channel.Deliver(reply, rule.delayMs);
    return;
  }
}

}  // namespace zemb::test
