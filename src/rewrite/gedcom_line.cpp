#include "rewrite/gedcom_line.h"

#include <algorithm>

#include "framework/text.h"

// The input stream has already decoded the line to UTF-8, so no conversion is
// needed here. Only the blank separates fields; tabs and every other
// character belong to the field they stand in. The level is field 1 and the
// tag field 2, each upper-cased and then trimmed; the value is what follows
// the second blank, trimmed.
void SplitGedcomLine(std::string_view line, GedcomLine& out) {
  const std::string_view kept = fw::TrimView(line);
  // The line's end is kept beside the trimmed text, for the copy.
  out.text_ = line.substr(static_cast<std::size_t>(kept.data() - line.data()));
  out.textSize_ = kept.size();
  const std::string_view text = out.text();
  const std::size_t first = text.find(' ');
  out.multiField_ = first != std::string_view::npos;
  if (!out.multiField_) {
    out.upper_.clear();
    out.levelSize_ = out.tagBegin_ = out.tagSize_ = out.valueBegin_ = out.valueSize_ = 0;
    return;
  }
  const std::size_t second = std::min(text.find(' ', first + 1), text.size());
  out.upper_.assign(text.substr(0, second));
  for (char& c : out.upper_) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  }
  // What trimming leaves of each field, as a place in the text. (The text is
  // trimmed already, so the level can only end, and the value only begin,
  // with characters to trim.)
  const std::string_view upper = out.upper_;
  out.levelSize_ = fw::TrimView(upper.substr(0, first)).size();
  const std::string_view tag = fw::TrimView(upper.substr(first + 1));
  out.tagBegin_ = static_cast<std::size_t>(tag.data() - upper.data());
  out.tagSize_ = tag.size();
  const std::string_view value = fw::TrimView(text.substr(std::min(second + 1, text.size())));
  out.valueBegin_ = static_cast<std::size_t>(value.data() - text.data());
  out.valueSize_ = value.size();
}

GedcomLine SplitGedcomLine(std::string_view line) {
  GedcomLine result;
  SplitGedcomLine(line, result);
  return result;
}

// Counted when asked for, which the line rules never do: they only need to
// know whether there is a blank at all.
int32_t GedcomLine::fieldCount() const {
  const std::string_view t = text();
  if (t.empty()) return 0;
  return static_cast<int32_t>(std::count(t.begin(), t.end(), ' ') + 1);
}
