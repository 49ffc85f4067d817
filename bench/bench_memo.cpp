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

  constexpr int kFileLines = 100000;
  const std::string path = (dir / "big.hex").string();
  {
    std::ofstream out(path, std::ios::binary);
    out << ";MinAdr=0000\r\n;MaxAdr=FFFFF\r\n;Type=16\r\n";
    for (int i = 0; i < kFileLines - 3; ++i) out << DataLine(i) << "\r\n";
  }
  zemb::ui::TForm1 form(std::make_unique<ScriptedChannel>(), {});
  form.show();
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
  std::printf(
      "load of a %d-line image file through the File button: %.1f ms, first paint %.1f ms"
      " (%d lines in the memo)\n",
      kFileLines, loadMs, repaintMs, form.Memo1->Lines()->Count());

  form.close();
  zemb::ResetSettingsForTesting();
  std::filesystem::remove_all(dir);
  return 0;
}
