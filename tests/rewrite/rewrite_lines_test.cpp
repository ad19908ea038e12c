// The line loop that copies untouched lines in runs must write exactly what
// the rules write line by line: the same bytes, the same malformed-line
// reports, every line counted once. Checked on a typical generated file, on
// lines made to hit every rule and every way of needing the full path, on
// lines that straddle the input's read boundaries, and on the sample files.

#include "rewrite/rewrite_lines.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "framework/folder_item.h"
#include "framework/text.h"
#include "framework/text_internal.h"
#include "framework/text_stream.h"
#include "framework/text_stream_testing.h"
#include "gedcom_generator.h"
#include "option_values.h"

namespace {

namespace fs = std::filesystem;

// The ways a file's text can be stored.
enum class Form { Lf, CrLf, Cr, Utf16Le, Utf16Be };
constexpr Form kAllForms[] = {Form::Lf, Form::CrLf, Form::Cr, Form::Utf16Le, Form::Utf16Be};

const char* Name(Form form) {
  switch (form) {
    case Form::Lf: return "UTF-8, LF";
    case Form::CrLf: return "UTF-8, CR LF";
    case Form::Cr: return "UTF-8, CR";
    case Form::Utf16Le: return "UTF-16 little-endian, CR LF";
    case Form::Utf16Be: return "UTF-16 big-endian, LF";
  }
  return "";
}

// `text` (UTF-8 or not, lines ended by LF) as stored in `form`.
std::string Stored(const std::string& text, Form form) {
  std::string ended;
  const std::string_view ending = form == Form::CrLf || form == Form::Utf16Le ? "\r\n" : form == Form::Cr ? "\r" : "\n";
  for (const char c : text) {
    if (c == '\n') {
      ended += ending;
    } else {
      ended += c;
    }
  }
  if (form != Form::Utf16Le && form != Form::Utf16Be) return ended;
  std::string units = fw::ConvertEncoding(ended, fw::Encodings::UTF16);  // little-endian
  if (form == Form::Utf16Be) {
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) std::swap(units[i], units[i + 1]);
    return "\xFE\xFF" + units;
  }
  return "\xFF\xFE" + units;
}

// The lines of a file as a plain reading makes them, with no stream: the
// whole file at once, decoded in one piece (UTF-16 by a plain walk over its
// code units, UTF-8 mended in one call, as ANSEL where the test says that the
// header declares it), split at its line ends.
std::vector<std::string> PlainLines(std::string_view bytes, bool ansel) {
  std::string text;
  const bool little = bytes.starts_with("\xFF\xFE");
  if (little || bytes.starts_with("\xFE\xFF")) {
    auto unit = [&](std::size_t i) {
      const auto a = static_cast<unsigned char>(bytes[i]);
      const auto b = static_cast<unsigned char>(bytes[i + 1]);
      return static_cast<char32_t>(little ? a | (b << 8) : (a << 8) | b);
    };
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      char32_t code = unit(i);
      if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
        i += 2;
      }
      fw::detail::AppendUtf8(code, text);
    }
    if (bytes.size() % 2 != 0) fw::detail::AppendUtf8(0xFFFD, text);
  } else {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    fw::detail::Utf8Mender mender;
    if (ansel) mender.ReadAnsel();
    mender.Mend(bytes, true, text);
  }
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// The lines as the input stream hands them over, in spans.
std::vector<std::string> StreamLines(const fs::path& in) {
  std::vector<std::string> lines;
  auto input = fw::TextInputStream::Open(fw::FolderItem(in));
  if (!input) return {"<can't open>"};
  input->SetEncoding(fw::Encodings::UTF16);
  for (std::string_view span = input->ReadLines().view(); !span.empty(); span = input->ReadLines().view()) {
    for (std::size_t lf = span.find('\n'); lf != std::string_view::npos; lf = span.find('\n')) {
      lines.emplace_back(span.substr(0, lf));
      span.remove_prefix(lf + 1);
    }
  }
  return lines;
}

struct Outcome {
  std::string bytes;
  std::vector<std::string> malformed;
  std::size_t linesCounted = 0;
};

// One run of either loop over the file at `in`, as the Modify command runs
// it (the encoding menu on "UTF-16", which the file's own marks override).
// `between(lines)` runs where the Modify command lets events run, and says
// whether the options may have changed.
template <bool kBulk>
Outcome RunLoop(const fs::path& in, const fs::path& out, const RewriteValues& options, const std::string& marker,
                const std::function<bool(std::size_t)>& between = nullptr) {
  auto input = fw::TextInputStream::Open(fw::FolderItem(in));
  auto output = fw::TextOutputStream::Create(fw::FolderItem(out));
  if (!input || !output) {
    ADD_FAILURE() << "can't open the files";
    return {};
  }
  input->SetEncoding(fw::Encodings::UTF16);
  Outcome outcome;
  LineRewriter rewriter(marker);
  auto onMalformed = [&](std::string_view text) { outcome.malformed.emplace_back(text); };
  auto afterLines = [&](std::size_t lines) {
    outcome.linesCounted += lines;
    return between && between(lines);
  };
  if constexpr (kBulk) {
    RewriteLines(*input, *output, rewriter, options, onMalformed, afterLines);
  } else {
    RewriteLinesOneByOne(*input, *output, rewriter, options, onMalformed, afterLines);
  }
  output->Close();
  std::ostringstream bytes;
  bytes << std::ifstream(out, std::ios::binary).rdbuf();
  outcome.bytes = bytes.str();
  return outcome;
}

// The option sets of the rules' kinds; the marker goes with each.
struct OptionSet {
  const char* name;
  RewriteValues values;
  std::string marker = "DELETE:";
};

std::vector<OptionSet> OptionSets() {
  RewriteValues emptyName = With(kReplace, "", "", "DATE", "X");
  emptyName.change01 = true;  // renames the empty tag
  emptyName.change01New = "EMPTY";
  return {
      {"everything off", With(kOff)},
      {"the window's starting values", RewriteValues()},
      {"remove mode", With(kRemove), "(DEL)"},
      {"everything on", With(kReplace | kFold, "SSN", "MISS", "PROP", "EVEN")},
      {"renamings of common and long tags", With(kFold, "date", "X", "_ABCDEFGHI", "LONG")},
      {"renaming an empty tag, an empty marker", emptyName, ""},
      {"renaming NOTE and a cross-reference", With(kReplace, "NOTE", "N", "@I1@", "XREF")},
  };
}

// Lines made to reach every rule and every reason for a line to go the full
// way: tags in any case, the rules' own tags and those that only begin like
// them, long tags and levels, fields that need trimming, tabs and other
// controls, empty and single-field lines, NUL, ill-formed UTF-8, markers,
// folds closed and unclosed, and header CHAR lines.
std::string TrickyLines(unsigned seed, std::size_t count) {
  std::mt19937 random(seed);
  auto pick = [&random](const std::vector<std::string>& items) { return items[random() % items.size()]; };
  const std::vector<std::string> levels = {"0", "1", "1", "2", "2", "3", "10", "01", "x", "@"};
  const std::vector<std::string> tags = {
      "NOTE", "note", "Note", "CONT", "cont", "CONC", "SSN", "ssn", "PROP", "Prop", "TYPE", "type",
      "HEAD", "head", "CHAR", "char", "NAME", "DATE", "date", "PLAC", "NOTES", "SS", "TYP", "_ABCDEFGH",
      "_ABCDEFGHI", "_abcdefghij", "@I1@", "@N12345678@", "HEADER", "M\xC3\xBC", "\xE9t\xE9"};
  const std::vector<std::string> values = {
      "", "", "DELETE: private", "see DELETE: later", "delete: low case", "x (DEL) y", "plain text",
      "Zo\xC3\xAB M\xC3\xBCller", "Jos\xE9 (Latin-1)", "a  b   c", "UTF-8", "utf-8", "ANSEL", "UNICODE",
      "wrapped at a blank ", "two blanks at the end  ",
      std::string(300, 'v'), std::string("nul\0inside", 10)};
  const std::vector<std::string> separators = {" ", " ", " ", " ", "  ", "\t", " \t", "\t "};
  const std::vector<std::string> edges = {"", "", "", "", "", " ", "\t", "\v", "  "};
  std::string text = "0 HEAD\n1 CHAR ANSEL\n2 VERS 1\n1 char  unicode\n";
  for (std::size_t i = 0; i < count; ++i) {
    const auto kind = random() % 40;
    std::string line;
    if (kind == 0) {
      line = "";
    } else if (kind == 1) {
      line = pick({"JUNK", "TRLR", std::string(1, '\0'), "   ", "\t", "x"});
    } else if (kind == 2) {
      line = pick(levels) + pick({" SSN", " PROP", " ssn"});  // opens a fold
    } else if (kind == 3) {
      line = pick(levels) + " TYPE " + pick(values);  // closes one
    } else if (kind == 4) {
      line = "0 " + pick({"HEAD", "@I1@ INDI", "TRLR"});
    } else {
      line = pick(edges) + pick(levels) + pick(separators) + pick(tags);
      const std::string value = pick(values);
      if (!value.empty() || random() % 2 == 0) line += pick(separators) + value;
      line += pick(edges);
    }
    text += line + "\n";
  }
  return text;
}

class RewriteLinesTest : public ::testing::Test {
 protected:
  fs::path folder_ = [] {
    std::string pattern = (fs::temp_directory_path() / "tavelock-lines-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "no temporary folder";
    return fs::path(pattern);
  }();
  ~RewriteLinesTest() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // Both loops over `bytes` with each option set: they must agree. And the
  // stream under both must read what a plain reading reads, since a fault in
  // it would be the same in both loops.
  void ExpectSame(const std::string& what, const std::string& bytes, const std::vector<OptionSet>& sets,
                  bool ansel = false) {
    const fs::path in = folder_ / "in.ged";
    std::ofstream(in, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    {
      SCOPED_TRACE(what + ", the stream against a plain reading");
      const std::vector<std::string> plain = PlainLines(bytes, ansel);
      const std::vector<std::string> streamed = StreamLines(in);
      const auto [at, _] = std::mismatch(streamed.begin(), streamed.end(), plain.begin(), plain.end());
      EXPECT_EQ(streamed.size(), plain.size());
      if (at != streamed.end()) {
        const auto line = static_cast<std::size_t>(at - streamed.begin());
        ADD_FAILURE() << "line " << line << " differs: " << testing::PrintToString(at->substr(0, 120))
                      << (line < plain.size() ? " against " + testing::PrintToString(plain[line].substr(0, 120)) : "");
      }
    }
    for (const OptionSet& set : sets) {
      SCOPED_TRACE(what + ", " + set.name);
      const Outcome bulk = RunLoop<true>(in, folder_ / "bulk.ged", set.values, set.marker);
      const Outcome oneByOne = RunLoop<false>(in, folder_ / "one.ged", set.values, set.marker);
      ASSERT_EQ(bulk.bytes.size(), oneByOne.bytes.size());
      // The first difference, rather than megabytes of both.
      const auto [at, _] = std::mismatch(bulk.bytes.begin(), bulk.bytes.end(), oneByOne.bytes.begin());
      const auto offset = static_cast<std::size_t>(at - bulk.bytes.begin());
      EXPECT_EQ(offset, bulk.bytes.size()) << "first difference near: "
                                           << testing::PrintToString(oneByOne.bytes.substr(offset > 40 ? offset - 40 : 0, 80));
      EXPECT_EQ(bulk.malformed, oneByOne.malformed);
      EXPECT_EQ(bulk.linesCounted, oneByOne.linesCounted);
    }
  }
};

TEST_F(RewriteLinesTest, TypicalGeneratedFile) {
  const fs::path generated = folder_ / "typical.ged";
  WriteTypicalGedcom(generated, 3'000'000, GedcomFlavour::Utf8Lf);
  std::ostringstream read;
  read << std::ifstream(generated, std::ios::binary).rdbuf();
  const std::string text = read.str();
  ExpectSame(Name(Form::Lf), text, OptionSets());
  const std::vector<OptionSet> sets = OptionSets();
  for (const Form form : {Form::CrLf, Form::Cr, Form::Utf16Le, Form::Utf16Be}) {
    ExpectSame(Name(form), Stored(text, form), {sets[1], sets[3]});
  }
}

TEST_F(RewriteLinesTest, LinesMadeToReachEveryRule) {
  const std::string text = TrickyLines(20261207, 40000);
  // Its header declares ANSEL, which a UTF-8 reading follows.
  for (const Form form : kAllForms) {
    ExpectSame(Name(form), Stored(text, form), OptionSets(), form != Form::Utf16Le && form != Form::Utf16Be);
  }
}

// The first read ends at a fixed place; a line before it of each length up
// to 16 puts every byte of the next lines (CR and LF pairs, multi-byte
// characters, units of UTF-16) across that end in turn. The later reads end
// where the earlier ones leave them.
TEST_F(RewriteLinesTest, LinesAcrossReadBoundaries) {
  const std::string tail = TrickyLines(7, 3000);
  const std::vector<OptionSet> sets = OptionSets();
  for (const Form form : kAllForms) {
    const bool utf16 = form == Form::Utf16Le || form == Form::Utf16Be;
    const std::size_t unitsToBoundary = utf16 ? fw::testing::kInputReadBytes / 2 - 1 : fw::testing::kInputReadBytes;
    for (std::size_t shift = 1; shift <= 16; ++shift) {
      // "1 NOTE " and the line's end take 7 units and one or two more.
      const std::size_t ending = form == Form::CrLf || form == Form::Utf16Le ? 2 : 1;
      const std::string filler = "1 NOTE " + std::string(unitsToBoundary - 7 - ending - shift, 'f') + "\n";
      ExpectSame(std::string(Name(form)) + ", " + std::to_string(shift) + " units before the boundary",
                 Stored(filler + tail, form), {sets[3]});
    }
  }
}

// The main window answers the options live: a change made while events ran
// between two spans acts on the lines after it, also on those that the
// options before it let pass unchanged.
TEST_F(RewriteLinesTest, OptionsChangedBetweenSpansTakeEffect) {
  std::string text;
  for (int i = 0; i < 300'000; ++i) text += "1 SSN 1\n";  // several spans
  std::ofstream(folder_ / "in.ged", std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
  RewriteValues options = With(kOff);
  std::size_t firstSpan = 0;
  const Outcome outcome = RunLoop<true>(folder_ / "in.ged", folder_ / "out.ged", options, "", [&](std::size_t lines) {
    if (firstSpan != 0) return false;
    firstSpan = lines;
    options = With(kOff, "SSN", "MISS");
    return true;
  });
  ASSERT_GT(firstSpan, 0u);
  ASSERT_LT(firstSpan, 300'000u);
  std::string expected;
  for (std::size_t i = 0; i < 300'000; ++i) expected += i < firstSpan ? "1 SSN 1\n" : "1 MISS 1\n";
  EXPECT_TRUE(outcome.bytes == expected);
}

TEST_F(RewriteLinesTest, SampleFiles) {
  const fs::path samples = TAVELOCK_SAMPLES_DIR;
  if (!fs::is_directory(samples)) GTEST_SKIP() << "no sample files at " << samples;
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(samples)) {
    if (entry.path().extension() != ".GED") continue;
    std::ostringstream read;
    read << std::ifstream(entry.path(), std::ios::binary).rdbuf();
    ExpectSame(entry.path().filename().string(), read.str(), OptionSets());
    ++files;
  }
  EXPECT_GT(files, 0u);
}

}  // namespace
