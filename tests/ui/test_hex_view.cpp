// The hex view of the memo and the differences view after a compare that failed: what they
// show, that they follow the memo, and that the read behind the differences leaves the
// window as the compare left it.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <algorithm>

#include "HexView.h"
#include "ImageFormats.h"
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
            "2 of 32 bytes differ, in 2 runs: 0x0001, 0x0012\n"
            "1 of the differing bytes need a bit set from 0 to 1: only erasing the chip can fix "
            "those");
  // Each row with a difference has the chip's values beneath it.
  ASSERT_EQ(view->Table()->LineCount(), 4);
  EXPECT_EQ(view->Table()->MarkedAddresses(0), std::vector<uint32_t>{0x0001});
  EXPECT_EQ(view->Table()->LineText(1).simplified().toStdString(), "ROM 34 4");
  EXPECT_EQ(view->Table()->LineText(1).indexOf(QStringLiteral("34")), 9);
  EXPECT_EQ(view->Table()->MarkedAddresses(2), std::vector<uint32_t>{0x0012});
  EXPECT_EQ(view->Table()->LineText(3).simplified().toStdString(), "ROM 3D =");
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
