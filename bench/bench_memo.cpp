// How long the window's memo takes to take a chip read through the device component, and
// to take a large image file. Wire time runs on the scripted channel's virtual clock, so
// the figures are the host's own work.
#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Controls.h"
#include "ScriptedChannel.h"
#include "UromW.h"
#include "uSetting.h"

namespace {

using zemb::test::ScriptedChannel;

std::string DataLine(int i) {
  char buf[64];
  std::snprintf(buf, sizeof buf, ":10%04X000102030405060708090A0B0C0D0E0F10%02X", (i * 16) & 0xFFFF,
                i & 0xFF);
  return buf;
}

// A device that answers the handshake, the type and a read of `lines` data lines.
std::unique_ptr<ScriptedChannel> ReadingDevice(int lines, size_t* bytesOut) {
  auto channel = std::make_unique<ScriptedChannel>();
  channel->onLine = [lines, bytesOut](ScriptedChannel& ch, const std::string& line) {
    if (line == "RA") ch.Deliver("RA OK\r");
    if (line.rfind("RT ", 0) == 0) ch.Deliver("RT OK\r");
    if (line.rfind("RR ", 0) == 0) {
      std::string data;
      for (int i = 0; i < lines; ++i) data += DataLine(i) + "\r";
      data += "RR OK\r";
      *bytesOut = data.size();
      ch.Deliver(data);
    }
  };
  return channel;
}

double MsSince(QElapsedTimer& t) {
  return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// One-byte records: the most lines the file size cap lets through.
std::string ByteLine(int i) {
  char buf[32];
  const unsigned address = static_cast<unsigned>(i) & 0xFFFF;
  const unsigned value = static_cast<unsigned>(i) & 0xFF;
  const unsigned sum = 1 + (address >> 8) + (address & 0xFF) + value;
  std::snprintf(buf, sizeof buf, ":01%04X00%02X%02X", address, value,
                (0x100 - (sum & 0xFF)) & 0xFF);
  return buf;
}

// Loads an image file of `lines` lines through the File button and reports the time until
// the handler returns (the window cannot paint meanwhile) and the first paint after it.
void LoadRow(const std::filesystem::path& dir, int lines, std::string (*line)(int),
             bool hexView = false) {
  const std::string path = (dir / "big.hex").string();
  {
    std::ofstream out(path, std::ios::binary);
    out << ";MinAdr=0000\r\n;MaxAdr=FFFFF\r\n;Type=16\r\n";
    for (int i = 0; i < lines - 3; ++i) out << line(i) << "\r\n";
  }
  zemb::ui::TForm1 form(std::make_unique<ScriptedChannel>(), {});
  form.show();
  if (hexView) form.ShowHexView();
  QApplication::processEvents();
  form.OpenDialog1->SetRunner([&](zemb::ui::TFileDialog& d) {
    d.SetFileName(path);
    return true;
  });
  QElapsedTimer load;
  load.start();
  form.Button7Click(form.Button7);
  const double loadMs = MsSince(load);
  QElapsedTimer shown;
  shown.start();
  form.repaint();
  const double repaintMs = MsSince(shown);
  // Whatever the load left queued (the hex view's rebuild) runs before the window is idle.
  QElapsedTimer idle;
  idle.start();
  QApplication::processEvents();
  const double idleMs = MsSince(idle);
  const bool exact = form.Memo1->Lines()->Count() == lines;
  // What saving the memo, a WRITE or the hex view starts with: the memo's whole text.
  QElapsedTimer text;
  text.start();
  const size_t textBytes = form.Memo1->Text().size();
  const double textMs = MsSince(text);
  // Scrolling to the end and painting there.
  QElapsedTimer scroll;
  scroll.start();
  form.Memo1->SetCursorPos({lines, 0});
  form.Memo1->repaint();
  const double scrollMs = MsSince(scroll);
  std::printf(
      "load of a %d-line image file through the File button%s (%s):\n"
      "  handler %.1f ms, first paint %.1f ms, queued work %.1f ms; whole: %.1f ms\n"
      "  the memo's text (%zu bytes) %.1f ms; to the last line and painted %.1f ms\n",
      lines, hexView ? " (hex view open)" : "", exact ? "all lines" : "LINES MISSING", loadMs,
      repaintMs, idleMs, loadMs + repaintMs + idleMs, textBytes, textMs, scrollMs);
  form.close();
}

double TimeRead(zemb::TStrings* target, int lines, size_t* bytes) {
  zemb::TComponent owner;
  auto* rom = new zemb::TzembROMWT(&owner, ReadingDevice(lines, bytes));
  rom->Lines = target;
  QElapsedTimer t;
  t.start();
  const bool ok = rom->ReadRom(0, lines * 16 - 1);
  const double ms = MsSince(t);
  if (!ok || target->Count() != lines) std::fprintf(stderr, "read failed\n");
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const auto dir = std::filesystem::temp_directory_path() / "zembromw_bench_memo";
  std::filesystem::create_directories(dir);
  zemb::SetExecutablePathForTesting((dir / "zembromw").string());

  constexpr int kReadLines = 8192;
  size_t bytes = 0;
  zemb::TStringList plain;
  const double plainMs = TimeRead(&plain, kReadLines, &bytes);
  zemb::TComponent owner;
  QWidget window;
  window.resize(400, 300);
  auto* memo = new zemb::ui::TMemo(&owner, &window);
  memo->setGeometry(0, 0, 400, 300);
  window.show();
  QApplication::processEvents();
  const double memoMs = TimeRead(memo->Lines(), kReadLines, &bytes);
  QElapsedTimer paint;
  paint.start();
  memo->repaint();
  const double paintMs = MsSince(paint);
  std::printf("read of %d data lines (%zu bytes; on the wire at 9600 baud: %.1f s, not timed)\n",
              kReadLines, bytes, static_cast<double>(bytes) * 10.0 / 9600.0);
  std::printf("  ReadRom into a plain line list: %8.1f ms (component and channel)\n", plainMs);
  std::printf("  ReadRom into the memo:          %8.1f ms\n", memoMs);
  std::printf("  memo's share:                   %8.1f ms, first paint %.1f ms\n", memoMs - plainMs,
              paintMs);

  // A 100,000-line image of 16-byte records, and the line cap as one-byte records (the
  // only way that many lines fit under the file size cap).
  LoadRow(dir, 100000, DataLine);
  LoadRow(dir, 1 << 20, ByteLine);
  // The hex view follows the memo: it rebuilds once for the image.
  LoadRow(dir, 100000, DataLine, true);
  zemb::ResetSettingsForTesting();
  std::filesystem::remove_all(dir);
  return 0;
}
