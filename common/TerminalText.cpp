#include "TerminalText.h"

namespace zemb {

namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
  static const char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// The length of the well-formed UTF-8 character at text[i] (2 to 4), or 0.
size_t Utf8Length(std::string_view text, size_t i) {
  const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = at(i);
  size_t length;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) lo = 0xA0;  // no overlong forms
    if (lead == 0xED) hi = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (at(i + 1) < lo || at(i + 1) > hi) return 0;
  for (size_t k = 2; k < length; ++k) {
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string EscapeForTerminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      out += static_cast<char>(byte);
      ++i;
      continue;
    }
    const size_t length = byte >= 0x80 ? Utf8Length(text, i) : 0;
    // U+0080 to U+009F are the C1 controls in their UTF-8 form.
    const bool c1 = length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length == 0 || c1) {
      const size_t n = c1 ? 2 : 1;
      for (size_t k = 0; k < n; ++k) AppendEscaped(out, static_cast<unsigned char>(text[i + k]));
      i += n;
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

std::string EscapeForTerminal(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return EscapeForTerminal(text);
  size_t cut = maxBytes;
  // Back up to a character start, so that the cut never splits a UTF-8 character.
  while (cut > 0 && cut + 3 > maxBytes && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  return EscapeForTerminal(text.substr(0, cut)) + "... (" + std::to_string(text.size()) + " bytes)";
}

}  // namespace zemb
