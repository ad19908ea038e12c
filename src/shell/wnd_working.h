#pragma once
// The progress window: one line of fixed text, shown within the main window
// while the Modify command runs.

#include "framework/controls.h"
#include "framework/window.h"

class WndWorking : public fw::Window {
  Q_OBJECT
 public:
  static constexpr const char* kClassName = "WndWorking.WndWorking";

  // The progress window, made when the framework holds none.
  static WndWorking* instance();

  fw::Label* StaticText1();

 protected:
  void Layout() override;
  void CreateControls() override;

 private:
  void CreateControls0();
};
