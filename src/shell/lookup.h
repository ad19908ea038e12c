#pragma once
// Typed look-ups of a window's controls and menu items by name, as the
// windows' accessors do them: the window is checked, the object found is
// checked to be of the class asked for. Null when nothing has that name.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/controls.h"
#include "framework/exceptions.h"
#include "framework/menu.h"
#include "framework/window.h"

namespace lookup {

template <class C>
C* Control(fw::Window* window, std::string_view name) {
  fw::Control* found = fw::CheckNil(window)->ControlByName(name);
  if (found == nullptr) return nullptr;
  auto* typed = dynamic_cast<C*>(found);
  if (typed == nullptr) {
    throw fw::RuntimeException("The control " + std::string(name) + " is not of the expected class.");
  }
  return typed;
}

// A name written in the source, usable as a template argument.
template <size_t N>
struct Literal {
  constexpr Literal(const char (&text)[N]) { std::copy_n(text, N, chars); }  // NOLINT: implicit on purpose
  constexpr std::string_view view() const { return {chars, N - 1}; }
  char chars[N];
};

// The same for a name written in the source. The main window answers the line
// rules' queries through these for every line of a run, so each call site
// remembers its last answer together with the window's registry generation,
// and looks afresh whenever the window or its set of controls differ.
template <class C, Literal name>
C* Control(fw::Window* window) {
  struct Remembered {
    const fw::Window* window = nullptr;
    uint64_t generation = 0;
    C* control = nullptr;
  };
  static Remembered last;
  fw::CheckNil(window);
  if (last.window == window && last.generation == window->ControlsGeneration()) return last.control;
  C* found = Control<C>(window, name.view());
  last = Remembered{window, window->ControlsGeneration(), found};
  return found;
}

// Makes one control of class C in `window`, registers it under `name`, and
// applies its text size (when one is given), text unit and record, reaching it
// each time by its name. The order is fixed: registration first, the record
// last, so that no handler attached afterwards runs for a starting value.
template <class C>
void CreateControl(fw::Window& window, const char* name, const std::string& record, double textSize = 0) {
  window.AddControl(name, window.NewControl<C>());
  if (textSize > 0) fw::CheckNil(Control<C>(&window, name))->SetTextSize(textSize);
  fw::CheckNil(Control<C>(&window, name))->SetTextUnit(0);
  fw::SetProperties(*fw::CheckNil(Control<C>(&window, name)), record);
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
