#include "WireTranscript.h"

#include <cstdio>

namespace zemb {

std::string EscapeBytes(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (b < 0x20 || b > 0x7E) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string TranscriptFormatter::Emit(char direction, Pending& pending) {
  if (pending.bytes.empty()) return std::string();
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%10.3f %c ", static_cast<double>(pending.startUs) / 1000.0,
                direction);
  std::string entry = stamp + EscapeBytes(pending.bytes) + "\n";
  pending.bytes.clear();
  return entry;
}

std::string TranscriptFormatter::Add(char direction, std::string_view bytes, int64_t timeUs) {
  std::string out;
  const bool toHost = direction == '>';
  Pending& own = toHost ? toHost_ : fromHost_;
  Pending& other = toHost ? fromHost_ : toHost_;
  for (const char c : bytes) {
    // Keeps the log in the order the bytes passed.
    out += Emit(toHost ? '<' : '>', other);
    if (toHost && (c == 0x11 || c == 0x13)) {
      // Flow control is not part of a line.
      out += Emit(direction, own);
      own.startUs = timeUs;
      own.bytes = c;
      out += Emit(direction, own);
      continue;
    }
    // An LF the device sends after its CR would otherwise open the next line's entry.
    const bool lfAfterLine =
        toHost && !lfAfterCr_ && c == '\n' && own.bytes.empty() && toHostAfterCr_;
    if (toHost) toHostAfterCr_ = c == '\r';
    if (own.bytes.empty()) own.startUs = timeUs;
    own.bytes += c;
    const bool endsLine = toHost ? (lfAfterCr_ ? c == '\n' : c == '\r') : c == '\n';
    if (endsLine || lfAfterLine) out += Emit(direction, own);
  }
  return out;
}

std::string TranscriptFormatter::Flush() {
  std::string out = Emit('<', fromHost_);
  out += Emit('>', toHost_);
  return out;
}

}  // namespace zemb
