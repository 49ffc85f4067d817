// The control layer: event order of the combo box and the radio group, the default error
// handler and the painting channel.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QLineEdit>
#include <QTest>

#include "Controls.h"
#include "ErrorHandler.h"
#include "Errors.h"
#include "PaintingChannel.h"
#include "UiTestSupport.h"

namespace zemb::ui {
namespace {

using test::RecordingReporter;
using zemb::test::ScriptedChannel;

class ComboEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    combo.SetItems({"a: first", "b: second", "c: third"});
    combo.SetItemIndex(0);
    combo.OnDropDown = [this](TComponent*) { events.push_back("dropdown"); };
    combo.OnClick = [this](TComponent*) { events.push_back("click:" + combo.Text()); };
    combo.OnChange = [this](TComponent*) { events.push_back("change:" + combo.Text()); };
    window.resize(300, 100);
    combo.setGeometry(2, 2, 200, 21);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    combo.setFocus();
  }

  TComponent owner;
  QWidget window;
  TComboBox combo{&owner, &window};
  std::vector<std::string> events;
};

TEST_F(ComboEvents, PickFromOpenListRaisesDropDownThenClickThenChangeWithTheNewText) {
  combo.showPopup();
  QAbstractItemView* view = combo.view();
  view->setCurrentIndex(view->model()->index(2, 0));
  QTest::keyClick(view, Qt::Key_Return);
  EXPECT_EQ(events, (std::vector<std::string>{"dropdown", "click:c: third", "change:c: third"}));
  EXPECT_EQ(combo.ItemIndex(), 2);
}

TEST_F(ComboEvents, ArrowKeyWhileClosedIsAPickWithoutDropDown) {
  QTest::keyClick(&combo, Qt::Key_Down);
  EXPECT_EQ(events, (std::vector<std::string>{"click:b: second", "change:b: second"}));
}

TEST_F(ComboEvents, TypingRaisesChangeAloneAndReturnOrFocusLossAreNoPicks) {
  combo.lineEdit()->selectAll();
  QTest::keyClicks(combo.lineEdit(), "b: second");
  ASSERT_FALSE(events.empty());
  for (const auto& e : events) EXPECT_EQ(e.rfind("change:", 0), 0u) << e;
  events.clear();
  // Qt would "activate" the matching item here; that must not look like a pick.
  QTest::keyClick(&combo, Qt::Key_Return);
  QLineEdit other(&window);
  other.show();
  other.setFocus();
  QApplication::processEvents();
  EXPECT_TRUE(events.empty());
}

TEST_F(ComboEvents, ChangesFromCodeRaiseNothing) {
  combo.SetItemIndex(2);
  combo.SetItemIndex(-1);
  combo.SetItemIndex(99);
  combo.SetText("typed by code");
  EXPECT_EQ(combo.ItemIndex(), -1);
  EXPECT_TRUE(events.empty());
}

TEST(RadioGroup, IndexIsClampedAndEveryChangeToAnItemRaisesClick) {
  TComponent owner;
  TRadioGroup group(&owner, nullptr);
  group.resize(67, 74);
  group.SetItems({"COM1", "COM2", "COM3", "COM4"});
  std::vector<int> clicks;
  group.OnClick = [&](TComponent*) { clicks.push_back(group.ItemIndex()); };

  group.SetItemIndex(2);
  group.SetItemIndex(2);   // unchanged: no event
  group.SetItemIndex(7);   // clamped to the last item
  group.SetItemIndex(-1);  // unchecks only
  group.SetItemIndex(-5);
  EXPECT_EQ(clicks, (std::vector<int>{2, 3}));
  EXPECT_EQ(group.ItemIndex(), -1);
  EXPECT_FALSE(group.Item(3)->isChecked());

  // A user's click raises it too; clicking the selected item again does not.
  group.Item(1)->click();
  group.Item(1)->click();
  EXPECT_EQ(clicks, (std::vector<int>{2, 3, 1}));
  EXPECT_TRUE(group.Item(1)->isChecked());
}

TEST(RadioGroup, ErrorOfTheClickHandlerReachesTheCodeThatSetTheIndex) {
  TComponent owner;
  TRadioGroup group(&owner, nullptr);
  group.SetItems({"A", "B"});
  group.OnClick = [](TComponent*) { throw EConvertError("x"); };
  EXPECT_THROW(group.SetItemIndex(1), EConvertError);
  EXPECT_EQ(group.ItemIndex(), 1);
}

TEST(RadioGroup, ItemsAreUnnamedComponentsOwnedByTheGroup) {
  TComponent owner;
  auto* group = new TRadioGroup(&owner, nullptr);
  group->SetItems({"A", "B", "C"});
  ASSERT_EQ(group->ComponentCount(), 3);
  EXPECT_EQ(group->Component(0)->Name(), "");
}

TEST(ErrorHandler, MessageGainsAFullStopWhenItsLastByteSortsAboveIt) {
  EXPECT_EQ(FormatErrorMessage("'$' は整数ではありません"), "'$' は整数ではありません.");
  EXPECT_EQ(FormatErrorMessage("abc"), "abc.");
  EXPECT_EQ(FormatErrorMessage("abc."), "abc.");
  EXPECT_EQ(FormatErrorMessage("abc!"), "abc!");
  EXPECT_EQ(FormatErrorMessage("a-"), "a-");
  EXPECT_EQ(FormatErrorMessage(""), "");
}

TEST(ErrorHandler, AbortIsSilentAndOtherErrorsAreReportedWithTheTitle) {
  RecordingReporter reporter;
  SetErrorReporter(&reporter);
  RunGuarded([] { Abort(); });
  EXPECT_TRUE(reporter.messages.empty());
  RunGuarded([] { throw EFOpenError("x.hex"); });
  RunGuarded([] { throw std::runtime_error("boom"); });
  SetErrorReporter(nullptr);
  ASSERT_EQ(reporter.messages.size(), 2u);
  EXPECT_EQ(reporter.messages[0], "ファイル x.hex は開けません.");
  EXPECT_EQ(reporter.messages[1], "boom.");
  EXPECT_EQ(reporter.captions[0], QApplication::applicationDisplayName().toStdString());
}

TEST(FileDialogFilter, DescriptionAndPatternPairsBecomeQtFilters) {
  EXPECT_EQ(QtNameFilters("*.hex|*.hex"), QStringList{"*.hex (*.hex)"});
  EXPECT_EQ(QtNameFilters("Text|*.txt;*.log|All|*"),
            (QStringList{"Text (*.txt *.log)", "All (*)"}));
}

TEST(PaintingChannel, LongReadsAreSlicedWithPaintingBetweenAndKeepTheirTotalWait) {
  auto owned = std::make_unique<ScriptedChannel>();
  ScriptedChannel& inner = *owned;
  int pumps = 0;
  PaintingChannel channel(std::move(owned), [&] { ++pumps; });
  ASSERT_TRUE(channel.Open("COM1"));
  CommTimeouts t;
  t.ReadIntervalTimeout = 50;
  t.ReadTotalTimeoutConstant = 5000;
  channel.SetTimeouts(t);

  uint8_t byte = 0;
  // A byte at 3.1 s arrives within the 5 s wait, through the slices.
  inner.DeliverAt(3100, "x");
  EXPECT_TRUE(channel.ReadByte(byte));
  EXPECT_EQ(byte, 'x');
  EXPECT_EQ(inner.Now(), 3100);
  // Silence: the whole wait passes, and the requested timeouts are back in force.
  EXPECT_FALSE(channel.ReadByte(byte));
  EXPECT_EQ(inner.Now(), 8100);
  EXPECT_EQ(inner.ReadTimeoutMs(), 5000u);

  // "Return at once" goes through as it is.
  t.ReadIntervalTimeout = CommTimeouts::kMaxDword;
  t.ReadTotalTimeoutConstant = 0;
  channel.SetTimeouts(t);
  const size_t applied = inner.timeouts.size();
  EXPECT_FALSE(channel.ReadByte(byte));
  EXPECT_EQ(inner.timeouts.size(), applied);
  EXPECT_EQ(inner.Now(), 8100);
}

}  // namespace
}  // namespace zemb::ui
