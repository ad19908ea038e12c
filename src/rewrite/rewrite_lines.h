#pragma once
// The Modify command's line loop: every line of the input through the rules
// into the output. The command and the benchmark drivers run this same loop;
// what they do with a malformed line, and between lines, is theirs.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "framework/text_stream.h"
#include "rewrite/gedcom_line.h"
#include "rewrite/line_rewriter.h"

namespace rewrite_detail {

// Bit i set when p[i] is an LF, for i below `valid` (at most 64). Reads 64
// bytes: the input stream pads what it hands over.
inline uint64_t LineEnds(const char* p, std::size_t valid) {
  uint64_t ends = 0;
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n');
  for (int part = 0; part < 4; ++part) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
    ends |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)))} << (16 * part);
  }
#else
  for (std::size_t i = 0; i < 64; ++i) ends |= uint64_t{p[i] == '\n'} << i;
#endif
  return valid < 64 ? ends & ((uint64_t{1} << valid) - 1) : ends;
}

// Writes what the rules made of one line; true when it was a malformed line,
// which `onMalformed` has been shown.
template <class OnMalformed>
bool WriteResult(const RewriteResult& result, fw::TextOutputStream& out, OnMalformed& onMalformed) {
  for (const std::string& held : result.released) out.WriteLine(held);
  switch (result.kind) {
    case RewriteResult::Kind::WriteText:
      out.WriteLine(result.text);
      return false;
    case RewriteResult::Kind::MalformedLine:
      onMalformed(result.text);
      return true;
    case RewriteResult::Kind::WriteNothing:
      return false;
  }
  return false;
}

// What a fold still open at the end gives back, rather than taking the rest
// of the file with it.
inline void WriteFinish(LineRewriter& rewriter, fw::TextOutputStream& out) {
  for (const std::string& kept : rewriter.Finish()) out.WriteLine(kept);
}

}  // namespace rewrite_detail

// Reads `in` to its end; writes what the rules keep to `out`, in input order,
// then what a fold still open at the end gives back. `onMalformed(text)` runs
// for each malformed line before any line after it is written;
// `afterLines(count)` runs between lines, after every line has been counted
// once, and returns true when the options may have changed meanwhile. Neither
// stream is closed here.
//
// The lines come from the input stream in spans. A line that the rules would
// copy unchanged (LineRewriter::Passes) is not split: runs of such lines go
// to the output as they stand. Every other line goes through
// SplitGedcomLine and LineRewriter::Rewrite, which ask the options as they
// are at that moment.
template <class OnMalformed, class AfterLines>
void RewriteLines(fw::TextInputStream& in, fw::TextOutputStream& out, LineRewriter& rewriter,
                  const RewriteOptions& options, OnMalformed&& onMalformed, AfterLines&& afterLines) {
  GedcomLine line;
  TagWatch watch = rewriter.Watch(options);
  for (fw::PaddedText span = in.ReadLines(); !span.empty(); span = in.ReadLines()) {
    const char* const p = span.data();
    const std::size_t n = span.size();
    std::size_t lines = 0;  // counted since afterLines last ran
    std::size_t run = 0;    // where the lines copied unchanged but not yet written begin
    std::size_t start = 0;  // where the next line begins
    for (std::size_t block = 0; block < n; block += 64) {
      for (uint64_t ends = rewrite_detail::LineEnds(p + block, n - block); ends != 0; ends &= ends - 1) {
        const std::size_t lf = block + static_cast<std::size_t>(__builtin_ctzll(ends));
        const std::string_view text(p + start, lf - start);
        ++lines;
        if (rewriter.Passes(text, watch)) {
          start = lf + 1;
          continue;
        }
        SplitGedcomLine(text, line);
        const RewriteResult result = rewriter.Rewrite(line, options);
        if (result.kind == RewriteResult::Kind::WriteText && result.released.empty() && result.text == text) {
          start = lf + 1;  // unchanged after all: it joins the run
          continue;
        }
        out.WriteLines({p + run, start - run});
        run = start = lf + 1;
        if (rewrite_detail::WriteResult(result, out, onMalformed)) {
          // The user may have changed the options while the message was up.
          afterLines(std::exchange(lines, 0));
          watch = rewriter.Watch(options);
        }
      }
    }
    out.WriteLines({p + run, n - run});
    if (afterLines(lines)) watch = rewriter.Watch(options);
  }
  rewrite_detail::WriteFinish(rewriter, out);
}

// The same, one line at a time through the split and the rules, with no
// line copied unchanged: what RewriteLines must match byte for byte.
template <class OnMalformed, class AfterLines>
void RewriteLinesOneByOne(fw::TextInputStream& in, fw::TextOutputStream& out, LineRewriter& rewriter,
                          const RewriteOptions& options, OnMalformed&& onMalformed, AfterLines&& afterLines) {
  GedcomLine line;
  while (!in.Eof()) {
    SplitGedcomLine(in.ReadLineView(), line);
    rewrite_detail::WriteResult(rewriter.Rewrite(line, options), out, onMalformed);
    afterLines(std::size_t{1});
  }
  rewrite_detail::WriteFinish(rewriter, out);
}
