#include "PortMenu.h"

#include <sys/stat.h>

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QRadioButton>
#include <climits>
#include <cstdlib>

#include "Controls.h"
#include "ErrorHandler.h"
#include "PlainText.h"
#include "PortAssignments.h"

namespace zemb::ui {

namespace {

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

std::string PortName(int index) {
  return "COM" + std::to_string(index + 1);
}

QString Reason(const PortMapping& mapping) {
  switch (mapping.source) {
    case PortSource::Environment:
      return QCoreApplication::translate("PortGroupMenu", "環境変数 %1").arg(Text(mapping.detail));
    case PortSource::Stored:
      return QCoreApplication::translate("PortGroupMenu", "割り当て済み");
    case PortSource::Default:
      return QCoreApplication::translate("PortGroupMenu", "既定");
    case PortSource::Path:
    case PortSource::Name:
      break;
  }
  return QCoreApplication::translate("PortGroupMenu", "名前のまま");
}

bool DeviceExists(const std::string& device) {
  struct stat st {};
  return ::stat(device.c_str(), &st) == 0;
}

// What a menu entry stores: the by-id name survives re-plugging in another order.
std::string StableName(const SerialPortInfo& port) {
  return port.byId.empty() ? port.device : port.byId;
}

}  // namespace

PortGroupMenu::PortGroupMenu(TRadioGroup* group, std::function<void(const std::string&)> assigned)
    : QObject(group), group_(group), assigned_(std::move(assigned)) {
  SetPortAssignmentLookup([](unsigned long n) { return StoredPortAssignment(n); });
  group_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(group_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { RunGuarded([&] { ShowMenu(pos); }); });
  for (int i = 0; i < group_->ItemCount(); ++i) group_->Item(i)->installEventFilter(this);
}

std::string PortGroupMenu::ToolTipText(int index) const {
  const PortMapping mapping = MapPortName(PortName(index));
  std::string text = QCoreApplication::translate("PortGroupMenu", "%1 → %2（%3）")
                         .arg(Text(PortName(index)), Text(mapping.device), Reason(mapping))
                         .toStdString();
  const auto ports = ListSerialPorts(roots_);
  if (const SerialPortInfo* port = FindPort(ports, mapping.device)) {
    if (port->device != mapping.device) text += "\n" + port->device;
    const std::string what = port->Description();
    if (!what.empty()) text += "\n" + what;
  } else if (!DeviceExists(mapping.device)) {
    text += "\n" +
            QCoreApplication::translate("PortGroupMenu", "このデバイスはありません").toStdString();
  }
  return text;
}

void PortGroupMenu::RefreshToolTips() {
  for (int i = 0; i < group_->ItemCount(); ++i)
    group_->Item(i)->setToolTip(PlainToolTip(ToolTipText(i)));
}

bool PortGroupMenu::eventFilter(QObject* watched, QEvent* event) {
  // Adapters come and go, so the text is made when the tooltip is about to show.
  if (event->type() == QEvent::ToolTip) {
    for (int i = 0; i < group_->ItemCount(); ++i) {
      if (group_->Item(i) == watched) {
        RunGuarded([&] { group_->Item(i)->setToolTip(PlainToolTip(ToolTipText(i))); });
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

int PortGroupMenu::ItemAt(const QPoint& pos) const {
  int best = -1;
  int bestDistance = INT_MAX;
  for (int i = 0; i < group_->ItemCount(); ++i) {
    const QRect r = group_->Item(i)->geometry();
    if (r.contains(pos)) return i;
    const int distance = std::abs(r.center().y() - pos.y());
    if (distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  return best;
}

QMenu* PortGroupMenu::BuildMenu(int index, QWidget* parent) {
  auto* menu = new QMenu(parent);
  const PortMapping mapping = MapPortName(PortName(index));
  menu->addSection(PlainMenuText(
      QCoreApplication::translate("PortGroupMenu", "%1 の接続先").arg(Text(PortName(index)))));

  const auto ports = ListSerialPorts(roots_);
  if (ports.empty()) {
    menu->addAction(QCoreApplication::translate("PortGroupMenu", "シリアルポートが見つかりません"))
        ->setEnabled(false);
  }
  for (const auto& port : ports) {
    std::string label = port.device;
    const std::string what = port.Description();
    if (!what.empty()) label += "  " + what;
    QAction* action = menu->addAction(PlainMenuText(Text(label)));
    action->setCheckable(true);
    action->setChecked(port.device == mapping.device || port.byId == mapping.device);
    if (!port.byId.empty()) action->setToolTip(PlainToolTip(port.byId));
    const std::string stored = StableName(port);
    connect(action, &QAction::triggered, this,
            [this, index, stored] { RunGuarded([&] { Assign(index, stored); }); });
  }
  menu->setToolTipsVisible(true);
  menu->addSeparator();
  const std::string fallback = "/dev/ttyS" + std::to_string(index);
  QAction* reset = menu->addAction(PlainMenuText(
      QCoreApplication::translate("PortGroupMenu", "既定に戻す（%1）").arg(Text(fallback))));
  reset->setEnabled(!StoredPortAssignment(static_cast<unsigned long>(index + 1)).empty());
  connect(reset, &QAction::triggered, this,
          [this, index] { RunGuarded([&] { Assign(index, ""); }); });
  if (mapping.source == PortSource::Environment) {
    menu->addAction(
            PlainMenuText(QCoreApplication::translate(
                              "PortGroupMenu", "%1 が設定されているため、そちらが優先されます")
                              .arg(Text(mapping.detail))))
        ->setEnabled(false);
  }
  return menu;
}

void PortGroupMenu::Assign(int index, const std::string& device) {
  // The file may be read-only; the assignment still holds for this run.
  StorePortAssignment(static_cast<unsigned long>(index + 1), device);
  RefreshToolTips();
  if (assigned_) assigned_(PortName(index));
}

void PortGroupMenu::ShowMenu(const QPoint& pos) {
  const int index = ItemAt(pos);
  if (index < 0) return;
  QMenu* menu = BuildMenu(index, group_);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(group_->mapToGlobal(pos));
}

}  // namespace zemb::ui
