// Integer conversions of user texts (address fields, header values, stored values).
#pragma once

#include <cstdint>
#include <string>

namespace zemb {

// The general integer conversion: optional leading blanks, then either decimal digits with
// an optional sign, or hexadecimal digits after "$", "x", "X", "0x" or "0X"; nothing may
// follow the digits. Decimal must fit a signed 32-bit integer; hexadecimal may use all 32
// bits (values from 80000000 come out negative).
bool TryStrToInt(const std::string& text, int32_t& value);

// As TryStrToInt, raising EConvertError with the text on failure.
int32_t StrToInt(const std::string& text);

// Upper-case hexadecimal of the 32-bit pattern of value, zero-padded to at least digits.
std::string IntToHex(int32_t value, int digits);
// The same for an address or another unsigned value.
std::string UIntToHex(uint32_t value, int digits);
// "00000-07FFF": an address range as the ROM writer's commands write it.
std::string RangeText(uint32_t first, uint32_t last);

// Decimal text: no leading zeros, "-" before a negative number, "0" for zero.
std::string IntToStr(int32_t value);

// A count and its noun for messages: "1 byte", "32 bytes", "0 runs".
std::string CountText(uint64_t n, const char* one, const char* many);

// The value of one hexadecimal digit (either case), or -1 for any other character.
int HexDigitValue(char c);

}  // namespace zemb
