// Image files in the window as bytes: lines that are not UTF-8 survive every trip through
// the memo, and files the window must not take or cannot write are refused with its
// messages while the memo and fields stay as they were.
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "FileIO.h"
#include "MemoText.h"
#include "UiTestSupport.h"
#include "uSetting.h"

namespace zemb::ui::test {
namespace {

using namespace std::string_literals;

TEST(MemoText, EveryByteStringComesBackUnchanged) {
  const std::vector<std::string> samples = {
      "",
      ";\x83\x65\x83\x58\x83\x67 Shift-JIS comment",  // invalid as UTF-8
      "\xe6\x97\xa5\xe6\x9c\xac",                     // valid UTF-8: two characters
      "\xf0\x9f\x98\x80",                             // outside the BMP: a surrogate pair
      "\xed\xb2\x80",                                 // an encoded U+DC80 is not UTF-8
      "\xe2\x80\xa9",                                 // U+2029 would split the line
      "\xc0\xaf\xe0\x80\xaf\xf4\x90\x80\x80",         // overlong and above U+10FFFF
      "\xe6\x97",                                     // cut short at the end
      "a\0b\x7f\x80\xff"s,
  };
  for (const auto& bytes : samples) {
    EXPECT_EQ(MemoTextToBytes(BytesToMemoText(bytes)), bytes) << bytes;
  }
  EXPECT_EQ(BytesToMemoText("\xe6\x97\xa5\xe6\x9c\xac"), QString::fromUtf8("日本"));
  EXPECT_EQ(BytesToMemoText("\x83\x65").size(), 2);
  EXPECT_FALSE(BytesToMemoText("\xe2\x80\xa9").contains(QChar::ParagraphSeparator));

  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(rng() % 40, '\0');
    for (auto& b : bytes)
      b = static_cast<char>(rng() % 4 == 0 ? rng() % 0x80 : 0x80 + rng() % 0x80);
    ASSERT_EQ(MemoTextToBytes(BytesToMemoText(bytes)), bytes);
  }
}

using ImageBytes = WindowTest;

TEST_F(ImageBytes, LinesThatAreNotUtf8ReachTheDeviceTheSavedFileAndTheNextRun) {
  const std::vector<std::string> lines = {
      ";\x83\x65\x83\x58\x83\x67\x97\x70",  // Shift-JIS
      ";\xe6\x97\xa5\xe6\x9c\xac\xe2\x80\xa9 \xff", ";MaxAdr=000F", ":0100000042BD", ":00000001FF",
  };
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  const std::string path = WriteFile("sjis.hex", text);

  TForm1& f = MakeForm({path});
  EXPECT_TRUE(reporter_.messages.empty());
  EXPECT_EQ(MemoLines(), lines);
  EXPECT_EQ(f.Memo1->Text(), text);

  device().rwAnswer = "RW OK";
  f.Button5->click();
  EXPECT_EQ(device().uploaded, lines);

  f.Memo1->Lines()->SaveToFile(Path("saved.hex"));
  EXPECT_EQ(ReadFile(Path("saved.hex")), text);

  CloseAndShutdown();
  MakeForm();
  EXPECT_EQ(MemoLines(), lines);
}

// A large image is written and stored whole, byte for byte.
TEST_F(ImageBytes, ALargeImageGoesOutWholeAndIsStoredWhole) {
  std::vector<std::string> lines = {";\x83\x65\x83\x58\x83\x67", ";MaxAdr=7FFF"};
  for (int i = 0; i < 6000; ++i) {
    lines.push_back(":10" + std::to_string(1000 + i) + "\xE6\x97\xA5\xFF");
  }
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  const std::string path = WriteFile("large.hex", text);
  TForm1& f = MakeForm();
  ScriptDialog(f.OpenDialog1, {path});
  f.Button7->click();
  EXPECT_EQ(f.Edit2->Text(), "7FFF");
  f.Button5->click();
  EXPECT_EQ(device().uploaded, lines);
  EXPECT_EQ(f.Memo1->Text(), text);
  CloseAndShutdown();
  MakeForm();
  EXPECT_EQ(MemoLines(), lines);
}

TEST_F(ImageBytes, LoadRefusalsLeaveTheMemoAndFieldsAsTheyWere) {
  ASSERT_EQ(::mkfifo(Path("fifo.hex").c_str(), 0666), 0);  // nobody writes it
  WriteFile("nul.hex",
            ";MaxAdr=1234\r\n:0100000042BD\r\n:00\0"s
            "000001FF\r\n");
  const std::string big = WriteFile("big.hex", ";MaxAdr=1234\r\n");
  ASSERT_EQ(::truncate(big.c_str(), kMaxImageBytes + 1), 0);
  const std::vector<std::string> refused = {Path("fifo.hex"), Path("nul.hex"), big, "/dev/zero",
                                            Path("")};

  TForm1& f = MakeForm();
  f.Memo1->Lines()->SetLines({":keep"});
  f.Edit2->SetText("0FFF");
  for (const auto& path : refused) {
    SCOPED_TRACE(path);
    reporter_.messages.clear();
    ScriptDialog(f.OpenDialog1, {path});
    f.Button7->click();
    EXPECT_EQ(reporter_.messages, std::vector<std::string>{"ファイル " + path + " は開けません."});
    EXPECT_EQ(MemoLines(), std::vector<std::string>{":keep"});
    EXPECT_EQ(f.Edit2->Text(), "0FFF");
    EXPECT_FALSE(f.Button7->isHidden());
  }
}

TEST_F(ImageBytes, SaveAfterReadRefusesWhatItCannotWriteAndKeepsTheOldFile) {
  const std::string data = ":0100000042BD\r\n:00000001FF\r\n";
  const std::string locked = WriteFile("locked.hex", "old\r\n");
  ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
  ASSERT_EQ(::mkfifo(Path("fifo.hex").c_str(), 0666), 0);
  struct Case {
    std::string path;
    std::string message;
  };
  const std::vector<Case> cases = {
      {locked, "ファイル " + locked + " を作成できません."},
      {Path("fifo.hex"), "ファイル " + Path("fifo.hex") + " を作成できません."},
      {"/dev/full", "ストリームへの書き込みエラー."},
  };
  TForm1& f = MakeForm();
  device().readData = {":0100000042BD", ":00000001FF"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    reporter_.messages.clear();
    ScriptDialog(f.SaveDialog1, {c.path});
    f.Button2->click();
    EXPECT_EQ(reporter_.messages, std::vector<std::string>{c.message});
    EXPECT_EQ(f.Label1->Caption(), c.path);
    EXPECT_EQ(f.Memo1->Text(), data);
  }
  EXPECT_EQ(ReadFile(locked), "old\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(Path("fifo.hex").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

}  // namespace
}  // namespace zemb::ui::test
