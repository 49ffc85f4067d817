// The operation buttons, checked on what goes to the device and what the window shows.
#include <signal.h>
#include <sys/resource.h>

#include <QScreen>
#include <QTest>

#include "UiTestSupport.h"
#include "uSetting.h"

namespace zemb::ui::test {
namespace {

std::vector<std::string> DataLines(int n) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, ":10%04X00000102030405060708090A0B0C0D0E0F%02X", i * 16,
                  i & 0xFF);
    lines.push_back(buf);
  }
  return lines;
}

std::string FileText(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

class Operations : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    MakeForm();
  }
  // The command lines after the connection's handshake and default type.
  std::vector<std::string> Commands() {
    std::vector<std::string> out;
    for (const auto& c : device().commands) {
      if (c != "RA" && c != "RT 08") out.push_back(c);
    }
    return out;
  }
};

TEST_F(Operations, BlankCheckShowsItsResultAndTheAnswer) {
  TForm1& f = form();
  std::string busy;
  device().onCommand = [&](const std::string&) { busy = f.Button1->Caption(); };
  f.Button1->click();
  EXPECT_EQ(device().commands, (std::vector<std::string>{"RA", "RT 08", "RB 0000,0FFF"}));
  EXPECT_EQ(busy, "チェック中");
  EXPECT_EQ(f.Button1->Caption(), "チェックOK");
  EXPECT_EQ(f.Caption(), "RB OK");

  device().rbAnswer = "RB NG 0123";
  f.Button1->click();
  EXPECT_EQ(f.Button1->Caption(), "チェックNG");
  EXPECT_EQ(f.Caption(), "RB NG 0123");
}

TEST_F(Operations, SuccessfulReadFillsTheMemoSavesItAndShowsTheImageButtons) {
  TForm1& f = form();
  device().readData = DataLines(3);
  std::string busy;
  device().onCommand = [&](const std::string&) { busy = f.Button2->Caption(); };
  const std::string path = Path("read.hex");
  ScriptDialog(f.SaveDialog1, {path});
  f.Button2->click();

  EXPECT_EQ(Commands(), std::vector<std::string>{"RR 00000,00FFF+00000"});
  EXPECT_EQ(busy, "...");
  EXPECT_EQ(f.Button2->Caption(), "LOAD");
  EXPECT_EQ(MemoLines(), DataLines(3));
  EXPECT_EQ(ReadFile(path), FileText(DataLines(3)));
  EXPECT_EQ(f.Label1->Caption(), path);
  EXPECT_EQ(f.Caption(), "RR OK");
  EXPECT_TRUE(f.Button7->isHidden());
  EXPECT_FALSE(f.Button5->isHidden());
  EXPECT_TRUE(f.Button5->isEnabled());
  EXPECT_EQ(f.Button5->Caption(), "WRITE");
  EXPECT_EQ(f.Button6->Caption(), "比較");

  // The saved file loads back into the same lines.
  f.Memo1->Lines()->Clear();
  ScriptDialog(f.OpenDialog1, {path});
  f.Button7Click(f.Button7);
  EXPECT_EQ(MemoLines(), DataLines(3));
}

TEST_F(Operations, ReadWithSaveCancelledStillShowsTheImageButtons) {
  TForm1& f = form();
  device().readData = DataLines(2);
  ScriptDialog(f.SaveDialog1, {""});
  f.Button2->click();
  EXPECT_EQ(dialogRuns_, 1);
  EXPECT_EQ(f.Label1->Caption(), "ファイルとの");
  EXPECT_EQ(MemoLines(), DataLines(2));
  EXPECT_TRUE(f.Button7->isHidden());
  EXPECT_TRUE(f.Button6->isEnabled());
}

TEST_F(Operations, FailedReadOffersNoSaveAndChangesNoButtons) {
  TForm1& f = form();
  f.Memo1->Lines()->SetLines({":keep"});
  device().rrAnswer = "RR NG";
  ScriptDialog(f.SaveDialog1, {Path("never.hex")});
  f.Button2->click();
  EXPECT_EQ(dialogRuns_, 0);
  EXPECT_EQ(f.Button2->Caption(), "LOAD");
  EXPECT_EQ(f.Caption(), f.zembROMWT1->Status);
  EXPECT_EQ(MemoLines(), std::vector<std::string>{":keep"});
  EXPECT_FALSE(f.Button7->isHidden());
  EXPECT_TRUE(f.Button5->isHidden());
}

TEST_F(Operations, SaveThatCannotCreateTheFileStopsBeforeTheButtons) {
  TForm1& f = form();
  device().readData = DataLines(2);
  const std::string path = Path("no/such/dir/x.hex");
  ScriptDialog(f.SaveDialog1, {path});
  f.Button2->click();
  EXPECT_EQ(reporter_.messages,
            std::vector<std::string>{"ファイル " + path + " を作成できません."});
  EXPECT_EQ(f.Button2->Caption(), "LOAD");
  EXPECT_EQ(f.Label1->Caption(), path);
  EXPECT_EQ(MemoLines(), DataLines(2));
  EXPECT_EQ(f.Caption(), "ZEMB-DazIzira");
  EXPECT_FALSE(f.Button7->isHidden());
}

TEST_F(Operations, SaveThatStopsShortLeavesTheOldFileWhole) {
  TForm1& f = form();
  const std::string path = WriteFile("old.hex", ":old\r\n");
  device().readData = DataLines(400);
  ScriptDialog(f.SaveDialog1, {path});

  // A file size limit makes the write stop short, as a full disk would.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  auto* previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  f.Button2->click();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);

  EXPECT_EQ(reporter_.messages, std::vector<std::string>{"ストリームへの書き込みエラー."});
  EXPECT_EQ(ReadFile(path), ":old\r\n");
  EXPECT_EQ(f.Memo1->Lines()->Count(), 400);
  EXPECT_EQ(f.Button2->Caption(), "LOAD");
}

TEST_F(Operations, ProgramUsesTheRangeOfTheFileAndCompareTheRangeBeforeIt) {
  TForm1& f = form();
  std::vector<std::string> image = {";MaxAdr=7FFF"};
  for (const auto& l : DataLines(5)) image.push_back(l);
  const std::string path = WriteFile("p.hex", FileText(image));
  std::vector<std::string> busy;
  device().onCommand = [&](const std::string& c) {
    if (c.rfind("RP", 0) == 0) busy.push_back(f.Button3->Caption());
    if (c.rfind("RC", 0) == 0) busy.push_back(f.Button4->Caption());
  };

  ScriptDialog(f.OpenDialog1, {path, path});
  f.Button3->click();
  EXPECT_EQ(Commands(), std::vector<std::string>{"RP 00000,07FFF+00000"});
  EXPECT_EQ(device().uploaded, image);
  EXPECT_EQ(f.Button3->Caption(), "ProgramOK");
  EXPECT_EQ(f.Caption(), "RP OK");

  f.Edit2->SetText("FFF");
  device().commands.clear();
  device().uploaded.clear();
  f.Button4->click();
  EXPECT_EQ(Commands(), std::vector<std::string>{"RC 00000,00FFF+00000"});
  EXPECT_EQ(device().uploaded, image);
  EXPECT_EQ(f.Edit2->Text(), "7FFF");
  EXPECT_EQ(f.Button4->Caption(), "CompOK");
  EXPECT_EQ(busy, (std::vector<std::string>{"...", "..."}));
}

TEST_F(Operations, ProgramAndCompareFailuresShowNg) {
  TForm1& f = form();
  const std::string path = WriteFile("p.hex", FileText(DataLines(2)));
  ScriptDialog(f.OpenDialog1, {path, path});
  device().rpFirst = "RB NG";
  device().rpFinal = "RP NG 0010";
  f.Button3->click();
  EXPECT_EQ(f.Button3->Caption(), "ProgramNG");
  EXPECT_EQ(f.Caption(), "RP NG 0010");
  EXPECT_TRUE(device().uploaded.empty());
  device().rcAnswer = "RC NG";
  f.Button4->click();
  EXPECT_EQ(f.Button4->Caption(), "CompNG");
}

TEST_F(Operations, CancelledOpenDialogSendsNothingAndRepeatsTheLastAnswer) {
  TForm1& f = form();
  f.Button1->click();
  const size_t written = channel().written.size();
  f.SetCaption("x");
  ScriptDialog(f.OpenDialog1, {"", ""});
  f.Button3->click();
  EXPECT_EQ(f.Caption(), "RB OK");
  f.SetCaption("x");
  f.Button4->click();
  EXPECT_EQ(f.Caption(), "RB OK");
  EXPECT_EQ(channel().written.size(), written);
  EXPECT_EQ(f.Button3->Caption(), "PROGRAM");
}

TEST_F(Operations, WriteUploadsTheMemoAndMovesTheBarThroughEveryLine) {
  TForm1& f = form();
  const std::string path = WriteFile("w.hex", FileText(DataLines(100)));
  ScriptDialog(f.OpenDialog1, {path});
  f.Button7->click();
  f.ProgressBar1->setValue(50);  // so that the first position, 0, is a change
  std::vector<int> positions;
  QObject::connect(f.ProgressBar1, &QProgressBar::valueChanged,
                   [&](int v) { positions.push_back(v); });
  std::vector<std::string> captions;
  device().onCommand = [&](const std::string& c) {
    if (c.rfind("RW", 0) == 0) captions = {f.Caption(), f.Button3->Caption()};
  };
  f.Button5->click();

  EXPECT_EQ(Commands(), std::vector<std::string>{"RW 00000,00FFF+00000"});
  EXPECT_EQ(device().uploaded, DataLines(100));
  EXPECT_EQ(captions, (std::vector<std::string>{" 書込中 ...", "..."}));
  std::vector<int> expected(100);
  for (int i = 0; i < 100; ++i) expected[static_cast<size_t>(i)] = i;
  EXPECT_EQ(positions, expected);
  EXPECT_EQ(f.ProgressBar1->maximum(), 100);
  EXPECT_EQ(f.ProgressBar1->value(), 99);
  EXPECT_EQ(f.Button3->Caption(), "WriteOK");
  EXPECT_EQ(f.Button5->Caption(), "WRITE");
  EXPECT_EQ(f.Caption(), "RW OK");
}

TEST_F(Operations, CompareAgainReportsOnTheCompareButton) {
  TForm1& f = form();
  const std::string path = WriteFile("c.hex", FileText(DataLines(4)));
  ScriptDialog(f.OpenDialog1, {path});
  f.Button7->click();
  f.Memo1->Lines()->Add(":typed");  // the memo's lines as they stand are uploaded
  std::string caption;
  device().onCommand = [&](const std::string&) { caption = f.Caption(); };
  device().rcAnswer = "RC NG";
  f.Button6->click();
  auto expected = DataLines(4);
  expected.push_back(":typed");
  EXPECT_EQ(device().uploaded, expected);
  EXPECT_EQ(caption, " 比較中 ...");
  EXPECT_EQ(f.Button4->Caption(), "CompNG");
  EXPECT_EQ(f.Button6->Caption(), "比較");
  EXPECT_EQ(f.Caption(), "RC NG");
}

TEST_F(Operations, EmptyMemoUploadsNothingAndLeavesTheBar) {
  TForm1& f = form();
  f.ProgressBar1->setValue(42);
  RunGuarded([&] { f.Button5Click(f.Button5); });
  RunGuarded([&] { f.Button6Click(f.Button6); });
  EXPECT_EQ(Commands(), (std::vector<std::string>{"RW 00000,00FFF+00000", "RC 00000,00FFF+00000"}));
  EXPECT_TRUE(device().uploaded.empty());
  EXPECT_EQ(f.Button3->Caption(), "WriteOK");
  EXPECT_EQ(f.Button4->Caption(), "CompOK");
  EXPECT_EQ(f.ProgressBar1->value(), 42);
}

TEST_F(Operations, MissingPortStopsSilentlyAndLeavesTheBusyTexts) {
  TForm1& f = form();
  channel().openSucceeds = false;
  f.Button1->click();
  EXPECT_EQ(f.Button1->Caption(), "チェック中");
  EXPECT_EQ(f.Caption(), "ZEMB-DazIzira");
  f.Button2->click();
  EXPECT_EQ(f.Button2->Caption(), "LOAD");
  EXPECT_EQ(f.Caption(), "ZEMB-DazIzira");
  RunGuarded([&] { f.Button5Click(f.Button5); });
  EXPECT_EQ(f.Caption(), " 書込中 ...");
  EXPECT_EQ(f.Button3->Caption(), "...");
  EXPECT_TRUE(reporter_.messages.empty());
  EXPECT_TRUE(channel().written.empty());
}

TEST_F(Operations, BadAddressFieldStopsEachOperationWhereItIsRead) {
  TForm1& f = form();
  f.Edit2->SetText("12G4");
  const std::string path = WriteFile("p.hex", ";MinAdr=0000\r\n");
  ScriptDialog(f.OpenDialog1, {path, path});
  f.Button3->click();  // loads first, then fails on the range
  EXPECT_EQ(f.Label1->Caption(), path);
  EXPECT_EQ(dialogRuns_, 1);
  f.Button4->click();  // fails before its dialog
  EXPECT_EQ(dialogRuns_, 1);
  f.Button6->click();
  EXPECT_EQ(f.Caption(), " 比較中 ...");
  EXPECT_EQ(reporter_.messages.size(), 3u);
  EXPECT_EQ(reporter_.messages[0], "'$12G4' は整数ではありません.");
  EXPECT_TRUE(channel().written.empty());
  EXPECT_EQ(f.Button3->Caption(), "PROGRAM");
}

TEST_F(Operations, CloseRequestedDuringAnOperationEndsItSilentlyThenCloses) {
  TForm1& f = form();
  f.show();
  device().readData = DataLines(3);
  ScriptDialog(f.SaveDialog1, {""});
  bool closedDuringRead = true;
  device().onCommand = [&](const std::string& c) {
    if (c.rfind("RR", 0) == 0) closedDuringRead = f.close();
  };
  f.Button2->click();
  EXPECT_FALSE(closedDuringRead);
  // The read ended by the silent abort: no data, no save dialog, no message.
  EXPECT_EQ(dialogRuns_, 0);
  EXPECT_TRUE(reporter_.messages.empty());
  EXPECT_EQ(f.Button2->Caption(), "LOAD");
  EXPECT_TRUE(f.isVisible());
  QApplication::processEvents();
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(ReadValue("@Form1.Memo1"), "");
}

TEST_F(Operations, BusyTextIsOnScreenWhileTheDeviceWorks) {
  TForm1& f = form();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  QImage onScreen;
  QImage rendered;
  device().onCommand = [&](const std::string& c) {
    if (c.rfind("RB", 0) != 0) return;
    const QRect r = f.Button1->geometry();
    onScreen = f.screen()->grabWindow(f.winId(), r.x(), r.y(), r.width(), r.height()).toImage();
    rendered = f.Button1->grab().toImage();
  };
  const QImage before = f.Button1->grab().toImage();
  f.Button1->click();
  ASSERT_FALSE(onScreen.isNull());
  const auto format = QImage::Format_RGB32;
  EXPECT_EQ(onScreen.convertToFormat(format), rendered.convertToFormat(format));
  EXPECT_NE(onScreen.convertToFormat(format), before.convertToFormat(format));
}

}  // namespace
}  // namespace zemb::ui::test
