#pragma once
// The main window: the option controls and the "Modify .GED" button.

#include <string>

#include "framework/controls.h"
#include "framework/menu.h"
#include "framework/window.h"
#include "rewrite/line_rewriter.h"

class Window1 : public fw::Window {
  Q_OBJECT
 public:
  static constexpr const char* kClassName = "Window1.Window1";

  // The one main window, made (laid out, its controls created, shown) on the
  // first request.
  static Window1* instance();

  // The controls, looked up by name on every call.
  fw::Label* StaticText1();
  fw::GroupBox* GroupBox1();
  fw::CheckBox* chkDelNotes();
  fw::PopupMenu* PumDelNotes();
  fw::TextField* EdfDelNotes();
  fw::CheckBox* ChkNoteReplace();
  fw::PushButton* BtnModify();
  fw::GroupBox* GroupBox2();
  fw::Label* StaticText3();
  fw::PopupMenu* PumChange01_New();
  fw::PopupMenu* PumChange01_Org();
  fw::CheckBox* ChkChange01();
  fw::PopupMenu* PumChange02_New();
  fw::Label* StaticText4();
  fw::PopupMenu* PumChange02_Org();
  fw::CheckBox* ChkChange02();
  fw::CheckBox* ChkConvertMS4to6();
  fw::PopupMenu* PumEncoding();

  // Keeps "Replace with ..." enabled exactly while note removal is checked.
  void chkDelNotes_Action(fw::CheckBox* sender);
  // The Modify command.
  void BtnModify_Action(fw::PushButton* sender);

  // The menu items, found in the window's menu bar by name.
  fw::MenuItem* EditMenu();
  fw::MenuItem* EditSelectAll();
  fw::MenuItem* UntitledMenu0();
  fw::MenuItem* EditClear();
  fw::MenuItem* EditPaste();
  fw::MenuItem* EditCopy();
  fw::MenuItem* EditCut();
  fw::MenuItem* UntitledMenu1();
  fw::MenuItem* EditUndo();
  fw::MenuItem* FileMenu();
  fw::QuitMenuItem* FileQuit();

  // The line rules' view of the option controls, read live at each query.
  const RewriteOptions& Options() const { return options_; }

 protected:
  void Layout() override;
  void CreateControls() override;
  void Event_Close() override;

 private:
  void CreateControls0();

  class LiveOptions final : public RewriteOptions {
   public:
    explicit LiveOptions(Window1& window) : window_(window) {}
    bool chkDelNotes() const override;
    bool ChkChange01() const override;
    std::string_view PumChange01_Org() const override;
    std::string_view PumChange01_New() const override;
    bool ChkChange02() const override;
    std::string_view PumChange02_Org() const override;
    std::string_view PumChange02_New() const override;
    bool ChkConvertMS4to6() const override;
    bool ChkNoteReplace() const override;

   private:
    Window1& window_;
  };

  LiveOptions options_{*this};
};
