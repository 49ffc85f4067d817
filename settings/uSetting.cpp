#include "uSetting.h"

#include <algorithm>
#include <iterator>

#include "Convert.h"
#include "FileIO.h"
#include "SettingsLocation.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zemb {

TSortedStringList* SettingsList = nullptr;
bool SettingsChanged = false;
std::string CachedSettingsPath;
std::string SettingsFileExt = ".sys";

namespace {

std::string g_executablePathOverride;
// Set when the settings file was there but could not be read: saving then would put the
// defaults over every remembered value.
bool g_loadFailedOnExistingFile = false;

// A settings file holds the memo's text escaped, so it may be a few times an image's size.
constexpr size_t kMaxSettingsBytes = 4 * kMaxImageBytes;

bool LineLess(const std::string& a, const std::string& b) {
  return CompareTextNoCase(a, b) < 0;
}

std::string ExecutablePath() {
  if (!g_executablePathOverride.empty()) return g_executablePathOverride;
  return RunningExecutablePath();
}

#ifndef _WIN32
// The owner's write bit stands for the read-only attribute: as root, permission bits would
// not stop a write, so the store looks at the bit itself.
bool IsReadOnlyFile(const struct stat& st) {
  return (st.st_mode & S_IWUSR) == 0;
}
#endif

// A regular file at path whose read-only attribute is set; false when there is none.
bool ExistingFileIsReadOnly(const std::string& path) {
#ifdef _WIN32
  const DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY) &&
         (attr & FILE_ATTRIBUTE_READONLY);
#else
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && IsReadOnlyFile(st);
#endif
}

// Saves a changed store if the program entry did not; by then the window is long gone.
struct ShutdownAtExit {
  ~ShutdownAtExit() { ShutdownSettings(); }
} g_shutdownAtExit;

}  // namespace

void TSortedStringList::Add(const std::string& line) {
  // lower_bound ends at the first line that is not less, i.e. the first equal line if any.
  const auto it = std::lower_bound(lines_.begin(), lines_.end(), line, LineLess);
  if (it != lines_.end() && CompareTextNoCase(*it, line) == 0) return;
  lines_.insert(it, line);
}

void TSortedStringList::SetLines(std::vector<std::string> lines) {
  // Same result as adding one line after the other (the first of equal lines stays), without
  // the quadratic cost of inserting into a vector.
  std::stable_sort(lines.begin(), lines.end(), LineLess);
  const auto end = std::unique(
      lines.begin(), lines.end(),
      [](const std::string& a, const std::string& b) { return CompareTextNoCase(a, b) == 0; });
  lines.erase(end, lines.end());
  lines_ = std::move(lines);
}

std::string SettingsPath() {
  if (CachedSettingsPath.empty()) {
    CachedSettingsPath =
        ChooseSettingsPath(PathBesideExecutable(ExecutablePath(), SettingsFileExt));
  }
  return CachedSettingsPath;
}

bool SettingsFileUsable() {
  const std::string path = SettingsPath();
#ifdef _WIN32
  const DWORD attr = GetFileAttributesA(path.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) return false;
  return !(attr & FILE_ATTRIBUTE_DIRECTORY) && !(attr & FILE_ATTRIBUTE_READONLY);
#else
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return S_ISREG(st.st_mode) && !IsReadOnlyFile(st);
#endif
}

bool LoadSettings() {
  try {
    if (!SettingsList) SettingsList = new TSortedStringList;
    if (!SettingsFileUsable()) return false;
    std::string bytes;
    if (!ReadUserFile(SettingsPath(), bytes, kMaxSettingsBytes)) {
      g_loadFailedOnExistingFile = true;
      return false;
    }
    SettingsList->SetText(bytes);
    return true;
  } catch (...) {
    return false;
  }
}

bool SaveSettings() {
  if (!SettingsChanged || !SettingsList) return true;
  try {
    const std::string path = SettingsPath();
    if (g_loadFailedOnExistingFile) return false;
    // The read-only attribute is the owner's write bit, which the write path alone would
    // not honour for a file that others may write.
    if (ExistingFileIsReadOnly(path)) return false;
    // The per-user folder may not exist before the first save.
    EnsureFolderOf(path);
    if (!WriteUserFile(path, SettingsList->Text())) return false;
    SettingsChanged = false;
    return true;
  } catch (...) {
    return false;
  }
}

std::string ReadValue(const std::string& key) {
  if (!SettingsList) LoadSettings();
  return UnescapeText(SettingsList->Values(EscapeText(key)));
}

void WriteValue(const std::string& key, const std::string& value) {
  StoreValue(key, EscapeText(value));
}

void WriteIntValue(const std::string& key, int32_t value) {
  WriteValue(key, IntToStr(value));
}

void StoreValue(const std::string& key, const std::string& escapedValue) {
  if (!SettingsList) LoadSettings();
  const std::string k = EscapeText(key);
  if (SettingsList->Values(k) == escapedValue) return;
  SettingsChanged = true;
  const int i = SettingsList->IndexOfName(k);
  if (i >= 0) SettingsList->Delete(i);
  // Dropped only when the file held a second line equal to this one.
  SettingsList->Add(k + "=" + escapedValue);
}

std::string EscapeText(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r' && i + 1 < n && text[i + 1] == '\n') {
      out += "\\n";
      ++i;
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == '"' || c == '\'' || c == ',' || c == '=') {
      out += "\\x";
      out += HexByte(c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string UnescapeText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const char c = text[i++];
    if (c != '\\') {
      out += c;
      continue;
    }
    // A lone backslash at the very end never comes from EscapeText; it is dropped.
    if (i >= n) break;
    const char letter = text[i++];
    switch (letter) {
      case 'a':
        out += '\a';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += "\r\n";
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'v':
        out += '\v';
        break;
      case 'x': {
        const size_t digits = std::min<size_t>(2, n - i);
        bool ok = digits > 0;
        int value = 0;
        for (size_t d = 0; d < digits && ok; ++d) {
          const int digit = HexDigitValue(text[i + d]);
          ok = digit >= 0;
          if (ok) value = value * 16 + digit;
        }
        // A malformed escape appends nothing; the scan resumes right after the "x".
        if (ok) {
          out += static_cast<char>(value);
          i += digits;
        }
        break;
      }
      default:
        out += letter;
        break;
    }
  }
  return out;
}

std::string HexByte(int value) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out(2, '0');
  out[0] = digits[(value >> 4) & 0xF];
  out[1] = digits[value & 0xF];
  return out;
}

void ShutdownSettings() {
  if (SettingsChanged) SaveSettings();
  g_loadFailedOnExistingFile = false;
  delete SettingsList;
  SettingsList = nullptr;
  // SettingsFileExt stays: with it cleared, a late use would take the executable itself
  // for the settings file.
  CachedSettingsPath.clear();
}

void SetSettingsExecutable(const std::string& path) {
  SetExecutablePathForTesting(path);
}

std::string RunningExecutablePath() {
#ifdef _WIN32
  std::string buf(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) return buf.substr(0, n);
    buf.resize(buf.size() * 2);
  }
#else
  std::string buf(4096, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buf.size()) return buf.substr(0, static_cast<size_t>(n));
    buf.resize(buf.size() * 2);
  }
#endif
}

void SetExecutablePathForTesting(const std::string& path) {
  g_executablePathOverride = path;
  CachedSettingsPath.clear();
}

void ResetSettingsForTesting() {
  g_loadFailedOnExistingFile = false;
  delete SettingsList;
  SettingsList = nullptr;
  SettingsChanged = false;
  CachedSettingsPath.clear();
  SettingsFileExt = ".sys";
}

}  // namespace zemb
