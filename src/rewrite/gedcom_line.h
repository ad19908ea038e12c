#pragma once
// One line of a GEDCOM file split into level, tag and value. Pure C++: no Qt.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/text.h"

// The record owns its text: its fields are views of its own storage, valid
// while the record lives and is not split into again. Copies carry their own
// storage.
class GedcomLine {
 public:
  // The line trimmed; case and inner spacing kept.
  std::string_view text() const { return {bytes_.data() + textBegin_, textSize_}; }
  // The fields of text() at single blanks (0 when it is empty).
  int32_t fieldCount() const;
  // Field 1, upper-cased; empty for a single-field line.
  std::string_view level() const { return {upper_.data(), levelSize_}; }
  // Field 2, upper-cased; empty for a single-field line.
  std::string_view tag() const { return {upper_.data() + tagBegin_, tagSize_}; }
  // Everything after the second blank, trimmed; case kept.
  std::string_view value() const { return {bytes_.data() + valueBegin_, valueSize_}; }

  // fieldCount() > 1.
  bool IsMultiField() const { return multiField_; }

  // The first eight bytes of tag() as one word in the machine's byte order,
  // zero past the tag's end: with the tag's size, it tests the tag against a
  // short name in one comparison.
  uint64_t tagWord() const { return tagWord_; }

 private:
  friend struct GedcomLineSplitter;

  // The line as read, with room after it for copies in whole blocks; and its
  // first two fields upper-cased. Their sizes only grow, so that a loop over
  // a file allocates nothing per line once the longest line has been seen.
  std::string bytes_;
  std::string upper_;
  std::size_t textBegin_ = 0;
  std::size_t textSize_ = 0;
  bool multiField_ = false;
  std::size_t levelSize_ = 0;
  std::size_t tagBegin_ = 0;
  std::size_t tagSize_ = 0;
  uint64_t tagWord_ = 0;
  std::size_t valueBegin_ = 0;
  std::size_t valueSize_ = 0;
};

// Splits `line` (UTF-8, as the input stream hands it over). The overloads
// that fill `out` reuse its storage; `line` must not lie in it.
void SplitGedcomLine(std::string_view line, GedcomLine& out);
GedcomLine SplitGedcomLine(std::string_view line);
// The same for a line straight from the input stream, which the padding after
// it lets be copied in whole blocks.
void SplitGedcomLine(fw::PaddedText line, GedcomLine& out);
