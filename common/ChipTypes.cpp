#include "ChipTypes.h"

#include "TStrings.h"

namespace zemb {

const std::vector<ChipType>& ChipTypeTable() {
  static const std::vector<ChipType> kTable = {
      {"00", "2732A", "21.0v", "", "00: 2732A (vpp=21.0v)"},
      {"01", "2764", "21.0v", "", "01: 2764  (vpp=21.0v)"},
      {"02", "2764A", "12.5v", "", "02: 2764A (vpp=12.5v)"},
      {"03", "2764F", "21.0v", "FujiMBM2764,MBM27C64",
       "03: 2764F (vpp=21.0v) FujiMBM2764,MBM27C64"},
      {"04", "27128", "21.0v", "", "04: 27128 (vpp=21.0v)"},
      {"05", "27128A", "12.5v", "", "05: 27128A (vpp=12.5v)"},
      {"06", "27128F", "21.0v", "FujiMBM27128,MBM27C128",
       "06: 27128F (vpp=21.0v) FujiMBM27128,MBM27C128"},
      {"07", "27256 t1", "21.0v", "", "07: 27256 t1 (vpp=21.0v)"},
      {"08", "27256 t2", "12.5v", "", "08: 27256 t2 (vpp=12.5v)"},
      {"09", "27512", "12.5v", "", "09: 27512  (vpp=12.5v)"},
      {"0A", "271MA", "", "Hita27C101,Mitsu27C101", "0A: 271MA  Hita27C101,Mitsu27C101"},
      {"0B", "271MB", "", "Hita27C301,Mitsu27C100", "0B: 271MB  Hita27C301,Mitsu27C100"},
      {"0C", "271MC", "", "Toshi571000,NECuPD27C1001A", "0C: 271MC  Toshi571000,NECuPD27C1001A"},
      {"0D", "271MD", "", "Toshi571001,NECuPD27C1000A", "0D: 271MD  Toshi571001,NECuPD27C1000A"},
      {"0E", "271ME", "", "Fuji27C1001", "0E: 271ME  Fuji27C1001"},
      {"0F", "271MF", "", "Fuji27C1000", "0F: 271MF  Fuji27C1000"},
      {"10", "1024A", "", "Hita27C1024H,mitsuM5M27C102", "10: 1024A  Hita27C1024H,mitsuM5M27C102"},
      {"11", "1024B", "", "ToshiTC571024,NECuPD27C1024A",
       "11: 1024B  ToshiTC571024,NECuPD27C1024A"},
      {"12", "1024C", "", "FujiMBM27C1024", "12: 1024C  FujiMBM27C1024"},
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

}  // namespace zemb
