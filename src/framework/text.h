#pragma once
// String services. Text is std::string holding UTF-8; functions that only read
// take std::string_view.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fw {

// The text encodings that streams and ConvertEncoding know.
enum class TextEncoding { UTF8, UTF16 };

namespace Encodings {
inline constexpr TextEncoding UTF8 = TextEncoding::UTF8;
inline constexpr TextEncoding UTF16 = TextEncoding::UTF16;
}  // namespace Encodings

namespace detail {
class PaddedBuffer;
}

// Text, as the input stream hands it over, followed in memory by at least
// kPadding more bytes that may be read (what they hold is unspecified). Code
// that runs for every line of a big file can then copy and scan it in whole
// blocks without testing at each step where it ends. Only the framework's
// own buffers make them, so the promise can't be given by mistake.
class PaddedText {
 public:
  static constexpr std::size_t kPadding = 128;

  PaddedText() = default;
  std::string_view view() const { return text_; }
  const char* data() const { return text_.data(); }
  std::size_t size() const { return text_.size(); }
  bool empty() const { return text_.empty(); }

 private:
  friend class detail::PaddedBuffer;
  friend class TextInputStream;
  explicit PaddedText(std::string_view text) : text_(text) {}
  std::string_view text_ = std::string_view(kNothing, 0);
  static constexpr char kNothing[kPadding] = {};
};

// True for the characters that Trim removes: blank, tab, CR, LF, VT, FF.
// One test of a bit, since the line splitting asks for every line.
constexpr bool IsTrimmable(char c) {
  constexpr uint64_t kTrimmable = (1ull << ' ') | (1ull << '\t') | (1ull << '\r') | (1ull << '\n') |
                                  (1ull << '\v') | (1ull << '\f');
  const auto code = static_cast<unsigned char>(c);
  return code <= ' ' && ((kTrimmable >> code) & 1) != 0;
}

// `text` without the blanks, tabs and other ASCII white-space controls at
// either end; nothing inside is touched and the character of code 0 stays.
constexpr std::string_view TrimView(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && IsTrimmable(text[first])) ++first;
  while (last > first && IsTrimmable(text[last - 1])) --last;
  return text.substr(first, last - first);
}
std::string Trim(std::string_view text);

// a-z become A-Z; every other character stays as it is (no locale).
std::string Uppercase(std::string_view text);

// The number of fields of `text` at `separator`: 0 for the empty text,
// otherwise the number of separators plus one.
int32_t CountFields(std::string_view text, std::string_view separator);

// Field `n` (counted from 1) of `text` at `separator`; empty when there is
// no such field.
std::string NthField(std::string_view text, std::string_view separator, int32_t n);

// The position (from 1) of the first occurrence of `find` in `source` at or
// after position `start` (0 and 1 both mean the start), ignoring the case of
// the letters a-z; 0 when there is none. An empty `find` occurs nowhere. A
// position past the largest 32-bit value is given as that value.
int32_t InStr(int32_t start, std::string_view source, std::string_view find);

// Whether the two texts are equal when the case of the letters a-z is
// ignored.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// The one-character text of the Unicode code point `code`, as UTF-8.
std::string Chr(uint32_t code);

// `text` (UTF-8, as every string here) re-encoded. To UTF-8 it is returned as
// it stands; to UTF-16 it becomes little-endian UTF-16 bytes without a
// byte-order mark.
std::string ConvertEncoding(std::string_view text, TextEncoding to);

}  // namespace fw
