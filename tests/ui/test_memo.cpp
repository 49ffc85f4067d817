// The memo: its line list, the exact bytes of its lines, and editing as a user does it with
// keys, mouse, clipboard, undo and an input method.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <functional>

#include "Memo.h"

namespace zemb::ui {
namespace {

class Memo : public ::testing::Test {
 public:
  void SetUp() override {
    window.resize(300, 200);
    memo.setGeometry(0, 0, 300, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QObject::connect(&memo, &TMemo::textChanged, [this] { ++changes; });
  }

  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(&memo, key, modifiers);
  }

  // Pixels other than the background in the band of a line in view.
  int Ink(int line) {
    const QImage image = memo.viewport()->grab().toImage();
    const QRgb base = memo.viewport()->palette().color(QPalette::Base).rgb();
    const int height = memo.fontMetrics().lineSpacing();
    int count = 0;
    for (int y = TMemo::kMargin + line * height;
         y < TMemo::kMargin + (line + 1) * height && y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) != base;
    }
    return count;
  }

  int CursorX(MemoPos pos) {
    memo.SetCursorPos(pos);
    return memo.inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
  }

  TComponent owner;
  QWidget window;
  TMemo memo{&owner, &window};
  TStrings& lines = *memo.Lines();
  int changes = 0;
};

TEST_F(Memo, TheLineListIsTheTextWithoutTheEmptyBlockAfterTheLastBreak) {
  EXPECT_EQ(lines.Count(), 0);
  lines.Add(":00");
  lines.Add("");
  lines.Add(":01");
  EXPECT_EQ(lines.Count(), 3);
  EXPECT_EQ(lines.Get(1), "");
  EXPECT_EQ(memo.Text(), ":00\r\n\r\n:01\r\n");
  EXPECT_EQ(lines.Text(), ":00\r\n\r\n:01\r\n");
  EXPECT_THROW(lines.Get(3), std::out_of_range);
  lines.Delete(0);
  EXPECT_EQ(memo.Text(), "\r\n:01\r\n");
  lines.Clear();
  EXPECT_EQ(memo.Text(), "");

  // A last line without a break is a line; an added line goes behind it.
  memo.SetText("一\r\n二\rthree\nfour");
  EXPECT_EQ(lines.Count(), 4);
  EXPECT_EQ(lines.Get(3), "four");
  EXPECT_EQ(memo.Text(), "一\r\n二\r\nthree\r\nfour");
  lines.Add("five");
  EXPECT_EQ(memo.Text(), "一\r\n二\r\nthree\r\nfour\r\nfive\r\n");
  lines.Delete(4);
  EXPECT_EQ(lines.Count(), 4);
}

// Every change, from code or by the user, shows at once in the line the memo shows.
TEST_F(Memo, TheLinesShownFollowEveryChange) {
  const std::function<void(Memo&)> changes[] = {
      [](Memo& t) { t.lines.Add("added"); },
      [](Memo& t) { t.lines.Delete(1); },
      [](Memo& t) { t.lines.Delete(0); },
      [](Memo& t) {
        t.lines.SetLines({"one", "two"});
      },
      [](Memo& t) { t.lines.Clear(); },
      [](Memo& t) { t.memo.SetText("x\r\ny"); },
      [](Memo& t) { QTest::keyClicks(&t.memo, "k"); },
      [](Memo& t) { t.memo.Undo(); },
      [](Memo& t) { t.memo.Redo(); },
  };
  int step = 0;
  for (const auto& change : changes) {
    SCOPED_TRACE(step++);
    memo.SetText("ab\r\ncd\r\n");
    memo.SetCursorPos({2, 0});
    memo.SetCursorPos({1, 1});
    QTest::keyClicks(&memo, "z");
    memo.SetCursorPos({2, 0});  // the memo has just looked at the lines around the cursor
    change(*this);
    // The cursor's line first: it is the one the memo looked at last.
    std::vector<int> order{memo.CursorPos().line};
    for (int i = 0; i < memo.BlockCount(); ++i) order.push_back(i);
    for (const int i : order) {
      const std::string held = i < lines.Count() ? lines.Get(i) : "";
      EXPECT_EQ(memo.LineText(i), QString::fromStdString(held)) << i;
    }
  }
}

TEST_F(Memo, EveryKindOfLineEndBreaksALineAndComesBackAsCrLf) {
  const struct {
    std::string bytes;
    std::vector<std::string> blocks;  // the lines, and the text after the last break
  } cases[] = {
      {"", {""}},
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"\r\r\n\n\r", {"", "", "", "", ""}},  // CR, CR LF, LF, CR: four breaks
      {"\n\r", {"", "", ""}},                // LF CR is two breaks, not one
      {"x\r", {"x", ""}},                    // a CR at the very end
      {"\x83\x65\r\n\xe2\x80\xa9\r\n\xf0\x9f\x98\x80\r\n\xe6\x97",
       {"\x83\x65", "\xe2\x80\xa9", "\xf0\x9f\x98\x80", "\xe6\x97"}},
      {std::string("a\0b\r\n\0", 6), {std::string("a\0b", 3), std::string(1, '\0')}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    memo.SetText(c.bytes);
    ASSERT_EQ(memo.BlockCount(), static_cast<int>(c.blocks.size()));
    std::string crlf;
    for (size_t i = 0; i < c.blocks.size(); ++i) {
      crlf += (i ? "\r\n" : "") + c.blocks[i];
      if (i + 1 < c.blocks.size() || !c.blocks[i].empty()) {
        EXPECT_EQ(lines.Get(static_cast<int>(i)), c.blocks[i]);
      }
    }
    EXPECT_EQ(memo.Text(), crlf);
  }
}

TEST_F(Memo, ChangesInsideAnUpdateAreHeardOnceAtItsEnd) {
  {
    TStringsUpdate update(&lines);
    lines.Clear();
    for (int i = 0; i < 1000; ++i) lines.Add(std::string(":").append(std::to_string(i)));
    EXPECT_EQ(changes, 0);
  }
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(lines.Get(999), ":999");
  lines.Add("x");
  EXPECT_EQ(changes, 2);
}

// Bytes that are not UTF-8 (Shift-JIS), a paragraph separator, an escape: each line keeps
// them through the memo, and an edit of one line leaves every other line's bytes alone.
TEST_F(Memo, LinesKeepTheirBytesThroughTheMemoAndThroughEditsOfOtherLines) {
  const std::string odd = "\x93\xFA\x96\x7B \xE2\x80\xA9 \xEF\xB7\x90 \x1B\xFF";
  for (const int count : {1, 3, 10000}) {
    for (const bool lastBreak : {false, true}) {
      SCOPED_TRACE(std::to_string(count) + (lastBreak ? " with" : " without") + " last break");
      std::vector<std::string> expected;
      std::string text;
      for (int i = 0; i < count; ++i) {
        expected.push_back(":" + std::to_string(i) + odd);
        text += expected.back();
        if (i + 1 < count || lastBreak) text += "\r\n";
      }
      memo.SetText(text);
      EXPECT_EQ(memo.Text(), text);
      ASSERT_EQ(lines.Count(), count);
      EXPECT_EQ(lines.Get(count - 1), expected.back());

      memo.SetCursorPos({0, 1});
      QTest::keyClicks(&memo, "Z");
      expected[0].insert(1, "Z");
      for (int i = 0; i < count; i += 97) ASSERT_EQ(lines.Get(i), expected[i]) << i;
      memo.Undo();
      EXPECT_EQ(memo.Text(), text);
    }
  }
}

TEST_F(Memo, KeysEditAsInATextField) {
  const struct {
    const char* name;
    std::string text;
    MemoPos at;
    std::function<void(Memo&)> keys;
    std::string expected;
    MemoPos cursor;
  } cases[] = {
      {"type", "ab", {0, 1}, [](Memo& t) { QTest::keyClicks(&t.memo, "XY"); }, "aXYb", {0, 3}},
      {"enter splits", "abcd", {0, 2}, [](Memo& t) { t.Key(Qt::Key_Return); }, "ab\r\ncd", {1, 0}},
      {"backspace joins",
       "ab\r\ncd",
       {1, 0},
       [](Memo& t) { t.Key(Qt::Key_Backspace); },
       "abcd",
       {0, 2}},
      {"delete joins", "ab\r\ncd", {0, 2}, [](Memo& t) { t.Key(Qt::Key_Delete); }, "abcd", {0, 2}},
      {"down keeps the column over a shorter line",
       "abc\r\nd\r\nefgh",
       {0, 3},
       [](Memo& t) {
         t.Key(Qt::Key_Down);
         t.Key(Qt::Key_Down);
         QTest::keyClicks(&t.memo, "X");
       },
       "abc\r\nd\r\nefgXh",
       {2, 4}},
      {"shift+home selects, typing replaces",
       "abcd",
       {0, 2},
       [](Memo& t) {
         t.Key(Qt::Key_Home, Qt::ShiftModifier);
         QTest::keyClicks(&t.memo, "X");
       },
       "Xcd",
       {0, 1}},
      {"select across lines and delete",
       "ab\r\ncd\r\nef",
       {0, 1},
       [](Memo& t) {
         t.Key(Qt::Key_Down, Qt::ShiftModifier);
         t.Key(Qt::Key_Right, Qt::ShiftModifier);
         t.Key(Qt::Key_Backspace);
       },
       "a\r\nef",
       {0, 1}},
      {"select all and type",
       "ab\r\ncd",
       {1, 1},
       [](Memo& t) {
         t.Key(Qt::Key_A, Qt::ControlModifier);
         QTest::keyClicks(&t.memo, "n");
       },
       "n",
       {0, 1}},
      {"ctrl+end then enter",
       "ab\r\ncd",
       {0, 0},
       [](Memo& t) {
         t.Key(Qt::Key_End, Qt::ControlModifier);
         t.Key(Qt::Key_Return);
       },
       "ab\r\ncd\r\n",
       {2, 0}},
      // A byte that is not UTF-8 is one character for the keys.
      {"backspace over stray bytes",
       "\x83\x65x",
       {0, 3},
       [](Memo& t) {
         t.Key(Qt::Key_Backspace);
         t.Key(Qt::Key_Backspace);
       },
       "\x83",
       {0, 1}},
      // A character outside the BMP is never split.
      {"keys step over a surrogate pair",
       "a\xF0\x9F\x98\x80"
       "b",
       {0, 4},
       [](Memo& t) {
         t.Key(Qt::Key_Left);
         t.Key(Qt::Key_Left);
         t.Key(Qt::Key_Delete);
       },
       "ab",
       {0, 1}},
      {"tab is not text", "ab", {0, 1}, [](Memo& t) { t.Key(Qt::Key_Tab); }, "ab", {0, 1}},
      {"ctrl+backspace and ctrl+delete take words",
       "one two three",
       {0, 7},
       [](Memo& t) {
         t.Key(Qt::Key_Backspace, Qt::ControlModifier);
         t.Key(Qt::Key_Delete, Qt::ControlModifier);
       },
       "one three",
       {0, 4}},
      {"shift+delete cuts, shift+insert pastes",
       "abc",
       {0, 0},
       [](Memo& t) {
         t.Key(Qt::Key_Right, Qt::ShiftModifier);
         t.Key(Qt::Key_Delete, Qt::ShiftModifier);
         t.Key(Qt::Key_End);
         t.Key(Qt::Key_Insert, Qt::ShiftModifier);
       },
       "bca",
       {0, 3}},
      // Keys held with Ctrl are commands even where they carry a character.
      {"ctrl+digit and ctrl+space type nothing",
       "ab",
       {0, 1},
       [](Memo& t) {
         t.Key(Qt::Key_1, Qt::ControlModifier);
         t.Key(Qt::Key_Space, Qt::ControlModifier);
         t.Key(Qt::Key_Exclam, Qt::ControlModifier | Qt::ShiftModifier);
       },
       "ab",
       {0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    memo.SetText(c.text);
    memo.SetCursorPos(c.at);
    c.keys(*this);
    EXPECT_EQ(memo.Text(), c.expected);
    EXPECT_EQ(memo.CursorPos(), c.cursor);
  }
}

TEST_F(Memo, UndoTakesBackTypedRunsAndOtherStepsOneByOne) {
  memo.SetText("ab\r\n\x83\x65");
  memo.SetCursorPos({0, 2});
  QTest::keyClicks(&memo, "xyz");  // one step
  Key(Qt::Key_Return);
  QTest::keyClicks(&memo, "w");
  EXPECT_EQ(memo.Text(), "abxyz\r\nw\r\n\x83\x65");
  Key(Qt::Key_Z, Qt::ControlModifier);
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(memo.Text(), "abxyz\r\n\x83\x65");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(memo.Text(), "ab\r\n\x83\x65");
  EXPECT_EQ(memo.CursorPos(), (MemoPos{0, 2}));
  EXPECT_FALSE(memo.CanUndo());
  memo.Redo();
  memo.Redo();
  EXPECT_EQ(memo.Text(), "abxyz\r\n\r\n\x83\x65");
  EXPECT_EQ(memo.CursorPos(), (MemoPos{1, 0}));
  // A change from code (a read, a load) is not the user's to take back.
  memo.Lines()->Add("read");
  EXPECT_FALSE(memo.CanUndo());
  EXPECT_FALSE(memo.CanRedo());
}

TEST_F(Memo, ClipboardCarriesLinesWithEveryKindOfBreak) {
  memo.SetText("ab\r\ncd");
  memo.SetCursorPos({0, 1});
  memo.SetCursorPos({1, 1}, true);
  Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "b\nc");
  Key(Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(memo.Text(), "ad");
  QGuiApplication::clipboard()->setText("1\r\n2\r3\n日");
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(memo.Text(), "a1\r\n2\r\n3\r\n日d");
  EXPECT_EQ(memo.CursorPos(), (MemoPos{3, 1}));
  memo.Undo();
  EXPECT_EQ(memo.Text(), "ad");
  // A NUL would cut the settings file's lines short and make a saved image unloadable.
  QGuiApplication::clipboard()->setText(QString::fromUtf16(u"x\0y", 3));
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(memo.Text(), "axyd");
  // Units standing for stray bytes that make one character once together.
  memo.SetText("");
  QGuiApplication::clipboard()->setText(QString::fromUtf16(u"\xDCC3\xDCA9", 2));
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(memo.Text(), "\xC3\xA9");
  EXPECT_EQ(memo.CursorPos(), (MemoPos{0, 1}));

  // Selected by keys, it is what the middle button pastes, where the system has that.
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard->supportsSelection()) {
    memo.SetText("axyd");
    const auto published = [clipboard](const QString& text) {
      return QTest::qWaitFor([&] { return clipboard->text(QClipboard::Selection) == text; });
    };
    Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_TRUE(published("a"));
    Key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(published("axyd"));
  }
}

TEST_F(Memo, TheMouseSetsTheCursorAndSelects) {
  memo.SetText("first line\r\nsecond word here\r\nthird");
  const int lineHeight = memo.fontMetrics().lineSpacing();
  const QPoint secondLine(TMemo::kMargin + 1, TMemo::kMargin + lineHeight + lineHeight / 2);
  QTest::mouseClick(memo.viewport(), Qt::LeftButton, {}, secondLine);
  EXPECT_EQ(memo.CursorPos(), (MemoPos{1, 0}));
  const QPoint thirdLineEnd(250, TMemo::kMargin + 2 * lineHeight + lineHeight / 2);
  QTest::mouseClick(memo.viewport(), Qt::LeftButton, Qt::ShiftModifier, thirdLineEnd);
  EXPECT_EQ(memo.SelectedText(), "second word here\nthird");
  const int wordX = TMemo::kMargin + memo.fontMetrics().horizontalAdvance("second w");
  QTest::mouseDClick(memo.viewport(), Qt::LeftButton, {},
                     QPoint(wordX, TMemo::kMargin + lineHeight + lineHeight / 2));
  EXPECT_EQ(memo.SelectedText(), "word");
  QTest::mouseClick(memo.viewport(), Qt::LeftButton, {},
                    QPoint(wordX, TMemo::kMargin + lineHeight + lineHeight / 2));
  EXPECT_EQ(memo.SelectedText(), "second word here");
}

TEST_F(Memo, TheViewScrollsOverEveryLineAndFollowsTheCursor) {
  std::vector<std::string> many;
  for (int i = 0; i < 100000; ++i) many.push_back(":" + std::to_string(i));
  lines.SetLines(many);
  QScrollBar* bar = memo.verticalScrollBar();
  EXPECT_GE(bar->maximum(), 100000 - bar->pageStep());
  EXPECT_EQ(memo.TopLine(), 0);
  Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(memo.CursorPos().line, 100000);
  EXPECT_EQ(memo.TopLine(), bar->maximum());
  Key(Qt::Key_PageUp);
  EXPECT_EQ(memo.CursorPos().line, 100000 - bar->pageStep());
  EXPECT_LE(memo.TopLine(), memo.CursorPos().line);
  // A load puts the view back at the top.
  lines.SetLines(many);
  EXPECT_EQ(memo.TopLine(), 0);
  EXPECT_EQ(memo.CursorPos(), (MemoPos{0, 0}));
}

// A line longer than what is laid out is still edited and kept whole, and paints.
TEST_F(Memo, AVeryLongLineIsKeptWholeAndEditedAtItsEnd) {
  const std::string longLine(3 * TMemo::kShownUnits, 'a');
  memo.SetText(longLine + "\r\nnext");
  memo.setFocus();
  Key(Qt::Key_End);
  QTest::keyClicks(&memo, "Z");
  EXPECT_EQ(memo.Text(), longLine + "Z\r\nnext");
  EXPECT_FALSE(memo.grab().isNull());
}

// The line list changed under a selection, a very long line selected and composed on, a
// memo of no size: the cursor stays in the text and painting and editing go on.
TEST_F(Memo, EditingSurvivesTheTextAndTheViewChangingUnderIt) {
  memo.SetText("ab\r\ncd\r\nef");
  memo.SetCursorPos({0, 1});
  memo.SetCursorPos({2, 2}, true);
  lines.Add("read");  // a read adding a line keeps the selection
  EXPECT_EQ(memo.SelectedText(), "b\ncd\nef");
  lines.Delete(3);
  lines.Delete(2);
  lines.Delete(1);
  EXPECT_EQ(memo.SelectedText(), "b\n");  // to the empty line after the last break
  QTest::keyClicks(&memo, "X");
  EXPECT_EQ(memo.Text(), "aX");

  const std::string longLine(3 * TMemo::kShownUnits, 'a');
  memo.SetText(longLine);
  memo.SelectAll();
  EXPECT_FALSE(memo.grab().isNull());
  memo.SetCursorPos({0, 3 * TMemo::kShownUnits});
  QInputMethodEvent compose(QStringLiteral("にほん"), {});
  QApplication::sendEvent(&memo, &compose);
  EXPECT_FALSE(memo.grab().isNull());
  QInputMethodEvent commit;
  commit.setCommitString(QStringLiteral("日本"));
  QApplication::sendEvent(&memo, &commit);
  EXPECT_EQ(memo.Text(), longLine + "日本");

  memo.resize(0, 0);
  memo.SetText("1\r\n2\r\n3");
  Key(Qt::Key_PageDown);
  Key(Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
  QTest::keyClicks(&memo, "x");
  EXPECT_EQ(memo.Text(), "1\r\nx");
  memo.repaint();
}

// Signs a layout would take as the end of a line, or as a reason to start from the right.
TEST_F(Memo, EveryLineShowsWholeAndFromTheLeft) {
  memo.SetText("ab");
  const int shortInk = Ink(0);
  for (const char* separator : {"\xE2\x80\xA8", "\xE2\x80\xA9"}) {
    memo.SetText(std::string("ab") + separator + "zzzzzzzz");
    EXPECT_GT(Ink(0), 2 * shortInk) << "text after the separator is shown";
  }
  // A comment in Hebrew: its ';' stays first, at the left.
  memo.SetText("; \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D");
  EXPECT_LT(CursorX({0, 0}), CursorX({0, 1}));
  EXPECT_LE(CursorX({0, 0}), TMemo::kMargin + 1);
}

TEST_F(Memo, TheEditMenuOffersWhatCanBeDone) {
  memo.SetText("ab");
  const auto enabled = [this] {
    std::unique_ptr<QMenu> menu(memo.CreateEditMenu());
    std::vector<bool> out;
    for (QAction* action : menu->actions()) {
      if (!action->isSeparator()) out.push_back(action->isEnabled());
    }
    return out;
  };
  QGuiApplication::clipboard()->clear();
  // Undo, Redo, Cut, Copy, Paste, Delete, Select All.
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false, false, false, true}));
  memo.SelectAll();
  QTest::keyClicks(&memo, "c");
  memo.SelectAll();
  EXPECT_EQ(enabled(), (std::vector<bool>{true, false, true, true, false, true, true}));
}

TEST_F(Memo, AnInputMethodComposesThenCommits) {
  memo.SetText("ab");
  memo.SetCursorPos({0, 1});
  const int cursorX = memo.inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
  QInputMethodEvent compose(QStringLiteral("にほん"), {});
  QApplication::sendEvent(&memo, &compose);
  EXPECT_EQ(memo.Text(), "ab");  // composing changes nothing yet
  // The input method's cursor stands behind what it composes.
  EXPECT_GT(memo.inputMethodQuery(Qt::ImCursorRectangle).toRect().x(), cursorX + 10);
  EXPECT_FALSE(memo.grab().isNull());
  QInputMethodEvent commit;
  commit.setCommitString(QStringLiteral("日本"));
  QApplication::sendEvent(&memo, &commit);
  EXPECT_EQ(memo.Text(), "a日本b");
  EXPECT_EQ(memo.inputMethodQuery(Qt::ImCursorPosition).toInt(), 3);
}

TEST_F(Memo, AnInputMethodIsHeldToTheLine) {
  // Composing on one line leaves the lines below it painted.
  memo.SetText("first\r\nsecond\r\nthird");
  memo.SetCursorPos({0, 1});
  const int secondInk = Ink(1);
  QInputMethodEvent compose(QStringLiteral("にほん"), {});
  QApplication::sendEvent(&memo, &compose);
  EXPECT_EQ(Ink(1), secondInk);
  // A click elsewhere ends it: nothing of it is left to show.
  const int thirdInk = Ink(2);
  const int lineHeight = memo.fontMetrics().lineSpacing();
  QTest::mouseClick(memo.viewport(), Qt::LeftButton, {},
                    QPoint(TMemo::kMargin, TMemo::kMargin + 2 * lineHeight + lineHeight / 2));
  EXPECT_EQ(memo.CursorPos(), (MemoPos{2, 0}));
  EXPECT_LE(Ink(2), thirdInk + lineHeight);  // the line and the cursor
  EXPECT_EQ(memo.Text(), "first\r\nsecond\r\nthird");
  QInputMethodEvent done;
  QApplication::sendEvent(&memo, &done);

  // Composing over a selection takes the selection's place, as typing does.
  memo.SetText("abcd");
  memo.SetCursorPos({0, 1});
  memo.SetCursorPos({0, 3}, true);
  QApplication::sendEvent(&memo, &compose);
  EXPECT_EQ(memo.Text(), "ad");
  QApplication::sendEvent(&memo, &done);

  // Replacement ranges reaching outside the line, up to the ends of an int, are cut to it.
  const struct {
    int start, length;
    std::string expected;
  } ranges[] = {
      {-1, 1, "X23"},
      {-5, 3, "X123"},
      {1, 100, "12X"},
      {2147483000, 2147483000, "123X"},
      {-2147483000, 2147483647, "X"},
  };
  for (const auto& r : ranges) {
    SCOPED_TRACE(r.expected);
    memo.SetText("123");
    memo.SetCursorPos({0, 1});
    QInputMethodEvent replace;
    replace.setCommitString(QStringLiteral("X"), r.start, r.length);
    QApplication::sendEvent(&memo, &replace);
    EXPECT_EQ(memo.Text(), r.expected);
  }
}

}  // namespace
}  // namespace zemb::ui
