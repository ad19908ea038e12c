#pragma once
// One line of a GEDCOM file split into level, tag and value. Pure C++: no Qt.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The record refers to the line it was split from, which must outlive it: a
// line can be hundreds of megabytes long, and is not copied. Only the level
// and the tag, upper-cased, are its own.
class GedcomLine {
 public:
  // The line trimmed; case and inner spacing kept.
  std::string_view text() const { return std::string_view(text_).substr(0, textSize_); }
  // What the trim took off the line's end (blanks, tabs and the like).
  std::string_view trail() const { return std::string_view(text_).substr(textSize_); }
  // text() and trail(): the line as it is written when no rule changes it.
  // Only its indentation is gone: a blank at the end can be part of the
  // value, as when a text is wrapped onto a CONC line after it.
  std::string_view keptText() const { return text_; }
  // The fields of text() at single blanks (0 when it is empty).
  int32_t fieldCount() const;
  // Field 1, upper-cased; empty for a single-field line.
  std::string_view level() const { return std::string_view(upper_).substr(0, levelSize_); }
  // Field 2, upper-cased; empty for a single-field line.
  std::string_view tag() const { return std::string_view(upper_).substr(tagBegin_, tagSize_); }
  // Everything after the second blank, trimmed; case kept.
  std::string_view value() const { return text().substr(valueBegin_, valueSize_); }

  // fieldCount() > 1.
  bool IsMultiField() const { return multiField_; }

 private:
  friend void SplitGedcomLine(std::string_view line, GedcomLine& out);

  std::string_view text_;     // the line without its indentation
  std::size_t textSize_ = 0;  // text_ without what the trim takes off its end
  // Reused from line to line, so that a loop over a file allocates nothing
  // per line once its longest level and tag have been seen.
  std::string upper_;  // the first two fields of text_, upper-cased
  std::size_t levelSize_ = 0;
  std::size_t tagBegin_ = 0;
  std::size_t tagSize_ = 0;
  std::size_t valueBegin_ = 0;
  std::size_t valueSize_ = 0;
  bool multiField_ = false;
};

// Splits `line` (UTF-8, as the input stream hands it over) into `out`,
// reusing its storage. `out` refers to `line`'s bytes from then on.
void SplitGedcomLine(std::string_view line, GedcomLine& out);
GedcomLine SplitGedcomLine(std::string_view line);
