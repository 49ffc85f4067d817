// The control layer: event order of the combo box and the radio group, the memo's line
// list, the default error handler and the painting channel.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QLineEdit>
#include <QScrollBar>
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

class MemoLines : public ::testing::Test {
 protected:
  TComponent owner;
  TMemo memo{&owner, nullptr};
  TStrings& lines = *memo.Lines();
};

TEST_F(MemoLines, AddCountGetAndTextFollowTheDocument) {
  EXPECT_EQ(lines.Count(), 0);
  lines.Add(":00");
  lines.Add("");
  lines.Add(":01");
  EXPECT_EQ(lines.Count(), 3);
  EXPECT_EQ(lines.Get(1), "");
  EXPECT_EQ(lines.Get(2), ":01");
  EXPECT_EQ(memo.Text(), ":00\r\n\r\n:01\r\n");
  EXPECT_EQ(lines.Text(), ":00\r\n\r\n:01\r\n");
  EXPECT_THROW(lines.Get(3), std::out_of_range);
  lines.Delete(0);
  EXPECT_EQ(memo.Text(), "\r\n:01\r\n");
  lines.Clear();
  EXPECT_EQ(memo.Text(), "");
}

TEST_F(MemoLines, BulkChangesReachTheDocumentAtEndUpdate) {
  memo.setPlainText("old");
  int changes = 0;
  QObject::connect(memo.document(), &QTextDocument::contentsChanged, [&] { ++changes; });
  {
    TStringsUpdate update(&lines);
    lines.Clear();
    // Appending, not "literal" + temporary: GCC 12 at -O3 raises a false -Wrestrict there.
    for (int i = 0; i < 1000; ++i) lines.Add(std::string(":").append(std::to_string(i)));
    EXPECT_EQ(lines.Count(), 1000);
    EXPECT_EQ(changes, 0);
  }
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(memo.document()->blockCount(), 1001);
  EXPECT_EQ(lines.Get(999), ":999");
}

TEST_F(MemoLines, UserEditsAreSeenByTheLineList) {
  lines.SetLines({"a", "b"});
  EXPECT_EQ(lines.Count(), 2);
  QTextCursor cursor(memo.document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText("c");  // a last line without a line break
  EXPECT_EQ(lines.Count(), 3);
  EXPECT_EQ(lines.Get(2), "c");
  lines.Add("d");
  EXPECT_EQ(memo.Text(), "a\r\nb\r\nc\r\nd\r\n");
}

TEST_F(MemoLines, TextSplitsAtEveryKindOfLineEndAndKeepsJapaneseText) {
  memo.SetText("一\r\n二\rthree\nfour");
  EXPECT_EQ(lines.Count(), 4);
  EXPECT_EQ(lines.Get(0), "一");
  EXPECT_EQ(lines.Get(3), "four");
  EXPECT_EQ(memo.Text(), "一\r\n二\r\nthree\r\nfour");
  EXPECT_EQ(lines.IndexOfName("FOUR"), -1);
}

// A large text reaches the document in slices; until the last one, the line list and the
// text come from the whole text and the user cannot edit a half-filled document.
TEST_F(MemoLines, LargeTextsAreFilledInSlicesWithoutChangingAByte) {
  const int first = TMemo::kFirstFillLines;
  // Bytes that are not UTF-8 (Shift-JIS), a paragraph separator and Qt's frame marks stay
  // bytes; no line break after the last line in one case.
  const std::string odd = "\x93\xFA\x96\x7B \xE2\x80\xA9 \xEF\xB7\x90\xEF\xB7\x91 \x1B";
  const struct {
    int lines;
    bool lastBreak;
    bool sliced;
  } cases[] = {{first, true, false},
               {first, false, false},
               {first + 1, false, true},
               {10000, false, true},
               {10000, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.lines) + (c.lastBreak ? " with" : " without") + " last break");
    std::vector<std::string> expected;
    std::string text;
    for (int i = 0; i < c.lines; ++i) {
      expected.push_back(":" + std::to_string(i) + (i % 97 == 0 ? odd : ""));
      text += expected.back();
      if (i + 1 < c.lines || c.lastBreak) text += "\r\n";
    }
    memo.SetText(text);
    EXPECT_EQ(memo.Filling(), c.sliced);
    EXPECT_EQ(memo.isReadOnly(), c.sliced);
    EXPECT_EQ(lines.Count(), c.lines);
    EXPECT_EQ(lines.Get(c.lines - 1), expected.back());
    EXPECT_EQ(memo.Text(), text);
    for (int i = 0; i < 1000 && memo.Filling(); ++i) QCoreApplication::processEvents();
    ASSERT_FALSE(memo.Filling());
    EXPECT_FALSE(memo.isReadOnly());
    EXPECT_TRUE(memo.document()->isUndoRedoEnabled());
    EXPECT_EQ(memo.document()->blockCount(), c.lines + (c.lastBreak ? 1 : 0));
    EXPECT_EQ(memo.Text(), text);
    static_cast<TMemoStrings&>(lines).Invalidate();  // read back from the document itself
    EXPECT_EQ(lines.Count(), c.lines);
    for (int i = 0; i < c.lines; i += 97) ASSERT_EQ(lines.Get(i), expected[i]) << i;
  }
}

// Whoever follows the memo's changes (the hex view reads the whole text on each) hears of a
// large text once, not once per slice, and the document's layout takes the slices whole.
TEST_F(MemoLines, AFillInSlicesIsOneChangeToThoseWatchingTheMemo) {
  int changes = 0;
  QObject::connect(&memo, &QPlainTextEdit::textChanged, [&] { ++changes; });
  memo.resize(300, 200);
  memo.show();
  std::string text;
  for (int i = 0; i < 20 * TMemo::kFirstFillLines; ++i) text += ":" + std::to_string(i) + "\r\n";
  memo.SetText(text);
  ASSERT_TRUE(memo.Filling());
  EXPECT_EQ(changes, 1);
  int rounds = 0;
  for (; rounds < 1000 && memo.Filling(); ++rounds) QCoreApplication::processEvents();
  ASSERT_FALSE(memo.Filling());
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(memo.Text(), text);
  EXPECT_EQ(memo.document()->blockCount(), 20 * TMemo::kFirstFillLines + 1);
  // The scroll range covers every line once the fill is over.
  EXPECT_GE(memo.verticalScrollBar()->maximum(), 20 * TMemo::kFirstFillLines - 100);
  memo.Lines()->Add("after");  // edits after the fill are heard as before
  EXPECT_EQ(changes, 2);
}

TEST_F(MemoLines, AChangeDuringAFillReplacesOrCompletesIt) {
  std::vector<std::string> big;
  for (int i = 0; i < 3 * TMemo::kFirstFillLines; ++i) big.push_back(":" + std::to_string(i));
  lines.SetLines(big);
  ASSERT_TRUE(memo.Filling());
  lines.SetLines({"a", "b"});  // a read replaces the lines: the rest of the old text never comes
  EXPECT_FALSE(memo.Filling());
  EXPECT_EQ(memo.Text(), "a\r\nb\r\n");

  lines.SetLines(big);
  ASSERT_TRUE(memo.Filling());
  lines.Add("last");  // added behind the whole text, not behind what the document holds yet
  EXPECT_FALSE(memo.Filling());
  EXPECT_EQ(memo.document()->blockCount(), static_cast<int>(big.size()) + 2);
  static_cast<TMemoStrings&>(lines).Invalidate();
  EXPECT_EQ(lines.Get(static_cast<int>(big.size())), "last");
  EXPECT_EQ(lines.Get(static_cast<int>(big.size()) - 1), big.back());
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
