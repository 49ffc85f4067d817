#include "UromW.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QMenu>
#include <QMimeData>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QUrl>

#include "ChipDifferences.h"
#include "ChipTypes.h"
#include "Convert.h"
#include "ErrorHandler.h"
#include "Errors.h"
#include "FileIO.h"
#include "FormValues.h"
#include "HexView.h"
#include "ImageInput.h"
#include "Language.h"
#include "PaintingChannel.h"
#include "PlainText.h"
#include "PortDiagnosisText.h"
#include "PortMenu.h"
#include "TranscriptWindow.h"
#include "WindowImages.h"
#include "WindowTitle.h"

namespace zemb::ui {

// The type list comes from the one table the command line uses too.
const std::vector<std::string> kRomTypes = ChipTypeItemTexts();

namespace {

constexpr const char* kFontFamily = "ＭＳ ゴシック";
// The designed client area; the memo keeps its distance from its right and bottom edges.
constexpr int kClientWidth = 363;
constexpr int kClientHeight = 225;
// The memo's least height when the window is made smaller: two lines and its scroll arrows.
constexpr int kMinMemoHeight = 48;
// A dropped name longer than this is cut, as the shell's name buffer would.
constexpr size_t kMaxDroppedNameLength = 1023;

// Cuts a UTF-8 text to at most max bytes without splitting a character.
std::string CutUtf8(const std::string& text, size_t max) {
  if (text.size() <= max) return text;
  size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

// A dropped file's name as the bytes the file system knows it by. A name that is not UTF-8
// keeps its bytes only in the URL's percent-encoding; toLocalFile() would replace them.
std::string LocalFileBytes(const QUrl& url) {
  if (!url.host().isEmpty()) return url.toLocalFile().toStdString();
  return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

// Puts a tool window next to the main window where the screen has room for it: otherwise
// it opens over the controls whose traffic it shows (a window manager centres it there).
void PlaceBeside(QWidget* tool, const QWidget* main) {
  const QScreen* screen = main->screen();
  if (!screen) return;
  constexpr int kGap = 8;
  const QRect room = screen->availableGeometry();
  const QRect frame = main->frameGeometry();
  const QSize size = tool->size();
  const QPoint places[] = {
      {frame.right() + 1 + kGap, frame.top()},
      {frame.left(), frame.bottom() + 1 + kGap},
      {frame.left() - kGap - size.width(), frame.top()},
      {frame.left(), frame.top() - kGap - size.height()},
  };
  for (const QPoint& place : places) {
    if (room.contains(QRect(place, size))) {
      tool->move(place);
      return;
    }
  }
}

template <class T>
T* Named(T* component, const char* name) {
  component->SetName(name);
  if constexpr (std::is_base_of_v<QObject, T>) component->setObjectName(QString::fromUtf8(name));
  return component;
}

}  // namespace

int32_t HexAddressFieldValue(const std::string& text) {
  uint64_t value = 0;
  bool ok = !text.empty();
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) {
      ok = false;
      break;
    }
    value = value * 16 + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFu) {
      ok = false;
      break;
    }
  }
  if (!ok) throw EConvertError("$" + text);
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

QPoint PlaceInside(const QRect& frame, const QRect& available) {
  int left = frame.left();
  int top = frame.top();
  if (frame.right() > available.right()) left = available.right() + 1 - frame.width();
  if (frame.bottom() > available.bottom()) top = available.bottom() + 1 - frame.height();
  left = std::max(left, available.left());
  top = std::max(top, available.top());
  return {left, top};
}

std::vector<std::string> ApplicationArguments() {
  std::vector<std::string> out;
  if (!QCoreApplication::instance()) return out;
  const QStringList args = QCoreApplication::arguments();
  for (qsizetype i = 1; i < args.size(); ++i) out.push_back(args[i].toStdString());
  return out;
}

void InstallFontSubstitutions() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QFont::insertSubstitutions(
      QString::fromUtf8(kFontFamily),
      {QStringLiteral("IPAGothic"), QStringLiteral("VL Gothic"), QStringLiteral("TakaoGothic"),
       QStringLiteral("Noto Sans Mono CJK JP")});
}

// Marks a device operation in progress; a close requested meanwhile runs once it is over.
struct TForm1::BusyScope {
  explicit BusyScope(TForm1* form) : form_(form) { ++form_->busy_; }
  ~BusyScope() {
    if (--form_->busy_ == 0 && form_->closePending_) {
      form_->closePending_ = false;
      QMetaObject::invokeMethod(
          form_, [form = form_] { form->close(); }, Qt::QueuedConnection);
    }
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
  TForm1* form_;
};

TForm1::TForm1(std::unique_ptr<SerialChannel> channel, std::vector<std::string> arguments)
    : QWidget(nullptr),
      TComponent(nullptr),
      arguments_(std::move(arguments)),
      transcript_(std::make_unique<TranscriptLog>()) {
  InstallFontSubstitutions();
  SetName("Form1");
  setObjectName(QStringLiteral("Form1"));
  CreateComponents(std::move(channel));
  RunGuarded([this] { FormCreate(this); });
  portMenu_ = new PortGroupMenu(RadioGroup1, [this](const std::string& port) {
    // A port already open on the old device is closed; the next command opens the new one.
    if (zembROMWT1->com() == port) zembROMWT1->ClosePort();
  });
  RunGuarded([this] { portMenu_->RefreshToolTips(); });
}

TForm1::~TForm1() {
  // The transcript window and the component's hooks refer to the record, which goes first.
  delete transcriptWindow_;
  zembROMWT1->SetOnGetChar(nullptr);
}

void TForm1::CreateComponents(std::unique_ptr<SerialChannel> channel) {
  setWindowTitle(QStringLiteral("ZEMB-DazIzira"));
  KeepEmptyTitleEmpty(this);
  move(12, 189);
  resize(kClientWidth, kClientHeight);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Button));
  setPalette(pal);
  setAutoFillBackground(true);
  QFont font(QString::fromUtf8(kFontFamily));
  font.setPixelSize(13);
  font.setFixedPitch(true);
  font.setStyleHint(QFont::TypeWriter);
  setFont(font);

  // Created in the order of the form description: this order is the owner's component
  // order (the form value walk), and Qt's default tab order follows it too.
  Button1 = Named(new TButton(this, this), "Button1");
  SetBounds(Button1, 137, 28, 91, 25);
  Button1->SetCaption(tr("ブランクCHK").toStdString());
  Button1->OnClick = [this](TComponent* s) { Button1Click(s); };

  Memo1 = Named(new TMemo(this, this), "Memo1");
  SetBounds(Memo1, 3, 117, 353, 105);
  Memo1->SetText("Memo1");
  memoRightMargin_ = kClientWidth - (3 + 353);
  memoBottomMargin_ = kClientHeight - (117 + 105);
  // Every control but the memo stays where it is, so the window may not cut them off.
  setMinimumSize(kClientWidth, 117 + kMinMemoHeight + memoBottomMargin_);

  ComboBox1 = Named(new TComboBox(this, this), "ComboBox1");
  SetBounds(ComboBox1, 2, 2, 281, 21);
  ComboBox1->SetItems(kRomTypes);
  ComboBox1->SetItemIndex(-1);
  ComboBox1->SetText("ComboBox1");
  ComboBox1->OnChange = [this](TComponent* s) { ComboBox1Change(s); };
  ComboBox1->OnClick = [this](TComponent* s) { ComboBox1Click(s); };
  ComboBox1->OnDropDown = [this](TComponent* s) { ComboBox1DropDown(s); };

  Edit1 = Named(new TEdit(this, this), "Edit1");
  SetBounds(Edit1, 2, 29, 63, 21);
  Edit1->SetText("0000");

  Edit2 = Named(new TEdit(this, this), "Edit2");
  SetBounds(Edit2, 67, 29, 66, 21);
  Edit2->SetText("FFF");

  RadioGroup1 = Named(new TRadioGroup(this, this), "RadioGroup1");
  SetBounds(RadioGroup1, 294, 2, 67, 74);
  RadioGroup1->SetCaption(tr("ポート").toStdString());
  RadioGroup1->SetItems({"COM1", "COM2", "COM3", "COM4"});
  RadioGroup1->OnClick = [this](TComponent* s) { RadioGroup1Click(s); };

  ProgressBar1 = Named(new TProgressBar(this, this), "ProgressBar1");
  SetBounds(ProgressBar1, 208, 90, 143, 16);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);

  Panel1 = Named(new TPanel(this, this), "Panel1");
  SetBounds(Panel1, 8, 59, 194, 54);
  Panel1->SetCaption("Panel1");
  Panel1->SetShowCaption(false);

  Label1 = Named(new TLabel(this, Panel1), "Label1");
  // As wide as the panel allows, as a label that sizes itself to a path would grow; what
  // still does not fit is elided.
  SetBounds(Label1, 5, 6, 184, 13);
  Label1->SetCaption(tr("ファイルとの").toStdString());

  Button2 = Named(new TButton(this, Panel1), "Button2");
  SetBounds(Button2, 142, 24, 47, 25);
  Button2->SetCaption(tr("ROM読").toStdString());
  Button2->OnClick = [this](TComponent* s) { Button2Click(s); };

  Button3 = Named(new TButton(this, Panel1), "Button3");
  SetBounds(Button3, 5, 25, 68, 25);
  Button3->SetCaption(tr("PROGRAM").toStdString());
  Button3->OnClick = [this](TComponent* s) { Button3Click(s); };

  Button4 = Named(new TButton(this, Panel1), "Button4");
  SetBounds(Button4, 78, 22, 57, 28);
  Button4->SetCaption(tr("比較").toStdString());
  Button4->OnClick = [this](TComponent* s) { Button4Click(s); };

  Button5 = Named(new TButton(this, this), "Button5");
  SetBounds(Button5, 240, 29, 52, 25);
  Button5->SetCaption(tr("WRITE").toStdString());
  Button5->hide();
  Button5->OnClick = [this](TComponent* s) { Button5Click(s); };

  Button6 = Named(new TButton(this, this), "Button6");
  SetBounds(Button6, 236, 62, 56, 24);
  Button6->SetCaption(tr("比較").toStdString());
  Button6->hide();
  Button6->OnClick = [this](TComponent* s) { Button6Click(s); };

  Button7 = Named(new TButton(this, this), "Button7");
  SetBounds(Button7, 242, 46, 46, 24);
  Button7->SetCaption(tr("File").toStdString());
  Button7->OnClick = [this](TComponent* s) { Button7Click(s); };

  if (!channel) channel = CreatePlatformSerialChannel();
  port_ = channel.get();
  if (channel) channel = std::make_unique<SentBytesTap>(std::move(channel), transcript_.get());
  // A close request (the close button or a termination signal) ends a running operation
  // by the silent abort; the close itself follows once the handler has returned.
  if (channel) {
    channel = std::make_unique<PaintingChannel>(std::move(channel), nullptr,
                                                [this] { return closePending_; });
  }
  zembROMWT1 = Named(new TzembROMWT(this, std::move(channel)), "zembROMWT1");
  zembROMWT1->SetOffsetAdr(0);
  zembROMWT1->Setcom("COM1");
  zembROMWT1->SetSpeed(9600);
  zembROMWT1->SetdefaultRT("08");
  zembROMWT1->SetOnFlash([this](TzembROMWT* s, int32_t line) { zembROMWT1Flash(s, line); });

  SaveDialog1 = Named(new TSaveDialog(this, this), "SaveDialog1");
  SaveDialog1->SetDefaultExt("hex");
  SaveDialog1->SetFilter(SaveDialogFilter());

  OpenDialog1 = Named(new TOpenDialog(this, this), "OpenDialog1");
  OpenDialog1->SetDefaultExt("hex");
  OpenDialog1->SetFilter(OpenDialogFilter());

  CreateTranscript();
}

void TForm1::CreateTranscript() {
  if (!port_) port_ = &zembROMWT1->Channel();
  zembROMWT1->SetOnGetChar([log = transcript_.get()](TzembROMWT* /*Sender*/, char c) {
    log->Record(TranscriptLog::Direction::Received, static_cast<uint8_t>(c));
  });
  auto* f12 = new QShortcut(QKeySequence(Qt::Key_F12), this);
  connect(f12, &QShortcut::activated, this, [this] { ToggleTranscript(); });
  Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Memo1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    std::unique_ptr<QMenu> menu(CreateMemoMenu(pos));
    menu->exec(Memo1->viewport()->mapToGlobal(pos));
  });
}

void TForm1::ToggleTranscript() {
  if (!transcriptWindow_) {
    transcriptWindow_ = new TranscriptWindow(transcript_.get(), this);
    PlaceBeside(transcriptWindow_, this);
  }
  transcriptWindow_->Toggle();
}

QMenu* TForm1::CreateMemoMenu(const QPoint& /*pos*/) {
  QMenu* menu = Memo1->CreateEditMenu();
  menu->addSeparator();
  QAction* transcript = menu->addAction(tr("通信ログ"));
  transcript->setShortcut(QKeySequence(Qt::Key_F12));
  connect(transcript, &QAction::triggered, this, [this] {
    if (!transcriptWindow_ || !transcriptWindow_->isVisible()) ToggleTranscript();
  });
  QAction* hex = menu->addAction(tr("HEX表示"));
  connect(hex, &QAction::triggered, this, [this] { RunGuarded([this] { ShowHexView(); }); });
  if (busy_ == 0 && Button4->Caption() == tr("CompNG").toStdString()) {
    QAction* diff = menu->addAction(tr("差分を表示"));
    connect(diff, &QAction::triggered, this, [this] { RunGuarded([this] { ShowDifferences(); }); });
  }
  AddLanguageMenu(menu);
  return menu;
}

void TForm1::AddLanguageMenu(QMenu* menu) {
  // Named in both languages, so that it is found whichever one is shown.
  QMenu* languages = menu->addMenu(QStringLiteral("Language: 日本語 / English"));
  languages->setObjectName(QStringLiteral("LanguageMenu"));
  auto* group = new QActionGroup(languages);
  const UiLanguage next = ChosenLanguage();
  const std::pair<UiLanguage, QString> choices[] = {
      {UiLanguage::Japanese, QStringLiteral("日本語")},
      {UiLanguage::English, QStringLiteral("English")},
  };
  for (const auto& [language, label] : choices) {
    QAction* action = languages->addAction(label);
    action->setCheckable(true);
    action->setActionGroup(group);
    action->setChecked(language == next);
    connect(action, &QAction::triggered, this,
            [language = language] { RunGuarded([&] { StoreLanguage(language); }); });
  }
  languages->addSeparator();
  // Every text of the window would have to be set again; a new start does that cleanly.
  languages->addAction(tr("次回の起動から切り替わります"))->setEnabled(false);
  if (LanguageFromEnvironment()) {
    languages
        ->addAction(PlainMenuText(tr("%1 が設定されているため、そちらが優先されます")
                                      .arg(QString::fromUtf8(kLanguageVariable))))
        ->setEnabled(false);
  }
}

void TForm1::ClearSilentStop() {
  if (silentStopControl_) silentStopControl_->setToolTip(QString());
  silentStopControl_ = nullptr;
}

void TForm1::NoteSilentStop(QWidget* busyControl) {
  silentStopControl_ = busyControl;
  busyControl->setToolTip(PlainToolTip(SilentStopReason()));
}

std::string TForm1::SilentStopReason() const {
  const std::string name = zembROMWT1->com();
  const std::string device = ResolvePortName(name);
  const std::string where = device == name ? name : name + " (" + device + ")";
  std::string why;
  switch (port_->LastFault()) {
    case SerialFault::NoDevice:
      why = tr("デバイスがありません").toStdString();
      break;
    case SerialFault::Busy:
      why = tr("他のプログラムが使用中です").toStdString();
      break;
    case SerialFault::NotPermitted:
      why = tr("アクセスが拒否されました").toStdString();
      break;
    case SerialFault::HungUp:
      why = tr("回線が切れました").toStdString();
      break;
    case SerialFault::NotATerminal:
      why = tr("シリアルデバイスではありません").toStdString();
      break;
    default:
      // The backend's own words for a fault it has no kind for.
      why = port_->LastError();
      // The backend names the device; the text above names it already.
      if (why.rfind(device + ": ", 0) == 0) why.erase(0, device.size() + 2);
      if (why.empty()) {
        why = (zembROMWT1->PortOpen() ? tr("書き込めません") : tr("開けません")).toStdString();
      }
      break;
  }
  // Under it, what the system says about the cause and the fix.
  const std::vector<DiagnosisLine> diagnosis = DiagnosePortFailure(name, port_->LastFault());
  if (diagnosis.empty()) return where + ": " + why;
  return where + ": " + why + '\n' + PortDiagnosisText::Lines(diagnosis).toStdString();
}

void TForm1::SetCaption(const std::string& caption) {
  setWindowTitle(QString::fromStdString(caption));
}

void TForm1::ShowBusy(TButton* button, const std::string& caption) {
  button->SetCaption(caption);
  button->repaint();
}

void TForm1::ShowBusyCaption(const std::string& caption) {
  SetCaption(caption);
  // The title belongs to the window system; let the request go out before blocking.
  PumpWithoutInput();
}

void TForm1::ShowImageButtons() {
  Button7->hide();
  Button5->show();
  Button6->show();
  Button5->setEnabled(true);
  Button6->setEnabled(true);
}

// --- Start-up, type list, port, close --------------------------------------------------

void TForm1::FormCreate(TComponent* /*Sender*/) {
  setAcceptDrops(true);
  Button5->setEnabled(false);
  Button6->setEnabled(false);
  Memo1->Lines()->Clear();
  ComboBox1->SetItemIndex(8);
  try {
    LoadFormValues(this);
  } catch (...) {
    // A value that cannot be restored leaves the control as it is.
  }
  if (!arguments_.empty()) LoadImageFile(arguments_.front());
}

void TForm1::ComboBox1DropDown(TComponent* /*Sender*/) {
  TypeListDropped = true;
}

void TForm1::ComboBox1Click(TComponent* Sender) {
  // Only a click that follows a drop-down sends the type here; the change event of the
  // same pick sends it again.
  if (TypeListDropped) ComboBox1Change(Sender);
  TypeListDropped = false;
}

void TForm1::ComboBox1Change(TComponent* /*Sender*/) {
  const int index = ComboBox1->ItemIndex();
  const std::string item = index >= 0 ? ComboBox1->ItemText(index) : std::string();
  const size_t colon = item.find(':');
  if (colon == std::string::npos) return;
  BusyScope busy(this);
  SetCaption(RunDevice(ComboBox1, [&] { return zembROMWT1->SetRomType(item.substr(0, colon)); }));
}

void TForm1::RadioGroup1Click(TComponent* /*Sender*/) {
  const int index = RadioGroup1->ItemIndex();
  if (index >= 0) zembROMWT1->Setcom("COM" + IntToStr(index + 1));
}

void TForm1::ReadAddressRange() {
  StartAdr = HexAddressFieldValue(Edit1->Text());
  EndAdr = HexAddressFieldValue(Edit2->Text());
}

void TForm1::FormCloseQuery(TComponent* /*Sender*/, bool& /*CanClose*/) {
  try {
    SaveFormValues(this);
  } catch (...) {
    // Closing never fails on the settings.
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (busy_ > 0) {
    closePending_ = true;
    event->ignore();
    return;
  }
  bool canClose = true;
  RunGuarded([&] { FormCloseQuery(this, canClose); });
  if (canClose) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (placed_ || !isWindow()) return;
  placed_ = true;
  // The designed position is for a 96 dpi screen; scaled up, the window can reach past the
  // screen's edge.
  if (const QScreen* screen = this->screen()) {
    const QPoint place = PlaceInside(frameGeometry(), screen->availableGeometry());
    if (place != frameGeometry().topLeft()) move(place);
  }
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const QRect memo = Memo1->geometry();
  Memo1->setGeometry(memo.left(), memo.top(), std::max(0, width() - memo.left() - memoRightMargin_),
                     std::max(0, height() - memo.top() - memoBottomMargin_));
}

// --- Image files -----------------------------------------------------------------------

void TForm1::LoadImageFile(const std::string& path) {
  Label1->SetCaption(path);
  OpenDialog1->SetFileName(path);
  SaveDialog1->SetFileName(path);
  TStrings* lines = Memo1->Lines();
  // Binary and S-record files become Intel HEX lines here; the memo and the device only
  // ever see those.
  std::string bytes;
  std::vector<std::string> fileLines;
  std::string reason;
  if (!ReadImageFile(path, bytes) || !ImageFileLines(path, bytes, fileLines, reason)) {
    throw EFOpenError(path);
  }
  bytes = std::string();
  lines->SetLines(std::move(fileLines));
  const std::string maxAdr = lines->Values(";MaxAdr");
  if (!maxAdr.empty()) Edit2->SetText(maxAdr);
  const std::string minAdr = lines->Values(";MinAdr");
  if (!minAdr.empty()) Edit1->SetText(minAdr);
  const std::string type = lines->Values(";Type");
  if (!type.empty()) {
    ComboBox1->SetItemIndex(StrToInt(type));
    ComboBox1Click(ComboBox1);
  }
  ShowImageButtons();
}

void TForm1::SaveReadImage(const std::string& path) {
  const ImageFormat format = SaveFormat(path, SaveDialog1->Filter(), SaveDialog1->FilterIndex());
  if (format == ImageFormat::IntelHex) {
    // The memo's lines exactly as they are.
    Memo1->Lines()->SaveToFile(path);
    return;
  }
  std::string bytes;
  std::string reason;
  if (!ConvertReadImage(*Memo1->Lines(), format, static_cast<uint32_t>(StartAdr),
                        static_cast<uint32_t>(EndAdr), bytes, reason)) {
    throw Exception(tr("ファイル %1 を作成できません（%2）")
                        .arg(QString::fromStdString(path), QString::fromStdString(reason))
                        .toStdString());
  }
  SaveBytesToFile(path, bytes);
}

void TForm1::Button7Click(TComponent* /*Sender*/) {
  if (OpenDialog1->Execute()) LoadImageFile(OpenDialog1->FileName());
}

void TForm1::WM_DropFiles(const QList<QUrl>& urls) {
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) continue;
    LoadImageFile(CutUtf8(LocalFileBytes(url), kMaxDroppedNameLength));
    return;
  }
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* mime = event->mimeData();
  if (busy_ == 0 && mime->hasUrls()) {
    for (const QUrl& url : mime->urls()) {
      if (url.isLocalFile()) {
        event->acceptProposedAction();
        return;
      }
    }
  }
  event->ignore();
}

void TForm1::dropEvent(QDropEvent* event) {
  if (busy_ > 0) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  const QList<QUrl> urls = event->mimeData()->urls();
  RunGuarded([&] { WM_DropFiles(urls); });
}

// --- Operations ------------------------------------------------------------------------

void TForm1::Button1Click(TComponent* /*Sender*/) {
  BusyScope busy(this);
  ReadAddressRange();
  ShowBusy(Button1, tr("チェック中").toStdString());
  const bool ok = RunDevice(Button1, [&] { return zembROMWT1->BlankCheck(StartAdr, EndAdr); });
  Button1->SetCaption(ok ? tr("チェックOK").toStdString() : tr("チェックNG").toStdString());
  SetCaption(zembROMWT1->Status);
}

void TForm1::Button2Click(TComponent* /*Sender*/) {
  BusyScope busy(this);
  zembROMWT1->Lines = Memo1->Lines();
  ReadAddressRange();
  try {
    ShowBusy(Button2, tr("...").toStdString());
    if (RunDevice(Button2, [&] { return zembROMWT1->ReadRom(StartAdr, EndAdr); })) {
      if (SaveDialog1->Execute()) {
        Label1->SetCaption(SaveDialog1->FileName());
        SaveReadImage(SaveDialog1->FileName());
      }
      ShowImageButtons();
    }
  } catch (...) {
    Button2->SetCaption(tr("LOAD").toStdString());
    throw;
  }
  Button2->SetCaption(tr("LOAD").toStdString());
  SetCaption(zembROMWT1->Status);
}

void TForm1::Button3Click(TComponent* /*Sender*/) {
  BusyScope busy(this);
  zembROMWT1->Lines = Memo1->Lines();
  if (OpenDialog1->Execute()) {
    LoadImageFile(OpenDialog1->FileName());
    ReadAddressRange();
    ShowBusy(Button3, tr("...").toStdString());
    const bool ok = RunDevice(Button3, [&] { return zembROMWT1->ProgramRom(StartAdr, EndAdr); });
    Button3->SetCaption(ok ? tr("ProgramOK").toStdString() : tr("ProgramNG").toStdString());
  }
  SetCaption(zembROMWT1->Status);
}

void TForm1::Button4Click(TComponent* /*Sender*/) {
  BusyScope busy(this);
  zembROMWT1->Lines = Memo1->Lines();
  // The range is read before the file is chosen: its header values count from the next
  // operation on.
  ReadAddressRange();
  if (OpenDialog1->Execute()) {
    LoadImageFile(OpenDialog1->FileName());
    ShowBusy(Button4, tr("...").toStdString());
    const bool ok = RunDevice(Button4, [&] { return zembROMWT1->CompareRom(StartAdr, EndAdr); });
    Button4->SetCaption(ok ? tr("CompOK").toStdString() : tr("CompNG").toStdString());
  }
  SetCaption(zembROMWT1->Status);
}

void TForm1::Button5Click(TComponent* /*Sender*/) {
  BusyScope busy(this);
  ShowBusyCaption(tr(" 書込中 ...").toStdString());
  zembROMWT1->Lines = Memo1->Lines();
  ReadAddressRange();
  ShowBusy(Button3, tr("...").toStdString());
  const bool ok = RunDevice(Button3, [&] { return zembROMWT1->WriteRom(StartAdr, EndAdr); });
  Button3->SetCaption(ok ? tr("WriteOK").toStdString() : tr("WriteNG").toStdString());
  SetCaption(zembROMWT1->Status);
}

void TForm1::Button6Click(TComponent* /*Sender*/) {
  BusyScope busy(this);
  ShowBusyCaption(tr(" 比較中 ...").toStdString());
  zembROMWT1->Lines = Memo1->Lines();
  ReadAddressRange();
  ShowBusy(Button4, tr("...").toStdString());
  const bool ok = RunDevice(Button4, [&] { return zembROMWT1->CompareRom(StartAdr, EndAdr); });
  Button4->SetCaption(ok ? tr("CompOK").toStdString() : tr("CompNG").toStdString());
  SetCaption(zembROMWT1->Status);
}

void TForm1::zembROMWT1Flash(TzembROMWT* Sender, int32_t line) {
  const int count = Sender->Lines ? Sender->Lines->Count() : 0;
  ProgressBar1->setMaximum(count);
  ProgressBar1->setValue(line);
  ProgressBar1->repaint();
}

// --- Hex view and differences ----------------------------------------------------------

void TForm1::ShowHexView() {
  if (!hexView_) {
    hexView_ = new HexView(this);
    PlaceBeside(hexView_, this);
    // Coalesced: a burst of edits costs one rebuild, and none while the view is hidden.
    connect(Memo1, &TMemo::textChanged, hexView_, [this] {
      if (!hexView_->isVisible() || hexRefreshPending_) return;
      hexRefreshPending_ = true;
      QMetaObject::invokeMethod(
          hexView_,
          [this] {
            hexRefreshPending_ = false;
            hexView_->ShowMemo(Memo1->Text());
          },
          Qt::QueuedConnection);
    });
  }
  hexView_->ShowMemo(Memo1->Text());
  hexView_->show();
  hexView_->raise();
  hexView_->activateWindow();
}

void TForm1::ShowDifferences() {
  BusyScope busy(this);
  if (!diffView_) {
    diffView_ = new HexView(this);
    PlaceBeside(diffView_, this);
  }
  auto present = [this] {
    diffView_->show();
    diffView_->raise();
    diffView_->activateWindow();
  };
  // The image the compare sent: the memo's lines as they stand.
  InputImage file;
  std::string error;
  if (!LoadInputImage("memo", Memo1->Text(), ImageFormat::IntelHex, 0, file, error)) {
    diffView_->ShowProblem(tr("メモの内容を読めません: %1").arg(QString::fromStdString(error)));
    present();
    return;
  }
  ReadAddressRange();
  const auto first = static_cast<uint32_t>(StartAdr);
  const auto last = static_cast<uint32_t>(EndAdr);
  if (first > last) {
    diffView_->ShowProblem(tr("開始アドレスが終了アドレスより大きい"));
    present();
    return;
  }

  // The busy text of a read, then the button as the compare left it.
  const std::string button2 = Button2->Caption();
  ClearSilentStop();
  ShowBusy(Button2, "...");
  ChipRead read;
  try {
    read = ReadChipRange(*zembROMWT1, StartAdr, EndAdr, ProgressBar1);
  } catch (...) {
    Button2->SetCaption(button2);
    throw;
  }
  Button2->SetCaption(button2);
  if (read.aborted) {
    diffView_->ShowReadFailure(SilentStopReason());
  } else if (!read.ok) {
    diffView_->ShowReadFailure(read.status);
  } else {
    diffView_->ShowDifferences(file.image, read.chip, first, last);
  }
  present();
}

}  // namespace zemb::ui
