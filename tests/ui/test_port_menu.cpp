// The port group's tooltips and its context menu of discovered ports.
#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QToolTip>
#include <cstdlib>

#include "FakeSysfs.h"
#include "PlainText.h"
#include "PortAssignments.h"
#include "PortMenu.h"
#include "UiTestSupport.h"

namespace zemb::ui::test {
namespace {

using zemb::test::FakeSysfs;

class PortGroup : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ClearEnvironment();
  }
  void TearDown() override {
    ClearEnvironment();
    WindowTest::TearDown();
  }
  static void ClearEnvironment() {
    for (int n = 1; n <= 4; ++n) ::unsetenv(("ZEMBROMW_COM" + std::to_string(n)).c_str());
  }

  PortGroupMenu& Menu(TForm1& f) {
    f.PortMenu()->SetDiscoveryRoots(sys_.Roots());
    f.PortMenu()->RefreshToolTips();
    return *f.PortMenu();
  }
  static std::string ToolTip(TForm1& f, int index) {
    return ToolTipShownText(f.RadioGroup1->Item(index)->toolTip()).toStdString();
  }
  static QAction* ActionStartingWith(QMenu* menu, const std::string& text) {
    for (QAction* action : menu->actions()) {
      if (action->text().toStdString().rfind(text, 0) == 0) return action;
    }
    return nullptr;
  }

  FakeSysfs sys_;
};

TEST_F(PortGroup, ToolTipsNameTheDeviceEachItemOpensAndWhy) {
  ::setenv("ZEMBROMW_COM3", sys_.Dev("ttyACM0").c_str(), 1);
  TForm1& f = MakeForm();
  Menu(f);
  EXPECT_EQ(ToolTip(f, 1).rfind("COM2 → /dev/ttyS1（既定）", 0), 0u) << ToolTip(f, 1);
  const std::string com3 = ToolTip(f, 2);
  EXPECT_EQ(com3.rfind("COM3 → " + sys_.Dev("ttyACM0") + "（環境変数 ZEMBROMW_COM3）", 0), 0u)
      << com3;
  EXPECT_NE(com3.find("\nArduino (www.arduino.cc), USB 2341:0043"), std::string::npos) << com3;
  // Captions stay as designed.
  EXPECT_EQ(f.RadioGroup1->Item(2)->text().toStdString(), "COM3");
}

TEST_F(PortGroup, ContextMenuAssignsADiscoveredPortToTheItemUnderTheMouse) {
  TForm1& f = MakeForm();
  PortGroupMenu& menu = Menu(f);
  const QRect com2 = f.RadioGroup1->Item(1)->geometry();
  ASSERT_EQ(menu.ItemAt(com2.center()), 1);
  ASSERT_EQ(menu.ItemAt(QPoint(com2.center().x(), 0)), 0);  // the caption: nearest item

  std::unique_ptr<QMenu> built(menu.BuildMenu(1, &f));
  QAction* ftdi = ActionStartingWith(built.get(), sys_.Dev("ttyUSB2"));
  ASSERT_NE(ftdi, nullptr);
  EXPECT_NE(ftdi->text().toStdString().find("FTDI FT232R USB UART"), std::string::npos);
  EXPECT_FALSE(ftdi->isChecked());
  QAction* reset = ActionStartingWith(built.get(), "既定に戻す");
  ASSERT_NE(reset, nullptr);
  EXPECT_FALSE(reset->isEnabled());

  ftdi->trigger();
  // The stable by-id name is kept, under its own key, and written at once.
  EXPECT_EQ(StoredPortAssignment(2), sys_.ByIdOfUsb2());
  EXPECT_NE(ReadFile(SettingsFile()).find("Ports.COM2=" + sys_.ByIdOfUsb2() + "\r\n"),
            std::string::npos);
  EXPECT_EQ(ReadFile(SettingsFile()).find("@Form1"), std::string::npos);
  EXPECT_NE(ToolTip(f, 1).find(sys_.ByIdOfUsb2() + "（割り当て済み）"), std::string::npos);
  EXPECT_NE(ToolTip(f, 1).find("FTDI FT232R USB UART"), std::string::npos);
  EXPECT_EQ(ResolvePortName("COM2"), sys_.ByIdOfUsb2());

  built.reset(menu.BuildMenu(1, &f));
  EXPECT_TRUE(ActionStartingWith(built.get(), sys_.Dev("ttyUSB2"))->isChecked());
  ActionStartingWith(built.get(), "既定に戻す")->trigger();
  EXPECT_EQ(StoredPortAssignment(2), "");
  EXPECT_EQ(ResolvePortName("COM2"), "/dev/ttyS1");

  // The assignment outlives the window.
  built.reset(menu.BuildMenu(3, &f));
  ActionStartingWith(built.get(), sys_.Dev("ttyUSB10"))->trigger();
  built.reset();
  CloseAndShutdown();
  EXPECT_EQ(StoredPortAssignment(4), sys_.Dev("ttyUSB10"));
}

TEST_F(PortGroup, AssigningTheChosenPortClosesItSoTheNextCommandOpensTheNewDevice) {
  TForm1& f = MakeForm();
  f.RadioGroup1->SetItemIndex(0);
  f.Button1->click();  // the blank check opens COM1
  ASSERT_TRUE(channel().IsOpen());
  f.PortMenu()->Assign(1, sys_.Dev("ttyUSB2"));  // another item: the port stays open
  EXPECT_TRUE(channel().IsOpen());
  f.PortMenu()->Assign(0, sys_.Dev("ttyUSB2"));
  EXPECT_FALSE(channel().IsOpen());
}

TEST_F(PortGroup, TheMenuSaysWhenAnEnvironmentVariableWins) {
  ::setenv("ZEMBROMW_COM1", "/tmp/rom-writer", 1);
  TForm1& f = MakeForm();
  std::unique_ptr<QMenu> built(Menu(f).BuildMenu(0, &f));
  EXPECT_NE(ActionStartingWith(built.get(), "ZEMBROMW_COM1 が設定されている"), nullptr);
  ActionStartingWith(built.get(), sys_.Dev("ttyS0"))->trigger();
  EXPECT_EQ(StoredPortAssignment(1), sys_.Dev("ttyS0"));
  EXPECT_EQ(ResolvePortName("COM1"), "/tmp/rom-writer");
}

// Texts from the environment, the settings file, a file name or the port backend are shown
// as the characters they are wherever the window shows them: never as markup, never with
// "&" taken for a shortcut mark.
TEST_F(PortGroup, TextsFromOutsideAreShownAsTheyAre) {
  const std::string markup = "/tmp/<h1 style=\"color:red\">big</h1><img src=\"x.png\">&amp;";
  ::setenv("ZEMBROMW_COM1", markup.c_str(), 1);
  StorePortAssignment(2, "/dev/<a href=\"http://x\">link</a>");
  TForm1& f = MakeForm();
  Menu(f);
  const auto shown = [](QWidget* w) { return ToolTipShownText(w->toolTip()).toStdString(); };

  f.Label1->SetCaption(std::string(40, 'x') + "/<b>bold</b>&lt;.hex");
  channel().openSucceeds = false;
  f.Button1->click();  // the port does not open: the busy control says why
  const struct {
    const char* where;
    QWidget* widget;
    std::string expected;
  } cases[] = {
      {"port item", f.RadioGroup1->Item(0), markup},
      {"stored port", f.RadioGroup1->Item(1), "/dev/<a href=\"http://x\">link</a>"},
      {"elided label", f.Label1, f.Label1->Caption()},
      {"busy control", f.Button1, "COM1 (" + markup + ")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    EXPECT_TRUE(Qt::mightBeRichText(c.widget->toolTip()));  // escaped, so Qt cannot guess
    EXPECT_NE(shown(c.widget).find(c.expected), std::string::npos) << shown(c.widget);
  }
  EXPECT_EQ(f.Label1->textFormat(), Qt::PlainText);

  std::unique_ptr<QMenu> built(Menu(f).BuildMenu(0, &f));
  QAction* wins = ActionStartingWith(built.get(), "ZEMBROMW_COM1 が設定されている");
  ASSERT_NE(wins, nullptr);
  EXPECT_EQ(PlainMenuText(QStringLiteral("a&b")), QStringLiteral("a&&b"));
}

// Not a check: with ZEMBROMW_SCREENSHOT=file.png (and a real display) it shows the menu
// and a tooltip on the fake machine and saves what the screen shows.
TEST_F(PortGroup, Screenshot) {
  const char* file = std::getenv("ZEMBROMW_SCREENSHOT");
  if (file == nullptr) GTEST_SKIP() << "set ZEMBROMW_SCREENSHOT to take one";
  TForm1& f = MakeForm();
  PortGroupMenu& menu = Menu(f);
  menu.Assign(0, sys_.ByIdOfUsb2());
  f.RadioGroup1->SetItemIndex(0);
  f.move(40, 40);
  f.show();
  QTest::qWait(300);
  QMenu* popup = menu.BuildMenu(1, &f);
  popup->popup(f.RadioGroup1->mapToGlobal(f.RadioGroup1->Item(1)->geometry().center()));
  QTest::qWait(300);
  QRadioButton* com1 = f.RadioGroup1->Item(0);
  QToolTip::showText(f.mapToGlobal(QPoint(0, f.height() + 10)), com1->toolTip(), com1);
  QTest::qWait(800);
  QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(file));
  popup->close();
}

}  // namespace
}  // namespace zemb::ui::test
