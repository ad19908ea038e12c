#include "rewrite/gedcom_line.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "framework/text.h"

namespace {

struct SplitCase {
  const char* name;
  std::string line;
  std::string text;
  int32_t fieldCount;
  std::string level;
  std::string tag;
  std::string value;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

const SplitCase kSplitCases[] = {
    {"two fields", "0 HEAD", "0 HEAD", 2, "0", "HEAD", ""},
    {"note record", "0 @N1@ NOTE text", "0 @N1@ NOTE text", 4, "0", "@N1@", "NOTE text"},
    {"two blanks give an empty tag", "1  NOTE x", "1  NOTE x", 4, "1", "", "NOTE x"},
    {"inner runs of blanks stay in the value", "1 NOTE  a   b  ", "1 NOTE  a   b", 7, "1", "NOTE", "a   b"},
    {"indented lower-case line", "   2 cont Some Text  ", "2 cont Some Text", 4, "2", "CONT", "Some Text"},
    {"a tab is no separator", "1\tNOTE x", "1\tNOTE x", 2, "1\tNOTE", "X", ""},
    {"empty line", "", "", 0, "", "", ""},
    {"blanks only", "    ", "", 0, "", "", ""},
    {"one field", "TRLR", "TRLR", 1, "", "", ""},
    {"line-end and tab controls are trimmed", "\t1 NOTE x\r", "1 NOTE x", 3, "1", "NOTE", "x"},
    {"a lone NUL is kept", std::string(1, '\0'), std::string(1, '\0'), 1, "", "", ""},
    {"only a-z are upper-cased", "1 naMé Jürgen", "1 naMé Jürgen", 3, "1", "NAMé", "Jürgen"},
    {"tab next to a blank is trimmed off the field", "1\t NOTE \tx", "1\t NOTE \tx", 3, "1", "NOTE", "x"},
};

class SplitTable : public ::testing::TestWithParam<SplitCase> {};

// Fresh, and into a record that the loop reuses: nothing of an earlier,
// longer line may survive into the next one.
TEST_P(SplitTable, FreshAndReusedRecord) {
  const SplitCase& c = GetParam();
  GedcomLine reused;
  SplitGedcomLine("  01 @LONG_CROSS_REFERENCE@ A value that is longer than any in the table  ", reused);
  SplitGedcomLine(c.line, reused);
  const GedcomLine copy = reused;  // a copy keeps its own level and tag
  SplitGedcomLine("0 TRLR", reused);
  for (const GedcomLine& got : {SplitGedcomLine(c.line), copy}) {
    EXPECT_EQ(got.text(), c.text);
    EXPECT_EQ(got.fieldCount(), c.fieldCount);
    EXPECT_EQ(got.level(), c.level);
    EXPECT_EQ(got.tag(), c.tag);
    EXPECT_EQ(got.value(), c.value);
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, SplitTable, ::testing::ValuesIn(kSplitCases));

// The split walked field by field, as the framework's field functions give
// the fields: the one-pass split must agree with it on every line.
struct Fields {
  std::string text;
  int32_t fieldCount = 0;
  std::string level;
  std::string tag;
  std::string value;

  bool operator==(const Fields&) const = default;
};

void PrintTo(const Fields& f, std::ostream* os) {
  *os << testing::PrintToString(f.text) << " " << f.fieldCount << " " << testing::PrintToString(f.level) << " "
      << testing::PrintToString(f.tag) << " " << testing::PrintToString(f.value);
}

Fields FieldByField(std::string_view line) {
  Fields g;
  g.text = fw::Trim(line);
  g.fieldCount = fw::CountFields(g.text, " ");
  if (g.fieldCount <= 1) return g;
  g.level = fw::Trim(fw::Uppercase(fw::NthField(g.text, " ", 1)));
  g.tag = fw::Trim(fw::Uppercase(fw::NthField(g.text, " ", 2)));
  for (int32_t k = 3; k <= g.fieldCount; ++k) g.value += fw::NthField(g.text, " ", k) + " ";
  g.value = fw::Trim(g.value);
  return g;
}

Fields Split(const GedcomLine& line) {
  return {std::string(line.text()), line.fieldCount(), std::string(line.level()), std::string(line.tag()),
          std::string(line.value())};
}

// Lines of every length up to a few hundred bytes, and a few far longer than
// any real one, with blanks, runs of blanks, other white space, line ends,
// NUL and non-ASCII bytes at random places.
std::vector<std::string> GeneratedLines() {
  std::mt19937 random(20240611);
  std::vector<std::string> pieces = {" ", " ", " ", "  ", "\t", std::string(1, '\0'), "a", "z", "Q", "0", "1",
                                     "@",  ":", "\xC3\xA9", "\xE9", "NOTE", "cont", "\v", "\r", "\n"};
  std::vector<std::string> lines;
  for (int i = 0; i < 20000; ++i) {
    size_t length = random() % 90;
    if (i % 1000 == 0) length = 3000 + random() % 3000;
    std::string line;
    while (line.size() < length) line += pieces[random() % pieces.size()];
    if (i % 1000 == 500) line = "1 NOTE " + std::string(4200 + random() % 100, ' ') + line;  // mostly blanks
    if (i % 1000 == 700) line = std::string(70 + random() % 30, 'x') + line;  // a level past the first block
    lines.push_back(std::move(line));
  }
  return lines;
}

TEST(SplitAgrees, WithFieldByFieldSplitOnGeneratedLines) {
  GedcomLine reused;
  for (const std::string& line : GeneratedLines()) {
    SplitGedcomLine(line, reused);
    ASSERT_EQ(Split(reused), FieldByField(line)) << testing::PrintToString(line);
  }
}

}  // namespace
