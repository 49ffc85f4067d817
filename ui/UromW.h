// The main window: ROM type list, port group, address fields, the memo that holds the
// ROM image lines, the operation buttons and the device component.
#pragma once

#include <QCoreApplication>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Controls.h"
#include "SerialChannel.h"
#include "TComponent.h"
#include "uZEMB.h"

class QMenu;
class QUrl;

namespace zemb::ui {

class HexView;
class PortGroupMenu;
class TranscriptLog;
class TranscriptWindow;

// The items of the ROM type list, in list order.
extern const std::vector<std::string> kRomTypes;

// The value of an address field: one or more hexadecimal digits and nothing else, at most
// FFFFFFFF (leading zeros allowed); the 32-bit pattern as a signed integer. Anything else
// raises the conversion error for "$" followed by the text.
int32_t HexAddressFieldValue(const std::string& text);

// Where a window whose frame is designed at frame goes on a screen with the given available
// area: where it was designed when it fits there, else moved (by as little as it takes) to
// lie inside; a window larger than the area keeps its top-left corner inside.
QPoint PlaceInside(const QRect& frame, const QRect& available);

// The command-line arguments after the program name.
std::vector<std::string> ApplicationArguments();

class TForm1 : public QWidget, public TComponent {
  Q_DECLARE_TR_FUNCTIONS(TForm1)

 public:
  // channel: the device component's serial channel (the platform's when null);
  // arguments: the command line after the program name.
  explicit TForm1(std::unique_ptr<SerialChannel> channel = nullptr,
                  std::vector<std::string> arguments = ApplicationArguments());
  ~TForm1() override;

  // Components, in the order the window creates and owns them.
  TButton* Button1;
  TMemo* Memo1;
  TComboBox* ComboBox1;
  TEdit* Edit1;
  TEdit* Edit2;
  TRadioGroup* RadioGroup1;
  TProgressBar* ProgressBar1;
  TPanel* Panel1;
  TLabel* Label1;
  TButton* Button2;
  TButton* Button3;
  TButton* Button4;
  TButton* Button5;
  TButton* Button6;
  TButton* Button7;
  TzembROMWT* zembROMWT1;
  TSaveDialog* SaveDialog1;
  TOpenDialog* OpenDialog1;

  std::string Caption() const { return windowTitle().toStdString(); }
  void SetCaption(const std::string& caption);

  // Event handlers.
  void FormCreate(TComponent* Sender);
  void Button1Click(TComponent* Sender);
  void ComboBox1Change(TComponent* Sender);
  void RadioGroup1Click(TComponent* Sender);
  void Button2Click(TComponent* Sender);
  void Button3Click(TComponent* Sender);
  void Button4Click(TComponent* Sender);
  void zembROMWT1Flash(TzembROMWT* Sender, int32_t line);
  void Button5Click(TComponent* Sender);
  void Button6Click(TComponent* Sender);
  // A drop of files: the first local file is loaded.
  void WM_DropFiles(const QList<QUrl>& urls);
  void Button7Click(TComponent* Sender);
  void ComboBox1DropDown(TComponent* Sender);
  void ComboBox1Click(TComponent* Sender);
  void FormCloseQuery(TComponent* Sender, bool& CanClose);

  bool TypeListDroppedForTesting() const { return TypeListDropped; }
  // The port group's tooltips and context menu.
  PortGroupMenu* PortMenu() const { return portMenu_; }

  // The record of the serial traffic and its window (F12, or the memo's context menu).
  TranscriptLog& Transcript() { return *transcript_; }
  TranscriptWindow* TranscriptView() const { return transcriptWindow_; }
  void ToggleTranscript();
  // The memo's context menu: the edit actions, the transcript window, the hex view, after a
  // compare that failed the differences, and the language.
  QMenu* CreateMemoMenu(const QPoint& pos);
  // The memo's image 16 bytes a row, kept up to date with the memo.
  void ShowHexView();
  // Reads the range from the chip and shows where it differs from the memo's image; the
  // memo, the caption and the buttons' texts stay as they are.
  void ShowDifferences();
  HexView* HexViewWindow() const { return hexView_; }
  HexView* DifferencesWindow() const { return diffView_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateComponents(std::unique_ptr<SerialChannel> channel);
  void CreateTranscript();
  void AddLanguageMenu(QMenu* menu);
  // Runs a device call. A port that cannot be written stops the command without a message,
  // so the reason becomes the tooltip of the control that shows the busy text, until the
  // next device call.
  template <class Operation>
  auto RunDevice(QWidget* busyControl, Operation operation) {
    ClearSilentStop();
    try {
      return operation();
    } catch (const EAbort&) {
      NoteSilentStop(busyControl);
      throw;
    }
  }
  void ClearSilentStop();
  void NoteSilentStop(QWidget* busyControl);
  // "COM1 (/dev/ttyUSB0): in use by another program".
  std::string SilentStopReason() const;
  void ReadAddressRange();
  void LoadImageFile(const std::string& path);
  // Writes what a read brought to path, in the format its extension or the chosen filter
  // names.
  void SaveReadImage(const std::string& path);
  // Shows and enables the write and compare-again buttons in place of the File button.
  void ShowImageButtons();
  // Sets a button's caption and paints it at once: the event loop is blocked until the
  // device operation that follows has returned.
  void ShowBusy(TButton* button, const std::string& caption);
  // Sets the window caption and lets the window system show it before blocking.
  void ShowBusyCaption(const std::string& caption);

  struct BusyScope;

  bool TypeListDropped = false;
  int32_t StartAdr = 0;
  int32_t EndAdr = 0;

  std::vector<std::string> arguments_;
  // The memo's distance from the right and bottom edges, kept on resizing.
  int memoRightMargin_ = 0;
  int memoBottomMargin_ = 0;
  // Nonzero while a device operation runs; a close request then ends it by the silent
  // abort and runs once the handler has returned.
  int busy_ = 0;
  bool closePending_ = false;
  bool placed_ = false;
  PortGroupMenu* portMenu_ = nullptr;

  std::unique_ptr<TranscriptLog> transcript_;
  TranscriptWindow* transcriptWindow_ = nullptr;  // created when first opened
  HexView* hexView_ = nullptr;                    // created when first opened
  HexView* diffView_ = nullptr;
  bool hexRefreshPending_ = false;
  // The platform's (or the test's) channel under the window's wrappers.
  SerialChannel* port_ = nullptr;
  QWidget* silentStopControl_ = nullptr;
};

// Maps the window's font family to the Japanese monospace fonts of this system.
void InstallFontSubstitutions();

}  // namespace zemb::ui
