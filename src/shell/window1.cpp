#include "shell/window1.h"

#include "framework/application.h"
#include "framework/exceptions.h"
#include "shell/lookup.h"
#include "shell/menubar1.h"
#include "shell/records.h"

namespace {

const char kNotice[] = "Strips private notes. (Version 0.3 - this is alpha software)";
const char kGroupBox1[] = "GroupBox1";
const char kGroupBox2[] = "GroupBox2";
const char kWindow[] = "";
// The change menus' rows as stored: the replacement menus' list ends with a CR.
const char kTagRowsNew[] = "EVEN\rMISE\rMISS\rPROP\rSSN\r";
const char kTagRowsOrg[] = "EVEN\rMISE\rMISS\rPROP\rSSN";
constexpr fw::Colour kNoticeRed{0x77, 0x07, 0x00};

}  // namespace

Window1* Window1::instance() { return fw::ImplicitInstance<Window1>(kClassName); }

fw::Label* Window1::StaticText1() { return lookup::Control<fw::Label, "StaticText1">(this); }
fw::GroupBox* Window1::GroupBox1() { return lookup::Control<fw::GroupBox, "GroupBox1">(this); }
fw::CheckBox* Window1::chkDelNotes() { return lookup::Control<fw::CheckBox, "chkDelNotes">(this); }
fw::PopupMenu* Window1::PumDelNotes() { return lookup::Control<fw::PopupMenu, "PumDelNotes">(this); }
fw::TextField* Window1::EdfDelNotes() { return lookup::Control<fw::TextField, "EdfDelNotes">(this); }
fw::CheckBox* Window1::ChkNoteReplace() { return lookup::Control<fw::CheckBox, "ChkNoteReplace">(this); }
fw::PushButton* Window1::BtnModify() { return lookup::Control<fw::PushButton, "BtnModify">(this); }
fw::GroupBox* Window1::GroupBox2() { return lookup::Control<fw::GroupBox, "GroupBox2">(this); }
fw::Label* Window1::StaticText3() { return lookup::Control<fw::Label, "StaticText3">(this); }
fw::PopupMenu* Window1::PumChange01_New() { return lookup::Control<fw::PopupMenu, "PumChange01_New">(this); }
fw::PopupMenu* Window1::PumChange01_Org() { return lookup::Control<fw::PopupMenu, "PumChange01_Org">(this); }
fw::CheckBox* Window1::ChkChange01() { return lookup::Control<fw::CheckBox, "ChkChange01">(this); }
fw::PopupMenu* Window1::PumChange02_New() { return lookup::Control<fw::PopupMenu, "PumChange02_New">(this); }
fw::Label* Window1::StaticText4() { return lookup::Control<fw::Label, "StaticText4">(this); }
fw::PopupMenu* Window1::PumChange02_Org() { return lookup::Control<fw::PopupMenu, "PumChange02_Org">(this); }
fw::CheckBox* Window1::ChkChange02() { return lookup::Control<fw::CheckBox, "ChkChange02">(this); }
fw::CheckBox* Window1::ChkConvertMS4to6() { return lookup::Control<fw::CheckBox, "ChkConvertMS4to6">(this); }
fw::PopupMenu* Window1::PumEncoding() { return lookup::Control<fw::PopupMenu, "PumEncoding">(this); }

fw::MenuItem* Window1::EditMenu() { return lookup::MenuItem<fw::MenuItem>(this, "EditMenu"); }
fw::MenuItem* Window1::EditSelectAll() { return lookup::MenuItem<fw::MenuItem>(this, "EditSelectAll"); }
fw::MenuItem* Window1::UntitledMenu0() { return lookup::MenuItem<fw::MenuItem>(this, "UntitledMenu0"); }
fw::MenuItem* Window1::EditClear() { return lookup::MenuItem<fw::MenuItem>(this, "EditClear"); }
fw::MenuItem* Window1::EditPaste() { return lookup::MenuItem<fw::MenuItem>(this, "EditPaste"); }
fw::MenuItem* Window1::EditCopy() { return lookup::MenuItem<fw::MenuItem>(this, "EditCopy"); }
fw::MenuItem* Window1::EditCut() { return lookup::MenuItem<fw::MenuItem>(this, "EditCut"); }
fw::MenuItem* Window1::UntitledMenu1() { return lookup::MenuItem<fw::MenuItem>(this, "UntitledMenu1"); }
fw::MenuItem* Window1::EditUndo() { return lookup::MenuItem<fw::MenuItem>(this, "EditUndo"); }
fw::MenuItem* Window1::FileMenu() { return lookup::MenuItem<fw::MenuItem>(this, "FileMenu"); }
fw::QuitMenuItem* Window1::FileQuit() { return lookup::MenuItem<fw::QuitMenuItem>(this, "FileQuit"); }

void Window1::Layout() {
  // The menu bar first, then the window's own record.
  SetMenuBar(MenuBar1::instance());
  static const std::string record = records::Window(576, 320, 0, "Tavelock");
  fw::SetProperties(*this, record);
}

void Window1::CreateControls() { CreateControls0(); }

void Window1::CreateControls0() {
  using records::Place;
  // Creation order is neither the tab order nor the visual order; it is kept
  // because it decides which group box exists before its children.
  lookup::CreateControl<fw::Label>(*this, "StaticText1",
                           records::Label(Place{"StaticText1", 8, 302, 308, 12, true, false, false, true, 0}, kNotice, 0,
                                          kNoticeRed, kWindow),
                           10);
  lookup::CreateControl<fw::GroupBox>(
      *this, "GroupBox1",
      records::GroupBox(Place{"GroupBox1", 8, 9, 560, 81, true, true, false, false, 1}, "Remove these entries:", kWindow));
  lookup::CreateControl<fw::CheckBox>(*this, "chkDelNotes",
                              records::CheckBox(Place{"chkDelNotes", 20, 37, 261, 22, true, true, false, false, 0},
                                                "Notes starting with the following tag:", true, kGroupBox1));
  fw::CheckNil(chkDelNotes())->AddActionHandler([this](fw::Control& sender) {
    chkDelNotes_Action(dynamic_cast<fw::CheckBox*>(&sender));
  });
  lookup::CreateControl<fw::PopupMenu>(*this, "PumDelNotes",
                               records::PopupMenu(Place{"PumDelNotes", 285, 37, 140, 22, true, true, false, false, 1},
                                                  "User defined ->\r(DEL)", 0, kGroupBox1));
  lookup::CreateControl<fw::TextField>(
      *this, "EdfDelNotes",
      records::TextField(Place{"EdfDelNotes", 437, 37, 120, 24, true, true, false, false, 2}, "DELETE:", kGroupBox1));
  lookup::CreateControl<fw::CheckBox>(*this, "ChkNoteReplace",
                              records::CheckBox(Place{"ChkNoteReplace", 48, 61, 309, 20, true, true, false, false, 3},
                                                "Replace with 'Additional private data on file!'", true, kGroupBox1));
  lookup::CreateControl<fw::PushButton>(
      *this, "BtnModify",
      records::PushButton(Place{"BtnModify", 437, 276, 120, 24, true, true, false, false, 2}, "Modify .GED", kWindow));
  fw::CheckNil(BtnModify())->AddActionHandler([this](fw::Control& sender) {
    BtnModify_Action(dynamic_cast<fw::PushButton*>(&sender));
  });
  lookup::CreateControl<fw::GroupBox>(
      *this, "GroupBox2",
      records::GroupBox(Place{"GroupBox2", 8, 102, 560, 88, true, true, false, false, 3}, "Change fields:", kWindow));
  lookup::CreateControl<fw::Label>(*this, "StaticText3",
                           records::Label(Place{"StaticText3", 285, 128, 42, 20, true, true, false, false, 2}, "into", 1,
                                          records::kBlack, kGroupBox2));
  lookup::CreateControl<fw::PopupMenu>(
      *this, "PumChange01_New",
      records::PopupMenu(Place{"PumChange01_New", 339, 127, 100, 20, true, true, false, false, 3}, kTagRowsNew, 2,
                         kGroupBox2));
  lookup::CreateControl<fw::PopupMenu>(
      *this, "PumChange01_Org",
      records::PopupMenu(Place{"PumChange01_Org", 173, 127, 100, 20, true, true, false, false, 1}, kTagRowsOrg, 4,
                         kGroupBox2));
  lookup::CreateControl<fw::CheckBox>(*this, "ChkChange01",
                              records::CheckBox(Place{"ChkChange01", 20, 127, 148, 20, true, true, false, false, 4},
                                                "Change entry from:", false, kGroupBox2));
  lookup::CreateControl<fw::PopupMenu>(
      *this, "PumChange02_New",
      records::PopupMenu(Place{"PumChange02_New", 339, 159, 100, 20, true, true, false, false, 5}, kTagRowsNew, 0,
                         kGroupBox2));
  lookup::CreateControl<fw::Label>(*this, "StaticText4",
                           records::Label(Place{"StaticText4", 285, 160, 42, 20, true, true, false, false, 6}, "into", 1,
                                          records::kBlack, kGroupBox2));
  lookup::CreateControl<fw::PopupMenu>(
      *this, "PumChange02_Org",
      records::PopupMenu(Place{"PumChange02_Org", 173, 159, 100, 20, true, true, false, false, 7}, kTagRowsOrg, 3,
                         kGroupBox2));
  lookup::CreateControl<fw::CheckBox>(*this, "ChkChange02",
                              records::CheckBox(Place{"ChkChange02", 20, 159, 148, 20, true, true, false, false, 8},
                                                "Change entry from:", false, kGroupBox2));
  lookup::CreateControl<fw::CheckBox>(
      *this, "ChkConvertMS4to6",
      records::CheckBox(Place{"ChkConvertMS4to6", 20, 202, 307, 20, true, true, false, false, 4},
                        "Change SSN and PROP from MS4 to MS6", true, kWindow));
  lookup::CreateControl<fw::PopupMenu>(*this, "PumEncoding",
                               records::PopupMenu(Place{"PumEncoding", 328, 277, 97, 20, true, true, false, false, 5},
                                                  "UTF-8\rUTF-16", 1, kWindow));
}

void Window1::chkDelNotes_Action(fw::CheckBox* sender) {
  fw::CheckBox* replace = fw::CheckNil(ChkNoteReplace());
  fw::CheckNil(sender);
  replace->SetEnabled(sender->Value());
}

void Window1::Event_Close() { fw::Quit(0); }

bool Window1::LiveOptions::chkDelNotes() const { return fw::CheckNil(window_.chkDelNotes())->Value(); }
bool Window1::LiveOptions::ChkChange01() const { return fw::CheckNil(window_.ChkChange01())->Value(); }
std::string_view Window1::LiveOptions::PumChange01_Org() const { return fw::CheckNil(window_.PumChange01_Org())->Text(); }
std::string_view Window1::LiveOptions::PumChange01_New() const { return fw::CheckNil(window_.PumChange01_New())->Text(); }
bool Window1::LiveOptions::ChkChange02() const { return fw::CheckNil(window_.ChkChange02())->Value(); }
std::string_view Window1::LiveOptions::PumChange02_Org() const { return fw::CheckNil(window_.PumChange02_Org())->Text(); }
std::string_view Window1::LiveOptions::PumChange02_New() const { return fw::CheckNil(window_.PumChange02_New())->Text(); }
bool Window1::LiveOptions::ChkConvertMS4to6() const { return fw::CheckNil(window_.ChkConvertMS4to6())->Value(); }
bool Window1::LiveOptions::ChkNoteReplace() const { return fw::CheckNil(window_.ChkNoteReplace())->Value(); }
