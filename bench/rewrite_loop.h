#pragma once
// The Modify command's line loop without the windows, and the plain copy
// that the benchmark compares it with.

#include <iostream>
#include <string>
#include <string_view>

#include "framework/text_stream.h"
#include "rewrite/line_rewriter.h"
#include "rewrite/rewrite_lines.h"

namespace tavelock_bench {

// The command's own loop, with malformed lines going to `errors`.
inline void RewriteLines(fw::TextInputStream& in, fw::TextOutputStream& out, LineRewriter& rewriter,
                         const RewriteOptions& options, std::ostream& errors) {
  ::RewriteLines(
      in, out, rewriter, options,
      [&errors](std::string_view text) { errors << "Error in this line: " << text << '\n'; },
      [](std::size_t) { return false; });
}

// The baseline: every line copied as read, through the same streams.
inline void CopyLines(fw::TextInputStream& in, fw::TextOutputStream& out) {
  for (fw::PaddedText lines = in.ReadLines(); !lines.empty(); lines = in.ReadLines()) out.WriteLines(lines.view());
}

}  // namespace tavelock_bench
