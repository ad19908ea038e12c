#include "shell/records.h"

#include <climits>
#include <vector>

namespace records {
namespace {

using fw::PropertyEntry;
using Entries = std::vector<PropertyEntry>;

// No control of the system belongs to a control array.
constexpr int32_t kNoControlArray = INT32_MIN;

Entries Common(const Place& p) {
  return {
      {"Name", std::string(p.name)},
      {"Index", kNoControlArray},
      {"Left", p.left},
      {"Top", p.top},
      {"Width", p.width},
      {"Height", p.height},
      {"LockLeft", p.lockLeft},
      {"LockTop", p.lockTop},
      {"LockRight", p.lockRight},
      {"LockBottom", p.lockBottom},
      {"TabPanelIndex", 0},
      {"TabIndex", p.tabIndex},
  };
}

// The font entries that every control carries.
void AddFont(Entries& e) {
  e.insert(e.end(), {{"TextFont", std::string("System")}, {"Bold", false}, {"Italic", false}, {"Underline", false}});
}

void AddData(Entries& e) {
  e.insert(e.end(), {{"DataSource", std::string()}, {"DataField", std::string()}});
}

std::string Encode(Entries&& e, const std::string& parent) {
  e.push_back({"InitialParent", parent});
  return fw::EncodeRecord(e);
}

}  // namespace

std::string Window(int width, int height, int frame, const std::string& title) {
  return fw::EncodeRecord({
      {"Placement", 0},
      {"Width", width},
      {"Height", height},
      {"MinWidth", 64},
      {"MinHeight", 64},
      {"MaxWidth", 32000},
      {"MaxHeight", 32000},
      {"Frame", frame},
      {"Composite", false},
      {"HasBackColor", false},
      {"BackColor", kWhite},
      {"Title", title},
      {"Visible", true},
      {"FullScreen", false},
      {"MenuBarVisible", true},
      {"CloseButton", true},
      {"Resizeable", true},
      {"LiveResize", true},
      {"MaximizeButton", false},
      {"MinimizeButton", true},
      {"MacProcID", 0},
  });
}

std::string Label(const Place& place, const std::string& text, int textAlign, fw::Colour textColor,
                  const std::string& parent) {
  Entries e = Common(place);
  e.insert(e.end(), {
                        {"Text", text},
                        {"TextAlign", textAlign},
                        {"TextColor", textColor},
                        {"Multiline", false},
                        {"Enabled", true},
                        {"Visible", true},
                        {"Selectable", false},
                        {"Transparent", false},
                        {"HelpTag", std::string()},
                        {"AutoDeactivate", true},
                    });
  AddFont(e);
  AddData(e);
  return Encode(std::move(e), parent);
}

std::string GroupBox(const Place& place, const std::string& caption, const std::string& parent) {
  Entries e = Common(place);
  e.insert(e.end(), {
                        {"Caption", caption},
                        {"Enabled", true},
                        {"Visible", true},
                        {"HelpTag", std::string()},
                        {"AutoDeactivate", true},
                    });
  AddFont(e);
  return Encode(std::move(e), parent);
}

std::string CheckBox(const Place& place, const std::string& caption, bool checked, const std::string& parent) {
  Entries e = Common(place);
  e.insert(e.end(), {
                        {"TabStop", true},
                        {"Caption", caption},
                        {"Enabled", true},
                        {"Visible", true},
                        {"HelpTag", std::string()},
                        {"AutoDeactivate", true},
                    });
  AddFont(e);
  e.insert(e.end(), {{"State", checked ? 1 : 0}, {"Value", checked}});
  AddData(e);
  return Encode(std::move(e), parent);
}

std::string PopupMenu(const Place& place, const std::string& rows, int listIndex, const std::string& parent) {
  Entries e = Common(place);
  e.insert(e.end(), {
                        {"TabStop", true},
                        {"Enabled", true},
                        {"InitialValue", rows},
                        {"ListIndex", listIndex},
                        {"Visible", true},
                        {"HelpTag", std::string()},
                        {"AutoDeactivate", true},
                    });
  AddFont(e);
  AddData(e);
  return Encode(std::move(e), parent);
}

std::string TextField(const Place& place, const std::string& text, const std::string& parent) {
  Entries e = Common(place);
  e.insert(e.end(), {
                        {"TabStop", true},
                        {"Border", true},
                        {"Password", false},
                        {"UseFocusRing", true},
                        {"TextColor", kBlack},
                        {"BackColor", kWhite},
                        {"Enabled", true},
                        {"Format", std::string()},
                        {"Visible", true},
                        {"HelpTag", std::string()},
                        {"AutoDeactivate", true},
                    });
  AddFont(e);
  e.insert(e.end(), {
                        {"CueText", std::string()},
                        {"Text", text},
                        {"Mask", std::string()},
                        {"ReadOnly", false},
                        {"LimitText", 0},
                        {"AcceptTabs", false},
                        {"Alignment", 0},
                        {"AutomaticallyCheckSpelling", false},
                    });
  AddData(e);
  return Encode(std::move(e), parent);
}

std::string PushButton(const Place& place, const std::string& caption, const std::string& parent) {
  Entries e = Common(place);
  e.insert(e.end(), {
                        {"TabStop", true},
                        {"Caption", caption},
                        {"Default", false},
                        {"Cancel", false},
                        {"Enabled", true},
                        {"Visible", true},
                        {"HelpTag", std::string()},
                        {"AutoDeactivate", true},
                        {"ButtonStyle", 0},
                    });
  AddFont(e);
  return Encode(std::move(e), parent);
}

}  // namespace records
