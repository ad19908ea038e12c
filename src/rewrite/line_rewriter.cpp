#include "rewrite/line_rewriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "framework/text.h"

namespace {

constexpr std::string_view kReplacementNote = " NOTE Additional private data on file!";
constexpr std::string_view kCharLine = "1 CHAR UTF-8";

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

// A level as GEDCOM writes it, digits alone, as a number (a huge one as the
// largest); none for any other text.
constexpr std::size_t kNoLevel = SIZE_MAX;

std::size_t LevelNumber(std::string_view level) {
  if (level.empty()) return kNoLevel;
  std::size_t number = 0;
  for (const char c : level) {
    if (c < '0' || c > '9') return kNoLevel;
    number = std::min<std::size_t>(number * 10 + static_cast<std::size_t>(c - '0'), kNoLevel - 2);
  }
  return number;
}

}  // namespace

LineRewriter::LineRewriter(std::string delTag) : delTag_(std::move(delTag)) {}

TagWatch LineRewriter::Watch(const RewriteOptions& options) const {
  TagWatch watch;
  std::size_t count = 0;
  auto watchFor = [&](std::string_view name) {
    if (name.size() > 8) {
      watch.longNames = true;
    } else if (!name.empty()) {  // only an empty tag matches, and it never passes
      uint64_t word = 0;
      std::memcpy(&word, name.data(), name.size());
      watch.words[count++] = word;
    }
  };
  // One for each rule that acts on a line of a certain tag while no note is
  // being removed, no fold is open and the header is not being read.
  if (header_ == Header::Before) watchFor("HEAD");
  if (options.chkDelNotes() && !delTag_.empty()) watchFor("NOTE");
  if (options.ChkChange01()) watchFor(options.PumChange01_Org());
  if (options.ChkChange02()) watchFor(options.PumChange02_Org());
  if (options.ChkConvertMS4to6()) {
    watchFor("SSN");
    watchFor("PROP");
  }
  return watch;
}

void LineRewriter::Tidy() {
  EmptyKeepingSmall(out_, kKeptCapacity);
  EmptyKeepingSmall(released_, kKeptLines);
}

RewriteResult LineRewriter::SingleField(const GedcomLine& line) {
  // Blank lines and a lone NUL (left by some exporters at the end of the
  // file) are dropped quietly; anything else without a tag is reported. No
  // state changes: such a line neither ends a note nor joins a fold.
  if (line.text().empty() || line.text() == std::string_view("\0", 1)) return RewriteResult::WriteNothing();
  return RewriteResult::MalformedLine(line.text());
}

// Follows the header from its first line to the next line of level 0, and
// tells what this line means for the header's CHAR line: a second HEAD
// record is no header.
LineRewriter::HeaderLine LineRewriter::ReadHeader(const GedcomLine& line) {
  const bool topLevel = line.level() == "0";
  if (header_ == Header::Before) {
    if (topLevel && line.tag() == "HEAD") header_ = Header::Inside;
    return HeaderLine::Other;
  }
  if (topLevel) {
    header_ = Header::After;
    return headerHadChar_ ? HeaderLine::Other : HeaderLine::EndWithoutChar;
  }
  if (line.tag() != "CHAR" || line.level() != "1") return HeaderLine::Other;
  return fw::EqualsIgnoringAsciiCase(line.value(), "UTF-8") ? HeaderLine::CharUtf8 : HeaderLine::CharToRewrite;
}

// The header's CHAR line in the copy: a program that trusted "UNICODE" or
// "ANSEL" there would misread the whole UTF-8 file.
std::string_view LineRewriter::CharUtf8(const GedcomLine& line) {
  out_.assign(line.level());
  out_ += " CHAR UTF-8";
  return out_;
}

// A header without a CHAR line gets one as its last line: without it,
// programs read the UTF-8 copy as ANSEL or Latin-1. While a fold is open it
// waits with the fold's other lines, so that it stays ahead of this line.
void LineRewriter::AddCharLine() {
  if (msPending_) {
    Hold(kCharLine);
  } else {
    released_.emplace_back(kCharLine);
  }
}

std::string_view LineRewriter::Rename(const GedcomLine& line, std::string_view newTag) {
  out_.assign(line.level());
  out_ += ' ';
  out_ += newTag;
  out_ += ' ';
  out_ += line.value();
  // The value's own end, as in the line read (a blank before a CONC line).
  if (!line.value().empty()) out_ += line.trail();
  return out_;
}

std::string_view LineRewriter::Fold(const GedcomLine& line, bool typeLine, std::string_view output) {
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

std::string_view LineRewriter::PrivateNote(const GedcomLine& line, const RewriteOptions& options) {
  if (!options.ChkNoteReplace() || noteReplaced_) return {};
  out_.assign(line.level());
  out_ += kReplacementNote;
  noteReplaced_ = true;
  return out_;
}

void LineRewriter::Hold(std::string_view output) { msHeld_.push_back({std::string(output), false}); }

RewriteResult LineRewriter::Rewrite(const GedcomLine& line, const RewriteOptions& options) {
  if (out_.capacity() > kKeptCapacity || !released_.empty()) Tidy();
  if (!line.IsMultiField()) return SingleField(line);

  const std::string_view tag = line.tag();
  // The line written unless a rule changes it, with its own end. Rebuilt
  // lines live in out_, so that an untouched line costs no copy at all.
  std::string_view output = line.keptText();

  // A note goes on over its CONT and CONC lines, whatever their level, and
  // over the pieces of its text that a stray line end broke off. Such a
  // piece has no number for a level, or one deeper than any line after the
  // note could have: a line is at most one level below the line before it.
  const std::size_t level = LevelNumber(line.level());
  if (tag != "CONT" && tag != "CONC" && level != kNoLevel && level <= deepestAfterNote_) inDelNote_ = false;

  // Every option is asked for in a fixed order and only when its rule needs
  // it: the main window answers each query from a live control.
  if (options.chkDelNotes() && tag == "NOTE" && !delTag_.empty() && fw::InStr(0, line.value(), delTag_) > 0) {
    inDelNote_ = true;
    noteReplaced_ = false;
    deepestAfterNote_ = level == kNoLevel ? kNoLevel : level + 1;
  }

  // Both renamings test the tag as split, so they never chain; the second
  // one stands when both match.
  if (options.ChkChange01() && tag == options.PumChange01_Org()) output = Rename(line, options.PumChange01_New());
  if (options.ChkChange02() && tag == options.PumChange02_Org()) output = Rename(line, options.PumChange02_New());

  // Only the first few lines of a file can be in its header.
  const HeaderLine header = header_ != Header::After ? ReadHeader(line) : HeaderLine::Other;
  if (header == HeaderLine::CharToRewrite) output = CharUtf8(line);
  if (header == HeaderLine::EndWithoutChar) AddCharLine();

  // A line of a removed note opens no fold: the private text would reach
  // the folded line.
  bool absorbed = false;
  if (options.ChkConvertMS4to6() &&
      (msPending_ || (!inDelNote_ && line.value().empty() && (tag == "SSN" || tag == "PROP")))) {
    absorbed = msPending_ && tag != "TYPE";
    output = Fold(line, tag == "TYPE", output);
  }
  // A CHAR line that a fold took is no line of the header's own.
  if ((header == HeaderLine::CharToRewrite || header == HeaderLine::CharUtf8) && !absorbed) headerHadChar_ = true;

  if (inDelNote_) output = PrivateNote(line, options);

  // While a fold is open, a line to be written (a note's replacement, or any
  // line while folding is switched off) waits for the fold to close: written
  // now, it would come before the fold's lines that Finish gives back if the
  // fold never closes, under the wrong record.
  if (msPending_ && !output.empty()) {
    Hold(output);
    output = {};
  }

  idle_ = !inDelNote_ && !msPending_ && header_ != Header::Inside;
  RewriteResult result = output.empty() ? RewriteResult::WriteNothing() : RewriteResult::WriteText(output);
  result.released = released_;
  return result;
}

std::vector<std::string> LineRewriter::Finish() {
  // A fold that no TYPE line closed: give its lines back as they would have
  // been written, so that nothing after the opening line is lost.
  std::vector<std::string> lines;
  lines.reserve(msHeld_.size() + 1);
  for (FoldLine& held : msHeld_) lines.push_back(std::move(held.text));
  msPending_ = false;
  ReleaseFold();
  // The input ended inside the header.
  if (header_ == Header::Inside) {
    header_ = Header::After;
    if (!headerHadChar_) lines.emplace_back(kCharLine);
  }
  idle_ = !inDelNote_;
  return lines;
}

void LineRewriter::ReleaseFold() {
  EmptyKeepingSmall(msBuffer_, kKeptCapacity);
  EmptyKeepingSmall(msHeld_, kKeptLines);
}
