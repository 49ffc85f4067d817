// A settings file of arbitrary bytes, then a run of reads and writes, a save and a fresh
// load. Checks the sorted list's invariants, read-after-write and that a saved list loads
// back unchanged.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "uSetting.h"

namespace {

std::string g_dir;

void Check(bool ok) {
  if (!ok) std::abort();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  Check(f != nullptr);
  Check(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
  Check(std::fclose(f) == 0);
}

void CheckSorted(const std::vector<std::string>& lines) {
  for (size_t i = 1; i < lines.size(); ++i) {
    Check(zemb::CompareTextNoCase(lines[i - 1], lines[i]) < 0);
  }
}

int LinesNamed(const std::vector<std::string>& lines, const std::string& name) {
  int n = 0;
  for (const auto& line : lines) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos && zemb::CompareTextNoCase(line.substr(0, eq), name) == 0) ++n;
  }
  return n;
}

// Stored raw values must not break the line structure of the file.
std::string WithoutLineBreaks(std::string s) {
  for (char& c : s) {
    if (c == '\r' || c == '\n' || c == '\0') c = '.';
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/dev/shm/zembromw-fuzz-XXXXXX";
  char tmpl2[] = "/tmp/zembromw-fuzz-XXXXXX";
  const char* dir = ::mkdtemp(tmpl);
  if (!dir) dir = ::mkdtemp(tmpl2);
  Check(dir != nullptr);
  g_dir = dir;
  zemb::SetExecutablePathForTesting(g_dir + "/fz");
  std::atexit([] {
    ::unlink((g_dir + "/fz.sys").c_str());
    ::rmdir(g_dir.c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  zemb::ResetSettingsForTesting();
  const std::string path = zemb::SettingsPath();

  const std::string file = in.ConsumeRandomLengthString(4096);
  WriteFile(path, file);

  Check(zemb::LoadSettings());
  const std::vector<std::string> loaded = zemb::SettingsList->Lines();
  CheckSorted(loaded);
  zemb::TSortedStringList oneByOne;
  for (const auto& line : zemb::SplitLines(file)) oneByOne.Add(line);
  Check(oneByOne.Lines() == loaded);

  while (in.remaining_bytes() > 0) {
    const int op = in.ConsumeIntegralInRange(0, 3);
    const std::string key = in.ConsumeRandomLengthString(16);
    const std::string k = zemb::EscapeText(key);
    switch (op) {
      case 0:
        (void)zemb::ReadValue(key);
        break;
      case 1: {
        const std::string value = in.ConsumeRandomLengthString(64);
        zemb::WriteValue(key, value);
        if (LinesNamed(zemb::SettingsList->Lines(), k) == 1) Check(zemb::ReadValue(key) == value);
        break;
      }
      case 2: {
        const std::string raw = WithoutLineBreaks(in.ConsumeRandomLengthString(64));
        zemb::StoreValue(key, raw);
        if (LinesNamed(zemb::SettingsList->Lines(), k) == 1) {
          Check(zemb::SettingsList->Values(k) == raw);
        }
        break;
      }
      case 3: {
        const int32_t v = in.ConsumeIntegral<int32_t>();
        zemb::WriteIntValue(key, v);
        if (LinesNamed(zemb::SettingsList->Lines(), k) == 1) {
          Check(zemb::ReadValue(key) == std::to_string(v));
        }
        break;
      }
    }
    CheckSorted(zemb::SettingsList->Lines());
  }

  const std::vector<std::string> before = zemb::SettingsList->Lines();
  Check(zemb::SaveSettings());
  Check(!zemb::SettingsChanged);
  zemb::ResetSettingsForTesting();
  Check(zemb::LoadSettings());
  Check(zemb::SettingsList->Lines() == before);
  zemb::ResetSettingsForTesting();
  return 0;
}
