// The window's faces: Japanese (its own texts, with Qt's texts in Japanese too) and English
// from the translation built in, chosen by ZEMBROMW_LANG or the stored choice; captions
// that fit their buttons in both; error messages and a port's diagnosis in the window's
// language with their file names byte for byte; the window kept inside the screen; input
// dropped while an operation blocks, a close request let through.
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <set>

#include "Language.h"
#include "PaintingChannel.h"
#include "PlainText.h"
#include "PortDiagnosisText.h"
#include "TranscriptWindow.h"
#include "UiTestSupport.h"
#include "uSetting.h"

namespace zemb::ui::test {
namespace {

class Faces : public WindowTest {
 protected:
  void TearDown() override {
    RemoveTranslations();
    ::unsetenv(kLanguageVariable);
    WindowTest::TearDown();
  }
  // Every button of the window whose caption would be cut off, with its caption.
  std::vector<std::string> CutOffCaptions(TForm1& f) {
    std::vector<std::string> cut;
    for (QPushButton* b : f.findChildren<QPushButton*>()) {
      // What a push button's frame leaves for its text.
      const int room = b->width() - 2 * b->style()->pixelMetric(QStyle::PM_ButtonMargin) / 2;
      if (b->fontMetrics().horizontalAdvance(b->text()) > room)
        cut.push_back(b->text().toStdString());
    }
    return cut;
  }
  static QAction* Find(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
      if (a->text() == text) return a;
    }
    return nullptr;
  }
};

TEST(Language, NamesAndCodes) {
  const struct {
    const char* text;
    bool known;
    UiLanguage language;
  } cases[] = {
      {"en", true, UiLanguage::English},           {"EN_gb.UTF-8", true, UiLanguage::English},
      {"English", true, UiLanguage::English},      {"ja", true, UiLanguage::Japanese},
      {"ja_JP.eucJP", true, UiLanguage::Japanese}, {"de", false, UiLanguage::Japanese},
      {"eng", false, UiLanguage::Japanese},        {"", false, UiLanguage::Japanese}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    UiLanguage language = UiLanguage::Japanese;
    EXPECT_EQ(ParseLanguage(c.text, language), c.known);
    if (c.known) {
      EXPECT_EQ(language, c.language);
    }
  }
}

TEST_F(Faces, TheVariableWinsOverTheStoredChoiceWhichWinsOverJapanese) {
  EXPECT_EQ(ChosenLanguage(), UiLanguage::Japanese);
  StoreLanguage(UiLanguage::English);
  EXPECT_EQ(ChosenLanguage(), UiLanguage::English);
  ::setenv(kLanguageVariable, "ja", 1);
  EXPECT_EQ(ChosenLanguage(), UiLanguage::Japanese);
  EXPECT_TRUE(LanguageFromEnvironment());
  ::setenv(kLanguageVariable, "klingon", 1);  // not a language: the stored choice counts
  EXPECT_EQ(ChosenLanguage(), UiLanguage::English);
  EXPECT_FALSE(LanguageFromEnvironment());
}

TEST_F(Faces, TheMemoMenuStoresTheLanguageForTheNextStart) {
  TForm1& f = MakeForm();
  std::unique_ptr<QMenu> menu(f.CreateMemoMenu(QPoint(2, 2)));
  QMenu* languages = menu->findChild<QMenu*>(QStringLiteral("LanguageMenu"));
  ASSERT_NE(languages, nullptr);
  EXPECT_EQ(languages->title(), QStringLiteral("Language: 日本語 / English"));
  EXPECT_TRUE(Find(languages, QStringLiteral("日本語"))->isChecked());
  Find(languages, QStringLiteral("English"))->trigger();
  EXPECT_EQ(ReadValue(kLanguageKey), "en");
  menu.reset();  // a child of the memo
  CloseAndShutdown();
  EXPECT_NE(ReadFile(SettingsFile()).find("Window.Language=en\r\n"), std::string::npos);
  EXPECT_EQ(ChosenLanguage(), UiLanguage::English);
  // The window that is open keeps its language until the next start.
  EXPECT_EQ(InstalledLanguage(), UiLanguage::Japanese);
}

TEST_F(Faces, EnglishCaptionsTranscriptAndMessages) {
  ASSERT_TRUE(InstallTranslations(UiLanguage::English));
  TForm1& f = MakeForm();
  const std::pair<QWidget*, const char*> captions[] = {
      {f.Button1, "Blank CHK"}, {f.Button2, "Read"},  {f.Button3, "PROGRAM"},
      {f.Button4, "Compare"},   {f.Button5, "WRITE"}, {f.Button6, "Compare"},
      {f.Button7, "File"}};
  for (const auto& [button, text] : captions) {
    EXPECT_EQ(static_cast<QPushButton*>(button)->text().toStdString(), text);
  }
  EXPECT_EQ(f.RadioGroup1->Caption(), "Port");
  EXPECT_EQ(f.Label1->Caption(), "With file");
  EXPECT_EQ(f.OpenDialog1->Filter().rfind("ROM images (", 0), 0u);
  EXPECT_EQ(f.Caption(), "ZEMB-DazIzira");
  EXPECT_TRUE(CutOffCaptions(f).empty()) << CutOffCaptions(f).front();

  f.Button1->click();
  EXPECT_EQ(f.Button1->Caption(), "Check OK");
  f.ToggleTranscript();
  ASSERT_NE(f.TranscriptView(), nullptr);
  EXPECT_EQ(f.TranscriptView()->windowTitle(), QStringLiteral("Serial transcript"));
  EXPECT_TRUE(f.TranscriptView()->ShownText().contains(QStringLiteral(" TX RA<CR><LF>")));
  EXPECT_TRUE(f.TranscriptView()->ShownText().contains(QStringLiteral(" RX RA OK<CR>")));

  // A file name that is not UTF-8 keeps its bytes in the English message.
  const std::string missing = Path("\x83\x65\x83\x58\x83\x67.hex");
  ScriptDialog(f.OpenDialog1, {missing});
  f.Button7->click();
  EXPECT_EQ(reporter_.messages, std::vector<std::string>{"Cannot open file " + missing + "."});
  f.Edit1->SetText("12G4");
  reporter_.messages.clear();
  f.Button1->click();
  EXPECT_EQ(reporter_.messages, std::vector<std::string>{"'$12G4' is not a valid integer value."});
}

TEST_F(Faces, JapaneseKeepsEveryTextAndQtsOwnTextsAreJapaneseToo) {
  ASSERT_TRUE(InstallTranslations(UiLanguage::Japanese));
  TForm1& f = MakeForm();
  EXPECT_EQ(f.Button1->Caption(), "ブランクCHK");
  EXPECT_EQ(f.Button2->Caption(), "ROM読");
  EXPECT_EQ(f.Label1->Caption(), "ファイルとの");
  EXPECT_TRUE(CutOffCaptions(f).empty()) << CutOffCaptions(f).front();
  std::unique_ptr<QMenu> menu(f.CreateMemoMenu(QPoint(2, 2)));
  QStringList texts;
  for (QAction* a : menu->actions()) texts << a->text();
  EXPECT_TRUE(texts.join('|').contains(QStringLiteral("元に戻す")))
      << texts.join('|').toStdString();
  EXPECT_TRUE(texts.contains(QStringLiteral("通信ログ")));
  const std::string missing = Path("none.hex");
  ScriptDialog(f.OpenDialog1, {missing});
  f.Button7->click();
  EXPECT_EQ(reporter_.messages, std::vector<std::string>{"ファイル " + missing + " は開けません."});
}

TEST_F(Faces, PortDiagnosisSpeaksTheWindowsLanguageWithItsArgumentsAsTheyStand) {
  using M = DiagnosisMessage;
  // Arguments as the diagnosis escaped them: UTF-8 and "%1" in a name stay as they are.
  const std::string dev = "/dev/ttyÜSB0";
  const std::string prog = "mon%1tor";
  const std::string user = "b\\x1bob";
  const struct {
    DiagnosisLine line;
    std::string japanese;
  } cases[] = {
      {{M::Verbatim, {"  kill 12 34"}}, "  kill 12 34"},
      {{M::NoPortFound, {}}, "このマシンにはシリアルポートが見つかりません。"},
      {{M::PortsThatExist, {}}, "現在あるシリアルポート:"},
      {{M::OwnerGroupMode, {dev, "root", "dial%2out", "rw-rw----"}},
       dev + " の所有者は root、グループは dial%2out、モードは rw-rw---- です。"},
      {{M::OnlyOwnerMayOpen, {}}, "グループにも読み書きの権限がなく、開けるのは所有者だけです。"},
      {{M::InGroupYetRefused, {"uucp"}},
       "このプログラムはすでにグループ uucp で動いていますが、開くことを拒否されました。"
       "アクセス制御リストかセキュリティモジュールが妨げているのかもしれません。"},
      {{M::InGroupSinceLogin, {user, "dialout", "/etc/group"}},
       user + " は /etc/group でグループ dialout に入っていますが、このセッションはそれより前に"
              "始まりました。ログアウトしてログインし直してください。"},
      {{M::AddToGroup, {"dialout"}},
       "一度だけ自分をグループ dialout に加え、ログアウトしてログインし直してください:"},
      {{M::ProcessesUnreadable, {"/proc"}},
       "プロセスを調べられない（/proc を読めない）ため、使用中のプログラムはわかりません。"},
      {{M::HeldByProcess, {"12", "", ""}}, "PID 12 が使用中です。"},
      {{M::HeldByProcess, {"12", prog, ""}}, "PID 12（" + prog + "） が使用中です。"},
      {{M::HeldByProcesses, {"12", "", user, "34", prog, user}},
       "次のプロセスが使用中です: PID 12（ユーザー " + user + "）、PID 34（" + prog +
           "、ユーザー " + user + "）。"},
      {{M::CloseProgram, {}}, "そのプログラムを閉じるか、終了させてください:"},
      {{M::ClosePrograms, {}}, "それらのプログラムを閉じるか、終了させてください:"},
      {{M::ModemManagerProbes, {}},
       "ModemManager は新しいシリアルポートをどれも調べ、数秒後に手放します。"
       "ずっと近づけないようにするには: sudo systemctl stop ModemManager"},
      {{M::NoHolderOfUser, {}}, "このユーザーのプロセスは使用していません。"},
      {{M::NoHolderOfUserUnreadable, {"3"}},
       "このユーザーのプロセスは使用していません。他のユーザーのプロセス 3 個は"
       "調べられませんでした（root なら調べられます）。"},
      {{M::BrailleClaim, {"1a86:7523", "/usr/lib/udev/rules.d/85-brltty.rules", "57"}},
       "USB アダプター 1a86:7523 はつながっていますが、シリアルポートがありません。点字"
       "ディスプレイのサービス brltty がその USB ID を扱うと定めていて"
       "（/usr/lib/udev/rules.d/85-brltty.rules、57 行目）、アダプターが現れるとすぐに"
       "取ってしまいます。"},
      {{M::BrailleClaimNamed, {"1a86:7523", "USB%3Serial", "x.rules", "9"}},
       "USB アダプター 1a86:7523（USB%3Serial）はつながっていますが、シリアルポートが"
       "ありません。点字ディスプレイのサービス brltty がその USB ID を扱うと定めていて"
       "（x.rules、9 行目）、アダプターが現れるとすぐに取ってしまいます。"},
      {{M::RemoveBrailleService, {}},
       "点字ディスプレイを使わないなら brltty を削除し、アダプターを抜いて差し直してください:"},
      {{M::DeviceGone, {dev}}, dev + " が指すデバイスはもうありません（抜かれましたか?）。"},
      {{M::NoHardware, {dev}}, dev + " はありますが、その先で応答するハードウェアがありません。"},
      {{M::DoesNotExist, {dev}}, dev + " はありません。"},
      {{M::WindowsPortHeld, {"COM7"}},
       "Windows は他のプログラムが開いているポートを拒みます。COM7 を開いている"
       "ターミナル、シリアルモニターなどのツールを閉じて、やり直してください。"},
  };
  std::set<M> covered;
  for (const auto& c : cases) covered.insert(c.line.message);
  EXPECT_EQ(covered.size(), static_cast<size_t>(M::WindowsPortHeld) + 1) << "a kind is missing";

  ASSERT_TRUE(InstallTranslations(UiLanguage::Japanese));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.japanese);
    EXPECT_EQ(PortDiagnosisText::Line(c.line).toStdString(), c.japanese);
  }
  // The English window says what the command line says, byte for byte.
  RemoveTranslations();
  ASSERT_TRUE(InstallTranslations(UiLanguage::English));
  std::vector<DiagnosisLine> all;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.japanese);
    EXPECT_EQ(PortDiagnosisText::Line(c.line).toStdString(), EnglishDiagnosisLine(c.line));
    all.push_back(c.line);
  }
  EXPECT_EQ(PortDiagnosisText::Lines(all).toStdString(), JoinDiagnosis(all));
}

TEST_F(Faces, SilentStopTooltipIsInTheWindowsLanguage) {
  const std::string missing = Path("no-such-port");
  ::setenv("ZEMBROMW_COM1", missing.c_str(), 1);
  const struct {
    UiLanguage language;
    std::string start;
  } cases[] = {
      {UiLanguage::Japanese,
       "COM1 (" + missing + "): デバイスがありません\n" + missing + " はありません。\n"},
      {UiLanguage::English,
       "COM1 (" + missing + "): no such device\n" + missing + " does not exist.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(LanguageCode(c.language));
    RemoveTranslations();
    ASSERT_TRUE(InstallTranslations(c.language));
    form_ = std::make_unique<TForm1>(nullptr, std::vector<std::string>{});
    TForm1& f = *form_;
    f.Button1->click();
    const std::string tip = ToolTipShownText(f.Button1->toolTip()).toStdString();
    EXPECT_EQ(tip.rfind(c.start, 0), 0u) << tip;
    // The list of ports under it is in the same language.
    const bool english = tip.find("Serial ports that exist now:") != std::string::npos ||
                         tip.find("No serial port was found") != std::string::npos;
    EXPECT_EQ(english, c.language == UiLanguage::English) << tip;
  }
  ::unsetenv("ZEMBROMW_COM1");
}

TEST(WindowPlace, TheDesignedPlaceIsKeptWhereItFitsElseTheWindowMovesInside) {
  const QRect screen(0, 0, 512, 384);  // 1024x768 at scale factor 2
  const struct {
    const char* what;
    QRect frame;
    QPoint expected;
  } cases[] = {
      {"fits", QRect(12, 100, 363, 225), QPoint(12, 100)},
      {"lower edge beyond", QRect(12, 189, 363, 225), QPoint(12, 159)},
      {"right edge beyond", QRect(300, 10, 363, 225), QPoint(149, 10)},
      {"larger than the screen", QRect(12, 189, 600, 500), QPoint(0, 0)},
      {"left of the screen", QRect(-40, -5, 100, 100), QPoint(0, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(PlaceInside(c.frame, screen), c.expected);
  }
}

class CloseRecorder : public QWidget {
 public:
  bool closeRequested = false;

 protected:
  void closeEvent(QCloseEvent* event) override {
    closeRequested = true;
    event->ignore();
  }
};

TEST(BlockedWindow, InputIsDroppedWhileACloseRequestGetsThrough) {
  QLineEdit edit;
  CloseRecorder other;
  edit.show();
  other.show();
  edit.setFocus();
  QCoreApplication::postEvent(
      &edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")));
  QCoreApplication::postEvent(&other, new QCloseEvent);
  PumpWithoutInput();
  EXPECT_EQ(edit.text(), QString());
  EXPECT_TRUE(other.closeRequested);
  // Outside an operation the same key is typed.
  QCoreApplication::postEvent(
      &edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")));
  QCoreApplication::processEvents();
  EXPECT_EQ(edit.text(), QStringLiteral("a"));
}

}  // namespace
}  // namespace zemb::ui::test
