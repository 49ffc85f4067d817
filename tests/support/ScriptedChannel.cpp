#include "ScriptedChannel.h"

#include <algorithm>

namespace zemb::test {

void ScriptedChannel::DeliverAt(int64_t timeMs, const std::string& bytes) {
  // Bytes never overtake bytes scheduled before them.
  if (!incoming_.empty()) timeMs = std::max(timeMs, incoming_.back().timeMs);
  for (char c : bytes) incoming_.push_back({timeMs, static_cast<uint8_t>(c)});
}

std::string ScriptedChannel::WrittenText() const {
  std::string s;
  s.reserve(written.size());
  for (const auto& w : written) s += static_cast<char>(w.byte);
  return s;
}

std::vector<std::string> ScriptedChannel::WrittenLines() const {
  std::vector<std::string> lines;
  const std::string text = WrittenText();
  size_t start = 0;
  for (size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2) {
    lines.push_back(text.substr(start, pos - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

uint32_t ScriptedChannel::ReadTimeoutMs() const {
  if (current_.ReadIntervalTimeout == CommTimeouts::kMaxDword &&
      current_.ReadTotalTimeoutMultiplier == 0 && current_.ReadTotalTimeoutConstant == 0) {
    return 0;
  }
  return current_.ReadTotalTimeoutConstant;
}

bool ScriptedChannel::Open(const std::string& name) {
  openedNames.push_back(name);
  if (!openSucceeds) return false;
  open_ = true;
  return true;
}

void ScriptedChannel::Close() {
  if (open_) ++closeCount;
  open_ = false;
}

void ScriptedChannel::SetTimeouts(const CommTimeouts& t) {
  timeouts.push_back({now_, t});
  if (open_) current_ = t;
}

bool ScriptedChannel::Configure(int32_t baud) {
  configuredBauds.push_back(baud);
  return configureSucceeds;
}

bool ScriptedChannel::ReadByte(uint8_t& byte) {
  if (!open_) return false;
  const uint32_t wait = ReadTimeoutMs();
  if (!incoming_.empty() && incoming_.front().timeMs <= now_ + static_cast<int64_t>(wait)) {
    now_ = std::max(now_, incoming_.front().timeMs);
    byte = incoming_.front().byte;
    incoming_.pop_front();
    return true;
  }
  now_ += wait;
  return false;
}

int ScriptedChannel::WriteByte(uint8_t byte) {
  if (!open_) return 0;
  if (holdWrites) {
    now_ += current_.WriteTotalTimeoutConstant + current_.WriteTotalTimeoutMultiplier;
    return 0;
  }
  writeDebtMs_ += writeByteMs;
  const auto whole = static_cast<int64_t>(writeDebtMs_);
  now_ += whole;
  writeDebtMs_ -= static_cast<double>(whole);
  written.push_back({now_, byte});
  if (onByte) onByte(*this, byte);
  if (byte == '\n' && !currentLine_.empty() && currentLine_.back() == '\r') {
    currentLine_.pop_back();
    const std::string line = currentLine_;
    currentLine_.clear();
    if (onLine) onLine(*this, line);
  } else {
    currentLine_ += static_cast<char>(byte);
  }
  return 1;
}

void ScriptedChannel::Sleep(uint32_t ms) {
  sleeps.push_back(ms);
  now_ += ms;
}

}  // namespace zemb::test
