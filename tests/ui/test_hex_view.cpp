// The hex view of the memo and the differences view after a compare that failed: what they
// show, that they follow the memo, and that the read behind the differences leaves the
// window as the compare left it.
#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QToolTip>
#include <algorithm>

#include "HexView.h"
#include "ImageDiff.h"
#include "ImageFormats.h"
#include "Language.h"
#include "UiTestSupport.h"

namespace zemb::ui::test {
namespace {

std::string Record(uint16_t address, const std::vector<uint8_t>& data) {
  return EncodeHexRecord(kHexData, address, data.data(), data.size());
}

std::string FileText(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

std::vector<std::string> MenuTexts(TForm1& f) {
  std::unique_ptr<QMenu> menu(f.CreateMemoMenu(QPoint(1, 1)));
  std::vector<std::string> texts;
  for (QAction* a : menu->actions()) texts.push_back(a->text().toStdString());
  return texts;
}

bool Has(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class HexViewTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    MakeForm();
  }
  // Loads the memo through the File button.
  void Load(const std::vector<std::string>& lines) {
    const std::string path = WriteFile("image.hex", FileText(lines));
    ScriptDialog(form().OpenDialog1, {path});
    form().Button7->click();
  }
};

TEST_F(HexViewTest, ShowsTheMemosImageWithRangeCountAndCrc) {
  TForm1& f = form();
  Load({";MinAdr=0100", ";MaxAdr=012F", Record(0x0100, {'H', 'i', 0x00, 0x7F}),
        Record(0x0120, std::vector<uint8_t>(16, 0x41)), ":00000001FF"});
  f.ShowHexView();
  HexView* view = f.HexViewWindow();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isVisible());
  ASSERT_EQ(view->Table()->LineCount(), 2);  // the empty row 0110 is left out
  EXPECT_EQ(view->Table()->LineText(0).toStdString(),
            "0100  48 69 00 7F -- -- -- --  -- -- -- -- -- -- -- --  Hi..            ");
  EXPECT_EQ(view->Table()->LineText(1).toStdString(),
            "0120  41 41 41 41 41 41 41 41  41 41 41 41 41 41 41 41  AAAAAAAAAAAAAAAA");
  // The CRC-32 of the header range with FF where the image has no byte, as the command
  // line's info prints it.
  SparseImage image;
  image.SetRange(0x100, std::vector<uint8_t>{'H', 'i', 0x00, 0x7F}.data(), 4);
  image.SetRange(0x120, std::vector<uint8_t>(16, 0x41).data(), 16);
  char crc[9];
  std::snprintf(crc, sizeof crc, "%08X", ChecksumRange(image, 0x100, 0x12F).Crc32());
  EXPECT_EQ(view->StatusText().toStdString(),
            "範囲 0100-012F  20 バイト  CRC-32 " + std::string(crc));

  // An edit of the memo reaches the open view once the events have run.
  f.Memo1->SetText(FileText({Record(0x0000, {0x01}), Record(0x0010, {0x02})}));
  QApplication::processEvents();
  ASSERT_EQ(view->Table()->LineCount(), 2);
  EXPECT_EQ(view->Table()->LineText(1).left(8).toStdString(), "0010  02");
  EXPECT_EQ(view->StatusText().left(12).toStdString(), "範囲 0000-0010");
}

TEST_F(HexViewTest, AMemoThatIsNoImageIsSaidSoAsPlainText) {
  TForm1& f = form();
  f.Memo1->SetText("<h1>big</h1>\r\n:zz\r\n");
  f.ShowHexView();
  HexView* view = f.HexViewWindow();
  EXPECT_EQ(view->Table()->LineCount(), 0);
  EXPECT_NE(view->HeaderText().indexOf(QStringLiteral("メモの内容を読めません")), -1);
  for (QLabel* label : view->findChildren<QLabel*>()) {
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
  }
  f.Memo1->SetText("");
  QApplication::processEvents();
  EXPECT_EQ(view->StatusText().toStdString(), "データがありません");
}

TEST_F(HexViewTest, DifferencesAreOfferedOnlyAfterACompareFailed) {
  TForm1& f = form();
  Load({Record(0, {0x3C})});
  EXPECT_TRUE(Has(MenuTexts(f), "HEX表示"));
  EXPECT_FALSE(Has(MenuTexts(f), "差分を表示"));
  device().rcAnswer = "RC NG";
  f.Button6->click();
  ASSERT_EQ(f.Button4->Caption(), "CompNG");
  EXPECT_TRUE(Has(MenuTexts(f), "差分を表示"));
  device().rcAnswer = "RC OK";
  f.Button6->click();
  EXPECT_FALSE(Has(MenuTexts(f), "差分を表示"));
}

TEST_F(HexViewTest, DifferencesReadTheChipAndLeaveTheWindowAsTheCompareLeftIt) {
  TForm1& f = form();
  f.Edit1->SetText("0");
  f.Edit2->SetText("1F");
  const std::vector<std::string> file = {Record(0x0000, std::vector<uint8_t>(16, 0x3C)),
                                         Record(0x0010, std::vector<uint8_t>(16, 0x3C)),
                                         ":00000001FF"};
  Load(file);
  device().rcAnswer = "RC NG 00001 3C 34";
  f.Button6->click();
  const std::string caption = f.Caption();
  const std::string button2 = f.Button2->Caption();
  const std::vector<std::string> memo = MemoLines();

  // The chip: 0x0001 lacks a bit (erase needed), 0x0012 has one too many.
  std::vector<uint8_t> low(16, 0x3C);
  std::vector<uint8_t> high(16, 0x3C);
  low[1] = 0x34;
  high[2] = 0x3D;
  device().readData = {Record(0x0000, low), Record(0x0010, high), ":00000001FF"};
  std::string busy;
  device().onCommand = [&](const std::string&) { busy = f.Button2->Caption(); };
  f.ShowDifferences();

  EXPECT_EQ(device().commands.back(), "RR 00000,0001F+00000");
  EXPECT_EQ(busy, "...");
  EXPECT_EQ(f.Caption(), caption);
  EXPECT_EQ(f.Button2->Caption(), button2);
  EXPECT_EQ(f.Button4->Caption(), "CompNG");
  EXPECT_EQ(f.Button6->Caption(), "比較");
  EXPECT_EQ(MemoLines(), memo);
  EXPECT_EQ(f.zembROMWT1->Lines, f.Memo1->Lines());
  // The compare's answer stays the device's last word (a cancelled dialog shows it again).
  EXPECT_EQ(f.zembROMWT1->Status, "RC NG 00001 3C 34");
  // The bar followed the two records of the range.
  EXPECT_EQ(f.ProgressBar1->maximum(), 2);
  EXPECT_EQ(f.ProgressBar1->value(), 2);

  HexView* view = f.DifferencesWindow();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isVisible());
  EXPECT_EQ(view->HeaderText().toStdString(),
            "32 バイト中 2 バイトが異なります（2 か所: 0x0001, 0x0012）\n"
            "うち 1 バイトは 0 のビットを 1 に戻す必要があり、消去しないと直せません");
  // Each row with a difference has the chip's values beneath it.
  ASSERT_EQ(view->Table()->LineCount(), 4);
  EXPECT_EQ(view->Table()->MarkedAddresses(0), std::vector<uint32_t>{0x0001});
  EXPECT_EQ(view->Table()->LineText(1).simplified().toStdString(), "ROM 34 4");
  EXPECT_EQ(view->Table()->LineText(1).indexOf(QStringLiteral("34")), 9);
  EXPECT_EQ(view->Table()->MarkedAddresses(2), std::vector<uint32_t>{0x0012});
  EXPECT_EQ(view->Table()->LineText(3).simplified().toStdString(), "ROM 3D =");
  // A marked byte's tooltip, on the file's row and on the chip's beneath it, names it as one
  // line of the differences; other bytes have none.
  EXPECT_EQ(view->Table()->DifferenceText(0, 1).toStdString(), "0x0001  ファイル 3C  ROM 34");
  EXPECT_EQ(view->Table()->DifferenceText(2, 2).toStdString(), "0x0012  ファイル 3C  ROM 3D");
  EXPECT_TRUE(view->Table()->DifferenceText(0, 0).isEmpty());
  EXPECT_EQ(view->Table()->DifferenceText(1, 1), view->Table()->DifferenceText(0, 1));
  EXPECT_TRUE(view->Table()->DifferenceText(1, 0).isEmpty());
  // Hovering: over the second byte's digits of the first row, then over its address.
  HexTable* table = view->Table();
  const QFontMetrics metrics(table->font());
  const int digit = metrics.horizontalAdvance(QLatin1Char('0'));
  auto hover = [&](int column) {
    const QPoint at(4 + column * digit + digit / 2, metrics.height() / 2);
    QHelpEvent help(QEvent::ToolTip, at, table->viewport()->mapToGlobal(at));
    QApplication::sendEvent(table->viewport(), &help);
    return help.isAccepted() ? QToolTip::text().toStdString() : std::string();
  };
  // "0000  3C 3C": character 10 is the second byte's second digit.
  EXPECT_EQ(hover(10), "0x0001  ファイル 3C  ROM 34");
  EXPECT_EQ(hover(1), "");
}

struct SummaryCase {
  const char* name;
  std::vector<std::pair<uint32_t, uint8_t>> chipChanges;  // on a chip that holds the file
  std::vector<uint32_t> notRead;                          // addresses the read lacks
  std::string japanese;
};

class DifferenceSummaryTest : public WindowTest {
 protected:
  void TearDown() override {
    RemoveTranslations();
    WindowTest::TearDown();
  }
};

// The view words the summary in the window's language; in English exactly as the command
// line prints it.
TEST_F(DifferenceSummaryTest, HeaderInJapaneseAndInTheCommandLinesEnglish) {
  const std::vector<SummaryCase> cases = {
      {"one byte, bits to clear only",
       {{0x12, 0xFF}},
       {},
       "32 バイト中 1 バイトが異なります（1 か所: 0x0012）\n"
       "どの違いもビットを 0 にするだけなので、消去せずに書き込めば一致させられます"},
      {"bits to set and to clear",
       {{0x01, 0x34}, {0x02, 0x00}, {0x12, 0x3D}},
       {},
       "32 バイト中 3 バイトが異なります（2 か所: 0x0001-0x0002, 0x0012）\n"
       "うち 2 バイトは 0 のビットを 1 に戻す必要があり、消去しないと直せません"},
      {"more runs than named, bytes the read lacks",
       {{0x00, 0xFF},
        {0x02, 0xFF},
        {0x04, 0xFF},
        {0x06, 0xFF},
        {0x08, 0xFF},
        {0x0A, 0xFF},
        {0x0C, 0xFF},
        {0x0E, 0xFF},
        {0x10, 0xFF},
        {0x12, 0x00}},
       {0x1E, 0x1F},
       "32 バイト中 10 バイトが異なります（10 か所: 0x0000, 0x0002, 0x0004, 0x0006, 0x0008, "
       "0x000A, 0x000C, 0x000E ほか 2 か所）\n"
       "ファイルの 2 バイトが ROM の読み出しにありません\n"
       "うち 1 バイトは 0 のビットを 1 に戻す必要があり、消去しないと直せません"},
  };
  SparseImage file;
  for (uint32_t a = 0; a < 0x20; ++a) file.Set(a, 0x3C);
  for (const UiLanguage language : {UiLanguage::Japanese, UiLanguage::English}) {
    ASSERT_TRUE(InstallTranslations(language));
    for (const SummaryCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (language == UiLanguage::English ? " (en)" : " (ja)"));
      SparseImage chip;
      for (uint32_t a = 0; a < 0x20; ++a) {
        if (std::find(c.notRead.begin(), c.notRead.end(), a) == c.notRead.end()) chip.Set(a, 0x3C);
      }
      for (const auto& [address, value] : c.chipChanges) chip.Set(address, value);
      HexView view(nullptr);
      view.ShowDifferences(file, chip, 0, 0x1F);
      std::string english;
      for (const std::string& line : FormatDiffSummary(DiffImages(file, chip, 0, 0x1F, 0))) {
        english += (english.empty() ? "" : "\n") + line;
      }
      EXPECT_EQ(view.HeaderText().toStdString(),
                language == UiLanguage::English ? english : c.japanese);
    }
  }

  // A read that matches after the device said NG says the two disagree, as the command line
  // does.
  SparseImage same = file;
  HexView view(nullptr);
  view.ShowDifferences(file, same, 0, 0x1F);
  EXPECT_EQ(view.HeaderText().toStdString(),
            "the device answered NG, but its read of 00000-0001F matches the file in all 32 "
            "bytes: the device's compare and its read disagree");
  view.ShowDifferences(file, same, 0x1F, 0x1F);
  EXPECT_EQ(view.HeaderText().toStdString(),
            "the device answered NG, but its read of 0001F-0001F matches the file in all 1 "
            "byte: the device's compare and its read disagree");
  ASSERT_TRUE(InstallTranslations(UiLanguage::Japanese));
  view.ShowDifferences(file, same, 0, 0x1F);
  EXPECT_EQ(view.HeaderText().toStdString(),
            "ROMライタの比較は NG でしたが、00000-0001F の読み出しは 32 バイトすべてがファイルと"
            "一致します: ROMライタの比較と読み出しが食い違っています");
  view.ShowDifferences(file, same, 0x1F, 0x1F);
  EXPECT_EQ(view.HeaderText().toStdString(),
            "ROMライタの比較は NG でしたが、0001F-0001F の読み出しは 1 バイトすべてがファイルと"
            "一致します: ROMライタの比較と読み出しが食い違っています");
}

TEST_F(HexViewTest, AFailedReadShowsItsStatusInTheView) {
  TForm1& f = form();
  Load({Record(0, {0x3C})});
  device().rcAnswer = "RC NG";
  f.Button6->click();
  const std::string caption = f.Caption();
  device().readData = {Record(0, {0x3C})};
  device().rrAnswer = "RR NG timeout";
  f.ShowDifferences();
  EXPECT_EQ(f.DifferencesWindow()->HeaderText().toStdString(),
            "ROMの読み出しに失敗しました: RR NG timeout");
  EXPECT_EQ(f.DifferencesWindow()->Table()->LineCount(), 0);
  EXPECT_EQ(f.Caption(), caption);
  EXPECT_EQ(f.Button2->Caption(), "ROM読");
}

}  // namespace
}  // namespace zemb::ui::test
