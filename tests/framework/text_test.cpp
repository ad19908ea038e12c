// The string services: tables of input and expected result.

#include "framework/text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using namespace std::string_literals;
using namespace std::string_view_literals;

namespace {

TEST(TextTest, TrimRemovesWhiteSpaceAtBothEndsOnly) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"   ", ""},
      {"abc", "abc"},
      {" \t\r\n\v\fabc \t\r\n\v\f", "abc"},
      {"  a  b  ", "a  b"},
      {"a\tb", "a\tb"},
      {"\0abc \0"s, "\0abc \0"s},  // code 0 is not white space
      {" \0 "s, "\0"s},
      {"\xC2\xA0x\xC2\xA0", "\xC2\xA0x\xC2\xA0"},  // no-break space is kept
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fw::Trim(c.in), c.out) << "input: [" << c.in << "]";
    EXPECT_EQ(fw::TrimView(c.in), c.out) << "input: [" << c.in << "]";
  }
}

TEST(TextTest, UppercaseChangesOnlyAsciiLetters) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"1 name john /smith/", "1 NAME JOHN /SMITH/"},
      {"AbZz@[`{", "ABZZ@[`{"},
      {"m\xC3\xBCller \xC3\xA9", "M\xC3\xBCLLER \xC3\xA9"},  // ü and é stay
      {"\xE9t\xE9", "\xE9T\xE9"},                            // stray bytes stay
      {"a\0b"s, "A\0B"s},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fw::Uppercase(c.in), c.out);
    std::string inPlace = c.in;
    fw::UppercaseInPlace(inPlace);
    EXPECT_EQ(inPlace, c.out);
  }
}

TEST(TextTest, FieldsAtASeparator) {
  struct Case {
    std::string text;
    std::string separator;
    int32_t count;
    std::vector<std::string> fields;  // fields 1..count
  } cases[] = {
      {"", " ", 0, {}},
      {"0", " ", 1, {"0"}},
      {"1 NAME John", " ", 3, {"1", "NAME", "John"}},
      {"1  NAME", " ", 3, {"1", "", "NAME"}},
      {" 1 ", " ", 3, {"", "1", ""}},
      {" ", " ", 2, {"", ""}},
      {"a, b, c", ", ", 3, {"a", "b", "c"}},
      {"a,,", ",", 3, {"a", "", ""}},
      {"aaa", "aa", 2, {"", "a"}},
      {"abc", "", 1, {"abc"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text [" + c.text + "] separator [" + c.separator + "]");
    EXPECT_EQ(fw::CountFields(c.text, c.separator), c.count);
    for (int32_t n = 1; n <= c.count; ++n) EXPECT_EQ(fw::NthField(c.text, c.separator, n), c.fields[n - 1]) << n;
    EXPECT_EQ(fw::NthField(c.text, c.separator, c.count + 1), "");
    EXPECT_EQ(fw::NthField(c.text, c.separator, 0), "");
    EXPECT_EQ(fw::NthField(c.text, c.separator, -1), "");
  }
}

TEST(TextTest, InStrFindsIgnoringAsciiCase) {
  struct Case {
    int32_t start;
    std::string source;
    std::string find;
    int32_t position;
  } cases[] = {
      {1, "1 NOTE DELETE: x", "delete:", 8},
      {0, "1 NOTE DELETE: x", "DELETE:", 8},
      {1, "abc", "", 0},
      {1, "", "a", 0},
      {1, "abcabc", "ABC", 1},
      {2, "abcabc", "abc", 4},
      {4, "abcabc", "abc", 4},
      {5, "abcabc", "abc", 0},
      {7, "abcabc", "c", 0},
      {100, "abc", "c", 0},
      {-3, "abc", "c", 3},
      {1, "ab", "abc", 0},
      {1, "(DEL) x", "(del)", 1},
      {1, "M\xC3\x9CLLER", "m\xC3\xBCller", 0},  // Ü and ü are different letters here
      {1, "x M\xC3\x9Cller", "m\xC3\x9C", 3},
      {1, "[\\]", "{|}", 0},  // the bytes 0x20 apart that are not letters
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fw::InStr(c.start, c.source, c.find), c.position)
        << "InStr(" << c.start << ", [" << c.source << "], [" << c.find << "])";
  }
}

TEST(TextTest, ChrGivesUtf8) {
  struct Case {
    uint32_t code;
    std::string text;
  } cases[] = {
      {0, "\0"s},
      {0x41, "A"},
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0xE9, "\xC3\xA9"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0x20AC, "\xE2\x82\xAC"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
      // No UTF-8 exists for these; the replacement character keeps the text valid.
      {0xD800, "\xEF\xBF\xBD"},
      {0xDFFF, "\xEF\xBF\xBD"},
      {0x110000, "\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) EXPECT_EQ(fw::Chr(c.code), c.text) << std::hex << c.code;
}

TEST(TextTest, ConvertEncoding) {
  struct Case {
    std::string text;
    fw::TextEncoding to;
    std::string bytes;
  } cases[] = {
      {"", fw::Encodings::UTF16, ""},
      {"A\n", fw::Encodings::UTF16, "A\0\n\0"s},
      {"\xC3\xA9\xE2\x82\xAC", fw::Encodings::UTF16, "\xE9\x00\xAC\x20"s},
      {"\xF0\x9F\x98\x80", fw::Encodings::UTF16, "\x3D\xD8\x00\xDE"s},  // U+1F600 as a surrogate pair
      {"\xE9", fw::Encodings::UTF16, "\xE9\x00"s},                      // a stray byte as Windows-1252
      {"\x80", fw::Encodings::UTF16, "\xAC\x20"s},
      {"a\xE9\x80", fw::Encodings::UTF8, "a\xE9\x80"},  // to UTF-8: unchanged
  };
  for (const Case& c : cases) EXPECT_EQ(fw::ConvertEncoding(c.text, c.to), c.bytes) << c.text;
}

}  // namespace
