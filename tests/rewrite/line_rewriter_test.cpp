#include "rewrite/line_rewriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "option_values.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kReplacement = "1 NOTE Additional private data on file!";

struct Outcome {
  Lines written;
  Lines malformed;
  Lines finished;  // what Finish hands back at the end of the input
};

// Runs lines through the splitter and one rewriter, as the Modify command does.
Outcome Feed(LineRewriter& rewriter, const Lines& lines, const RewriteOptions& options) {
  Outcome o;
  GedcomLine line;
  for (const std::string& raw : lines) {
    SplitGedcomLine(raw, line);
    const RewriteResult r = rewriter.Rewrite(line, options);
    o.written.insert(o.written.end(), r.released.begin(), r.released.end());
    if (r.kind == RewriteResult::Kind::WriteText) {
      EXPECT_FALSE(r.text.empty()) << "for " << raw;
      o.written.emplace_back(r.text);
    } else if (r.kind == RewriteResult::Kind::MalformedLine) {
      o.malformed.emplace_back(r.text);
    }
  }
  o.finished = rewriter.Finish();
  return o;
}

// With the first renaming on for the empty name, which With() can't give.
RewriteValues EmptyFirstName() {
  RewriteValues v = With(kOff, "", "", "NOTE", "Y");
  v.change01 = true;
  v.change01New = "X";
  return v;
}

struct RuleCase {
  const char* name;
  RewriteValues options;
  Lines read;
  Lines written;
  Lines malformed = {};
  Lines finished = {};
  std::string marker = "(DEL)";
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

const Lines kMarked = {"1 NOTE (DEL) private", "", "junk", "1 CONT more", "3 CONC text", "1 BIRT"};
const Lines kNote = {"1 NOTE x", "2 CONT more"};
const Lines kUnclosed = {"1 SSN", "2 DATE 1900", "1 NOTE (DEL) x", "2 CONT y", "1 note keep", "0 TRLR"};

const RuleCase kRuleCases[] = {
    // A marked note ends at the next line that is no CONT or CONC, whatever
    // the levels; single-field lines neither end it nor are written.
    {"marked note replaced", With(kReplace), kMarked, {kReplacement, "1 BIRT"}, {"junk"}},
    {"marked note removed", With(kRemove), kMarked, {"1 BIRT"}, {"junk"}},
    {"marked notes in a row, replacement at the note's level", With(kReplace), {"1 NOTE (DEL) a", "2 note (DEL) b"},
     {kReplacement, "2 NOTE Additional private data on file!"}},
    {"a note record is no note line", With(kRemove), {"0 @N1@ NOTE (DEL) a", "1 CONT b"},
     {"0 @N1@ NOTE (DEL) a", "1 CONT b"}},
    {"unmarked note is kept", With(kReplace | kFold), kNote, kNote},
    {"marker case is ignored", With(kRemove), {"1 NOTE x delete: y", "2 CONT more"}, {}, {}, {}, "Delete:"},
    {"marker must occur whole", With(kRemove), {"1 NOTE Delete x"}, {"1 NOTE Delete x"}, {}, {}, "Delete:"},
    {"empty marker removes no note", With(kRemove), kNote, kNote, {}, {}, ""},
    {"folding", With(kFold), {"1 SSN", "2 DATE 1990", "2 PLAC Here  There", "2 TYPE abc"},
     {"1 SSN [DATE:1990] [PLAC:Here  There] abc"}},
    {"folding with nothing absorbed, lower case", With(kFold), {"1 prop", "2 type Residence"}, {"1 PROP Residence"}},
    {"an SSN line with a value", With(kFold), {"1 SSN 123"}, {"1 SSN 123"}},
    {"a second opening line inside a fold", With(kFold), {"1 SSN", "1 PROP", "2 TYPE t"}, {"1 SSN [PROP:] t"}},
    {"a fold closes across records", With(kFold), {"1 SSN", "0 @I2@ INDI", "1 TYPE t", "1 BIRT"},
     {"1 SSN [@I2@:INDI] t", "1 BIRT"}},
    {"single-field lines do not join a fold", With(kFold), {"1 SSN", "junk", "", std::string(1, '\0'), "2 TYPE t"},
     {"1 SSN t"}, {"junk"}},
    {"renaming", With(kOff, "SSN", "MISS"), {"1 SSN 123", "1 ssn", "1 SSN  x", "1 BIRT"},
     {"1 MISS 123", "1 MISS ", "1 MISS x", "1 BIRT"}},
    {"renaming compares the tag exactly", With(kOff, "ssn", "MISS"), {"1 ssn 1"}, {"1 ssn 1"}},
    // Tags are compared as words of eight bytes: tags and names at and past
    // that size, tags that start late, and tags that only begin like a name.
    {"renaming tags of seven and eight bytes", With(kOff, "_ABCDEF", "X", "_ABCDEFG", "Y"),
     {"1 _abcdef 1", "1 _ABCDEFG 2", "1 _ABCDEFGH 3", "1 _ABCDE 4"}, {"1 X 1", "1 Y 2", "1 _ABCDEFGH 3", "1 _ABCDE 4"}},
    {"renaming tags longer than eight bytes", With(kOff, "_ABCDEFGH", "X"), {"1 _ABCDEFGH 1", "1 _ABCDEFGX 2"},
     {"1 X 1", "1 _ABCDEFGX 2"}},
    {"renaming tags that start at the seventh byte and later", With(kOff, "SSN", "MISS"),
     {"12345 SSN 1", "123456 SSN 2", "1234567 SSN 3", "12345678 SSN 4", "1 SSNX 5"},
     {"12345 MISS 1", "123456 MISS 2", "1234567 MISS 3", "12345678 MISS 4", "1 SSNX 5"}},
    {"an empty tag matches only an empty name", EmptyFirstName(), {"1  NOTE a", "1 NOTE b"}, {"1 X NOTE a", "1 Y b"}},
    {"tags that only begin like NOTE, SSN or TYPE", With(kRemove | kFold),
     {"1 NOTES (DEL) a", "1 SSNX", "1 SS", "1 SSN", "2 TYPES x", "2 TYPE t"},
     {"1 NOTES (DEL) a", "1 SSNX", "1 SS", "1 SSN [TYPES:x] t"}},
    {"both renamings match: the second stands", With(kOff, "SSN", "MISS", "SSN", "EVEN"), {"1 SSN 1"}, {"1 EVEN 1"}},
    {"renamings never chain", With(kOff, "SSN", "PROP", "PROP", "EVEN"), {"1 SSN 1"}, {"1 PROP 1"}},
    {"a fold takes the tags as split, not renamed", With(kFold, "SSN", "MISS", "DATE", "XDAT"),
     {"1 SSN", "2 date 1990", "2 TYPE t"}, {"1 SSN [DATE:1990] t"}},
    {"a marked note inside a fold stays out of it (remove)", With(kRemove | kFold),
     {"1 SSN", "1 NOTE (DEL) x", "2 CONT y", "2 TYPE t"}, {"1 SSN t"}},
    {"a marked note inside a fold stays out of it (replace)", With(kReplace | kFold),
     {"1 SSN", "1 NOTE (DEL) x", "2 CONT y", "2 TYPE t"}, {kReplacement, "1 SSN t"}},
    // The copy is UTF-8, and its header must say so: only level 1 CHAR lines
    // of the first HEAD record change, not the lines under them, nor those of
    // records before or after it.
    {"the header's CHAR line names UTF-8", With(kReplace | kFold, "SSN", "MISS", "PROP", "EVEN"),
     {"0 @I1@ INDI", "1 CHAR ANSEL", "0 HEAD", "1 SOUR x", "1 CHAR UNICODE", "2 VERS 1", "1 char  ansel",
      "2 CHAR ANSI", "1 CHAR", "0 @I2@ INDI", "1 CHAR ASCII"},
     {"0 @I1@ INDI", "1 CHAR ANSEL", "0 HEAD", "1 SOUR x", "1 CHAR UTF-8", "2 VERS 1", "1 CHAR UTF-8", "2 CHAR ANSI",
      "1 CHAR UTF-8", "0 @I2@ INDI", "1 CHAR ASCII"}},
    {"a header that names UTF-8 already", With(kOff), {"0 head", "1 CHAR utf-8", "1 CHAR UTF-8 ", "0 TRLR"},
     {"0 head", "1 CHAR utf-8", "1 CHAR UTF-8 ", "0 TRLR"}},
    // A header without a level 1 CHAR line gets one as its last line, even
    // where a fold holds it back or the input ends inside the header.
    {"a second HEAD record is no header", With(kOff), {"0 HEAD", "0 HEAD", "1 CHAR ANSEL"},
     {"0 HEAD", "1 CHAR UTF-8", "0 HEAD", "1 CHAR ANSEL"}},
    {"a CHAR deeper than level 1 is no CHAR line", With(kOff), {"0 HEAD", "1 SOUR x", "2 CHAR ANSEL", "0 @I1@ INDI"},
     {"0 HEAD", "1 SOUR x", "2 CHAR ANSEL", "1 CHAR UTF-8", "0 @I1@ INDI"}},
    {"a CHAR line that a fold takes is none of the header's", With(kFold),
     {"0 HEAD", "1 PROP", "1 CHAR ANSEL", "1 TYPE x", "0 @I1@ INDI"},
     {"0 HEAD", "1 PROP [CHAR:ANSEL] x", "1 CHAR UTF-8", "0 @I1@ INDI"}},
    {"the input ends inside the header", With(kOff), {"0 HEAD", "1 SOUR x"}, {"0 HEAD", "1 SOUR x"}, {}, {"1 CHAR UTF-8"}},
    {"a fold open when the header ends", With(kFold), {"0 HEAD", "1 SSN", "1 SOUR x", "0 @I1@ INDI", "1 TYPE t"},
     {"0 HEAD", "1 CHAR UTF-8", "1 SSN [SOUR:x] [@I1@:INDI] t"}},
    {"a fold open when the header ends, never closed", With(kFold), {"0 HEAD", "1 PROP", "0 TRLR"}, {"0 HEAD"}, {},
     {"1 PROP", "1 CHAR UTF-8", "0 TRLR"}},
    // What the trim takes off a line's end is written as it stood: text
    // wrapped onto a CONC line keeps the blank between its words.
    {"blanks at a line's end before a CONC line", With(kReplace | kFold),
     {"1 NOTE Social Security Death ", "2 CONC Index", "  2 CONT indented \t"},
     {"1 NOTE Social Security Death ", "2 CONC Index", "2 CONT indented \t"}},
    {"a renamed line keeps its end after a value", With(kOff, "SSN", "MISS"), {"1 SSN 123 ", "1 SSN  ", "1 ssn\t"},
     {"1 MISS 123 ", "1 MISS ", "1 MISS "}},
    {"a replaced note's end goes with it", With(kReplace), {"1 NOTE (DEL) private ", "2 CONC text "}, {kReplacement}},
    // Text broken off a note by a stray line end has no number for a level:
    // it goes with the note. Outside a removed note it is an ordinary line.
    {"a stray line inside a removed note and outside one", With(kReplace),
     {"1 NOTE (DEL) <p>", "<div id=\"j2\"><br />Prior Queen", "2 CONC ; Ruler of", "1 BIRT", "<div> outside"},
     {kReplacement, "1 BIRT", "<div> outside"}},
    {"a stray line in a removed note opens no fold", With(kRemove | kFold), {"1 NOTE (DEL) a", "<b> SSN", "2 TYPE t"},
     {"2 TYPE t"}},
    {"a line at most one level below the note ends it; a deeper one is broken-off text", With(kRemove),
     {"1 NOTE (DEL) a", "1984 we moved", "2 CONC on", "2 SOUR @S1@", "2 CONC c"}, {"2 SOUR @S1@", "2 CONC c"}},
    // A fold that no TYPE line closes gives back, in input order, what it
    // held, each line as it would have been written without the fold.
    {"unclosed fold (remove)", With(kRemove | kFold, "SSN", "MISS", "DATE", "EVEN"), kUnclosed, {}, {},
     {"1 MISS ", "2 EVEN 1900", "1 note keep", "0 TRLR"}},
    {"unclosed fold (replace)", With(kReplace | kFold, "SSN", "MISS", "DATE", "EVEN"), kUnclosed, {}, {},
     {"1 MISS ", "2 EVEN 1900", kReplacement, "1 note keep", "0 TRLR"}},
};

class RuleTable : public ::testing::TestWithParam<RuleCase> {};

TEST_P(RuleTable, WritesWhatTheRulesSay) {
  const RuleCase& c = GetParam();
  LineRewriter rewriter(c.marker);
  const Outcome o = Feed(rewriter, c.read, c.options);
  EXPECT_EQ(o.written, c.written);
  EXPECT_EQ(o.malformed, c.malformed);
  EXPECT_EQ(o.finished, c.finished);
}

INSTANTIATE_TEST_SUITE_P(Cases, RuleTable, ::testing::ValuesIn(kRuleCases));

// Records the name of every query, in order, as the main window would be asked.
class RecordingOptions final : public RewriteOptions {
 public:
  explicit RecordingOptions(RewriteValues v) : v_(std::move(v)) {}
  mutable std::vector<std::string> asked;

  bool chkDelNotes() const override { return Ask("chkDelNotes", v_.chkDelNotes()); }
  bool ChkChange01() const override { return Ask("ChkChange01", v_.ChkChange01()); }
  std::string_view PumChange01_Org() const override { return Ask("PumChange01_Org", v_.PumChange01_Org()); }
  std::string_view PumChange01_New() const override { return Ask("PumChange01_New", v_.PumChange01_New()); }
  bool ChkChange02() const override { return Ask("ChkChange02", v_.ChkChange02()); }
  std::string_view PumChange02_Org() const override { return Ask("PumChange02_Org", v_.PumChange02_Org()); }
  std::string_view PumChange02_New() const override { return Ask("PumChange02_New", v_.PumChange02_New()); }
  bool ChkConvertMS4to6() const override { return Ask("ChkConvertMS4to6", v_.ChkConvertMS4to6()); }
  bool ChkNoteReplace() const override { return Ask("ChkNoteReplace", v_.ChkNoteReplace()); }

 private:
  template <class T>
  T Ask(const char* name, T answer) const {
    asked.emplace_back(name);
    return answer;
  }
  RewriteValues v_;
};

struct QueryCase {
  const char* name;
  RewriteValues options;
  Lines before;  // read first, not recorded
  std::string line;
  Lines asked;
};

void PrintTo(const QueryCase& c, std::ostream* os) { *os << c.name; }

const Lines kPlain = {"chkDelNotes", "ChkChange01", "ChkChange02", "ChkConvertMS4to6"};
const Lines kNoteLine = {"chkDelNotes", "ChkChange01", "ChkChange02", "ChkConvertMS4to6", "ChkNoteReplace"};

const QueryCase kQueryCases[] = {
    {"single-field line", With(kReplace | kFold, "SSN", "MISS", "PROP", "EVEN"), {}, "HEAD", {}},
    {"plain line", With(kReplace | kFold), {}, "1 BIRT", kPlain},
    {"first renaming, tag matches", With(kOff, "SSN", "MISS"), {}, "1 SSN 1",
     {"chkDelNotes", "ChkChange01", "PumChange01_Org", "PumChange01_New", "ChkChange02", "ChkConvertMS4to6"}},
    {"both renamings, only the second matches", With(kOff, "SSN", "MISS", "PROP", "EVEN"), {}, "1 PROP 1",
     {"chkDelNotes", "ChkChange01", "PumChange01_Org", "ChkChange02", "PumChange02_Org", "PumChange02_New",
      "ChkConvertMS4to6"}},
    {"marked note line", With(kReplace), {}, "1 NOTE (DEL) x", kNoteLine},
    {"continuation of a removed note", With(kRemove), {"1 NOTE (DEL) x"}, "2 CONT y", kNoteLine},
    {"marked note with removal off", With(kOff), {}, "1 NOTE (DEL) x", kPlain},
};

class QueryOrder : public ::testing::TestWithParam<QueryCase> {};

TEST_P(QueryOrder, AsksOnlyWhatTheRulesNeedInOrder) {
  const QueryCase& c = GetParam();
  RecordingOptions options(c.options);
  LineRewriter rewriter("(DEL)");
  GedcomLine line;
  for (const std::string& raw : c.before) {
    SplitGedcomLine(raw, line);
    rewriter.Rewrite(line, options);
  }
  options.asked.clear();
  SplitGedcomLine(c.line, line);
  rewriter.Rewrite(line, options);
  EXPECT_EQ(options.asked, c.asked);
}

INSTANTIATE_TEST_SUITE_P(Lines, QueryOrder, ::testing::ValuesIn(kQueryCases));

TEST(Fold, LongFoldClosedByTypeLine) {
  constexpr size_t kAbsorbed = 100000;
  LineRewriter rewriter("(DEL)");
  const RewriteValues options = With(kFold);
  GedcomLine line;
  SplitGedcomLine("1 SSN", line);
  EXPECT_EQ(rewriter.Rewrite(line, options).kind, RewriteResult::Kind::WriteNothing);
  SplitGedcomLine("2 DATE 1900", line);
  size_t written = 0;
  for (size_t i = 0; i < kAbsorbed; ++i) {
    written += rewriter.Rewrite(line, options).kind != RewriteResult::Kind::WriteNothing;
  }
  EXPECT_EQ(written, 0u);

  SplitGedcomLine("2 TYPE end", line);
  const RewriteResult r = rewriter.Rewrite(line, options);
  ASSERT_EQ(r.kind, RewriteResult::Kind::WriteText);
  const std::string entry = "[DATE:1900] ";
  EXPECT_EQ(r.text.size(), std::string("1 SSN ").size() + kAbsorbed * entry.size() + 3);
  EXPECT_TRUE(r.text.starts_with("1 SSN [DATE:1900] [DATE:1900] "));
  EXPECT_TRUE(r.text.ends_with("[DATE:1900] [DATE:1900] end"));
  EXPECT_TRUE(rewriter.Finish().empty());

  // The next fold starts from nothing; Finish leaves none open.
  const Outcome next = Feed(rewriter, {"1 PROP", "2 TYPE t", "1 SSN"}, options);
  EXPECT_EQ(next.written, Lines{"1 PROP t"});
  EXPECT_EQ(next.finished, Lines{"1 SSN"});
  EXPECT_EQ(Feed(rewriter, {"1 BIRT"}, options).written, Lines{"1 BIRT"});
}

}  // namespace
