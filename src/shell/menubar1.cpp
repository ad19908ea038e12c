#include "shell/menubar1.h"

#include <optional>
#include <string>
#include <type_traits>

#include "framework/exceptions.h"

namespace {

std::shared_ptr<MenuBar1>& implicitInstance() {
  static std::shared_ptr<MenuBar1> held;
  return held;
}

// Builds one item; a title goes onto the bar, an entry under the bar's title
// named `titleName`. A shortcut of nullopt is never set (the separators).
template <class Item>
void AddItem(fw::MenuBar& bar, const char* name, const char* caption, std::optional<const char*> shortcut,
             const char* titleName = nullptr) {
  static_assert(std::is_base_of_v<fw::MenuItem, Item>);
  auto item = std::make_unique<Item>();
  item->SetName(name);
  item->SetAutoEnable(true);
  item->SetText(caption);
  if (shortcut) item->SetKeyboardShortcut(*shortcut);
  if (titleName == nullptr) {
    bar.Append(std::move(item));
  } else {
    fw::CheckNil(bar.Child(titleName))->Append(std::move(item));
  }
}

}  // namespace

std::shared_ptr<MenuBar1> MenuBar1::instance() {
  auto& held = implicitInstance();
  if (!held) {
    // Stored only once the constructor has returned: a failure while the menus
    // are built leaves nothing behind, and the next request starts again.
    held = std::make_shared<MenuBar1>();
  }
  return held;
}

void MenuBar1::ReleaseInstance() { implicitInstance().reset(); }

MenuBar1* MenuBar1::heldInstance() { return implicitInstance().get(); }

MenuBar1::MenuBar1() {
  Untitled0();
  Untitled1();
}

void MenuBar1::Untitled0() {
  AddItem<fw::MenuItem>(*this, "FileMenu", "&Ablage", "");
  AddItem<fw::QuitMenuItem>(*this, "FileQuit", "Beenden", "Cmd+Q", "FileMenu");
}

void MenuBar1::Untitled1() {
  AddItem<fw::MenuItem>(*this, "EditMenu", "&Bearbeiten", "");
  AddItem<fw::MenuItem>(*this, "EditUndo", "&R\u00fcckg\u00e4ngig", "Cmd+Z", "EditMenu");
  AddItem<fw::MenuItem>(*this, "UntitledMenu1", "-", std::nullopt, "EditMenu");
  AddItem<fw::MenuItem>(*this, "EditCut", "&Ausschneiden", "Cmd+X", "EditMenu");
  AddItem<fw::MenuItem>(*this, "EditCopy", "&Kopieren", "Cmd+C", "EditMenu");
  AddItem<fw::MenuItem>(*this, "EditPaste", "&Einf\u00fcgen", "Cmd+V", "EditMenu");
  AddItem<fw::MenuItem>(*this, "EditClear", "&L\u00f6schen", "", "EditMenu");
  AddItem<fw::MenuItem>(*this, "UntitledMenu0", "-", std::nullopt, "EditMenu");
  AddItem<fw::MenuItem>(*this, "EditSelectAll", "&Alles ausw\u00e4hlen", "Cmd+A", "EditMenu");
}
