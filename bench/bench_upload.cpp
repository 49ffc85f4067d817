// Upload and read throughput of the device component against zembromw-sim on a
// pseudo-terminal, beside the line-rate limit of each speed. The simulator paces the line at
// the given baud and burns without XOFF, so any time above the limit is the host's.
//
//   bench_upload [--sim PATH] [--size KIB] [--bauds 0,115200,9600]
//                [--burn-bauds 115200,9600] [--burn-size KIB] [--burn-us-per-byte US]
//
// Baud 0 runs the pty unpaced. The simulator is found next to this build
// (../tools/sim/zembromw-sim) unless --sim or $ZEMBROMW_SIM names it. 128 KiB at 9600 baud
// takes about 13 minutes (upload and read); pass --bauds to pick fewer speeds, or an empty
// list to skip them. The burn rows write a 27256 image (32 KiB by default) to a simulator
// that burns every byte (1000 us by default, a 27C256 with the classic 1 ms pulse) inside
// XOFF..XON; their limit is the line time plus the burn time.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SerialChannel.h"
#include "TStrings.h"
#include "uZEMB.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Counts the bytes that really crossed the line in each direction.
class CountingChannel : public zemb::SerialChannel {
 public:
  explicit CountingChannel(std::unique_ptr<zemb::SerialChannel> inner) : inner_(std::move(inner)) {}
  bool Open(const std::string& name) override { return inner_->Open(name); }
  bool IsOpen() const override { return inner_->IsOpen(); }
  void Close() override { inner_->Close(); }
  void SetTimeouts(const zemb::CommTimeouts& t) override { inner_->SetTimeouts(t); }
  bool Configure(int32_t baud) override { return inner_->Configure(baud); }
  void RaiseDtrRts() override { inner_->RaiseDtrRts(); }
  bool ReadByte(uint8_t& byte) override {
    const bool ok = inner_->ReadByte(byte);
    if (ok) ++read;
    return ok;
  }
  int WriteByte(uint8_t byte) override {
    const int n = inner_->WriteByte(byte);
    written += static_cast<uint64_t>(n);
    return n;
  }
  void Sleep(uint32_t ms) override { inner_->Sleep(ms); }

  uint64_t read = 0;
  uint64_t written = 0;

 private:
  std::unique_ptr<zemb::SerialChannel> inner_;
};

double CpuSeconds() {
  struct rusage u {};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class SimProcess {
 public:
  SimProcess(const std::string& path, const std::vector<std::string>& options) {
    char pattern[] = "/tmp/zembromw_bench_XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) return;
    ::close(fd);
    outPath_ = pattern;
    std::vector<std::string> args = {path};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_TRUNC, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && Clock::now() < deadline) {
      const std::string text = ReadText(outPath_);
      const size_t nl = text.find('\n');
      if (nl != std::string::npos) {
        pty_ = text.substr(0, nl);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ~SimProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      for (int i = 0; i < 300; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
          pid_ = -1;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
    if (!outPath_.empty()) ::unlink(outPath_.c_str());
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  const std::string& Pty() const { return pty_; }

 private:
  pid_t pid_ = -1;
  std::string outPath_;
  std::string pty_;
};

// 16-byte data records with a type 04 record at every 64 KiB boundary, then end of file.
std::vector<std::string> MakeImage(size_t size) {
  std::mt19937 rng(2024);
  std::vector<std::string> lines;
  char text[80];
  for (size_t off = 0; off < size; off += 16) {
    if (off % 0x10000 == 0 && off > 0) {
      const unsigned upper = static_cast<unsigned>(off >> 16);
      std::snprintf(text, sizeof text, ":02000004%04X%02X", upper,
                    (0x100 - ((6 + (upper >> 8) + (upper & 0xFF)) & 0xFF)) & 0xFF);
      lines.emplace_back(text);
    }
    const unsigned addr = static_cast<unsigned>(off & 0xFFFF);
    unsigned sum = 16 + (addr >> 8) + (addr & 0xFF);
    std::string line;
    std::snprintf(text, sizeof text, ":10%04X00", addr);
    line = text;
    for (int i = 0; i < 16; ++i) {
      const unsigned b = rng() % 0xFF;
      sum += b;
      std::snprintf(text, sizeof text, "%02X", b);
      line += text;
    }
    std::snprintf(text, sizeof text, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    lines.push_back(line + text);
  }
  lines.emplace_back(":00000001FF");
  return lines;
}

struct Figures {
  bool ok = false;
  double wallS = 0;
  double cpuS = 0;
  uint64_t wireBytes = 0;
};

void Print(const char* what, long baud, size_t imageBytes, const Figures& f, double burnS = 0.0) {
  const double limit =
      baud > 0 ? static_cast<double>(f.wireBytes) * 10.0 / static_cast<double>(baud) + burnS : 0.0;
  std::printf("%-7s %7ld %-3s %9.2f s %9.2f s %+7.2f %% %10.0f %10.0f %9.1f\n", what, baud,
              f.ok ? "ok" : "NG", f.wallS, limit, baud > 0 ? (f.wallS / limit - 1.0) * 100.0 : 0.0,
              static_cast<double>(imageBytes) / f.wallS, static_cast<double>(f.wireBytes) / f.wallS,
              f.cpuS * 1e9 / static_cast<double>(f.wireBytes));
  std::fflush(stdout);
}

bool RunSpeed(const std::string& simPath, long baud, size_t imageBytes) {
  std::vector<std::string> options = {"--type", "0A", "--burn-ms", "0"};
  if (baud > 0) {
    options.push_back("--baud");
    options.push_back(std::to_string(baud));
  }
  SimProcess sim(simPath, options);
  if (sim.Pty().empty()) {
    std::fprintf(stderr, "bench_upload: the simulator %s did not start\n", simPath.c_str());
    return false;
  }

  auto counting = std::make_unique<CountingChannel>(zemb::CreatePlatformSerialChannel());
  CountingChannel* channel = counting.get();
  zemb::TzembROMWT rom(nullptr, std::move(counting));
  rom.Setcom(sim.Pty());
  rom.SetSpeed(baud > 0 ? static_cast<int32_t>(baud) : 9600);
  rom.SetdefaultRT("0A");

  zemb::TStringList image(MakeImage(imageBytes));
  rom.Lines = &image;
  const int32_t end = static_cast<int32_t>(imageBytes - 1);

  // The upload ends with the last line's line feed; the answer that follows is the device's
  // own time (it waits for the line to go idle), so it is not counted.
  Figures up;
  const int32_t lastLine = image.Count() - 1;
  Clock::time_point upEnd;
  double upCpuEnd = 0;
  uint64_t upBytes = 0;
  rom.SetOnFlash([&](zemb::TzembROMWT*, int32_t line) {
    if (line == lastLine) {
      upEnd = Clock::now();
      upCpuEnd = CpuSeconds();
      upBytes = channel->written;
    }
  });
  channel->written = 0;
  const auto t0 = Clock::now();
  const double c0 = CpuSeconds();
  up.ok = rom.WriteRom(0, end);
  up.wallS = std::chrono::duration<double>(upEnd - t0).count();
  up.cpuS = upCpuEnd - c0;
  up.wireBytes = upBytes;
  if (upBytes == 0) up.ok = false;
  Print("upload", baud, imageBytes, up);

  zemb::TStringList received;
  rom.Lines = &received;
  rom.SetOnFlash(nullptr);
  channel->read = 0;
  Figures rd;
  const auto t1 = Clock::now();
  const double c1 = CpuSeconds();
  rd.ok = rom.ReadRom(0, end);
  rd.wallS = std::chrono::duration<double>(Clock::now() - t1).count();
  rd.cpuS = CpuSeconds() - c1;
  rd.wireBytes = channel->read;
  if (rd.ok) {
    // The chip must hold what was uploaded (type 04 and end records aside).
    size_t mismatches = 0;
    size_t j = 0;
    for (int i = 0; i < image.Count(); ++i) {
      const std::string line = image.Get(i);
      if (line.compare(7, 2, "00") != 0) continue;
      while (j < static_cast<size_t>(received.Count()) && received.Get(j).compare(7, 2, "00") != 0)
        ++j;
      if (j >= static_cast<size_t>(received.Count()) || received.Get(j) != line) ++mismatches;
      ++j;
    }
    if (mismatches != 0) {
      std::fprintf(stderr, "bench_upload: %zu records read back differ\n", mismatches);
      rd.ok = false;
    }
  }
  Print("read", baud, imageBytes, rd);
  return up.ok && rd.ok;
}

// A 27256 written through a simulator that burns every byte: the host must keep the line
// busy whenever the device is not burning, so the wall time stays at line time plus burn.
bool RunBurn(const std::string& simPath, long baud, size_t imageBytes, long usPerByte) {
  SimProcess sim(simPath, {"--type", "08", "--burn-ms", "0", "--burn-us-per-byte",
                           std::to_string(usPerByte), "--baud", std::to_string(baud)});
  if (sim.Pty().empty()) {
    std::fprintf(stderr, "bench_upload: the simulator %s did not start\n", simPath.c_str());
    return false;
  }
  auto counting = std::make_unique<CountingChannel>(zemb::CreatePlatformSerialChannel());
  CountingChannel* channel = counting.get();
  zemb::TzembROMWT rom(nullptr, std::move(counting));
  rom.Setcom(sim.Pty());
  rom.SetSpeed(static_cast<int32_t>(baud));
  rom.SetdefaultRT("08");
  zemb::TStringList image(MakeImage(imageBytes));
  rom.Lines = &image;
  // Connect first, so that only the command, the image and the answer are timed.
  if (!rom.Connect()) {
    std::fprintf(stderr, "bench_upload: no handshake at %ld baud\n", baud);
    return false;
  }
  channel->written = 0;
  channel->read = 0;
  Figures f;
  const auto t0 = Clock::now();
  const double c0 = CpuSeconds();
  f.ok = rom.WriteRom(0, static_cast<int32_t>(imageBytes - 1));
  f.wallS = std::chrono::duration<double>(Clock::now() - t0).count();
  f.cpuS = CpuSeconds() - c0;
  // Every byte crossed the line once: the command and image one way, pacing and answer back.
  f.wireBytes = channel->written + channel->read;
  const double burnS = static_cast<double>(imageBytes) * static_cast<double>(usPerByte) / 1e6;
  Print("burn", baud, imageBytes, f, burnS);
  if (!f.ok) std::fprintf(stderr, "bench_upload: the writer answered \"%s\"\n", rom.Status.c_str());
  return f.ok;
}

std::vector<long> ParseList(const char* text) {
  std::vector<long> list;
  std::stringstream items(text);
  for (std::string item; std::getline(items, item, ',');) {
    if (!item.empty()) list.push_back(std::stol(item));
  }
  return list;
}

constexpr const char* kUsage =
    "usage: bench_upload [--sim PATH] [--size KIB] [--bauds LIST] [--burn-bauds LIST]\n"
    "                    [--burn-size KIB] [--burn-us-per-byte US]\n"
    "  --sim PATH             the simulator (default: beside this build, or $ZEMBROMW_SIM)\n"
    "  --size KIB             image of the throughput rows, 1 to 128 (default 128)\n"
    "  --bauds LIST           throughput rows, upload and read (default 0,115200,9600;\n"
    "                         0 = unpaced pty; \"\" = none)\n"
    "  --burn-bauds LIST      rows that write with burn time (default 115200,9600; \"\" = none)\n"
    "  --burn-size KIB        image of the burn rows, 1 to 32 (default 32)\n"
    "  --burn-us-per-byte US  burn time per programmed byte (default 1000)\n"
    "Figures only: the exit status is 1 when a device operation failed, never for time.\n";

std::string DefaultSimPath() {
  if (const char* env = std::getenv("ZEMBROMW_SIM")) return env;
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "zembromw-sim";
  std::string path(self, static_cast<size_t>(n));
  path = path.substr(0, path.find_last_of('/'));
  return path + "/../tools/sim/zembromw-sim";
}

}  // namespace

int main(int argc, char** argv) {
  std::string simPath = DefaultSimPath();
  size_t kib = 128;
  size_t burnKib = 32;
  long usPerByte = 1000;
  std::vector<long> bauds = {0, 115200, 9600};
  std::vector<long> burnBauds = {115200, 9600};
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "--help" || opt == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "bench_upload: %s needs a value\n%s", opt.c_str(), kUsage);
      return 2;
    }
    const char* value = argv[++i];
    try {
      if (opt == "--sim") {
        simPath = value;
      } else if (opt == "--size") {
        kib = std::stoul(value);
      } else if (opt == "--bauds") {
        bauds = ParseList(value);
      } else if (opt == "--burn-bauds") {
        burnBauds = ParseList(value);
      } else if (opt == "--burn-size") {
        burnKib = std::stoul(value);
      } else if (opt == "--burn-us-per-byte") {
        usPerByte = std::stol(value);
      } else {
        std::fprintf(stderr, "bench_upload: unknown option %s\n%s", opt.c_str(), kUsage);
        return 2;
      }
    } catch (const std::exception&) {
      std::fprintf(stderr, "bench_upload: bad value '%s' for %s\n", value, opt.c_str());
      return 2;
    }
  }
  if (kib == 0 || kib > 128) {
    std::fprintf(stderr, "bench_upload: --size must be 1 to 128 KiB (type 0A holds 128 KiB)\n");
    return 2;
  }
  if (burnKib == 0 || burnKib > 32 || usPerByte < 0) {
    std::fprintf(stderr,
                 "bench_upload: --burn-size must be 1 to 32 KiB (a 27256), "
                 "--burn-us-per-byte at least 0\n");
    return 2;
  }
  bool ok = true;
  std::printf("%-7s %7s %-3s %11s %11s %9s %10s %10s %9s\n", "", "baud", "", "wall", "limit",
              "over", "image B/s", "wire B/s", "CPU ns/B");
  if (!bauds.empty()) {
    std::printf("image %zu bytes, simulator burn time 0, limit = line time; baud 0 = unpaced\n",
                kib * 1024);
    for (long baud : bauds) ok = RunSpeed(simPath, baud, kib * 1024) && ok;
  }
  if (!burnBauds.empty()) {
    std::printf("image %zu bytes, burn %ld us per byte, limit = line time + burn time\n",
                burnKib * 1024, usPerByte);
    for (long baud : burnBauds) ok = RunBurn(simPath, baud, burnKib * 1024, usPerByte) && ok;
  }
  return ok ? 0 : 1;
}
