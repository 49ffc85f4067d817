#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Language.h"
#include "ProcessSetup.h"
#include "TerminationSignals.h"
#include "UromW.h"
#include "ZembromwVersion.h"
#include "uSetting.h"

int main(int argc, char** argv) {
  if (!zemb::PrepareProcess()) return 125;
  // Answered before the toolkit starts, so they work without a display. Any other first
  // argument is an image file to load.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("zembromw %s\n", ZEMBROMW_VERSION);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::printf(
        "usage: zembromw [FILE]\n"
        "The window for the ROM writer; FILE (an Intel HEX, S-record or binary image) is\n"
        "loaded at start. ZEMBROMW_LANG=en gives an English window.\n"
        "See zembromw(1). To load a file named --help or --version, write ./--help.\n");
    return 0;
  }
  int result = 0;
  {
    QApplication app(argc, argv);
    zemb::ui::InstallTranslations(zemb::ui::ChosenLanguage());
    // The toolkit has taken its own options out of argv. The rest go on as the bytes they
    // are: Qt's decoded copy turns a file name that is not UTF-8 into one that names
    // nothing.
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    zemb::ui::TForm1 form(nullptr, std::move(arguments));
    zemb::ui::CloseOnTerminationSignals(&form);
    form.show();
    result = QApplication::exec();
  }
  // The settings file is written once the window and the toolkit are gone.
  zemb::ShutdownSettings();
  return result;
}
