#include "Convert.h"

#include "Errors.h"

namespace zemb {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool TryStrToInt(const std::string& text, int32_t& value) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  if (i == n) return false;

  bool hex = false;
  if (text[i] == '$' || text[i] == 'x' || text[i] == 'X') {
    hex = true;
    ++i;
  } else if (text[i] == '0' && i + 1 < n && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }

  if (hex) {
    if (i == n) return false;
    uint64_t acc = 0;
    for (; i < n; ++i) {
      const int d = HexDigitValue(text[i]);
      if (d < 0) return false;
      acc = acc * 16 + static_cast<uint64_t>(d);
      if (acc > 0xFFFFFFFFull) return false;
    }
    value = static_cast<int32_t>(static_cast<uint32_t>(acc));
    return true;
  }

  bool negative = false;
  if (text[i] == '+' || text[i] == '-') {
    negative = text[i] == '-';
    ++i;
  }
  if (i == n) return false;
  int64_t acc = 0;
  for (; i < n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    acc = acc * 10 + (text[i] - '0');
    if (acc > 2147483648LL) return false;
  }
  if (negative) acc = -acc;
  if (acc > 2147483647LL) return false;
  value = static_cast<int32_t>(acc);
  return true;
}

int32_t StrToInt(const std::string& text) {
  int32_t value = 0;
  if (!TryStrToInt(text, value)) throw EConvertError(text);
  return value;
}

std::string IntToHex(int32_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  uint32_t u = static_cast<uint32_t>(value);
  std::string out;
  do {
    out.insert(out.begin(), kDigits[u & 0xF]);
    u >>= 4;
  } while (u != 0);
  if (static_cast<int>(out.size()) < digits) out.insert(0, digits - out.size(), '0');
  return out;
}

std::string CountText(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string UIntToHex(uint32_t value, int digits) {
  return IntToHex(static_cast<int32_t>(value), digits);
}

std::string RangeText(uint32_t first, uint32_t last) {
  return UIntToHex(first, 5) + "-" + UIntToHex(last, 5);
}

std::string IntToStr(int32_t value) {
  return std::to_string(value);
}

}  // namespace zemb
