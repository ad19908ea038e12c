#include "shell/wnd_working.h"

#include <string>

#include "framework/exceptions.h"
#include "shell/lookup.h"
#include "shell/records.h"

WndWorking* WndWorking::instance() { return fw::ImplicitInstance<WndWorking>(kClassName); }

fw::Label* WndWorking::StaticText1() { return lookup::Control<fw::Label, "StaticText1">(this); }

void WndWorking::Layout() {
  // Frame 8 is a dialog-kind window, one that can be shown within a parent.
  static const std::string record = records::Window(365, 64, 8, "Ohne Titel");
  fw::SetProperties(*this, record);
}

void WndWorking::CreateControls() { CreateControls0(); }

void WndWorking::CreateControls0() {
  static const std::string record =
      records::Label(records::Place{"StaticText1", 20, 14, 325, 20, true, true, false, false, 0},
                     "Please wait . . . working . . .", 1, records::kBlack, "");
  lookup::CreateControl<fw::Label>(*this, "StaticText1", record);
}
