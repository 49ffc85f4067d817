// The port group's link to real adapters: each COM item's tooltip names the device it
// opens, and a context menu on the group assigns a discovered port to the item under the
// mouse. Assignments are kept in the settings file and used from then on.
#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "PortList.h"

class QMenu;
class QPoint;
class QWidget;

namespace zemb::ui {

class TRadioGroup;

class PortGroupMenu : public QObject {
 public:
  // assigned runs after an item's device changed, with the item's port name ("COM1").
  PortGroupMenu(TRadioGroup* group, std::function<void(const std::string& port)> assigned);

  // The tooltip text of item index: the device, why, and what it is when known.
  std::string ToolTipText(int index) const;
  void RefreshToolTips();

  // The item at pos (group coordinates), or the nearest one by height; -1 without items.
  int ItemAt(const QPoint& pos) const;

  // The menu for item index, owned by parent; the caller shows it.
  QMenu* BuildMenu(int index, QWidget* parent);

  // Stores device (empty: back to the default) for item index and tells the window.
  void Assign(int index, const std::string& device);

  // Tests point discovery at a tree of their own.
  void SetDiscoveryRoots(const PortDiscoveryRoots& roots) { roots_ = roots; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowMenu(const QPoint& pos);

  TRadioGroup* group_;
  std::function<void(const std::string&)> assigned_;
  PortDiscoveryRoots roots_;
};

}  // namespace zemb::ui
