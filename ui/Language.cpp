#include "Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdlib>
#include <memory>
#include <vector>

#include "TStrings.h"
#include "uSetting.h"

namespace zemb::ui {

namespace {

std::vector<std::unique_ptr<QTranslator>> g_translators;
UiLanguage g_installed = UiLanguage::Japanese;

// The language the environment variable names; false when it is unset or names none.
bool EnvironmentLanguage(UiLanguage& language) {
  const char* value = std::getenv(kLanguageVariable);
  return value && ParseLanguage(value, language);
}

bool Load(const QString& name, const QString& folder) {
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(name, folder)) return false;
  if (!QCoreApplication::installTranslator(translator.get())) return false;
  g_translators.push_back(std::move(translator));
  return true;
}

}  // namespace

bool ParseLanguage(const std::string& text, UiLanguage& language) {
  const std::string lower = AsciiLower(text);
  auto startsWith = [&](const char* prefix) {
    const std::string p(prefix);
    return lower.compare(0, p.size(), p) == 0 &&
           (lower.size() == p.size() || lower[p.size()] == '_' || lower[p.size()] == '.' ||
            lower[p.size()] == '-' || lower[p.size()] == '@');
  };
  if (startsWith("en") || lower == "english") {
    language = UiLanguage::English;
    return true;
  }
  if (startsWith("ja") || lower == "japanese") {
    language = UiLanguage::Japanese;
    return true;
  }
  return false;
}

const char* LanguageCode(UiLanguage language) {
  return language == UiLanguage::English ? "en" : "ja";
}

bool LanguageFromEnvironment() {
  UiLanguage language;
  return EnvironmentLanguage(language);
}

UiLanguage ChosenLanguage() {
  UiLanguage language = UiLanguage::Japanese;
  if (EnvironmentLanguage(language)) return language;
  if (ParseLanguage(ReadValue(kLanguageKey), language)) return language;
  return UiLanguage::Japanese;
}

void StoreLanguage(UiLanguage language) {
  WriteValue(kLanguageKey, LanguageCode(language));
}

bool InstallTranslations(UiLanguage language) {
  RemoveTranslations();
  g_installed = language;
  const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (language == UiLanguage::Japanese) {
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    // Our texts are Japanese in the sources already; the catalogue lets a wording be
    // changed without touching them. Qt's own texts come from Qt's catalogue.
    const bool ours = Load(QStringLiteral("zembromw_ja"), QStringLiteral(":/i18n"));
    return Load(QStringLiteral("qtbase_ja"), qtFolder) && ours;
  }
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  return Load(QStringLiteral("zembromw_en"), QStringLiteral(":/i18n"));
}

UiLanguage InstalledLanguage() {
  return g_installed;
}

void RemoveTranslations() {
  for (auto& translator : g_translators) QCoreApplication::removeTranslator(translator.get());
  g_translators.clear();
  g_installed = UiLanguage::Japanese;
}

}  // namespace zemb::ui
