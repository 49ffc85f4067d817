// The thin control layer over Qt Widgets: each control is a Qt widget that is also a
// component of the owner tree (so the form value walk can see it), and raises its events
// the way the window relies on. Every event handler runs through RunGuarded.
#pragma once

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Memo.h"
#include "TComponent.h"
#include "TStrings.h"

class QButtonGroup;

namespace zemb::ui {

class RadioItemStyle;

using TNotifyEvent = std::function<void(TComponent* Sender)>;

// Places a control by its designed left, top, width and height in pixels.
void SetBounds(QWidget* widget, int left, int top, int width, int height);

class TButton : public QPushButton, public TComponent {
 public:
  TButton(TComponent* owner, QWidget* parent);
  std::string Caption() const { return text().toStdString(); }
  void SetCaption(const std::string& caption) { setText(QString::fromStdString(caption)); }

  TNotifyEvent OnClick;
};

// A one-line label. A caption too long for the label keeps its whole text but is painted
// with its middle elided, and the whole text becomes the tooltip.
class TLabel : public QLabel, public TComponent {
 public:
  TLabel(TComponent* owner, QWidget* parent);
  std::string Caption() const { return text().toStdString(); }
  void SetCaption(const std::string& caption);
  // The text as painted: the caption, or its elided form when it does not fit.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void UpdateToolTip();
};

// A raised panel that shows its caption centred, behind its child controls, unless told not
// to (a caption under child controls would show through their gaps).
class TPanel : public QFrame, public TComponent {
 public:
  TPanel(TComponent* owner, QWidget* parent);
  std::string Caption() const { return caption_.toStdString(); }
  void SetCaption(const std::string& caption);
  void SetShowCaption(bool show);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
  bool showCaption_ = true;
};

class TProgressBar : public QProgressBar, public TComponent {
 public:
  TProgressBar(TComponent* owner, QWidget* parent);
};

class TEdit : public QLineEdit, public TComponent {
 public:
  TEdit(TComponent* owner, QWidget* parent);
  std::string Text() const { return text().toStdString(); }
  void SetText(const std::string& value) { setText(QString::fromStdString(value)); }
};

// An editable drop-down list whose field always shows the start of its text (where the
// code of a list item stands) unless the user is editing it; its open list is as wide as
// the longest item. A user's pick (from the open list, or with the arrow keys
// or the wheel while closed) raises OnClick, then OnChange, after the text has become the
// item's text; typing raises OnChange alone; opening the list raises OnDropDown; changes
// made from code raise nothing.
class TComboBox : public QComboBox, public TComponent {
 public:
  TComboBox(TComponent* owner, QWidget* parent);

  int ItemIndex() const { return currentIndex(); }
  // Out-of-range values leave no item selected.
  void SetItemIndex(int index);
  std::string ItemText(int index) const { return itemText(index).toStdString(); }
  std::string Text() const { return currentText().toStdString(); }
  void SetText(const std::string& value);
  void SetItems(const std::vector<std::string>& items);

  TNotifyEvent OnDropDown;
  TNotifyEvent OnClick;
  TNotifyEvent OnChange;

  void showPopup() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void ShowTextStart();

  // Qt also "activates" an item when Return is pressed or the focus leaves while the text
  // matches an item; those are not picks.
  bool suppressActivation_ = false;
};

class TRadioGroup : public QGroupBox, public TComponent {
 public:
  TRadioGroup(TComponent* owner, QWidget* parent);
  ~TRadioGroup() override;

  std::string Caption() const { return title().toStdString(); }
  void SetCaption(const std::string& caption) { setTitle(QString::fromStdString(caption)); }
  // Creates one unnamed item button per text, owned by the group, in one column.
  void SetItems(const std::vector<std::string>& items);
  int ItemCount() const { return static_cast<int>(buttons_.size()); }
  QRadioButton* Item(int index) const { return buttons_.at(static_cast<size_t>(index)); }

  int ItemIndex() const { return index_; }
  // Clamped to -1 .. ItemCount() - 1. A change to an item raises OnClick (errors reach the
  // caller); a change to -1 only unchecks and raises nothing.
  void SetItemIndex(int index);

  TNotifyEvent OnClick;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Spreads the items evenly over the area inside the frame, below the caption.
  void ArrangeItems();

  QButtonGroup* group_;
  std::vector<QRadioButton*> buttons_;
  // The items' style; it outlives them (the destructor deletes the items first).
  std::unique_ptr<RadioItemStyle> itemStyle_;
  int index_ = -1;
  bool settingFromCode_ = false;
};

// An open or save dialog. Execute runs the real file dialog unless a runner is set (tests).
class TFileDialog : public TComponent {
 public:
  enum class Kind { Open, Save };
  using Runner = std::function<bool(TFileDialog& dialog)>;

  TFileDialog(TComponent* owner, Kind kind, QWidget* parentWindow);

  Kind DialogKind() const { return kind_; }
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& name) { fileName_ = name; }
  const std::string& DefaultExt() const { return defaultExt_; }
  void SetDefaultExt(const std::string& ext) { defaultExt_ = ext; }
  // Pairs of description and pattern separated by "|"; patterns within a pair by ";".
  const std::string& Filter() const { return filter_; }
  void SetFilter(const std::string& filter) { filter_ = filter; }
  // The filter chosen, counting the pairs from 1; the dialog opens with it and Execute
  // leaves the user's choice here.
  int FilterIndex() const { return filterIndex_; }
  void SetFilterIndex(int index) { filterIndex_ = index; }

  // True when the user confirmed; FileName then holds the chosen name.
  bool Execute();
  void SetRunner(Runner runner) { runner_ = std::move(runner); }

 private:
  bool RunQtDialog();

  Kind kind_;
  QWidget* parentWindow_;
  std::string fileName_;
  std::string defaultExt_;
  std::string filter_;
  int filterIndex_ = 1;
  Runner runner_;
};

class TOpenDialog : public TFileDialog {
 public:
  TOpenDialog(TComponent* owner, QWidget* parentWindow)
      : TFileDialog(owner, Kind::Open, parentWindow) {}
};

class TSaveDialog : public TFileDialog {
 public:
  TSaveDialog(TComponent* owner, QWidget* parentWindow)
      : TFileDialog(owner, Kind::Save, parentWindow) {}
};

// Qt's name filter for a filter text of "description|pattern" pairs.
QStringList QtNameFilters(const std::string& filter);
// The extension a filter pattern stands for ("s19" for "*.s19;*.srec"), or "" for "*".
std::string FilterExtension(const std::string& filter, int index);

}  // namespace zemb::ui
