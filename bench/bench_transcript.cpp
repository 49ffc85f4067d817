// What the transcript of the serial traffic costs during an upload: the device component
// alone, with the recording hooks, and the whole window with the transcript window closed
// and open. The device answers at once inside the process, so the figures are the host's
// own work per byte on the wire (a real line at 9600 baud gives each byte about 1 ms).
//
//   bench_transcript [--size KIB] [--runs N]
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "SerialChannel.h"
#include "TStrings.h"
#include "TranscriptWindow.h"
#include "UromW.h"
#include "uSetting.h"

namespace {

// A ROM writer that answers within the same call: the handshake, the type, and a write
// whose final answer follows the end-of-file record; it pauses the upload with XOFF/XON
// every 64 lines, as a device burning the chip does.
class InstantDevice : public zemb::SerialChannel {
 public:
  bool Open(const std::string&) override { return open_ = true; }
  bool IsOpen() const override { return open_; }
  void Close() override { open_ = false; }
  void SetTimeouts(const zemb::CommTimeouts&) override {}
  bool Configure(int32_t) override { return true; }
  void RaiseDtrRts() override {}
  bool ReadByte(uint8_t& byte) override {
    if (incoming_.empty()) return false;
    byte = incoming_.front();
    incoming_.pop_front();
    ++wireBytes;
    return true;
  }
  int WriteByte(uint8_t byte) override {
    ++wireBytes;
    if (byte == '\n') {
      OnLine(line_);
      line_.clear();
    } else if (byte != '\r') {
      line_ += static_cast<char>(byte);
    }
    return 1;
  }
  void Sleep(uint32_t) override {}

  uint64_t wireBytes = 0;

 private:
  void Send(const std::string& text) {
    incoming_.insert(incoming_.end(), text.begin(), text.end());
  }
  void OnLine(const std::string& line) {
    if (line == "RA") {
      Send("RA OK\r");
    } else if (line.rfind("RT ", 0) == 0) {
      Send("RT OK\r");
    } else if (line.rfind("RW ", 0) == 0) {
      uploaded_ = 0;
    } else if (line == ":00000001FF") {
      Send("RW OK\r");
    } else if (++uploaded_ % 64 == 0) {
      Send("\x13\x11");
    }
  }

  bool open_ = false;
  std::string line_;
  std::deque<uint8_t> incoming_;
  int uploaded_ = 0;
};

std::vector<std::string> Image(size_t bytes) {
  std::vector<std::string> lines;
  char text[64];
  for (size_t off = 0; off < bytes; off += 16) {
    std::snprintf(text, sizeof text, ":10%04X00000102030405060708090A0B0C0D0E0F%02X",
                  static_cast<unsigned>(off & 0xFFFF), static_cast<unsigned>(off & 0xFF));
    lines.emplace_back(text);
  }
  lines.emplace_back(":00000001FF");
  return lines;
}

struct Run {
  double ms = 0;
  uint64_t bytes = 0;
  bool ok = false;
};

Run ComponentAlone(const std::vector<std::string>& image, bool record) {
  auto device = std::make_unique<InstantDevice>();
  InstantDevice* wire = device.get();
  zemb::ui::TranscriptLog log;
  std::unique_ptr<zemb::SerialChannel> channel = std::move(device);
  if (record) channel = std::make_unique<zemb::ui::SentBytesTap>(std::move(channel), &log);
  zemb::TComponent owner;
  auto* rom = new zemb::TzembROMWT(&owner, std::move(channel));
  if (record) {
    rom->SetOnGetChar([&log](zemb::TzembROMWT*, char c) {
      log.Record(zemb::ui::TranscriptLog::Direction::Received, static_cast<uint8_t>(c));
    });
  }
  zemb::TStringList lines(image);
  rom->Lines = &lines;
  QElapsedTimer t;
  t.start();
  Run run;
  run.ok = rom->WriteRom(0, static_cast<int32_t>(image.size() * 16 - 1));
  run.ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
  run.bytes = wire->wireBytes;
  return run;
}

Run WholeWindow(const std::vector<std::string>& image, bool transcriptOpen) {
  auto device = std::make_unique<InstantDevice>();
  InstantDevice* wire = device.get();
  zemb::ui::TForm1 form(std::move(device), {});
  form.show();
  QApplication::processEvents();
  if (transcriptOpen) form.ToggleTranscript();
  std::string text;
  for (const auto& line : image) text += line + "\r\n";
  form.Memo1->SetText(text);
  QApplication::processEvents();
  QElapsedTimer t;
  t.start();
  form.Button5Click(form.Button5);
  QApplication::processEvents();
  Run run;
  run.ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
  run.bytes = wire->wireBytes;
  run.ok = form.Button3->Caption() == "WriteOK";
  return run;
}

template <class F>
void Report(const char* what, int runs, F&& once) {
  std::vector<double> ms;
  Run last;
  for (int i = 0; i < runs; ++i) {
    last = once();
    ms.push_back(last.ms);
  }
  std::sort(ms.begin(), ms.end());
  const double median = ms[ms.size() / 2];
  std::printf("%-34s %-3s %9.1f ms %9.1f ms %9llu %8.1f\n", what, last.ok ? "ok" : "NG", median,
              ms.front(), static_cast<unsigned long long>(last.bytes),
              median * 1e6 / static_cast<double>(last.bytes));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  size_t kib = 128;
  int runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--size") {
      kib = std::strtoul(argv[i + 1], nullptr, 10);
    } else if (opt == "--runs") {
      runs = std::atoi(argv[i + 1]);
    } else {
      std::fprintf(stderr, "usage: bench_transcript [--size KIB] [--runs N]\n");
      return 2;
    }
  }
  if (kib == 0 || runs <= 0) return 2;
  QApplication app(argc, argv);
  // Keep the settings file of this run out of the build folder.
  zemb::SetExecutablePathForTesting("/nonexistent/bench_transcript");
  const auto image = Image(kib * 1024);
  std::printf("upload of %zu KiB (%zu lines), median and best of %d runs\n", kib, image.size(),
              runs);
  std::printf("%-34s %-3s %12s %12s %9s %8s\n", "", "", "median", "best", "wire B", "ns/B");
  Report("component alone", runs, [&] { return ComponentAlone(image, false); });
  Report("component, transcript recording", runs, [&] { return ComponentAlone(image, true); });
  Report("window, transcript closed", runs, [&] { return WholeWindow(image, false); });
  Report("window, transcript open", runs, [&] { return WholeWindow(image, true); });
  return 0;
}
