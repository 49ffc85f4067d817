#include "FormValues.h"

#include "Controls.h"
#include "Convert.h"
#include "uSetting.h"

namespace zemb::ui {

void SaveFormValues(TComponent* form) {
  SaveComponentTree("@", form);
}

void LoadFormValues(TComponent* form) {
  LoadComponentTree("@", form);
}

void SaveComponentTree(const std::string& prefix, TComponent* component) {
  const std::string key = prefix + component->Name();
  if (auto* edit = dynamic_cast<TEdit*>(component)) {
    WriteValue(key, edit->Text());
  } else if (auto* memo = dynamic_cast<TMemo*>(component)) {
    WriteValue(key, memo->Text());
  } else if (auto* group = dynamic_cast<TRadioGroup*>(component)) {
    WriteIntValue(key, group->ItemIndex());
  }
  const int n = component->ComponentCount();
  for (int i = 0; i < n; ++i) SaveComponentTree(key + ".", component->Component(i));
}

void LoadComponentTree(const std::string& prefix, TComponent* component) {
  const std::string key = prefix + component->Name();
  // Read for every component, whatever its kind: the first read loads the settings file.
  const std::string value = ReadValue(key);
  if (!value.empty()) {
    if (auto* edit = dynamic_cast<TEdit*>(component)) {
      edit->SetText(value);
    } else if (auto* memo = dynamic_cast<TMemo*>(component)) {
      memo->SetText(value);
    } else if (auto* group = dynamic_cast<TRadioGroup*>(component)) {
      group->SetItemIndex(StrToInt(value));
    }
  }
  const int n = component->ComponentCount();
  for (int i = 0; i < n; ++i) LoadComponentTree(key + ".", component->Component(i));
}

}  // namespace zemb::ui
