#include "SettingsLocation.h"

#include <cerrno>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zemb {

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

size_t LastSeparator(const std::string& path) {
#ifdef _WIN32
  return path.find_last_of("\\/:");
#else
  return path.rfind('/');
#endif
}

std::string FolderOf(const std::string& path) {
  const size_t sep = LastSeparator(path);
  if (sep == std::string::npos) return ".";
  if (sep == 0) return path.substr(0, 1);
  return path.substr(0, sep);
}

std::string FileNameOf(const std::string& path) {
  const size_t sep = LastSeparator(path);
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

bool SomethingAt(const std::string& path) {
#ifdef _WIN32
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
#endif
}

bool FolderWritable(const std::string& folder) {
#ifdef _WIN32
  // Folder attributes say nothing about write permission on Windows; creating a file does.
  const std::string probe =
      folder + "\\.zembromw-write-test-" + std::to_string(::GetCurrentProcessId());
  const HANDLE h = ::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
#else
  // The effective ids decide what a later save may do, so ask with those.
  return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
#endif
}

bool IsFolder(const std::string& path) {
#ifdef _WIN32
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
#else
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

bool MakeFolder(const std::string& path) {
#ifdef _WIN32
  return ::CreateDirectoryA(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
#else
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
#endif
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

std::string PathBesideExecutable(const std::string& exe, const std::string& ext) {
  const size_t sep = exe.find_last_of("\\/:");
  const size_t dot = exe.rfind('.');
  const bool hasExt = dot != std::string::npos && (sep == std::string::npos || dot > sep);
  return (hasExt ? exe.substr(0, dot) : exe) + ext;
}

std::string UserSettingsFolder() {
#ifdef _WIN32
  const std::string appData = Environment("APPDATA");
  if (appData.empty()) return {};
  return appData + "\\zembromw";
#else
  // Relative values are to be ignored, so a stray setting cannot scatter files into the
  // current folder.
  const std::string config = Environment("XDG_CONFIG_HOME");
  if (!config.empty() && config[0] == '/') return config + "/zembromw";
  std::string home = Environment("HOME");
  if (home.empty() || home[0] != '/') {
    const struct passwd* pw = ::getpwuid(::geteuid());
    home = pw != nullptr && pw->pw_dir != nullptr ? pw->pw_dir : "";
  }
  if (home.empty() || home[0] != '/') return {};
  return home + "/.config/zembromw";
#endif
}

std::string ChooseSettingsPath(const std::string& besideExe) {
  if (SomethingAt(besideExe) || FolderWritable(FolderOf(besideExe))) return besideExe;
  const std::string folder = UserSettingsFolder();
  if (folder.empty()) return besideExe;
  return folder + kSeparator + FileNameOf(besideExe);
}

bool EnsureFolderOf(const std::string& path) {
  const std::string folder = FolderOf(path);
  if (IsFolder(folder)) return true;
  // Create each missing level from the top down; an existing one is passed over.
  for (size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos == folder.size() || folder[pos] == '/' || folder[pos] == kSeparator) {
      const std::string level = folder.substr(0, pos);
      if (level.empty() || level.back() == ':' || IsFolder(level)) continue;
      if (!MakeFolder(level)) return false;
    }
  }
  return IsFolder(folder);
}

}  // namespace zemb
