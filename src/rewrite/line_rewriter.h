#pragma once
// The line rules: what is written to the copy for each input line. Pure C++.

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rewrite/gedcom_line.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// A live view of the option controls: one query per control, named after it.
// Each query answers the control's state at the moment it is asked; a text
// it answers stays valid at least until the options next change.
class RewriteOptions {
 public:
  virtual ~RewriteOptions() = default;
  virtual bool chkDelNotes() const = 0;
  virtual bool ChkChange01() const = 0;
  virtual std::string_view PumChange01_Org() const = 0;
  virtual std::string_view PumChange01_New() const = 0;
  virtual bool ChkChange02() const = 0;
  virtual std::string_view PumChange02_Org() const = 0;
  virtual std::string_view PumChange02_New() const = 0;
  virtual bool ChkConvertMS4to6() const = 0;
  virtual bool ChkNoteReplace() const = 0;
};

// A fixed record of option values; its defaults are the main window's
// starting values.
struct RewriteValues final : RewriteOptions {
  bool delNotes = true;
  bool change01 = false;
  std::string change01Org = "SSN";
  std::string change01New = "MISS";
  bool change02 = false;
  std::string change02Org = "PROP";
  std::string change02New = "EVEN";
  bool convertMS4to6 = true;
  bool noteReplace = true;

  bool chkDelNotes() const override { return delNotes; }
  bool ChkChange01() const override { return change01; }
  std::string_view PumChange01_Org() const override { return change01Org; }
  std::string_view PumChange01_New() const override { return change01New; }
  bool ChkChange02() const override { return change02; }
  std::string_view PumChange02_Org() const override { return change02Org; }
  std::string_view PumChange02_New() const override { return change02New; }
  bool ChkConvertMS4to6() const override { return convertMS4to6; }
  bool ChkNoteReplace() const override { return noteReplace; }
};

// The outcome for one input line. `text` and `released` are views that stay
// valid until the next call on the rewriter or until the GEDCOM line passed in
// changes, whichever comes first: write or copy them before then.
struct RewriteResult {
  enum class Kind { WriteText, WriteNothing, MalformedLine };
  Kind kind = Kind::WriteNothing;
  std::string_view text;
  // Lines to write before `text` (with any kind): lines that were to be
  // written while a fold was open, held back until it closed so that the copy
  // keeps the input's order, and a CHAR line that the header lacked. Empty
  // on most lines.
  std::span<const std::string> released;

  static RewriteResult WriteText(std::string_view t) { return {Kind::WriteText, t, {}}; }
  static RewriteResult WriteNothing() { return {Kind::WriteNothing, {}, {}}; }
  static RewriteResult MalformedLine(std::string_view t) { return {Kind::MalformedLine, t, {}}; }
};

// The tags that the rules could act on under one set of option values,
// taken at one moment (LineRewriter::Watch): a line of any other tag passes
// through the rules unchanged while the rewriter is idle. Tags of up to eight
// bytes are kept as words: the tag's bytes in the machine's order, zero past
// its end.
struct TagWatch {
  static constexpr std::size_t kMost = 6;
  uint64_t words[kMost] = {};  // 0 for no tag: no tag that is watched for is empty
  // A watched name is longer than eight bytes: no long tag may pass.
  bool longNames = false;

  bool Holds(uint64_t word) const {
    bool held = false;
#pragma GCC unroll 8
    for (const uint64_t w : words) held |= w == word;
    return held;
  }
};

class LineRewriter {
 public:
  explicit LineRewriter(std::string delTag);

  // The tags to watch for under the options as they are now: a change of the
  // options needs a new watch. (Reads the options; it is no line's query.)
  TagWatch Watch(const RewriteOptions& options) const;

  // True only when Rewrite would give this line (as the input stream hands it
  // over, without its line end) back unchanged and leave the rewriter as it
  // is, under the options that `watch` was taken from: so it can be copied
  // without splitting it or asking the options. False whenever that can't
  // be told from the first bytes: such a line goes through Rewrite.
  bool Passes(std::string_view line, const TagWatch& watch) const;

  // Decides one line, in input order. Reads the options it needs, in a fixed
  // order and each only when its rule applies; a single-field line reads none.
  RewriteResult Rewrite(const GedcomLine& line, const RewriteOptions& options);

  // At the end of the input: the lines that a fold still open has absorbed or
  // held back, in input order, each as it would have been written without the
  // fold, then the CHAR line of a header that the input ended in without
  // one. Leaves the rewriter with no fold open.
  std::vector<std::string> Finish();

 private:
  std::string delTag_;
  // Where the input is relative to its header, the first record of level 0
  // and tag HEAD: its CHAR line must name the copy's encoding.
  enum class Header { Before, Inside, After };
  Header header_ = Header::Before;
  bool headerHadChar_ = false;  // a level 1 CHAR line, whatever its value
  bool inDelNote_ = false;
  bool noteReplaced_ = false;
  // The deepest level that ends the note being removed: one below the
  // note's own (no limit when the note's level is no number).
  std::size_t deepestAfterNote_ = 0;
  bool msPending_ = false;
  // No note is being removed, no fold is open and the header is not being
  // read: only a line of a watched tag can be changed.
  bool idle_ = true;
  std::string msBuffer_;
  // Every line since the open fold's opening line (that included) that would
  // have been written without the fold, in input order. `absorbed` lines are
  // in msBuffer_ and come back only if the fold never closes; the others are
  // written all the same, once the fold closes.
  struct FoldLine {
    std::string text;
    bool absorbed;
  };
  std::vector<FoldLine> msHeld_;
  // The lines handed out before this line's own (RewriteResult::released).
  std::vector<std::string> released_;
  // Holds a rebuilt line between a Rewrite call and the next.
  std::string out_;

  // The rules' rarer paths, each for one step of Rewrite.
  void Tidy();
  RewriteResult SingleField(const GedcomLine& line);
  enum class HeaderLine { Other, CharUtf8, CharToRewrite, EndWithoutChar };
  HeaderLine ReadHeader(const GedcomLine& line);
  std::string_view CharUtf8(const GedcomLine& line);
  void AddCharLine();
  std::string_view Rename(const GedcomLine& line, std::string_view newTag);
  std::string_view Fold(const GedcomLine& line, bool typeLine, std::string_view output);
  std::string_view PrivateNote(const GedcomLine& line, const RewriteOptions& options);
  void Hold(std::string_view output);

  // Empties the fold's buffers; keeps their storage only when it is small.
  void ReleaseFold();
};

// Runs for every line of a file; the rest of the rules stand in
// line_rewriter.cpp. Only a line whose level and tag end within its first 16
// bytes is looked at; every other goes the full way. The tests are combined
// without branches where their outcome differs from line to line.
inline bool LineRewriter::Passes(std::string_view line, const TagWatch& watch) const {
  // A removed note goes on over CONT and CONC lines, an open fold takes
  // every line, and in the header a CHAR line may change.
  if (!idle_) return false;
  const auto* s = reinterpret_cast<const unsigned char*>(line.data());
  const std::size_t n = line.size();
  // An empty line is dropped. (Blanks at the end are kept, as the rules
  // keep them.)
  if (n == 0) return false;
  // The first 16 bytes: which are blanks, and which are blanks or control
  // characters, anything that ends a field or would need trimming. The line's
  // end, when it is among them, counts as a blank.
  uint32_t blanks;
  uint32_t ends;
#if defined(__SSE2__)
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i blank = _mm_set1_epi8(' ');
  blanks = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, blank)));
  ends = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, blank), blank)));
#else
  blanks = ends = 0;
  for (std::size_t i = 0; i < 16; ++i) {
    blanks |= uint32_t{s[i] == ' '} << i;
    ends |= uint32_t{s[i] <= ' '} << i;
  }
#endif
  const uint32_t lineEnd = n < 16 ? uint32_t{1} << n : 0;
  const uint32_t inLine = lineEnd - 1;  // all bits when n >= 16
  blanks = (blanks & inLine) | lineEnd;
  ends = (ends & inLine) | lineEnd;
  // The level ends at the first of them and the tag at the second: both must
  // be blanks (or the line's end), and the level must not be empty.
  const uint32_t first = ends & (0u - ends);
  const uint32_t afterFirst = ends ^ first;
  const uint32_t second = afterFirst & (0u - afterFirst);
  if ((second == 0) | (((first | second) & ~blanks) != 0) | (first == 1)) return false;
  const auto tagBegin = static_cast<std::size_t>(__builtin_ctz(first)) + 1;
  const std::size_t tagSize = static_cast<std::size_t>(__builtin_ctz(second)) - tagBegin;
  if (tagSize - 1 >= 8) return tagSize != 0 && !watch.longNames;
  // The tag upper-cased (a-z only, as the split does), as a word. Bytes past
  // the line are readable: the stream pads what it hands over.
  uint64_t word;
  std::memcpy(&word, s + tagBegin, 8);
  const uint64_t seven = word & 0x7F7F7F7F7F7F7F7Full;
  const uint64_t fromA = seven + 0x1F1F1F1F1F1F1F1Full;  // high bit: at least 'a'
  const uint64_t pastZ = seven + 0x0505050505050505ull;  // high bit: past 'z'
  word -= (fromA & ~pastZ & ~word & 0x8080808080808080ull) >> 2;
  const uint64_t ones = ~uint64_t{0};
  const unsigned past = static_cast<unsigned>(64 - 8 * tagSize);
  word &= std::endian::native == std::endian::little ? ones >> past : ones << past;
  return !watch.Holds(word);
}
