// Keeps the values of a window's edits, memos and radio groups in the settings store
// under dotted key paths that follow the ownership of its components.
#pragma once

#include <string>

#include "TComponent.h"

namespace zemb::ui {

void SaveFormValues(TComponent* form);
// Errors raised while a value is applied (a radio group value that is not an integer, or
// an error from the click handler it fires) end the walk and reach the caller.
void LoadFormValues(TComponent* form);

void SaveComponentTree(const std::string& prefix, TComponent* component);
void LoadComponentTree(const std::string& prefix, TComponent* component);

}  // namespace zemb::ui
