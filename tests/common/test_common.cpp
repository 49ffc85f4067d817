// The line list's splitting and lookup rules, the integer conversions and the crash-safe
// file write that every layer relies on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "Convert.h"
#include "Errors.h"
#include "FileIO.h"
#include "TComponent.h"
#include "TStrings.h"

namespace zemb {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitLines, LineEndsNulAndTrailingBreak) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"}));  // LF CR is two line ends
  EXPECT_EQ(SplitLines("a\r\n"), Lines{"a"});
  EXPECT_EQ(SplitLines("a\r\n\r\n"), (Lines{"a", ""}));
  EXPECT_EQ(SplitLines(std::string("a\nb\0c\nd", 7)), (Lines{"a", "b"}));
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("\r"), Lines{""});
}

TEST(TStringList, TextNamesAndValues) {
  TStringList list({"x", ";MaxAdr=7FFF", ";maxadr=1", "noequals", "=v", ";Type="});
  EXPECT_EQ(list.Text(), "x\r\n;MaxAdr=7FFF\r\n;maxadr=1\r\nnoequals\r\n=v\r\n;Type=\r\n");
  EXPECT_EQ(list.IndexOfName(";MAXADR"), 1);
  EXPECT_EQ(list.Values(";maxAdr"), "7FFF");
  EXPECT_EQ(list.Values(";Type"), "");
  EXPECT_EQ(list.IndexOfName(";Type"), 5);
  EXPECT_EQ(list.IndexOfName("noequals"), -1);
  EXPECT_EQ(list.IndexOfName(""), 4);
  EXPECT_EQ(list.Values(";MinAdr"), "");
  list.Delete(0);
  EXPECT_EQ(list.Get(0), ";MaxAdr=7FFF");
  EXPECT_THROW(list.Get(99), std::out_of_range);
  EXPECT_THROW(list.Delete(-1), std::out_of_range);
}

// The packed list holds the same lines as the plain one, whatever is done to them.
TEST(TPackedStringList, AgreesWithTStringList) {
  const std::vector<std::string> texts = {"a\r\nb\nc\rd",
                                          "a\n\rb",
                                          "a\r\n",
                                          "a\r\n\r\n",
                                          std::string("a\nb\0c\nd", 7),
                                          "",
                                          "\r",
                                          ";MinAdr=0\r\n;maxadr=7FFF\r\n:00000001FF"};
  for (const std::string& text : texts) {
    TStringList plain;
    TPackedStringList packed;
    packed.Add("left over");
    plain.SetText(text);
    packed.SetText(text);
    ASSERT_EQ(packed.Count(), plain.Count()) << text;
    EXPECT_EQ(packed.Text(), plain.Text());
    EXPECT_EQ(packed.Values(";MaxAdr"), plain.Values(";MaxAdr"));
    for (TStrings* list : {static_cast<TStrings*>(&plain), static_cast<TStrings*>(&packed)}) {
      list->Add("");
      list->Add("tail=1");
      if (list->Count() > 2) list->Delete(1);
      list->Delete(0);
    }
    ASSERT_EQ(packed.Count(), plain.Count());
    for (int i = 0; i < plain.Count(); ++i) EXPECT_EQ(packed.Get(i), plain.Get(i)) << text;
  }
  TPackedStringList packed;
  packed.SetLines({"x", "", "y=2"});
  EXPECT_EQ(packed.Text(), "x\r\n\r\ny=2\r\n");
  EXPECT_EQ(packed.Values("Y"), "2");
  EXPECT_THROW(packed.Get(3), std::out_of_range);
  EXPECT_THROW(packed.Delete(-1), std::out_of_range);
  packed.Clear();
  EXPECT_EQ(packed.Count(), 0);
  EXPECT_EQ(packed.Text(), "");
}

TEST(CompareTextNoCase, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(CompareTextNoCase("@Form1.Edit1", "@FORM1.EDIT1"), 0);
  EXPECT_LT(CompareTextNoCase("a", "B"), 0);
  EXPECT_LT(CompareTextNoCase("ab", "abc"), 0);
  EXPECT_NE(CompareTextNoCase("\xE9", "\xC9"), 0);
  EXPECT_GT(CompareTextNoCase("\x80", "z"), 0);  // bytes compare unsigned
}

TEST(AsciiLower, LowersOnlyAsciiLetters) {
  EXPECT_EQ(AsciiLower("AZaz@[`{09.HEX"), "azaz@[`{09.hex");
  EXPECT_EQ(AsciiLower("\xC9\xE9\x80"), "\xC9\xE9\x80");  // Latin-1 and UTF-8 bytes stay
  EXPECT_EQ(AsciiLower(std::string("A\0B", 3)), std::string("a\0b", 3));
  EXPECT_EQ(AsciiLower(""), "");
}

TEST(Convert, GeneralIntegerConversion) {
  int32_t v = 0;
  EXPECT_TRUE(TryStrToInt("10", v));
  EXPECT_EQ(v, 10);
  EXPECT_TRUE(TryStrToInt("  -7", v));
  EXPECT_EQ(v, -7);
  EXPECT_TRUE(TryStrToInt("$0A", v));
  EXPECT_EQ(v, 10);
  EXPECT_TRUE(TryStrToInt("0x1f", v));
  EXPECT_EQ(v, 31);
  EXPECT_TRUE(TryStrToInt("X10", v));
  EXPECT_EQ(v, 16);
  EXPECT_TRUE(TryStrToInt("$FFFFFFFF", v));
  EXPECT_EQ(v, -1);
  EXPECT_TRUE(TryStrToInt("$000000FFF", v));
  EXPECT_EQ(v, 0xFFF);
  EXPECT_TRUE(TryStrToInt("-2147483648", v));
  EXPECT_EQ(v, INT32_MIN);
  for (const char* bad :
       {"", " ", "0A", "1 ", "$", "$123456789", "2147483648", "+", "$-1", "1e3", "--1"}) {
    EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
  }
  try {
    StrToInt("$12G4");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'$12G4' は整数ではありません");
  }
  EXPECT_EQ(IntToHex(0xFFF, 4), "0FFF");
  EXPECT_EQ(IntToHex(0x1FFFF, 5), "1FFFF");
  EXPECT_EQ(IntToHex(-1, 5), "FFFFFFFF");
  EXPECT_EQ(IntToStr(-12), "-12");
}

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("zemb-common-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(dir);
  }
  std::string Read(const std::filesystem::path& p) {
    std::string s;
    EXPECT_TRUE(ReadWholeFile(p.string(), s));
    return s;
  }
  std::filesystem::path dir;
};

TEST_F(Files, SaveAndLoadRoundTrip) {
  const auto path = (dir / "image.hex").string();
  TStringList list({";MaxAdr=7FFF", ":00000001FF"});
  list.SaveToFile(path);
  EXPECT_EQ(Read(path), ";MaxAdr=7FFF\r\n:00000001FF\r\n");
  TStringList back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Lines(), list.Lines());
}

TEST_F(Files, LoadFailureLeavesTheListAndNamesThePath) {
  TStringList list({"keep"});
  const auto missing = (dir / "missing.hex").string();
  try {
    list.LoadFromFile(missing);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "ファイル " + missing + " は開けません");
  }
  EXPECT_THROW(list.LoadFromFile(dir.string()), EFOpenError);  // a folder
  EXPECT_EQ(list.Lines(), Lines{"keep"});
}

TEST_F(Files, FailedSaveLeavesTheOldFileWhole) {
  const auto path = (dir / "old.hex").string();
  { std::ofstream(path, std::ios::binary) << "precious\r\n"; }
  // A folder that cannot take the temporary file: a write-protected old file survives
  // untouched (a writable one would be written in place).
#ifndef _WIN32
  if (::geteuid() != 0) {
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    std::filesystem::permissions(
        dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_THROW(TStringList({"new"}).SaveToFile(path), EFCreateError);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    std::filesystem::permissions(
        path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(Read(path), "precious\r\n");
  }
#endif
  // A missing folder, and a folder standing at the path itself.
  EXPECT_THROW(TStringList({"x"}).SaveToFile((dir / "nofolder" / "x.hex").string()), EFCreateError);
  EXPECT_THROW(TStringList({"x"}).SaveToFile(dir.string()), EFCreateError);
  EXPECT_EQ(Read(path), "precious\r\n");
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    EXPECT_EQ(entry.path().filename(), "old.hex");  // no temporary file left behind
  }
}

#ifndef _WIN32
TEST_F(Files, SaveKeepsThePermissionsOfTheReplacedFile) {
  const auto path = dir / "mode.hex";
  { std::ofstream(path) << "x"; }
  ::chmod(path.c_str(), 0640);
  TStringList({"y"}).SaveToFile(path.string());
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}
#endif

TEST(TComponent, OwnerDestroysOwnedAndOwnedLeavesOwner) {
  static int destroyed = 0;
  struct Counted : TComponent {
    using TComponent::TComponent;
    ~Counted() override { ++destroyed; }
  };
  destroyed = 0;
  auto* form = new Counted(nullptr);
  auto* a = new Counted(form);
  auto* b = new Counted(form);
  a->SetName("a");
  b->SetName("b");
  EXPECT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->Component(1)->Name(), "b");
  delete a;
  EXPECT_EQ(form->ComponentCount(), 1);
  delete form;
  EXPECT_EQ(destroyed, 3);
}

}  // namespace
}  // namespace zemb
