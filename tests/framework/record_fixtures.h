#pragma once
// Whole property records, entry by entry in the order each class writes
// them, for the framework's tests.

#include <climits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/property_record.h"

namespace record_fixtures {

using fw::Colour;
using fw::PropertyEntry;

inline std::vector<PropertyEntry> WindowRecord(int32_t width, int32_t height, int32_t frame, const std::string& title) {
  const Colour white{0xFF, 0xFF, 0xFF};
  return {{"Placement", 0},     {"Width", width},        {"Height", height},        {"MinWidth", 64},
          {"MinHeight", 64},    {"MaxWidth", 32000},     {"MaxHeight", 32000},      {"Frame", frame},
          {"Composite", false}, {"HasBackColor", false}, {"BackColor", white},      {"Title", title},
          {"Visible", true},    {"FullScreen", false},   {"MenuBarVisible", true},  {"CloseButton", true},
          {"Resizeable", true}, {"LiveResize", true},    {"MaximizeButton", false}, {"MinimizeButton", true},
          {"MacProcID", 0}};
}

inline const Colour kBlack{0, 0, 0};
inline const Colour kWhite{0xFF, 0xFF, 0xFF};

// Where a control stands: window coordinates, the locked edges as letters
// of "LTRB", its TabIndex and its group box.
struct Place {
  Place(int32_t l, int32_t t, int32_t w, int32_t h, std::string_view locks = "LT", int32_t tab = 0,
        std::string inside = {})
      : left(l),
        top(t),
        width(w),
        height(h),
        lockLeft(locks.find('L') != std::string_view::npos),
        lockTop(locks.find('T') != std::string_view::npos),
        lockRight(locks.find('R') != std::string_view::npos),
        lockBottom(locks.find('B') != std::string_view::npos),
        tabIndex(tab),
        parent(std::move(inside)) {}
  int32_t left, top, width, height;
  bool lockLeft, lockTop, lockRight, lockBottom;
  int32_t tabIndex;
  std::string parent;
};

inline std::vector<PropertyEntry> Common(const std::string& name, const Place& p) {
  return {{"Name", name},
          {"Index", INT32_MIN},
          {"Left", p.left},
          {"Top", p.top},
          {"Width", p.width},
          {"Height", p.height},
          {"LockLeft", p.lockLeft},
          {"LockTop", p.lockTop},
          {"LockRight", p.lockRight},
          {"LockBottom", p.lockBottom},
          {"TabPanelIndex", 0},
          {"TabIndex", p.tabIndex}};
}

inline std::vector<PropertyEntry> Join(std::vector<PropertyEntry> head, std::vector<PropertyEntry> tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

inline const std::string kNone;
inline const std::string kSystem = "System";

inline std::vector<PropertyEntry> LabelRecord(const std::string& name, const Place& p, const std::string& text) {
  return Join(Common(name, p), {{"Text", text},
                                {"TextAlign", 0},
                                {"TextColor", Colour{0x77, 0x07, 0x00}},
                                {"Multiline", false},
                                {"Enabled", true},
                                {"Visible", true},
                                {"Selectable", false},
                                {"Transparent", false},
                                {"HelpTag", kNone},
                                {"AutoDeactivate", true},
                                {"TextFont", kSystem},
                                {"Bold", false},
                                {"Italic", false},
                                {"Underline", false},
                                {"DataSource", kNone},
                                {"DataField", kNone},
                                {"InitialParent", p.parent}});
}

inline std::vector<PropertyEntry> GroupBoxRecord(const std::string& name, const Place& p, const std::string& caption) {
  return Join(Common(name, p), {{"Caption", caption},
                                {"Enabled", true},
                                {"Visible", true},
                                {"HelpTag", kNone},
                                {"AutoDeactivate", true},
                                {"TextFont", kSystem},
                                {"Bold", false},
                                {"Italic", false},
                                {"Underline", false},
                                {"InitialParent", p.parent}});
}

inline std::vector<PropertyEntry> CheckBoxRecord(const std::string& name, const Place& p, const std::string& caption,
                                                 bool checked) {
  return Join(Common(name, p), {{"TabStop", true},
                                {"Caption", caption},
                                {"Enabled", true},
                                {"Visible", true},
                                {"HelpTag", kNone},
                                {"AutoDeactivate", true},
                                {"TextFont", kSystem},
                                {"Bold", false},
                                {"Italic", false},
                                {"Underline", false},
                                {"State", int32_t{checked ? 1 : 0}},
                                {"Value", checked},
                                {"DataSource", kNone},
                                {"DataField", kNone},
                                {"InitialParent", p.parent}});
}

inline std::vector<PropertyEntry> PopupMenuRecord(const std::string& name, const Place& p, const std::string& rows,
                                                  int32_t listIndex) {
  return Join(Common(name, p), {{"TabStop", true},
                                {"Enabled", true},
                                {"InitialValue", rows},
                                {"ListIndex", listIndex},
                                {"Visible", true},
                                {"HelpTag", kNone},
                                {"AutoDeactivate", true},
                                {"TextFont", kSystem},
                                {"Bold", false},
                                {"Italic", false},
                                {"Underline", false},
                                {"DataSource", kNone},
                                {"DataField", kNone},
                                {"InitialParent", p.parent}});
}

inline std::vector<PropertyEntry> TextFieldRecord(const std::string& name, const Place& p, const std::string& text) {
  return Join(Common(name, p), {{"TabStop", true},
                                {"Border", true},
                                {"Password", false},
                                {"UseFocusRing", true},
                                {"TextColor", kBlack},
                                {"BackColor", kWhite},
                                {"Enabled", true},
                                {"Format", kNone},
                                {"Visible", true},
                                {"HelpTag", kNone},
                                {"AutoDeactivate", true},
                                {"TextFont", kSystem},
                                {"Bold", false},
                                {"Italic", false},
                                {"Underline", false},
                                {"CueText", kNone},
                                {"Text", text},
                                {"Mask", kNone},
                                {"ReadOnly", false},
                                {"LimitText", 0},
                                {"AcceptTabs", false},
                                {"Alignment", 0},
                                {"AutomaticallyCheckSpelling", false},
                                {"DataSource", kNone},
                                {"DataField", kNone},
                                {"InitialParent", p.parent}});
}

inline std::vector<PropertyEntry> PushButtonRecord(const std::string& name, const Place& p,
                                                   const std::string& caption) {
  return Join(Common(name, p), {{"TabStop", true},
                                {"Caption", caption},
                                {"Default", false},
                                {"Cancel", false},
                                {"Enabled", true},
                                {"Visible", true},
                                {"HelpTag", kNone},
                                {"AutoDeactivate", true},
                                {"ButtonStyle", 0},
                                {"TextFont", kSystem},
                                {"Bold", false},
                                {"Italic", false},
                                {"Underline", false},
                                {"InitialParent", p.parent}});
}

}  // namespace record_fixtures
