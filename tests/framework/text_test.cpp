// The string services: tables of input and expected result.

#include "framework/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

TEST(TextTest, TrimAndUppercaseTouchOnlyAscii) {
  struct Case { std::string in, trimmed, upper; } cases[] = {
      {"   ", "", "   "},
      {" \t\r\n\v\fa  b \t\r\n\v\f", "a  b", " \t\r\n\v\fA  B \t\r\n\v\f"},
      {" \0z \0 "s, "\0z \0"s, " \0Z \0 "s},  // code 0 is neither white space nor an end
      {"`az{@AZ[", "`az{@AZ[", "`AZ{@AZ["},    // the neighbours of the letters stay
      // No-break space, ü, é and a stray byte: not ASCII, so untouched.
      {"\xC2\xA0m\xC3\xBCller \xC3\xA9\xE9", "\xC2\xA0m\xC3\xBCller \xC3\xA9\xE9", "\xC2\xA0M\xC3\xBCLLER \xC3\xA9\xE9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("input [" + c.in + "]");
    EXPECT_EQ(fw::Trim(c.in), c.trimmed);
    EXPECT_EQ(fw::Uppercase(c.in), c.upper);
  }
}

TEST(TextTest, FieldsAtASeparator) {
  struct Case { std::string text, separator; std::vector<std::string> fields; } cases[] = {
      {"", " ", {}},
      {" 1  NAME", " ", {"", "1", "", "NAME"}},
      {"a, b, c", ", ", {"a", "b", "c"}},
      {"aaa", "aa", {"", "a"}},
      {"abc", "", {"abc"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text [" + c.text + "] separator [" + c.separator + "]");
    const auto count = static_cast<int32_t>(c.fields.size());
    EXPECT_EQ(fw::CountFields(c.text, c.separator), count);
    for (int32_t n = 1; n <= count; ++n) EXPECT_EQ(fw::NthField(c.text, c.separator, n), c.fields[n - 1]) << n;
    for (int32_t n : {count + 1, 0, -1}) EXPECT_EQ(fw::NthField(c.text, c.separator, n), "") << n;
  }
}

TEST(TextTest, InStrFindsIgnoringAsciiCase) {
  struct Case { int32_t start; std::string source, find; int32_t position; } cases[] = {
      {0, "1 NOTE DELETE: x", "delete:", 8},
      {-3, "abc", "C", 3},
      {1, "abc", "", 0},
      {1, "ab", "abc", 0},
      {1, "abcabc", "ABC", 1},
      {4, "abcabc", "abc", 4},
      {5, "abcabc", "abc", 0},
      {1, "M\xC3\x9CLLER", "m\xC3\xBCller", 0},  // Ü and ü are different letters here
      {1, "[\\]", "{|}", 0},                     // the bytes 0x20 apart that are not letters
      // Sources past 16 bytes: a match in a later block, across a block's
      // end, in the tail, and candidates that fail before the one that holds.
      {1, "Source: parish register, entry DELETE: x", "delete:", 32},
      {1, "0123456789abcdeDELETE:", "Delete:", 16},
      {1, "dddddddddddddddddddddddddddddddelete", "DELETE", 31},
      {20, "delete: 0123456789 delete: x", "DELETE:", 20},
      {21, "delete: 0123456789 delete: x", "DELETE:", 0},
      {1, "d0123456789abcdefghijklmnopqrstuvwxyz", "dx", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fw::InStr(c.start, c.source, c.find), c.position)
        << "InStr(" << c.start << ", [" << c.source << "], [" << c.find << "])";
  }
}

// Each code as UTF-8 (Chr) and that UTF-8 as UTF-16 (ConvertEncoding): the
// first code of each length, the last code, and codes that have no UTF-8.
TEST(TextTest, ChrAndConvertEncoding) {
  struct Case { uint32_t code; std::string utf8, utf16; } cases[] = {
      {0x80, "\xC2\x80", "\x80\0"s},
      {0x800, "\xE0\xA0\x80", "\0\x08"s},
      {0x10000, "\xF0\x90\x80\x80", "\0\xD8\0\xDC"s},  // a surrogate pair
      {0x10FFFF, "\xF4\x8F\xBF\xBF", "\xFF\xDB\xFF\xDF"},
      // The replacement character keeps the text valid.
      {0xD800, "\xEF\xBF\xBD", "\xFD\xFF"},
      {0x110000, "\xEF\xBF\xBD", "\xFD\xFF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fw::Chr(c.code), c.utf8) << std::hex << c.code;
    EXPECT_EQ(fw::ConvertEncoding(c.utf8, fw::Encodings::UTF16), c.utf16) << std::hex << c.code;
  }
  // Bytes that aren't UTF-8 are Windows-1252 on the way to UTF-16.
  EXPECT_EQ(fw::ConvertEncoding("a\xE9\x80\xC3", fw::Encodings::UTF16), "a\0\xE9\0\xAC\x20\xC3\0"s);
}

}  // namespace
