#pragma once
// Builders for the property records of the shell's windows and controls. Each
// builder lists its class's entries in record order with the values that all of
// the system's objects of that class share; the arguments are what differs.

#include <string>

#include "framework/property_record.h"

namespace records {

struct Place {
  const char* name;
  int left, top, width, height;
  bool lockLeft, lockTop, lockRight, lockBottom;
  int tabIndex;
};

inline constexpr fw::Colour kBlack{0x00, 0x00, 0x00};
inline constexpr fw::Colour kWhite{0xFF, 0xFF, 0xFF};

std::string Window(int width, int height, int frame, const std::string& title);
std::string Label(const Place& place, const std::string& text, int textAlign, fw::Colour textColor,
                  const std::string& parent);
std::string GroupBox(const Place& place, const std::string& caption, const std::string& parent);
std::string CheckBox(const Place& place, const std::string& caption, bool checked, const std::string& parent);
// `rows` as stored: the rows joined by CR.
std::string PopupMenu(const Place& place, const std::string& rows, int listIndex, const std::string& parent);
std::string TextField(const Place& place, const std::string& text, const std::string& parent);
std::string PushButton(const Place& place, const std::string& caption, const std::string& parent);

}  // namespace records
