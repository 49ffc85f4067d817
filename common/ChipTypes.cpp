#include "ChipTypes.h"

#include "Convert.h"
#include "TStrings.h"

namespace zemb {

const std::vector<ChipType>& ChipTypeTable() {
  static const std::vector<ChipType> kTable = {
      {"00", "2732A", "21.0v", "", "00: 2732A (vpp=21.0v)", 0x1000, 8},
      {"01", "2764", "21.0v", "", "01: 2764  (vpp=21.0v)", 0x2000, 8},
      {"02", "2764A", "12.5v", "", "02: 2764A (vpp=12.5v)", 0x2000, 8},
      {"03", "2764F", "21.0v", "FujiMBM2764,MBM27C64", "03: 2764F (vpp=21.0v) FujiMBM2764,MBM27C64",
       0x2000, 8},
      {"04", "27128", "21.0v", "", "04: 27128 (vpp=21.0v)", 0x4000, 8},
      {"05", "27128A", "12.5v", "", "05: 27128A (vpp=12.5v)", 0x4000, 8},
      {"06", "27128F", "21.0v", "FujiMBM27128,MBM27C128",
       "06: 27128F (vpp=21.0v) FujiMBM27128,MBM27C128", 0x4000, 8},
      {"07", "27256 t1", "21.0v", "", "07: 27256 t1 (vpp=21.0v)", 0x8000, 8},
      {"08", "27256 t2", "12.5v", "", "08: 27256 t2 (vpp=12.5v)", 0x8000, 8},
      {"09", "27512", "12.5v", "", "09: 27512  (vpp=12.5v)", 0x10000, 8},
      {"0A", "271MA", "", "Hita27C101,Mitsu27C101", "0A: 271MA  Hita27C101,Mitsu27C101", 0x20000,
       8},
      {"0B", "271MB", "", "Hita27C301,Mitsu27C100", "0B: 271MB  Hita27C301,Mitsu27C100", 0x20000,
       8},
      {"0C", "271MC", "", "Toshi571000,NECuPD27C1001A", "0C: 271MC  Toshi571000,NECuPD27C1001A",
       0x20000, 8},
      {"0D", "271MD", "", "Toshi571001,NECuPD27C1000A", "0D: 271MD  Toshi571001,NECuPD27C1000A",
       0x20000, 8},
      {"0E", "271ME", "", "Fuji27C1001", "0E: 271ME  Fuji27C1001", 0x20000, 8},
      {"0F", "271MF", "", "Fuji27C1000", "0F: 271MF  Fuji27C1000", 0x20000, 8},
      {"10", "1024A", "", "Hita27C1024H,mitsuM5M27C102", "10: 1024A  Hita27C1024H,mitsuM5M27C102",
       0x20000, 16},
      {"11", "1024B", "", "ToshiTC571024,NECuPD27C1024A", "11: 1024B  ToshiTC571024,NECuPD27C1024A",
       0x20000, 16},
      {"12", "1024C", "", "FujiMBM27C1024", "12: 1024C  FujiMBM27C1024", 0x20000, 16},
  };
  return kTable;
}

std::vector<std::string> ChipTypeItemTexts() {
  std::vector<std::string> texts;
  for (const ChipType& type : ChipTypeTable()) texts.emplace_back(type.itemText);
  return texts;
}

int ChipTypeIndexOfCode(std::string_view code) {
  const std::string wanted(code);
  const auto& table = ChipTypeTable();
  for (size_t i = 0; i < table.size(); ++i) {
    if (CompareTextNoCase(wanted, table[i].code) == 0) return static_cast<int>(i);
  }
  return -1;
}

std::string CapacityText(uint64_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
  return CountText(bytes, "byte", "bytes");
}

std::string WidthText(const ChipType& type) {
  return "x" + std::to_string(type.width);
}

}  // namespace zemb
