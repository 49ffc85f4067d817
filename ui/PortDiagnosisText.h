// Why a port would not open, in the window's language: the system's diagnosis of the
// failure rendered through the translations, its arguments (device paths, group, program
// and user names, USB strings) put in exactly as the diagnosis escaped them.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <vector>

#include "PortDiagnosis.h"

namespace zemb::ui {

class PortDiagnosisText {
  Q_DECLARE_TR_FUNCTIONS(PortDiagnosis)

 public:
  // One line; a command or a port in the list comes out as it stands.
  static QString Line(const DiagnosisLine& line);
  // The lines joined by line feeds, without a final one.
  static QString Lines(const std::vector<DiagnosisLine>& lines);

 private:
  // The processes holding a port, from their pid, program and user arguments.
  static QString Holders(const std::vector<std::string>& args);
};

}  // namespace zemb::ui
