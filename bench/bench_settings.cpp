// Times the memo-sized value: a 10,000-line Intel HEX text stored as one settings line,
// saved, and read back by a fresh load, as one run of the window would do it.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Convert.h"
#include "uSetting.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

std::string HexText(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const int addr = (i * 16) & 0xFFFF;
    std::string rec = "10" + zemb::IntToHex(addr, 4) + "00";
    int sum = 0x10 + (addr >> 8) + (addr & 0xFF);
    for (int b = 0; b < 16; ++b) {
      const int v = (i * 7 + b * 13) & 0xFF;
      rec += zemb::IntToHex(v, 2);
      sum += v;
    }
    text += ":" + rec + zemb::IntToHex((-sum) & 0xFF, 2) + "\r\n";
  }
  return text + ":00000001FF";
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/zembromw-bench-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  zemb::SetExecutablePathForTesting(dir + "/zembromw");

  const std::string memo = HexText(10000);
  const int runs = 20;
  std::vector<double> store, save, load, total;
  bool same = true;
  for (int r = 0; r < runs; ++r) {
    zemb::ResetSettingsForTesting();
    const auto t0 = Clock::now();
    zemb::WriteValue("@Form1.Memo1", memo);
    const auto t1 = Clock::now();
    zemb::ShutdownSettings();
    const auto t2 = Clock::now();
    const std::string back = zemb::ReadValue("@Form1.Memo1");
    const auto t3 = Clock::now();
    same = same && back == memo && zemb::SettingsList->Count() == 1;
    store.push_back(Ms(t0, t1));
    save.push_back(Ms(t1, t2));
    load.push_back(Ms(t2, t3));
    total.push_back(Ms(t0, t3));
    ::unlink(zemb::SettingsPath().c_str());
  }
  zemb::ResetSettingsForTesting();
  ::rmdir(dir.c_str());

  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  std::printf("memo of 10,000 HEX lines (%zu bytes), %d runs, median ms\n", memo.size(), runs);
  std::printf("  store   %7.2f\n  save    %7.2f  (temp file, fsync, rename)\n", median(store),
              median(save));
  std::printf("  load    %7.2f  (fresh read and lookup)\n  total   %7.2f\n", median(load),
              median(total));
  std::printf("  round trip %s\n", same ? "exact, one line" : "MISMATCH");
  return same ? 0 : 1;
}
