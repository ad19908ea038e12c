#include "rewrite/line_rewriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string kReplacement = "1 NOTE Additional private data on file!";

// Every option unchecked; the cases switch on what they name.
RewriteValues NoOptions() {
  RewriteValues v;
  v.delNotes = false;
  v.change01 = false;
  v.change02 = false;
  v.convertMS4to6 = false;
  v.noteReplace = false;
  return v;
}
RewriteValues RemoveMode() {
  RewriteValues v = NoOptions();
  v.delNotes = true;
  return v;
}
RewriteValues ReplaceMode() {
  RewriteValues v = RemoveMode();
  v.noteReplace = true;
  return v;
}
RewriteValues Fold(RewriteValues v = NoOptions()) {
  v.convertMS4to6 = true;
  return v;
}
RewriteValues Change1(RewriteValues v, std::string org, std::string to) {
  v.change01 = true;
  v.change01Org = std::move(org);
  v.change01New = std::move(to);
  return v;
}
RewriteValues Change2(RewriteValues v, std::string org, std::string to) {
  v.change02 = true;
  v.change02Org = std::move(org);
  v.change02New = std::move(to);
  return v;
}
RewriteValues AllOn() { return Change2(Change1(Fold(ReplaceMode()), "SSN", "MISS"), "PROP", "EVEN"); }

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
    switch (r.kind) {
      case RewriteResult::Kind::WriteText:
        EXPECT_FALSE(r.text.empty()) << "for " << raw;
        o.written.emplace_back(r.text);
        break;
      case RewriteResult::Kind::MalformedLine:
        o.malformed.emplace_back(r.text);
        break;
      case RewriteResult::Kind::WriteNothing:
        break;
    }
  }
  o.finished = rewriter.Finish();
  return o;
}

Outcome Feed(const Lines& lines, const RewriteOptions& options, std::string delTag = "(DEL)") {
  LineRewriter rewriter(std::move(delTag));
  return Feed(rewriter, lines, options);
}

struct RuleCase {
  const char* name;
  RewriteValues options;
  Lines read;
  Lines written;
  Lines malformed = {};
  Lines finished = {};
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

const RuleCase kRuleCases[] = {
    {"marked note replaced", ReplaceMode(), {"1 NOTE (DEL) private", "2 CONT more", "2 CONC text", "1 BIRT"},
     {kReplacement, "1 BIRT"}},
    {"marked note removed", RemoveMode(), {"1 NOTE (DEL) private", "2 CONT more", "2 CONC text", "1 BIRT"},
     {"1 BIRT"}},
    {"marker anywhere in the value", RemoveMode(), {"1 NOTE see (DEL)", "1 NOTE (DEL)", "1 NOTE DEL"},
     {"1 NOTE DEL"}},
    {"two marked notes in a row", ReplaceMode(), {"1 NOTE (DEL) a", "1 NOTE (DEL) b"}, {kReplacement, kReplacement}},
    {"replacement takes the level, upper-cased", ReplaceMode(), {"2 note (DEL) x"},
     {"2 NOTE Additional private data on file!"}},
    {"a note record is no note line", RemoveMode(), {"0 @N1@ NOTE (DEL) a", "1 CONT b"},
     {"0 @N1@ NOTE (DEL) a", "1 CONT b"}},
    {"continuation lines at any level", RemoveMode(), {"1 NOTE (DEL) a", "1 CONT b", "3 CONC c", "1 DEAT"},
     {"1 DEAT"}},
    {"empty line inside a removed note", RemoveMode(), {"1 NOTE (DEL) a", "", "2 CONT b", "1 DEAT"}, {"1 DEAT"}},
    {"malformed line inside a removed note", RemoveMode(), {"1 NOTE (DEL) a", "junk", "2 CONT b", "1 DEAT"},
     {"1 DEAT"}, {"junk"}},
    {"unmarked note is kept", Fold(ReplaceMode()), {"1 NOTE public", "2 CONT more"}, {"1 NOTE public", "2 CONT more"}},
    {"folding", Fold(), {"1 SSN", "2 DATE 1990", "2 PLAC Here  There", "2 TYPE abc"},
     {"1 SSN [DATE:1990] [PLAC:Here  There] abc"}},
    {"folding with nothing absorbed, lower case", Fold(), {"1 prop", "2 type Residence"}, {"1 PROP Residence"}},
    {"folding with an empty TYPE value", Fold(), {"1 PROP", "2 TYPE"}, {"1 PROP "}},
    {"an SSN line with a value", Fold(), {"1 SSN 123"}, {"1 SSN 123"}},
    {"a second opening line inside a fold", Fold(), {"1 SSN", "1 PROP", "2 TYPE t"}, {"1 SSN [PROP:] t"}},
    {"a fold closes across records", Fold(), {"1 SSN", "0 @I2@ INDI", "1 TYPE t", "1 BIRT"},
     {"1 SSN [@I2@:INDI] t", "1 BIRT"}},
    {"an unmarked note is folded", Fold(ReplaceMode()), {"1 SSN", "1 NOTE hello", "2 TYPE t"},
     {"1 SSN [NOTE:hello] t"}},
    {"single-field lines do not join a fold", Fold(), {"1 SSN", "junk", "", "2 TYPE t"}, {"1 SSN t"}, {"junk"}},
    {"a fold that is never closed gives its lines back", Fold(), {"1 SSN", "1 BIRT", "2 DATE 1900", "0 TRLR"}, {},
     {}, {"1 SSN", "1 BIRT", "2 DATE 1900", "0 TRLR"}},
    {"folding off", NoOptions(), {"1 SSN", "2 TYPE abc"}, {"1 SSN", "2 TYPE abc"}},
    {"renaming", Change1(NoOptions(), "SSN", "MISS"), {"1 SSN 123", "1 ssn", "1 SSN  x", "1 BIRT"},
     {"1 MISS 123", "1 MISS ", "1 MISS x", "1 BIRT"}},
    {"renaming compares the tag exactly", Change1(NoOptions(), "ssn", "MISS"), {"1 ssn 1"}, {"1 ssn 1"}},
    {"both renamings match: the second stands", Change2(Change1(NoOptions(), "SSN", "MISS"), "SSN", "EVEN"),
     {"1 SSN 1"}, {"1 EVEN 1"}},
    {"renamings never chain", Change2(Change1(NoOptions(), "SSN", "PROP"), "PROP", "EVEN"), {"1 SSN 1"},
     {"1 PROP 1"}},
    {"renaming and folding together", Change1(Fold(), "SSN", "MISS"), {"1 SSN", "2 TYPE t"}, {"1 SSN t"}},
    {"absorbed lines carry their tag as split", Change1(Fold(), "DATE", "XDAT"), {"1 SSN", "2 date 1990", "2 TYPE t"},
     {"1 SSN [DATE:1990] t"}},
    {"a marked note inside a fold stays out of it (remove)", Fold(RemoveMode()),
     {"1 SSN", "1 NOTE (DEL) x", "2 CONT y", "2 TYPE t"}, {"1 SSN t"}},
    {"a marked note inside a fold stays out of it (replace)", Fold(ReplaceMode()),
     {"1 SSN", "1 NOTE (DEL) x", "2 CONT y", "2 TYPE t"}, {kReplacement, "1 SSN t"}},
    {"single-field lines", AllOn(), {"HEAD", "", "   ", std::string(1, '\0')}, {}, {"HEAD"}},
    {"a line that no rule touches", AllOn(), {"  1 NOTE a   b  "}, {"1 NOTE a   b"}},
};

class RuleTable : public ::testing::TestWithParam<RuleCase> {};

TEST_P(RuleTable, WritesWhatTheRulesSay) {
  const RuleCase& c = GetParam();
  const Outcome o = Feed(c.read, c.options);
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

const QueryCase kQueryCases[] = {
    {"single-field line", AllOn(), {}, "HEAD", {}},
    {"empty line", AllOn(), {}, "", {}},
    {"plain line", NoOptions(), {}, "1 BIRT", kPlain},
    {"plain line, all on", Fold(ReplaceMode()), {}, "1 BIRT", kPlain},
    {"first renaming, tag matches", Change1(NoOptions(), "SSN", "MISS"), {}, "1 SSN 1",
     {"chkDelNotes", "ChkChange01", "PumChange01_Org", "PumChange01_New", "ChkChange02", "ChkConvertMS4to6"}},
    {"first renaming, tag differs", Change1(NoOptions(), "SSN", "MISS"), {}, "1 BIRT",
     {"chkDelNotes", "ChkChange01", "PumChange01_Org", "ChkChange02", "ChkConvertMS4to6"}},
    {"both renamings, second matches", Change2(Change1(NoOptions(), "SSN", "MISS"), "PROP", "EVEN"), {}, "1 PROP 1",
     {"chkDelNotes", "ChkChange01", "PumChange01_Org", "ChkChange02", "PumChange02_Org", "PumChange02_New",
      "ChkConvertMS4to6"}},
    {"marked note line", ReplaceMode(), {}, "1 NOTE (DEL) x",
     {"chkDelNotes", "ChkChange01", "ChkChange02", "ChkConvertMS4to6", "ChkNoteReplace"}},
    {"continuation of a removed note", RemoveMode(), {"1 NOTE (DEL) x"}, "2 CONT y",
     {"chkDelNotes", "ChkChange01", "ChkChange02", "ChkConvertMS4to6", "ChkNoteReplace"}},
    {"line after a removed note", ReplaceMode(), {"1 NOTE (DEL) x", "2 CONT y"}, "1 BIRT", kPlain},
    {"marked note with removal off", NoOptions(), {}, "1 NOTE (DEL) x", kPlain},
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

struct MarkerCase {
  const char* name;
  std::string marker;
  std::string line;
  bool removed;
};

void PrintTo(const MarkerCase& c, std::ostream* os) { *os << c.name; }

const MarkerCase kMarkerCases[] = {
    {"lower-case marker, upper-case note", "(del)", "1 NOTE (DEL) x", true},
    {"lower-case marker, mixed-case note", "(del)", "1 NOTE see (Del)", true},
    {"mixed-case marker, upper-case note", "Delete:", "1 NOTE DELETE: x", true},
    {"mixed-case marker, lower-case note", "Delete:", "1 NOTE x delete: y", true},
    {"marker must occur whole", "Delete:", "1 NOTE Delete x", false},
    {"marker in a value other than a note's", "(del)", "1 BIRT (DEL)", false},
    {"empty marker removes no note", "", "1 NOTE anything", false},
    {"empty marker, empty note", "", "1 NOTE", false},
};

class Marker : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(Marker, DecidesWhichNotesGo) {
  const MarkerCase& c = GetParam();
  const Outcome o = Feed({c.line, "2 CONT more"}, RemoveMode(), c.marker);
  const Lines kept = {c.line, "2 CONT more"};
  EXPECT_EQ(o.written, c.removed ? Lines{} : kept);
}

INSTANTIATE_TEST_SUITE_P(Lines, Marker, ::testing::ValuesIn(kMarkerCases));

TEST(Fold, LongFoldClosedByTypeLine) {
  constexpr size_t kAbsorbed = 100000;
  LineRewriter rewriter("(DEL)");
  const RewriteValues options = Fold();
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
  EXPECT_FALSE(rewriter.msPending());
  EXPECT_TRUE(rewriter.msBuffer().empty());
  EXPECT_TRUE(rewriter.Finish().empty());

  // The next fold starts from nothing.
  EXPECT_EQ(Feed(rewriter, {"1 PROP", "2 TYPE t"}, options).written, Lines{"1 PROP t"});
}

TEST(Fold, UncheckingFoldingPausesAnOpenFold) {
  RewriteValues options = Fold();
  LineRewriter rewriter("(DEL)");
  GedcomLine line;
  auto feed = [&](const char* raw) {
    SplitGedcomLine(raw, line);
    const RewriteResult r = rewriter.Rewrite(line, options);
    std::string written;
    for (const std::string& held : r.released) written += held + "; ";
    return written + (r.kind == RewriteResult::Kind::WriteText ? std::string(r.text) : std::string("<nothing>"));
  };
  EXPECT_EQ(feed("1 SSN"), "<nothing>");
  options.convertMS4to6 = false;
  // Written once the fold closes, so that it keeps its place before the
  // folded line and after the lines the fold gives back if it never closes.
  EXPECT_EQ(feed("2 DATE 1900"), "<nothing>");
  EXPECT_TRUE(rewriter.msPending());
  options.convertMS4to6 = true;
  EXPECT_EQ(feed("2 PLAC x"), "<nothing>");
  EXPECT_EQ(feed("2 TYPE t"), "2 DATE 1900; 1 SSN [PLAC:x] t");
}

TEST(Finish, GivesBackAnOpenFoldAsItWouldHaveBeenWritten) {
  struct Mode {
    const char* name;
    RewriteValues options;
    Lines finished;
  };
  const RewriteValues renaming = Change2(Change1(Fold(), "SSN", "MISS"), "DATE", "EVEN");
  RewriteValues remove = renaming;
  remove.delNotes = true;
  RewriteValues replace = remove;
  replace.noteReplace = true;
  const Mode modes[] = {
      {"remove", remove, {"1 MISS ", "2 EVEN 1900", "1 note keep", "0 TRLR"}},
      // The replacement keeps its place among the lines given back.
      {"replace", replace, {"1 MISS ", "2 EVEN 1900", kReplacement, "1 note keep", "0 TRLR"}},
  };
  for (const Mode& m : modes) {
    SCOPED_TRACE(m.name);
    const Outcome o = Feed({"1 SSN", "2 DATE 1900", "1 NOTE (DEL) x", "2 CONT y", "1 note keep", "0 TRLR"}, m.options);
    EXPECT_TRUE(o.written.empty());
    EXPECT_EQ(o.finished, m.finished);
  }
}

TEST(Finish, LeavesNoFoldOpen) {
  LineRewriter rewriter("(DEL)");
  const RewriteValues options = Fold();
  EXPECT_TRUE(rewriter.Finish().empty());
  EXPECT_EQ(Feed(rewriter, {"1 SSN", "1 BIRT"}, options).finished, (Lines{"1 SSN", "1 BIRT"}));
  EXPECT_FALSE(rewriter.msPending());
  EXPECT_TRUE(rewriter.msBuffer().empty());
  EXPECT_TRUE(rewriter.Finish().empty());
}

}  // namespace
