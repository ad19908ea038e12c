#pragma once
// The Modify command's line loop: every line of the input through the
// splitter and the rules into the output. The command and the benchmark
// drivers run this same loop; what they do with a malformed line, and after
// each line, is theirs.

#include <string>
#include <string_view>

#include "framework/text_stream.h"
#include "rewrite/gedcom_line.h"
#include "rewrite/line_rewriter.h"

// Reads `in` to its end; writes what the rules keep to `out`, in input order,
// then what a fold still open at the end gives back. `onMalformed(text)` runs
// for each malformed line before the next one is read, `afterLine()` after
// every line. Neither stream is closed here.
template <class OnMalformed, class AfterLine>
void RewriteLines(fw::TextInputStream& in, fw::TextOutputStream& out, LineRewriter& rewriter,
                  const RewriteOptions& options, OnMalformed&& onMalformed, AfterLine&& afterLine) {
  GedcomLine line;
  while (!in.Eof()) {
    SplitGedcomLine(in.ReadPaddedLine(), line);
    const RewriteResult result = rewriter.Rewrite(line, options);
    if (!result.released.empty()) [[unlikely]] {
      for (const std::string& held : result.released) out.WriteLine(held);
    }
    switch (result.kind) {
      case RewriteResult::Kind::WriteText:
        out.WriteLine(result.text);
        break;
      case RewriteResult::Kind::MalformedLine:
        onMalformed(result.text);
        break;
      case RewriteResult::Kind::WriteNothing:
        break;
    }
    afterLine();
  }
  // A fold that no TYPE line closed gives its lines back rather than taking the
  // rest of the file with it.
  for (const std::string& kept : rewriter.Finish()) out.WriteLine(kept);
}
