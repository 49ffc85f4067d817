// The main window: start-up, the type list and port group, the address range, the saved
// field values and the loading of image files.
#include <QAbstractItemView>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <csignal>

#include "Errors.h"
#include "TerminationSignals.h"
#include "UiTestSupport.h"
#include "uSetting.h"

namespace zemb::ui::test {
namespace {

int CountOf(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<int>(std::count(v.begin(), v.end(), s));
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  return SplitLines(text);
}

using FormStart = WindowTest;

TEST_F(FormStart, FirstStartWithoutSettingsShowsTheFormDescriptionValues) {
  TForm1& f = MakeForm();
  EXPECT_EQ(f.Caption(), "ZEMB-DazIzira");
  EXPECT_EQ(f.ComboBox1->ItemIndex(), 8);
  EXPECT_EQ(f.ComboBox1->Text(), "08: 27256 t2 (vpp=12.5v)");
  EXPECT_EQ(f.Edit1->Text(), "0000");
  EXPECT_EQ(f.Edit2->Text(), "FFF");
  EXPECT_EQ(f.Memo1->Text(), "");
  EXPECT_EQ(f.RadioGroup1->ItemIndex(), -1);
  EXPECT_EQ(f.zembROMWT1->com(), "COM1");
  EXPECT_FALSE(f.Button7->isHidden());
  EXPECT_TRUE(f.Button5->isHidden());
  EXPECT_TRUE(f.Button6->isHidden());
  EXPECT_FALSE(f.Button5->isEnabled());
  EXPECT_FALSE(f.Button6->isEnabled());
  EXPECT_TRUE(f.acceptDrops());
  EXPECT_FALSE(f.Memo1->acceptDrops());
  EXPECT_TRUE(channel().written.empty());
  EXPECT_TRUE(reporter_.messages.empty());

  // At close only the values that are not empty are stored, the port index always.
  CloseAndShutdown();
  EXPECT_EQ(
      SplitCrLf(ReadFile(SettingsFile())),
      (std::vector<std::string>{"@Form1.Edit1=0000", "@Form1.Edit2=FFF", "@Form1.RadioGroup1=-1"}));
}

TEST_F(FormStart, ControlsFollowTheFormDescription) {
  TForm1& f = MakeForm();
  struct Expected {
    QWidget* widget;
    QWidget* parent;
    QRect rect;
    QString text;
  };
  const std::vector<Expected> table = {
      {f.Button1, &f, {137, 28, 91, 25}, "ブランクCHK"},
      {f.ComboBox1, &f, {2, 2, 281, 21}, ""},
      {f.Edit1, &f, {2, 29, 63, 21}, ""},
      {f.Edit2, &f, {67, 29, 66, 21}, ""},
      {f.RadioGroup1, &f, {294, 2, 67, 74}, ""},
      {f.ProgressBar1, &f, {208, 90, 143, 16}, ""},
      {f.Panel1, &f, {8, 59, 194, 54}, ""},
      {f.Label1, f.Panel1, {5, 6, 184, 13}, ""},
      {f.Button2, f.Panel1, {142, 24, 47, 25}, "ROM読"},
      {f.Button3, f.Panel1, {5, 25, 68, 25}, "PROGRAM"},
      {f.Button4, f.Panel1, {78, 22, 57, 28}, "比較"},
      {f.Button5, &f, {240, 29, 52, 25}, "WRITE"},
      {f.Button6, &f, {236, 62, 56, 24}, "比較"},
      {f.Button7, &f, {242, 46, 46, 24}, "File"},
  };
  for (const auto& e : table) {
    SCOPED_TRACE(e.widget->objectName().toStdString());
    EXPECT_EQ(e.widget->parentWidget(), e.parent);
    EXPECT_EQ(e.widget->geometry(), e.rect);
    if (auto* b = dynamic_cast<QPushButton*>(e.widget)) {
      EXPECT_EQ(b->text(), e.text);
    }
  }
  EXPECT_EQ(f.Label1->Caption(), "ファイルとの");
  EXPECT_EQ(f.RadioGroup1->Caption(), "ポート");
  EXPECT_EQ(f.ProgressBar1->maximum(), 100);
  EXPECT_EQ(f.font().family(), QString("ＭＳ ゴシック"));
  EXPECT_EQ(f.font().pixelSize(), 13);
  EXPECT_EQ(f.zembROMWT1->Speed(), 9600);
  EXPECT_EQ(f.zembROMWT1->defaultRT(), "08");
  EXPECT_EQ(f.OpenDialog1->DefaultExt(), "hex");
  EXPECT_EQ(f.SaveDialog1->DefaultExt(), "hex");
  // Every image format the window reads, and all files; a read saves as Intel HEX unless
  // another filter is chosen.
  EXPECT_EQ(f.OpenDialog1->Filter(),
            "ROMイメージ (*.hex *.s19 *.srec *.mot *.bin)|*.hex;*.s19;*.srec;*.mot;*.bin|"
            "すべてのファイル (*)|*");
  EXPECT_EQ(f.SaveDialog1->Filter(),
            "Intel HEX (*.hex)|*.hex|Sレコード (*.s19 *.srec *.mot)|*.s19;*.srec;*.mot|"
            "バイナリ (*.bin)|*.bin|すべてのファイル (*)|*");
  EXPECT_EQ(f.SaveDialog1->FilterIndex(), 1);

  ASSERT_EQ(f.ComboBox1->count(), 19);
  EXPECT_EQ(f.ComboBox1->ItemText(1), "01: 2764  (vpp=21.0v)");
  EXPECT_EQ(f.ComboBox1->ItemText(10), "0A: 271MA  Hita27C101,Mitsu27C101");
  EXPECT_EQ(f.ComboBox1->ItemText(18), "12: 1024C  FujiMBM27C1024");

  // Ownership order, which is also the order of the saved keys.
  std::vector<std::string> names;
  for (int i = 0; i < f.ComponentCount(); ++i) names.push_back(f.Component(i)->Name());
  EXPECT_EQ(names,
            (std::vector<std::string>{"Button1", "Memo1", "ComboBox1", "Edit1", "Edit2",
                                      "RadioGroup1", "ProgressBar1", "Panel1", "Label1", "Button2",
                                      "Button3", "Button4", "Button5", "Button6", "Button7",
                                      "zembROMWT1", "SaveDialog1", "OpenDialog1"}));

  // The memo grows with the window; the other controls stay where they are.
  f.show();
  f.resize(f.width() + 100, f.height() + 50);
  EXPECT_EQ(f.Memo1->geometry(), QRect(3, 117, 453, 155));
  EXPECT_EQ(f.Button7->geometry(), QRect(242, 46, 46, 24));
}

TEST_F(FormStart, TabOrderFollowsTheFormDescription) {
  TForm1& f = MakeForm();
  f.Button5->show();
  f.Button6->show();
  const std::vector<QWidget*> expected = {f.Button1, f.Memo1,   f.ComboBox1, f.Edit1,
                                          f.Edit2,   f.Button2, f.Button3,   f.Button4,
                                          f.Button5, f.Button6, f.Button7};
  std::vector<QWidget*> chain;
  QWidget* w = f.Button1;
  for (int step = 0; step < 100; ++step, w = w->nextInFocusChain()) {
    if (std::find(expected.begin(), expected.end(), w) != expected.end() &&
        std::find(chain.begin(), chain.end(), w) == chain.end()) {
      chain.push_back(w);
    }
  }
  EXPECT_EQ(chain, expected);
}

using TypeList = WindowTest;

TEST_F(TypeList, PickFromOpenListSendsTheTypeTwiceAndArrowKeyOnce) {
  TForm1& f = MakeForm();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.ComboBox1->showPopup();
  QAbstractItemView* view = f.ComboBox1->view();
  view->setCurrentIndex(view->model()->index(10, 0));
  QTest::keyClick(view, Qt::Key_Return);
  EXPECT_EQ(device().commands, (std::vector<std::string>{"RA", "RT 08", "RT 0A", "RA", "RT 0A"}));
  EXPECT_EQ(f.Caption(), "RT OK");
  EXPECT_FALSE(f.TypeListDroppedForTesting());

  device().commands.clear();
  f.ComboBox1->setFocus();
  QTest::keyClick(f.ComboBox1, Qt::Key_Down);
  EXPECT_EQ(device().commands, (std::vector<std::string>{"RA", "RT 0B"}));
}

TEST_F(TypeList, ListOpenedAndClosedWithoutPickLeavesTheFlagForTheNextClick) {
  TForm1& f = MakeForm();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.ComboBox1->showPopup();
  f.ComboBox1->hidePopup();
  EXPECT_TRUE(f.TypeListDroppedForTesting());
  EXPECT_TRUE(device().commands.empty());
  f.ComboBox1->setFocus();
  QTest::keyClick(f.ComboBox1, Qt::Key_Up);
  EXPECT_EQ(CountOf(device().commands, "RT 07"), 2);
  EXPECT_FALSE(f.TypeListDroppedForTesting());
}

TEST_F(TypeList, DeviceThatRefusesLeavesAnEmptyCaptionAndMissingPortChangesNothing) {
  TForm1& f = MakeForm();
  device().rtAnswer = "RT NG";
  f.ComboBox1->SetItemIndex(3);
  f.ComboBox1Change(f.ComboBox1);
  EXPECT_EQ(f.Caption(), "");

  f.SetCaption("before");
  channel().openSucceeds = false;
  channel().Close();
  RunGuarded([&] { f.ComboBox1->OnChange(f.ComboBox1); });
  EXPECT_EQ(f.Caption(), "before");
  EXPECT_TRUE(reporter_.messages.empty());
}

using Persistence = WindowTest;

TEST_F(Persistence, StoredPortIndexSelectsThePortAndSetsTheComponentsPort) {
  for (const auto& [stored, index, com] : std::vector<std::tuple<std::string, int, std::string>>{
           {"2", 2, "COM3"}, {"7", 3, "COM4"}, {"-1", -1, "COM1"}, {"abc", -1, "COM1"}}) {
    SCOPED_TRACE(stored);
    ResetSettingsForTesting();
    WriteFile("zembromw.sys",
              "@Form1.Edit1=0100\r\n@Form1.Edit2=1FFF\r\n@Form1.Memo1=:00\\n:01\r\n"
              "@Form1.RadioGroup1=" +
                  stored + "\r\n");
    TForm1& f = MakeForm();
    EXPECT_EQ(f.RadioGroup1->ItemIndex(), index);
    EXPECT_EQ(f.zembROMWT1->com(), com);
    // Visited before the port group, so restored even when its value is bad.
    EXPECT_EQ(f.Edit1->Text(), "0100");
    EXPECT_EQ(f.Edit2->Text(), "1FFF");
    EXPECT_EQ(MemoLines(), (std::vector<std::string>{":00", ":01"}));
    EXPECT_TRUE(reporter_.messages.empty());
    EXPECT_TRUE(channel().openedNames.empty());
  }
}

TEST_F(Persistence, AllFourValuesSurviveARestartIncludingALongMemo) {
  TForm1& f = MakeForm();
  std::vector<std::string> image;
  for (int i = 0; i < 5000; ++i) image.push_back(":10" + std::to_string(100000 + i) + "00FF");
  f.Memo1->Lines()->SetLines(image);
  f.Edit1->SetText("0100");
  f.Edit2->SetText("7fff");
  f.RadioGroup1->Item(1)->click();
  EXPECT_EQ(f.zembROMWT1->com(), "COM2");
  CloseAndShutdown();

  const auto stored = SplitCrLf(ReadFile(SettingsFile()));
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(stored[2].rfind("@Form1.Memo1=:10100000", 0), 0u);
  EXPECT_EQ(stored[3], "@Form1.RadioGroup1=1");

  TForm1& g = MakeForm();
  EXPECT_EQ(MemoLines(), image);
  EXPECT_EQ(g.Edit1->Text(), "0100");
  EXPECT_EQ(g.Edit2->Text(), "7fff");
  EXPECT_EQ(g.RadioGroup1->ItemIndex(), 1);
  EXPECT_EQ(g.zembROMWT1->com(), "COM2");
  EXPECT_EQ(g.ComboBox1->ItemIndex(), 8);
}

TEST_F(Persistence, EmptiedFieldsComeBackAsTheirDefaultsAndForeignKeysStay) {
  WriteFile("zembromw.sys", "@Form1.Edit1=0100\r\n@Form1.Memo1=:00\r\n@Old.Key=1\r\n");
  TForm1& f = MakeForm();
  f.Edit1->SetText("");
  f.Memo1->Lines()->Clear();
  CloseAndShutdown();
  const auto stored = SplitCrLf(ReadFile(SettingsFile()));
  EXPECT_EQ(stored, (std::vector<std::string>{"@Form1.Edit1=", "@Form1.Edit2=FFF", "@Form1.Memo1=",
                                              "@Form1.RadioGroup1=-1", "@Old.Key=1"}));
  TForm1& g = MakeForm();
  EXPECT_EQ(g.Edit1->Text(), "0000");
  EXPECT_EQ(g.Memo1->Lines()->Count(), 0);
}

TEST_F(Persistence, CloseIsNeverRefused) {
  TForm1& f = MakeForm();
  f.show();
  std::filesystem::create_directory(SettingsFile());  // the store cannot write its file
  EXPECT_TRUE(f.close());
  EXPECT_FALSE(f.isVisible());
}

TEST_F(Persistence, TerminationSignalClosesTheWindowSoTheValuesAreStored) {
  TForm1& f = MakeForm();
  f.show();
  CloseOnTerminationSignals(&f);
  f.Edit2->SetText("1FFF");
  std::raise(SIGTERM);
  for (int i = 0; i < 100 && f.isVisible(); ++i) QTest::qWait(10);
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(ReadValue("@Form1.Edit2"), "1FFF");
}

// Runs a modal loop the way a file dialog or message box does, while a termination signal
// arrives; a loop the signal does not end is accepted after a few seconds.
bool RunModalUnderSignal(QDialog& dialog) {
  QTimer::singleShot(50, [] { std::raise(SIGTERM); });
  QTimer::singleShot(3000, &dialog, [&dialog] { dialog.accept(); });
  return dialog.exec() == QDialog::Accepted;
}

class ModalBoxReporter : public ErrorReporter {
 public:
  void ShowError(const std::string&, const std::string& message) override {
    QMessageBox box(QMessageBox::Critical, QString(), QString::fromStdString(message));
    RunModalUnderSignal(box);
    ++shown;
  }
  int shown = 0;
};

TEST_F(Persistence, TerminationSignalCancelsAnOpenDialogOrBoxThenCloses) {
  struct Case {
    const char* name;
    void (TForm1::*press)(TComponent*);
    bool errorBox;  // the dialog names a missing file, whose load error box is up
  };
  const Case cases[] = {
      {"File button's dialog", &TForm1::Button7Click, false},
      {"PROGRAM's dialog, an operation under way", &TForm1::Button3Click, false},
      {"load error box", &TForm1::Button7Click, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TForm1& f = MakeForm();
    f.show();
    CloseOnTerminationSignals(&f);
    f.Edit2->SetText("2FFF");
    ModalBoxReporter boxes;
    if (c.errorBox) {
      ScriptDialog(f.OpenDialog1, {Path("missing.hex")});
      SetErrorReporter(&boxes);
    } else {
      f.OpenDialog1->SetRunner([&f](TFileDialog&) {
        QDialog dialog(&f);
        return RunModalUnderSignal(dialog);
      });
    }
    const auto start = std::chrono::steady_clock::now();
    RunGuarded([&] { (f.*c.press)(c.press == &TForm1::Button7Click ? f.Button7 : f.Button3); });
    const auto took = std::chrono::steady_clock::now() - start;
    SetErrorReporter(&reporter_);
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_EQ(boxes.shown, c.errorBox ? 1 : 0);
    for (int i = 0; i < 100 && f.isVisible(); ++i) QTest::qWait(10);
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(channel().written.empty());  // a cancel, not a pick
    EXPECT_EQ(ReadValue("@Form1.Edit2"), "2FFF");
    DestroyForm();
  }
}

TEST(HexAddressField, AcceptsOnlyHexDigitsUpToThirtyTwoBits) {
  EXPECT_EQ(HexAddressFieldValue("fff"), 4095);
  EXPECT_EQ(HexAddressFieldValue("000000FFF"), 4095);
  EXPECT_EQ(HexAddressFieldValue("0"), 0);
  EXPECT_EQ(HexAddressFieldValue("7FFFFFFF"), 0x7FFFFFFF);
  EXPECT_EQ(HexAddressFieldValue("80000000"), INT32_MIN);
  EXPECT_EQ(HexAddressFieldValue("0000FFFFFFFF"), -1);
  for (const char* bad :
       {" FFF", "FFF ", "0x10", "x10", "$10", "-1", "+1", "123456789", "", "12G4"}) {
    try {
      HexAddressFieldValue(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'$" + std::string(bad) + "' は整数ではありません");
    }
  }
}

using AddressRange = WindowTest;

TEST_F(AddressRange, FieldThatDoesNotConvertStopsBeforeTheDevice) {
  TForm1& f = MakeForm();
  f.Edit1->SetText("");
  f.Button1->click();
  ASSERT_EQ(reporter_.messages, std::vector<std::string>{"'$' は整数ではありません."});
  EXPECT_TRUE(channel().written.empty());
  EXPECT_EQ(f.Button1->Caption(), "ブランクCHK");

  // A start above the end goes to the device as typed.
  f.Edit1->SetText("FFFF");
  f.Edit2->SetText("0000");
  f.Button1->click();
  EXPECT_EQ(device().commands.back(), "RB FFFF,0000");
}

using ImageFile = WindowTest;

TEST_F(ImageFile, HeadersFillTheFieldsAndEveryLineStaysInTheMemo) {
  TForm1& f = MakeForm();
  f.ComboBox1->SetItemIndex(2);
  const std::string path =
      WriteFile("a.hex", ";MinAdr=0000\r\n;maxadr=7FFF\n;Type=8\r:10000000FF\r\n;MaxAdr=1FFF\r\n");
  ScriptDialog(f.OpenDialog1, {path});
  f.Button7->click();
  EXPECT_EQ(f.Edit1->Text(), "0000");
  EXPECT_EQ(f.Edit2->Text(), "7FFF");
  EXPECT_EQ(f.ComboBox1->Text(), "08: 27256 t2 (vpp=12.5v)");
  EXPECT_EQ(MemoLines(), (std::vector<std::string>{";MinAdr=0000", ";maxadr=7FFF", ";Type=8",
                                                   ":10000000FF", ";MaxAdr=1FFF"}));
  EXPECT_EQ(f.Label1->Caption(), path);
  EXPECT_EQ(f.OpenDialog1->FileName(), path);
  EXPECT_EQ(f.SaveDialog1->FileName(), path);
  EXPECT_TRUE(f.Button7->isHidden());
  EXPECT_FALSE(f.Button5->isHidden());
  EXPECT_TRUE(f.Button6->isEnabled());
  EXPECT_TRUE(channel().written.empty());
}

TEST_F(ImageFile, TypeHeaderSelectsByDecimalIndex) {
  for (const auto& [value, index] : std::vector<std::pair<std::string, int>>{
           {"10", 10}, {"$0A", 10}, {" 3", 3}, {"19", -1}, {"-1", -1}}) {
    SCOPED_TRACE(value);
    TForm1& f = MakeForm();
    f.Button7->OnClick = nullptr;
    const std::string path = WriteFile("t.hex", ";Type=" + value + "\r\n");
    ScriptDialog(f.OpenDialog1, {path});
    f.Button7Click(f.Button7);
    EXPECT_EQ(f.ComboBox1->ItemIndex(), index);
    EXPECT_TRUE(channel().written.empty());
    EXPECT_TRUE(f.Button7->isHidden());
  }
}

TEST_F(ImageFile, TypeThatDoesNotConvertStopsBeforeTheButtonsChange) {
  TForm1& f = MakeForm();
  const std::string path = WriteFile("t.hex", ";MaxAdr=3FFF\r\n;Type=0A\r\n");
  ScriptDialog(f.OpenDialog1, {path});
  f.Button7->click();
  EXPECT_EQ(reporter_.messages, std::vector<std::string>{"'0A' は整数ではありません."});
  EXPECT_EQ(f.Edit2->Text(), "3FFF");
  EXPECT_EQ(f.Memo1->Lines()->Count(), 2);
  EXPECT_FALSE(f.Button7->isHidden());
  EXPECT_TRUE(f.Button5->isHidden());
}

TEST_F(ImageFile, EmptyOrMisnamedHeadersAreNotHeaders) {
  TForm1& f = MakeForm();
  const std::string path = WriteFile("t.hex", ";MaxAdr=\r\n;MaxAdr =7FFF\r\n;MinAdr=\r\n:00\r\n");
  ScriptDialog(f.OpenDialog1, {path});
  f.Button7->click();
  EXPECT_EQ(f.Edit1->Text(), "0000");
  EXPECT_EQ(f.Edit2->Text(), "FFF");
  EXPECT_EQ(f.ComboBox1->ItemIndex(), 8);
  EXPECT_TRUE(f.Button7->isHidden());
}

TEST_F(ImageFile, TypeHeaderAfterAnUnpickedDropDownSendsTheType) {
  TForm1& f = MakeForm();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.ComboBox1->showPopup();
  f.ComboBox1->hidePopup();
  const std::string path = WriteFile("t.hex", ";Type=10\r\n");
  ScriptDialog(f.OpenDialog1, {path});
  f.Button7->click();
  EXPECT_EQ(device().commands, (std::vector<std::string>{"RA", "RT 08", "RT 0A"}));
  EXPECT_EQ(f.Caption(), "RT OK");
  EXPECT_FALSE(f.TypeListDroppedForTesting());
}

TEST_F(ImageFile, FileThatCannotBeOpenedKeepsTheMemo) {
  TForm1& f = MakeForm();
  f.Memo1->Lines()->SetLines({":keep"});
  const std::string missing = Path("missing.hex");
  ScriptDialog(f.OpenDialog1, {"", missing, Path("")});
  f.Button7->click();  // cancelled: nothing happens
  EXPECT_EQ(f.Label1->Caption(), "ファイルとの");
  f.Button7->click();
  f.Button7->click();  // a folder
  EXPECT_EQ(reporter_.messages,
            (std::vector<std::string>{"ファイル " + missing + " は開けません.",
                                      "ファイル " + Path("") + " は開けません."}));
  EXPECT_EQ(MemoLines(), std::vector<std::string>{":keep"});
  EXPECT_EQ(f.Label1->Caption(), Path(""));
  EXPECT_EQ(f.SaveDialog1->FileName(), Path(""));
  EXPECT_FALSE(f.Button7->isHidden());
}

TEST_F(ImageFile, DropLoadsTheFirstFileOnly) {
  TForm1& f = MakeForm();
  const std::string first = WriteFile("first.hex", ";MaxAdr=1234\r\n");
  const std::string second = WriteFile("second.hex", ";MaxAdr=5678\r\n");
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(first)),
                QUrl::fromLocalFile(QString::fromStdString(second)),
                QUrl::fromLocalFile(QString::fromStdString(second))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&f, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&f, &drop);
  EXPECT_EQ(f.Edit2->Text(), "1234");
  EXPECT_EQ(f.Label1->Caption(), first);
}

TEST_F(ImageFile, DroppedNameIsLoadedByItsBytesAlsoWhenItIsNotUtf8) {
  const char* names[] = {
      "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.hex",  // UTF-8
      "\x83\x65\x83\x58\x83\x67.hex",              // the same name in Shift-JIS
      "caf\xE9 100%41.hex",                        // Latin-1, a blank and a percent sign
  };
  for (const char* name : names) {
    SCOPED_TRACE(name);
    TForm1& f = MakeForm();
    const std::string path = WriteFile(name, ";MaxAdr=2345\r\n:data\r\n");
    QMimeData mime;
    // What a file manager sends: the name's bytes, percent-encoded.
    const QByteArray encoded = QByteArray::fromStdString(path).toPercentEncoding("/");
    mime.setUrls({QUrl::fromEncoded("file://" + encoded, QUrl::StrictMode)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &drop);
    EXPECT_TRUE(reporter_.messages.empty()) << reporter_.messages.front();
    EXPECT_EQ(MemoLines(), (std::vector<std::string>{";MaxAdr=2345", ":data"}));
    EXPECT_EQ(f.Edit2->Text(), "2345");
    reporter_.messages.clear();
  }
}

TEST_F(ImageFile, LongDroppedNameIsCutTo1023Characters) {
  TForm1& f = MakeForm();
  const std::string longName = "/" + std::string(1100, 'a') + ".hex";
  RunGuarded([&] { f.WM_DropFiles({QUrl::fromLocalFile(QString::fromStdString(longName))}); });
  ASSERT_EQ(reporter_.messages.size(), 1u);
  EXPECT_EQ(f.Label1->Caption(), longName.substr(0, 1023));
}

TEST_F(ImageFile, CommandLineLoadsTheFirstArgumentOverTheRestoredMemo) {
  WriteFile("zembromw.sys", "@Form1.Memo1=:restored\r\n");
  const std::string first = WriteFile("first.hex", ";MinAdr=0010\r\n:file\r\n");
  TForm1& f = MakeForm({first, Path("second.hex")});
  EXPECT_EQ(MemoLines(), (std::vector<std::string>{";MinAdr=0010", ":file"}));
  EXPECT_EQ(f.Edit1->Text(), "0010");
  EXPECT_TRUE(reporter_.messages.empty());

  TForm1& g = MakeForm({Path("missing.hex")});
  EXPECT_EQ(reporter_.messages,
            std::vector<std::string>{"ファイル " + Path("missing.hex") + " は開けません."});
  EXPECT_EQ(g.ComboBox1->ItemIndex(), 8);
  EXPECT_EQ(MemoLines(), std::vector<std::string>{":restored"});
}

}  // namespace
}  // namespace zemb::ui::test
