#pragma once
// Menu items and menu bars. A menu bar is the root item: its children are the
// menu titles, and each title's children are that menu's entries. The tree is
// shown through Qt's menu bar when it is set on a window.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QMenuBar;

namespace fw {

class MenuItem {
 public:
  MenuItem() = default;
  virtual ~MenuItem() = default;
  MenuItem(const MenuItem&) = delete;
  MenuItem& operator=(const MenuItem&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // The caption: "&" marks the mnemonic; "-" makes a separator.
  const std::string& Text() const { return text_; }
  void SetText(std::string text) { text_ = std::move(text); }

  // The shortcut text as given ("Cmd+Q"); none when it was never set.
  const std::optional<std::string>& KeyboardShortcut() const { return shortcut_; }
  void SetKeyboardShortcut(std::string shortcut) { shortcut_ = std::move(shortcut); }

  bool AutoEnable() const { return autoEnable_; }
  void SetAutoEnable(bool on) { autoEnable_ = on; }

  bool IsSeparator() const { return text_ == "-"; }

  // Adds `item` as the last child; this item owns it from then on.
  MenuItem* Append(std::unique_ptr<MenuItem> item);
  int Count() const { return static_cast<int>(children_.size()); }
  // The child at `index` (from 0), or null.
  MenuItem* Item(int index) const;
  // The direct child with that name, or null.
  MenuItem* Child(std::string_view name) const;
  // The item with that name anywhere below this one, or null.
  MenuItem* Lookup(std::string_view name) const;

 private:
  std::string name_;
  std::string text_;
  std::optional<std::string> shortcut_;
  bool autoEnable_ = false;
  std::vector<std::unique_ptr<MenuItem>> children_;
};

// An item whose action is the framework's quit (QuitApplication).
class QuitMenuItem : public MenuItem {};

class MenuBar : public MenuItem {};

// The Qt key sequence text for a shortcut text: "Cmd+" becomes the platform's
// standard modifier ("Ctrl+" on Linux and Windows). Empty stays empty.
std::string PlatformShortcut(std::string_view shortcut);

// Fills `target` with the titles and entries of `bar`: "&" stays the mnemonic,
// "-" becomes a separator, shortcuts become the platform's, the quit item
// quits through QuitApplication, and the items named EditUndo, EditCut,
// EditCopy, EditPaste, EditClear and EditSelectAll act on the focused text
// field. F10 opens the first menu. Replaces whatever `target` held.
void InstallMenuBar(QMenuBar& target, const MenuBar& bar);

}  // namespace fw
