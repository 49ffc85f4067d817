#include <QApplication>

#include "ProcessSetup.h"
#include "TerminationSignals.h"
#include "UromW.h"
#include "uSetting.h"

int main(int argc, char** argv) {
  if (!zemb::PrepareProcess()) return 125;
  int result = 0;
  {
    QApplication app(argc, argv);
    zemb::ui::TForm1 form;
    zemb::ui::CloseOnTerminationSignals(&form);
    form.show();
    result = QApplication::exec();
  }
  // The settings file is written once the window and the toolkit are gone.
  zemb::ShutdownSettings();
  return result;
}
