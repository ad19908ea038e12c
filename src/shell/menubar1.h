#pragma once
// The application's one menu bar, with its German File and Edit menus. The
// application and the main window share its one instance.

#include <memory>

#include "framework/menu.h"

class MenuBar1 : public fw::MenuBar {
 public:
  // The one instance, built on the first request.
  static std::shared_ptr<MenuBar1> instance();
  // Drops the module's reference at shut-down; the next request builds anew.
  static void ReleaseInstance();
  // The instance the module holds, or null (for shut-down checks).
  static MenuBar1* heldInstance();

  // Builds both menus. Reached through instance().
  MenuBar1();

 private:
  void Untitled0();  // File menu
  void Untitled1();  // Edit menu
};
