#include "rewrite/line_rewriter.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "framework/text.h"

namespace {

constexpr std::string_view kReplacementNote = " NOTE Additional private data on file!";

// A folded line can be as long as the fold was; once it has been handed out,
// keeping its storage would make the rewriter's memory grow with the input.
constexpr size_t kKeptCapacity = 4096;
constexpr size_t kKeptLines = 64;

// Empties a string or vector, keeping its storage only up to `kept`.
template <class Buffer>
void EmptyKeepingSmall(Buffer& buffer, size_t kept) {
  if (buffer.capacity() > kept) {
    buffer = Buffer();
  } else {
    buffer.clear();
  }
}

// Every tag test compares one word and a size rather than a string: on a big
// file, comparing whole strings, and the branches that this takes on lines
// of differing lengths, cost more than the rest of the rules. The word is a
// text's first eight bytes, with zero for the bytes past its end (as
// GedcomLine::tagWord gives a tag); together with the size, equal words mean
// equal texts of up to eight bytes.
constexpr uint64_t WordOf(std::string_view text) {
  uint64_t word = 0;
  for (size_t i = 0; i < text.size() && i < 8; ++i) {
    const uint64_t byte = static_cast<unsigned char>(text[i]);
    word |= std::endian::native == std::endian::little ? byte << (8 * i) : byte << (56 - 8 * i);
  }
  return word;
}

// The same for a name from the options, without a loop: it branches on the
// name's size only, which is the same on every line.
[[gnu::always_inline]] inline uint64_t NameWord(std::string_view name) {
  if constexpr (std::endian::native != std::endian::little) return WordOf(name);
  const char* p = name.data();
  const size_t n = name.size();
  if (n >= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
  }
  if (n >= 4) {
    // Two overlapping halves; the bytes that both hold land in the same place.
    uint32_t head;
    uint32_t tail;
    std::memcpy(&head, p, 4);
    std::memcpy(&tail, p + n - 4, 4);
    return uint64_t{head} | uint64_t{tail} << (8 * (n - 4));
  }
  if (n == 0) return 0;
  auto byte = [p](size_t i) { return uint64_t{static_cast<unsigned char>(p[i])} << (8 * i); };
  return byte(0) | byte(n / 2) | byte(n - 1);
}

// A tag as split, tested against the names that the rules know.
struct TagKey {
  uint64_t word;
  size_t size;

  bool Is(std::string_view name) const { return (word == WordOf(name)) & (size == name.size()); }
};

// Exact comparison of the tag with a name from the options. The name is the
// same on every line, so branching on its size is always foreseen.
[[gnu::always_inline]] inline bool SameTag(TagKey key, std::string_view tag, std::string_view name) {
  if (name.size() > 8) return tag == name;
  return (key.word == NameWord(name)) & (key.size == name.size());
}

}  // namespace

LineRewriter::LineRewriter(std::string delTag) : delTag_(std::move(delTag)) {}

// What the rules do on few lines stands apart, out of line, so that the path
// that nearly every line takes stays short.

[[gnu::cold]] void LineRewriter::Tidy() {
  EmptyKeepingSmall(out_, kKeptCapacity);
  EmptyKeepingSmall(released_, kKeptLines);
}

[[gnu::cold]] RewriteResult LineRewriter::SingleField(const GedcomLine& line) {
  // Blank lines and a lone NUL (left by some exporters at the end of the
  // file) are dropped quietly; anything else without a tag is reported. No
  // state changes: such a line neither ends a note nor joins a fold.
  if (line.text().empty() || line.text() == std::string_view("\0", 1)) return RewriteResult::WriteNothing();
  return RewriteResult::MalformedLine(line.text());
}

// Follows the header from its first line to the next line of level 0, and
// tells whether this is a CHAR line of it that doesn't name UTF-8, the
// encoding that the copy is written in. A second HEAD record is no header.
[[gnu::cold]] bool LineRewriter::HeaderCharLine(const GedcomLine& line, bool headTag, bool charTag) {
  const bool topLevel = line.level() == "0";
  if (header_ == Header::Before) {
    if (topLevel && headTag) header_ = Header::Inside;
    return false;
  }
  if (topLevel) {
    header_ = Header::After;
    return false;
  }
  return charTag && line.level() == "1" && !fw::EqualsIgnoringAsciiCase(line.value(), "UTF-8");
}

// The header's CHAR line in the copy: a program that trusted "UNICODE" or
// "ANSEL" there would misread the whole UTF-8 file.
[[gnu::cold]] std::string_view LineRewriter::CharUtf8(const GedcomLine& line) {
  out_.assign(line.level());
  out_ += " CHAR UTF-8";
  return out_;
}

[[gnu::cold]] std::string_view LineRewriter::Rename(const GedcomLine& line, std::string_view newTag) {
  out_.assign(line.level());
  out_ += ' ';
  out_ += newTag;
  out_ += ' ';
  out_ += line.value();
  return out_;
}

[[gnu::cold]] std::string_view LineRewriter::Fold(const GedcomLine& line, bool typeLine, std::string_view output,
                                                 std::span<const std::string>& released) {
  if (!msPending_) {
    // An SSN or PROP line without a value opens the fold.
    msPending_ = true;
    msBuffer_.assign(line.level());
    msBuffer_ += ' ';
    msBuffer_ += line.tag();
    msBuffer_ += ' ';
    msHeld_.push_back({std::string(output), true});
    return {};
  }
  if (typeLine) {
    out_.swap(msBuffer_);
    out_ += line.value();
    msPending_ = false;
    for (FoldLine& held : msHeld_) {
      if (!held.absorbed) released_.push_back(std::move(held.text));
    }
    released = released_;
    ReleaseFold();
    return out_;
  }
  // A private note must not reach the folded line: its lines leave no entry
  // and are dropped (or replaced) after this as anywhere else.
  if (!inDelNote_) {
    msBuffer_ += '[';
    msBuffer_ += line.tag();
    msBuffer_ += ':';
    msBuffer_ += line.value();
    msBuffer_ += "] ";
    msHeld_.push_back({std::string(output), true});
  }
  return {};
}

[[gnu::cold]] std::string_view LineRewriter::PrivateNote(const GedcomLine& line, const RewriteOptions& options) {
  if (!options.ChkNoteReplace() || noteReplaced_) return {};
  out_.assign(line.level());
  out_ += kReplacementNote;
  noteReplaced_ = true;
  return out_;
}

[[gnu::cold]] void LineRewriter::Hold(std::string_view output) { msHeld_.push_back({std::string(output), false}); }

RewriteResult LineRewriter::Rewrite(const GedcomLine& line, const RewriteOptions& options) {
  if (out_.capacity() > kKeptCapacity || !released_.empty()) Tidy();
  if (!line.IsMultiField()) return SingleField(line);

  // The names are constants, so each test is a comparison with a constant.
  const TagKey tag{line.tagWord(), line.tag().size()};
  // The line written unless a rule changes it. Rebuilt lines live in out_,
  // so that an untouched line costs no copy at all.
  std::string_view output = line.text();

  // A note goes on over its CONT and CONC lines, whatever their level. (The
  // tests here and below are combined without branches where their outcome
  // differs from line to line.)
  inDelNote_ = inDelNote_ & (tag.Is("CONT") | tag.Is("CONC"));

  // Every option is asked for in a fixed order and only when its rule needs
  // it: the main window answers each query from a live control.
  if (options.chkDelNotes() && tag.Is("NOTE") && !delTag_.empty() &&
      fw::InStr(0, line.value(), delTag_) > 0) {
    inDelNote_ = true;
    noteReplaced_ = false;
  }

  // Both renamings test the tag as split, so they never chain; the second
  // one stands when both match.
  if (options.ChkChange01() && SameTag(tag, line.tag(), options.PumChange01_Org())) {
    output = Rename(line, options.PumChange01_New());
  }
  if (options.ChkChange02() && SameTag(tag, line.tag(), options.PumChange02_Org())) {
    output = Rename(line, options.PumChange02_New());
  }

  // Only the first few lines of a file can be in its header.
  if (header_ != Header::After && HeaderCharLine(line, tag.Is("HEAD"), tag.Is("CHAR"))) [[unlikely]] {
    output = CharUtf8(line);
  }

  std::span<const std::string> released;
  if (options.ChkConvertMS4to6() &&
      (msPending_ | (line.value().empty() & (tag.Is("SSN") | tag.Is("PROP"))))) {
    output = Fold(line, tag.Is("TYPE"), output, released);
  }

  if (inDelNote_) output = PrivateNote(line, options);

  // While a fold is open, a line to be written (a note's replacement, or any
  // line while folding is switched off) waits for the fold to close: written
  // now, it would come before the fold's lines that Finish gives back if the
  // fold never closes, under the wrong record.
  if (msPending_ && !output.empty()) {
    Hold(output);
    output = {};
  }

  if (output.empty()) return RewriteResult::WriteNothing();
  RewriteResult result = RewriteResult::WriteText(output);
  result.released = released;
  return result;
}

std::vector<std::string> LineRewriter::Finish() {
  if (!msPending_) return {};
  // A fold that no TYPE line closed: give its lines back as they would have
  // been written, so that nothing after the opening line is lost.
  std::vector<std::string> lines;
  lines.reserve(msHeld_.size());
  for (FoldLine& held : msHeld_) lines.push_back(std::move(held.text));
  msPending_ = false;
  ReleaseFold();
  return lines;
}

void LineRewriter::ReleaseFold() {
  EmptyKeepingSmall(msBuffer_, kKeptCapacity);
  EmptyKeepingSmall(msHeld_, kKeptLines);
}
