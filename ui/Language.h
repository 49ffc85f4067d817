// The language of the window. Japanese is the texts' own language and needs no translation
// of ours; English comes from the translation built into the program. Qt's own texts (the
// edit menu, file dialogs, message box buttons) follow the same choice.
#pragma once

#include <string>

namespace zemb::ui {

enum class UiLanguage { Japanese, English };

// The key in the settings file that keeps the user's choice ("ja" or "en").
inline constexpr char kLanguageKey[] = "Window.Language";
// The environment variable that overrides the stored choice.
inline constexpr char kLanguageVariable[] = "ZEMBROMW_LANG";

// "en", "en_GB.UTF-8", "English" give English; "ja", "ja_JP" give Japanese; false otherwise.
bool ParseLanguage(const std::string& text, UiLanguage& language);
const char* LanguageCode(UiLanguage language);

// The environment variable when it names a language, else the stored choice, else Japanese.
UiLanguage ChosenLanguage();
// True when the environment variable decides, whatever is stored.
bool LanguageFromEnvironment();
// Keeps the choice for the next start.
void StoreLanguage(UiLanguage language);

// Loads the translations of language into the running application: ours and Qt's. Called
// once, before the window is created. False when a translation file could not be loaded
// (the texts then stay Japanese or Qt's English).
bool InstallTranslations(UiLanguage language);
// The language installed last (Japanese before any call).
UiLanguage InstalledLanguage();
// Takes out what InstallTranslations put in (tests switch languages within one process).
void RemoveTranslations();

}  // namespace zemb::ui
