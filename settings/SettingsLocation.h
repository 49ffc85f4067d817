// Where the settings file lives: beside the executable, as a portable copy keeps it, or in
// the user's configuration folder when the program is installed where the user cannot write.
#pragma once

#include <string>

namespace zemb {

// exe with its extension replaced by ext; the extension is the part from the last "." that
// stands after the last "\", "/" and ":", and a name without one gets ext appended.
std::string PathBesideExecutable(const std::string& exe, const std::string& ext);

// The per-user folder for this program's settings: $XDG_CONFIG_HOME/zembromw, or
// ~/.config/zembromw when that is unset or not absolute; %APPDATA%\zembromw on Windows.
// Empty when no such folder can be named.
std::string UserSettingsFolder();

// besideExe when something is there already or its folder can be written; otherwise the
// file of the same name in UserSettingsFolder() (besideExe again when there is none).
std::string ChooseSettingsPath(const std::string& besideExe);

// Creates the folder that holds path, with any missing parents (private to the user);
// true when the folder exists afterwards.
bool EnsureFolderOf(const std::string& path);

}  // namespace zemb
