#pragma once
// Typed look-ups of a window's controls and menu items by name, as the
// windows' accessors do them: the window is checked, the object found is
// checked to be of the class asked for. Null when nothing has that name.

#include <string>

#include "framework/controls.h"
#include "framework/exceptions.h"
#include "framework/menu.h"
#include "framework/window.h"

namespace lookup {

template <class C>
C* Control(fw::Window* window, const char* name) {
  fw::Control* found = fw::CheckNil(window)->ControlByName(name);
  if (found == nullptr) return nullptr;
  auto* typed = dynamic_cast<C*>(found);
  if (typed == nullptr) throw fw::RuntimeException(std::string("The control ") + name + " is not of the expected class.");
  return typed;
}

template <class Item>
Item* MenuItem(fw::Window* window, const char* name) {
  fw::MenuBar* bar = fw::CheckNil(fw::CheckNil(window)->GetMenuBar().get());
  fw::MenuItem* found = bar->Lookup(name);
  if (found == nullptr) return nullptr;
  auto* typed = dynamic_cast<Item*>(found);
  if (typed == nullptr) throw fw::RuntimeException(std::string("The menu item ") + name + " is not of the expected class.");
  return typed;
}

}  // namespace lookup
