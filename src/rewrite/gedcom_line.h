#pragma once
// One line of a GEDCOM file split into level, tag and value. Pure C++: no Qt.

#include <cstdint>
#include <string>
#include <string_view>

struct GedcomLine {
  std::string text;        // the line trimmed; case and inner spacing kept
  int32_t fieldCount = 0;  // fields of `text` at single blanks (0 when empty)
  std::string level;       // field 1, upper-cased; empty for a single-field line
  std::string tag;         // field 2, upper-cased; empty for a single-field line
  std::string value;       // everything after the second blank, trimmed

  bool IsMultiField() const { return fieldCount > 1; }
};

// Splits `line` (UTF-8, as the input stream hands it over) in one pass.
// The overload that fills `out` reuses its strings' storage, so that a loop
// over a file allocates nothing per line once the strings are large enough;
// `line` must therefore not lie in `out`'s own strings.
void SplitGedcomLine(std::string_view line, GedcomLine& out);
GedcomLine SplitGedcomLine(std::string_view line);
