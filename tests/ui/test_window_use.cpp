// What a user meets beyond the form description: the start of the type text, the elided
// file path, Tab through the memo, the port items inside their frame, the least window
// size, the reason of a silent stop and the transcript of the serial traffic.
#include <QAbstractItemView>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QWindow>
#include <cstdlib>
#include <filesystem>

#include "PlainText.h"
#include "TranscriptWindow.h"
#include "UiTestSupport.h"

namespace zemb::ui::test {
namespace {

using Direction = TranscriptLog::Direction;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
    out.push_back(text.substr(start, nl - start));
  }
  if (start < text.size()) out.push_back(text.substr(start));
  return out;
}

// The transcript's lines without their time stamps, which must be there.
std::vector<std::string> Unstamped(const std::string& text) {
  static const QRegularExpression stamp("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ");
  std::vector<std::string> out;
  for (const auto& line : Lines(text)) {
    EXPECT_TRUE(stamp.match(QString::fromStdString(line)).hasMatch()) << line;
    out.push_back(line.size() > 13 ? line.substr(13) : line);
  }
  return out;
}

class WindowUse : public WindowTest {
 protected:
  TForm1& ShownForm() {
    TForm1& f = MakeForm();
    f.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
    return f;
  }
};

TEST_F(WindowUse, TypeFieldShowsTheStartOfItsTextAndTheListItsLongestItem) {
  TForm1& f = ShownForm();
  QLineEdit* field = f.ComboBox1->lineEdit();
  EXPECT_EQ(field->cursorPosition(), 0);
  f.ComboBox1->SetItemIndex(6);
  EXPECT_EQ(field->cursorPosition(), 0);
  f.ComboBox1->SetText(kRomTypes[3]);
  EXPECT_EQ(field->cursorPosition(), 0);

  f.ComboBox1->setFocus();
  QTest::keyClick(f.ComboBox1, Qt::Key_Up);  // a user's pick
  EXPECT_EQ(f.ComboBox1->ItemIndex(), 5);
  EXPECT_EQ(field->cursorPosition(), 0);
  // While the field has the focus the user may move the cursor; leaving puts it back.
  QTest::keyClick(field, Qt::Key_End);
  EXPECT_GT(field->cursorPosition(), 0);
  f.Edit1->setFocus();
  QApplication::processEvents();
  EXPECT_FALSE(f.ComboBox1->hasFocus());
  EXPECT_EQ(field->cursorPosition(), 0);

  f.ComboBox1->showPopup();
  QAbstractItemView* list = f.ComboBox1->view();
  EXPECT_GE(list->viewport()->width(), list->sizeHintForColumn(0));
  f.ComboBox1->hidePopup();
}

TEST_F(WindowUse, LongPathIsElidedInTheMiddleWithTheWholePathAsTooltip) {
  TForm1& f = MakeForm();
  std::filesystem::create_directories(dir_ / "projects" / "eprom-images");
  const std::string path = WriteFile("projects/eprom-images/monitor-v3.hex", ":00000001FF\r\n");
  ScriptDialog(f.OpenDialog1, {path});
  f.Button7->click();

  EXPECT_EQ(f.Label1->Caption(), path);
  EXPECT_EQ(ToolTipShownText(f.Label1->toolTip()).toStdString(), path);
  const QString shown = f.Label1->ShownText();
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
  EXPECT_TRUE(shown.startsWith(QString::fromStdString(path.substr(0, 4))));
  EXPECT_TRUE(shown.endsWith(QStringLiteral(".hex")));
  EXPECT_LE(f.Label1->fontMetrics().horizontalAdvance(shown), f.Label1->contentsRect().width());
  EXPECT_EQ(f.Label1->geometry().right(), 188) << "the label spans the panel";

  f.Label1->SetCaption("a.hex");
  EXPECT_EQ(f.Label1->ShownText(), QStringLiteral("a.hex"));
  EXPECT_TRUE(f.Label1->toolTip().isEmpty());
}

TEST_F(WindowUse, TabAndShiftTabLeaveTheMemoWithItsTextUnchanged) {
  TForm1& f = ShownForm();
  f.Memo1->SetText(":00000001FF\r\nsecond line");
  const std::string before = f.Memo1->Text();

  f.Memo1->setFocus();
  QTest::keyClick(f.Memo1, Qt::Key_Tab);
  EXPECT_FALSE(f.Memo1->hasFocus());
  EXPECT_TRUE(f.ComboBox1->hasFocus());

  f.Memo1->setFocus();
  QTest::keyClick(f.Memo1, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_TRUE(f.Button1->hasFocus());
  EXPECT_EQ(f.Memo1->Text(), before);
}

TEST_F(WindowUse, PortItemsSitInsideTheFrameWithAGapBetweenTheirIndicators) {
  TForm1& f = ShownForm();
  TRadioGroup* group = f.RadioGroup1;
  QStyleOptionGroupBox box;
  box.initFrom(group);
  box.text = group->title();
  box.lineWidth = 1;
  box.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  const QRect frame =
      group->style()->subControlRect(QStyle::CC_GroupBox, &box, QStyle::SC_GroupBoxFrame, group);
  const QRect label =
      group->style()->subControlRect(QStyle::CC_GroupBox, &box, QStyle::SC_GroupBoxLabel, group);

  int previousBottom = std::max(frame.top(), label.bottom());
  for (int i = 0; i < group->ItemCount(); ++i) {
    SCOPED_TRACE(i);
    QRadioButton* item = group->Item(i);
    EXPECT_TRUE(frame.adjusted(1, 1, -1, -1).contains(item->geometry()));
    QStyleOptionButton option;
    option.initFrom(item);
    const QRect indicator = item->style()
                                ->subElementRect(QStyle::SE_RadioButtonIndicator, &option, item)
                                .translated(item->pos());
    EXPECT_GT(indicator.top(), previousBottom + 1);
    previousBottom = indicator.bottom();
  }
}

TEST_F(WindowUse, WindowCannotBeMadeSmallerThanItsControls) {
  TForm1& f = ShownForm();
  f.Button5->show();
  f.Button6->show();
  f.resize(10, 10);
  EXPECT_EQ(f.size(), f.minimumSize());
  for (QWidget* w :
       std::vector<QWidget*>{f.Button1, f.ComboBox1, f.Edit1, f.Edit2, f.RadioGroup1,
                             f.ProgressBar1, f.Panel1, f.Button5, f.Button6, f.Button7}) {
    EXPECT_TRUE(f.rect().contains(w->geometry())) << w->objectName().toStdString();
  }
  EXPECT_GE(f.Memo1->height(), 40);
  EXPECT_TRUE(f.rect().contains(f.Memo1->geometry()));
}

TEST_F(WindowUse, EmptyCaptionReachesTheNativeWindowEmpty) {
  TForm1& f = ShownForm();
  device().rtAnswer = "RT NG";
  f.ComboBox1->SetItemIndex(3);
  f.ComboBox1Change(f.ComboBox1);
  EXPECT_TRUE(f.windowTitle().isEmpty());
  ASSERT_NE(f.windowHandle(), nullptr);
  EXPECT_TRUE(f.windowHandle()->title().isEmpty());
}

// A port whose open fails for a given cause.
class FailingPort : public ScriptedChannel {
 public:
  FailingPort(SerialFault fault, std::string error) : fault_(fault), error_(std::move(error)) {
    openSucceeds = false;
  }
  SerialFault LastFault() const override { return fault_; }
  std::string LastError() const override { return error_; }

 private:
  SerialFault fault_;
  std::string error_;
};

TEST_F(WindowUse, SilentStopLeavesItsReasonOnTheBusyButtonUntilTheNextCommand) {
  const std::string device = ResolvePortName("COM1");
  struct Case {
    SerialFault fault;
    std::string error;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {SerialFault::NoDevice, device + ": no such device (No such file or directory)",
       "デバイスがありません"},
      {SerialFault::Busy, device + ": in use by another program (Resource temporarily unavailable)",
       "他のプログラムが使用中です"},
      {SerialFault::NotPermitted, device + ": permission denied (Permission denied)",
       "アクセスが拒否されました"},
      {SerialFault::HungUp, device + ": the line hung up (Input/output error)", "回線が切れました"},
      {SerialFault::NotATerminal, device + ": not a serial device",
       "シリアルデバイスではありません"},
      {SerialFault::Failed, device + ": write timed out (the line is held)",
       "write timed out (the line is held)"},
      {SerialFault::None, "", "開けません"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    form_ = std::make_unique<TForm1>(std::make_unique<FailingPort>(c.fault, c.error),
                                     std::vector<std::string>{});
    form_->Button1->click();
    EXPECT_EQ(form_->Button1->Caption(), "チェック中");
    EXPECT_EQ(form_->Caption(), "ZEMB-DazIzira");
    // The first line; the system's diagnosis may follow.
    const std::string tip = ToolTipShownText(form_->Button1->toolTip()).toStdString();
    EXPECT_EQ(tip.substr(0, tip.find('\n')), "COM1 (" + device + "): " + c.reason);
  }
  EXPECT_TRUE(reporter_.messages.empty());

  // Write shows its busy text on the program button, and the earlier reason goes.
  RunGuarded([&] { form_->Button5Click(form_->Button5); });
  EXPECT_EQ(form_->Button3->Caption(), "...");
  EXPECT_FALSE(form_->Button3->toolTip().isEmpty());
  EXPECT_TRUE(form_->Button1->toolTip().isEmpty());

  // A command that reaches the device clears it.
  TForm1& f = MakeForm();
  channel().openSucceeds = false;
  f.Button1->click();
  EXPECT_FALSE(f.Button1->toolTip().isEmpty());
  channel().openSucceeds = true;
  f.Button1->click();
  EXPECT_EQ(f.Button1->Caption(), "チェックOK");
  EXPECT_TRUE(f.Button1->toolTip().isEmpty());
}

TEST_F(WindowUse, MissingPlatformPortIsNamedInTheTooltip) {
  const std::string missing = Path("no-such-port");
  ::setenv("ZEMBROMW_COM1", missing.c_str(), 1);
  form_ = std::make_unique<TForm1>(nullptr, std::vector<std::string>{});
  form_->Button1->click();
  ::unsetenv("ZEMBROMW_COM1");
  EXPECT_EQ(form_->Button1->Caption(), "チェック中");
  const std::string tip = ToolTipShownText(form_->Button1->toolTip()).toStdString();
  EXPECT_EQ(
      tip.rfind("COM1 (" + missing + "): デバイスがありません\n" + missing + " はありません。\n",
                0),
      0u)
      << tip;
}

TEST_F(WindowUse, TranscriptShowsTheCommandsAndAnswersOfABlankCheck) {
  TForm1& f = ShownForm();
  f.Button1->click();
  const std::vector<std::string> blankCheck = {"送 RA<CR><LF>",           "受 RA OK<CR>",
                                               "送 RT 08<CR><LF>",        "受 RT OK<CR>",
                                               "送 RB 0000,0FFF<CR><LF>", "受 RB OK<CR>"};
  EXPECT_EQ(Unstamped(f.Transcript().Text()), blankCheck);
  EXPECT_EQ(f.TranscriptView(), nullptr) << "no window until it is asked for";

  std::unique_ptr<QMenu> menu(f.CreateMemoMenu({0, 0}));
  QAction* open = nullptr;
  for (QAction* a : menu->actions()) {
    if (a->text() == QStringLiteral("通信ログ")) open = a;
  }
  ASSERT_NE(open, nullptr);
  open->trigger();
  ASSERT_NE(f.TranscriptView(), nullptr);
  EXPECT_TRUE(f.TranscriptView()->isVisible());
  EXPECT_EQ(Unstamped(f.TranscriptView()->ShownText().toStdString()), blankCheck);

  // While it is open it follows the traffic.
  device().rbAnswer = "RB NG 0123";
  f.Button1->click();
  // The type was taken the first time, so the connection sends it no more.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return Lines(f.TranscriptView()->ShownText().toStdString()).size() == 10; }));
  const auto shown = Unstamped(f.TranscriptView()->ShownText().toStdString());
  ASSERT_EQ(shown.size(), 10u);
  EXPECT_EQ(shown[9], "受 RB NG 0123<CR>");

  f.TranscriptView()->CopyToClipboard();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), f.Transcript().Text());

  f.ToggleTranscript();
  EXPECT_FALSE(f.TranscriptView()->isVisible());
}

TEST_F(WindowUse, TranscriptOpensBesideTheWindowWhereTheScreenHasRoom) {
  // The window at the top of the screen and at its bottom: the transcript goes below it,
  // then above it, never over it.
  for (const bool atTop : {true, false}) {
    SCOPED_TRACE(atTop ? "at the top" : "at the bottom");
    TForm1& f = ShownForm();
    const QRect room = f.screen()->availableGeometry();
    f.move(room.left() + 10,
           atTop ? room.top() + 10 : room.bottom() - f.frameGeometry().height() - 10);
    f.ToggleTranscript();
    ASSERT_TRUE(f.TranscriptView()->isVisible());
    const QRect shown = f.TranscriptView()->frameGeometry();
    EXPECT_FALSE(shown.intersects(f.frameGeometry()));
    EXPECT_TRUE(room.contains(shown));
  }
}

TEST(TranscriptLog, SpellsControlBytesAndSplitsAtEachSidesLineEnd) {
  TranscriptLog log(3, [] { return 3723004; });
  auto record = [&](Direction d, const std::string& bytes) {
    for (char c : bytes) log.Record(d, static_cast<uint8_t>(c));
  };
  record(Direction::Sent, ":10\r\n");
  record(Direction::Received, std::string("\x13\x11", 2));
  record(Direction::Sent, "RB");
  EXPECT_EQ(log.Text(),
            "01:02:03.004 送 :10<CR><LF>\n"
            "01:02:03.004 受 <XOFF><XON>\n"
            "01:02:03.004 送 RB\n");
  // A LF right after the device's CR stays on its line; the oldest entries give way.
  record(Direction::Received, "RA OK\r\nRB");
  record(Direction::Received, std::string("\0\x7F\xFF", 3));
  EXPECT_EQ(Unstamped(log.Text()),
            (std::vector<std::string>{"送 RB", "受 RA OK<CR><LF>", "受 RB<NUL><7F><FF>"}));

  // A device that never ends its line is shown in bounded pieces.
  record(Direction::Received, "\r" + std::string(TranscriptLog::kMaxEntryText + 10, 'x'));
  ASSERT_EQ(log.Entries().size(), 3u);
  EXPECT_EQ(log.Entries()[1].text.size(), TranscriptLog::kMaxEntryText);
  EXPECT_EQ(log.Entries()[2].text, std::string(10, 'x'));
}

}  // namespace
}  // namespace zemb::ui::test
