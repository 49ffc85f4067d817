// The settings store: one process-wide sorted list of escaped "key=value" lines, loaded
// from the file beside the executable on first use and written back at shutdown when a
// value changed. Free functions over module state; nothing here raises to the caller.
#pragma once

#include <cstdint>
#include <string>

#include "TStrings.h"

namespace zemb {

// The sorted line list of the store: whole lines ordered by CompareTextNoCase; adding a
// line equal to one already held leaves the list unchanged.
class TSortedStringList : public TStringList {
 public:
  void Add(const std::string& line) override;
  void SetLines(std::vector<std::string> lines) override;
};

// Module state.
extern TSortedStringList* SettingsList;  // owned by the module; null until first use
extern bool SettingsChanged;
extern std::string CachedSettingsPath;
extern std::string SettingsFileExt;  // ".sys"

std::string SettingsPath();
bool SettingsFileUsable();
bool LoadSettings();
bool SaveSettings();
std::string ReadValue(const std::string& key);
void WriteValue(const std::string& key, const std::string& value);
void WriteIntValue(const std::string& key, int32_t value);
void StoreValue(const std::string& key, const std::string& escapedValue);

std::string EscapeText(const std::string& text);
std::string UnescapeText(const std::string& text);
std::string HexByte(int value);

// Shutdown: saves when a value changed, releases the list and clears the cached path.
// The program entry calls it after the window is gone; calling it twice is harmless.
void ShutdownSettings();

// The executable whose settings this process uses instead of its own (empty: its own): the
// command-line tool takes the window's, so that both share one file.
void SetSettingsExecutable(const std::string& path);
// The full path of the running executable; empty when the system cannot tell.
std::string RunningExecutablePath();

// Tests only: the executable path used in place of the platform's (empty = platform's),
// and a return to the state of a fresh process.
void SetExecutablePathForTesting(const std::string& path);
void ResetSettingsForTesting();

}  // namespace zemb
