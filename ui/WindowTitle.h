// An empty window caption that stays empty where the window system shows it: Qt puts the
// application's name in place of an empty title, so on X11 the title properties are
// cleared directly whenever the caption becomes empty or the window is shown with it.
#pragma once

class QWidget;

namespace zemb::ui {

void KeepEmptyTitleEmpty(QWidget* window);

}  // namespace zemb::ui
