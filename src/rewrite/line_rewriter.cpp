#include "rewrite/line_rewriter.h"

#include <cstdint>
#include <utility>

#include "framework/text.h"

namespace {

constexpr std::string_view kReplacementNote = " NOTE Additional private data on file!";

// A folded line can be as long as the fold was; once it has been handed out,
// keeping its storage would make the rewriter's memory grow with the input.
constexpr size_t kKeptCapacity = 4096;
constexpr size_t kKeptLines = 64;

// The tags that the rules test, recognised once per line. Comparing whole
// strings for each test costs more than the rest of the rules on a big file.
enum class Tag { Other, Cont, Conc, Note, Type, Ssn, Prop };

constexpr uint32_t Word(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(c)) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(d)) << 24;
}

Tag Classify(std::string_view tag) {
  if (tag.size() == 4) {
    switch (Word(tag[0], tag[1], tag[2], tag[3])) {
      case Word('C', 'O', 'N', 'T'):
        return Tag::Cont;
      case Word('C', 'O', 'N', 'C'):
        return Tag::Conc;
      case Word('N', 'O', 'T', 'E'):
        return Tag::Note;
      case Word('T', 'Y', 'P', 'E'):
        return Tag::Type;
      case Word('P', 'R', 'O', 'P'):
        return Tag::Prop;
      default:
        return Tag::Other;
    }
  }
  if (tag.size() == 3 && tag[0] == 'S' && tag[1] == 'S' && tag[2] == 'N') return Tag::Ssn;
  return Tag::Other;
}

// Exact comparison, inline: tags are a few bytes and mostly differ early.
bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

LineRewriter::LineRewriter(std::string delTag) : delTag_(std::move(delTag)) {}

RewriteResult LineRewriter::Rewrite(const GedcomLine& line, const RewriteOptions& options) {
  if (out_.capacity() > kKeptCapacity) out_ = std::string();
  if (!released_.empty()) ReleaseLines(released_);

  if (!line.IsMultiField()) {
    // Blank lines and a lone NUL (left by some exporters at the end of the
    // file) are dropped quietly; anything else without a tag is reported. No
    // state changes: such a line neither ends a note nor joins a fold.
    if (line.text.empty() || (line.text.size() == 1 && line.text[0] == '\0')) {
      return RewriteResult::WriteNothing();
    }
    return RewriteResult::MalformedLine(line.text);
  }

  const Tag tag = Classify(line.tag);
  // The line written unless a rule changes it. Rebuilt lines live in out_,
  // so that an untouched line costs no copy at all.
  std::string_view output = line.text;

  // A note goes on over its CONT and CONC lines, whatever their level.
  if (tag != Tag::Cont && tag != Tag::Conc) inDelNote_ = false;

  // Every option is asked for in a fixed order and only when its rule needs
  // it: the main window answers each query from a live control.
  if (options.chkDelNotes() && tag == Tag::Note && !delTag_.empty() &&
      fw::InStr(0, line.value, delTag_) > 0) {
    inDelNote_ = true;
    noteReplaced_ = false;
  }

  auto rename = [&](std::string_view newTag) {
    out_.assign(line.level);
    out_ += ' ';
    out_ += newTag;
    out_ += ' ';
    out_ += line.value;
    output = out_;
  };
  // Both renamings test the tag as split, so they never chain; the second
  // one stands when both match.
  if (options.ChkChange01() && SameText(line.tag, options.PumChange01_Org())) rename(options.PumChange01_New());
  if (options.ChkChange02() && SameText(line.tag, options.PumChange02_Org())) rename(options.PumChange02_New());

  std::span<const std::string> released;
  if (options.ChkConvertMS4to6()) {
    if (msPending_) {
      if (tag == Tag::Type) {
        out_.swap(msBuffer_);
        out_ += line.value;
        output = out_;
        msPending_ = false;
        for (FoldLine& held : msHeld_) {
          if (!held.absorbed) released_.push_back(std::move(held.text));
        }
        released = released_;
        ReleaseFold();
      } else {
        // A private note must not reach the folded line: its lines leave no
        // entry and are dropped (or replaced) below as anywhere else.
        if (!inDelNote_) {
          msBuffer_ += '[';
          msBuffer_ += line.tag;
          msBuffer_ += ':';
          msBuffer_ += line.value;
          msBuffer_ += "] ";
          msHeld_.push_back({std::string(output), true});
        }
        output = {};
      }
    } else if ((tag == Tag::Ssn || tag == Tag::Prop) && line.value.empty()) {
      msPending_ = true;
      msBuffer_.assign(line.level);
      msBuffer_ += ' ';
      msBuffer_ += line.tag;
      msBuffer_ += ' ';
      msHeld_.push_back({std::string(output), true});
      output = {};
    }
  }

  if (inDelNote_) {
    if (!options.ChkNoteReplace()) {
      output = {};
    } else if (!noteReplaced_) {
      out_.assign(line.level);
      out_ += kReplacementNote;
      output = out_;
      noteReplaced_ = true;
    } else {
      output = {};
    }
  }

  // While a fold is open, a line to be written (a note's replacement, or any
  // line while folding is switched off) waits for the fold to close: written
  // now, it would come before the fold's lines that Finish gives back if the
  // fold never closes, under the wrong record.
  if (msPending_ && !output.empty()) {
    msHeld_.push_back({std::string(output), false});
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

template <class Vector>
void LineRewriter::ReleaseLines(Vector& lines) {
  if (lines.capacity() > kKeptLines) {
    lines = Vector();
  } else {
    lines.clear();
  }
}

void LineRewriter::ReleaseFold() {
  if (msBuffer_.capacity() > kKeptCapacity) {
    msBuffer_ = std::string();
  } else {
    msBuffer_.clear();
  }
  ReleaseLines(msHeld_);
}
