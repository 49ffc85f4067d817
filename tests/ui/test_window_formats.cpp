// Image formats in the window: binary and S-record files become Intel HEX lines on the way
// in, whichever way the file is named (File button, drop, command line); Intel HEX text keeps
// its lines, control bytes included; a read is saved as Intel HEX, S-record or binary by
// the extension typed or the filter chosen. srec_cat is the oracle for what the files hold.
#include <QUrl>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ImageFormats.h"
#include "UiTestSupport.h"
#include "WindowImages.h"

namespace zemb::ui::test {
namespace {

#ifdef ZEMBROMW_CLI_PATH
constexpr const char* kCliPath = ZEMBROMW_CLI_PATH;
#else
constexpr const char* kCliPath = "";
#endif

// The bytes the memo's records hold, by address.
SparseImage MemoImage(TForm1& f) {
  SparseImage image;
  ImageError error;
  EXPECT_TRUE(ReadIntelHex(f.Memo1->Lines()->Text(), image, error)) << error.Text();
  return image;
}

std::string Bytes(const SparseImage& image) {
  if (image.Empty()) return {};
  const auto flat = image.Flatten(image.MinAddress(), image.MaxAddress());
  return std::string(flat.begin(), flat.end());
}

class WindowFormats : public WindowTest {
 protected:
  // Loads path the given way and returns the memo's lines.
  std::vector<std::string> Load(const std::string& way, const std::string& path) {
    if (way == "command line") {
      MakeForm({path});
    } else {
      MakeForm();
      if (way == "File button") {
        ScriptDialog(form().OpenDialog1, {path});
        form().Button7->click();
      } else {
        form().WM_DropFiles({QUrl::fromLocalFile(QString::fromStdString(path))});
      }
    }
    return MemoLines();
  }

  // A 300-byte program: every byte value, then a run of zeros.
  static std::string Program() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    return bytes + std::string(44, '\0');
  }
};

TEST_F(WindowFormats, BinaryAndSRecordFilesBecomeIntelHexLinesEveryWayTheyCome) {
  if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat is not installed";
  const std::string program = Program();
  const std::string bin = WriteFile("prog.bin", program);
  // srec_cat writes the S-record file, at 0x7F00 so that the range comes from the data.
  ASSERT_EQ(std::system(("srec_cat " + bin + " -binary -offset 0x7F00 -o " + Path("prog.s19") +
                         " -motorola 2>/dev/null")
                            .c_str()),
            0);
  // A binary whose bytes all look like text is still a binary by its extension.
  const std::string text = WriteFile("text.bin", "HELLO, ROM\n");
  struct Case {
    std::string path;
    uint32_t at;
    std::string bytes;
    std::string minAdr, maxAdr;
  };
  const Case cases[] = {
      {bin, 0, program, "0000", "012B"},
      {Path("prog.s19"), 0x7F00, program, "7F00", "802B"},
      {text, 0, "HELLO, ROM\n", "0000", "000A"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> first;
    for (const char* way : {"File button", "drop", "command line"}) {
      SCOPED_TRACE(c.path + " by " + way);
      const std::vector<std::string> lines = Load(way, c.path);
      EXPECT_TRUE(reporter_.messages.empty());
      ASSERT_GE(lines.size(), 3u);
      EXPECT_EQ(lines[0], ";MinAdr=" + c.minAdr);
      EXPECT_EQ(lines[1], ";MaxAdr=" + c.maxAdr);
      EXPECT_EQ(lines.back(), ":00000001FF");
      const SparseImage image = MemoImage(form());
      EXPECT_EQ(image.MinAddress(), c.at);
      EXPECT_EQ(Bytes(image), c.bytes);
      EXPECT_EQ(form().Edit1->Text(), c.minAdr);
      EXPECT_EQ(form().Edit2->Text(), c.maxAdr);
      EXPECT_EQ(form().Label1->Caption(), c.path);
      EXPECT_TRUE(form().Button7->isHidden());
      if (first.empty()) first = lines;
      EXPECT_EQ(lines, first);  // the same lines whichever way the file came
    }
    // The command line's convert writes the very lines the memo holds.
    if (*kCliPath != '\0') {
      const std::string out = Path("converted.hex");
      ASSERT_EQ(std::system(
                    (std::string(kCliPath) + " convert " + c.path + " " + out + " >/dev/null 2>&1")
                        .c_str()),
                0);
      EXPECT_EQ(SplitLines(ReadFile(out)), first);
    }
  }
}

// Control bytes other than NUL stay in the lines; a NUL is among the load refusals of the
// image file tests.
TEST_F(WindowFormats, IntelHexTextKeepsItsControlBytesAndBrokenFilesAreRefused) {
  const struct {
    const char* name;
    std::string bytes;
    bool loads;
  } cases[] = {
      {"esc.hex", ";\x1B[31m red\r\n:0100000042BD\r\n\x1B\r\n:00000001FF\r\n", true},
      {"bell.hex", ":0100000042BD\x07\r\n:00000001FF\x1A", true},
      // No extension and a comment line first: still the lines it holds.
      {"noext", ":0100000042BD\r\n;\x01\x02\x03\r\n", true},
      {"bad.s19", "S1130000000102030405060708090A0B0C0D0E0F00\r\n", false},  // checksum
      {"empty.bin", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = WriteFile(c.name, c.bytes);
    MakeForm();
    form().Memo1->Lines()->SetLines({":keep"});
    reporter_.messages.clear();
    ScriptDialog(form().OpenDialog1, {path});
    form().Button7->click();
    if (c.loads) {
      EXPECT_TRUE(reporter_.messages.empty());
      EXPECT_EQ(MemoLines(), SplitLines(c.bytes));
    } else {
      EXPECT_EQ(reporter_.messages,
                std::vector<std::string>{"ファイル " + path + " は開けません."});
      EXPECT_EQ(MemoLines(), std::vector<std::string>{":keep"});
      EXPECT_FALSE(form().Button7->isHidden());
    }
  }
}

// A converted file goes through the image rules the command line applies (each rule has its
// own cases with the image model); what they refuse the window refuses, leaving memo and
// fields as they were.
TEST_F(WindowFormats, SRecordFilesTheImageRulesRefuseAreNotLoaded) {
  const struct {
    const char* why;
    std::string text;
    bool loads;
  } cases[] = {
      {"two values for one address", "S104000811E2\r\nS104000822D1\r\nS9030000FC\r\n", false},
      {"the same value twice", "S104000811E2\r\nS104000811E2\r\nS9030000FC\r\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string path = WriteFile("rules.s19", c.text);
    TForm1& f = MakeForm();
    f.Memo1->Lines()->SetLines({":keep"});
    f.Edit2->SetText("0FFF");
    reporter_.messages.clear();
    ScriptDialog(f.OpenDialog1, {path});
    f.Button7->click();
    if (c.loads) {
      EXPECT_TRUE(reporter_.messages.empty());
      EXPECT_EQ(MemoLines(), (std::vector<std::string>{";MinAdr=0008", ";MaxAdr=0008",
                                                       ":0100080011E6", ":00000001FF"}));
      EXPECT_EQ(f.Edit2->Text(), "0008");
    } else {
      EXPECT_EQ(reporter_.messages,
                std::vector<std::string>{"ファイル " + path + " は開けません."});
      EXPECT_EQ(MemoLines(), std::vector<std::string>{":keep"});
      EXPECT_EQ(f.Edit2->Text(), "0FFF");
    }
  }
}

TEST_F(WindowFormats, AReadIsSavedInTheFormatTheExtensionOrTheFilterNames) {
  if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat is not installed";
  // The chip sends 0x00..0x1F of the range 0000-003F; the rest of a binary is FF.
  const std::vector<std::string> records = {":10000000000102030405060708090A0B0C0D0E0F78",
                                            ":10001000101112131415161718191A1B1C1D1E1F68",
                                            ":00000001FF"};
  std::string chip;
  for (int i = 0; i < 32; ++i) chip += static_cast<char>(i);
  chip += std::string(32, '\xFF');
  const struct {
    const char* name;
    int filter;  // 1 Intel HEX, 2 S-record, 3 binary, 4 all files
    ImageFormat expected;
  } cases[] = {
      {"r.hex", 1, ImageFormat::IntelHex}, {"r.s19", 1, ImageFormat::SRecord},
      {"r.mot", 3, ImageFormat::SRecord},  {"r-srec", 2, ImageFormat::SRecord},
      {"r-bin", 3, ImageFormat::Binary},   {"r.dat", 4, ImageFormat::IntelHex},
      {"R.BIN", 2, ImageFormat::Binary},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TForm1& f = MakeForm();
    device().readData = records;
    f.Edit2->SetText("003F");
    const std::string path = Path(c.name);
    f.SaveDialog1->SetRunner([&](TFileDialog& d) {
      d.SetFileName(path);
      d.SetFilterIndex(c.filter);
      return true;
    });
    f.Button2->click();
    ASSERT_TRUE(reporter_.messages.empty()) << reporter_.messages.front();
    EXPECT_EQ(f.Label1->Caption(), path);
    const std::string saved = ReadFile(path);
    switch (c.expected) {
      case ImageFormat::IntelHex:
        EXPECT_EQ(saved, f.Memo1->Text());  // the memo's lines exactly
        break;
      case ImageFormat::Binary:
        EXPECT_EQ(saved, chip);
        break;
      case ImageFormat::SRecord: {
        ASSERT_EQ(saved.rfind("S0", 0), 0u) << saved;
        const std::string out = path + ".oracle";
        ASSERT_EQ(std::system(("srec_cat " + path + " -motorola -fill 0xFF 0 0x40 -o " + out +
                               " -binary 2>/dev/null")
                                  .c_str()),
                  0);
        EXPECT_EQ(ReadFile(out), chip);
        break;
      }
    }
    EXPECT_FALSE(f.Button5->isHidden());
  }
}

// The chosen filter decides by its pattern: the same entry chosen in a reordered list
// writes the same format.
TEST(SaveFormat, FollowsTheChosenFilterNotItsPlaceInTheList) {
  const std::string hex = "Intel HEX|*.hex|";
  const std::string srec = "S|*.s19;*.srec;*.mot|";
  const std::string bin = "Bin|*.bin|";
  const std::string all = "All|*";
  const std::string usual = SaveDialogFilter();
  const std::string reordered = all + "|" + bin + srec + hex.substr(0, hex.size() - 1);
  const struct {
    const char* name;
    const std::string* filter;
    int index;
    ImageFormat expected;
  } cases[] = {
      {"r", &usual, 1, ImageFormat::IntelHex},     {"r", &usual, 2, ImageFormat::SRecord},
      {"r", &usual, 3, ImageFormat::Binary},       {"r", &usual, 4, ImageFormat::IntelHex},
      {"r", &reordered, 1, ImageFormat::IntelHex}, {"r", &reordered, 2, ImageFormat::Binary},
      {"r", &reordered, 3, ImageFormat::SRecord},  {"r", &reordered, 4, ImageFormat::IntelHex},
      {"r", &reordered, 9, ImageFormat::IntelHex}, {"r.S19", &reordered, 2, ImageFormat::SRecord},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SaveFormat(c.name, *c.filter, c.index), c.expected)
        << c.name << " " << *c.filter << " #" << c.index;
  }
}

TEST_F(WindowFormats, ABinaryThatCannotHoldTheReadIsRefusedAndNothingIsWritten) {
  const struct {
    const char* why;
    std::string end;
    std::vector<std::string> records;
  } cases[] = {
      {"data outside the range", "000F", {":01002000429D", ":00000001FF"}},
      {"a range that ends before it starts", "0000", {":0100000042BD", ":00000001FF"}},
      {"records that are not Intel HEX", "000F", {":01000000", ":00000001FF"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    TForm1& f = MakeForm();
    device().readData = c.records;
    f.Edit1->SetText(c.end == "0000" ? "0010" : "0000");
    f.Edit2->SetText(c.end);
    reporter_.messages.clear();
    ScriptDialog(f.SaveDialog1, {Path("out.bin")});
    f.Button2->click();
    ASSERT_EQ(reporter_.messages.size(), 1u);
    EXPECT_EQ(reporter_.messages[0].rfind("ファイル " + Path("out.bin") + " を作成できません（", 0),
              0u)
        << reporter_.messages[0];
    EXPECT_FALSE(std::filesystem::exists(Path("out.bin")));
    EXPECT_EQ(f.Button2->Caption(), "LOAD");
  }
}

}  // namespace
}  // namespace zemb::ui::test
