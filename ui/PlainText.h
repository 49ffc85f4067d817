// Texts that come from outside the program (file names, device answers, the settings file,
// the environment) are shown as the characters they are. A tooltip or a menu entry would
// otherwise read them as markup: Qt guesses rich text for a tooltip, and takes "&" in a
// menu entry as a shortcut mark.
#pragma once

#include <QString>
#include <string>

namespace zemb::ui {

// A tooltip that shows text exactly, line breaks and runs of blanks included.
QString PlainToolTip(const QString& text);
QString PlainToolTip(const std::string& text);

// The text a tooltip shows, markup read as Qt reads it.
QString ToolTipShownText(const QString& toolTip);

// A menu entry's text that shows every "&" as it stands.
QString PlainMenuText(const QString& text);

}  // namespace zemb::ui
