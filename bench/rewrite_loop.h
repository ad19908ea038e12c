#pragma once
// The Modify command's line loop without the windows, shared by the
// rewrite-file driver and the benchmark so that both measure the same code.

#include <iostream>
#include <string>
#include <string_view>

#include "framework/text_stream.h"
#include "rewrite/gedcom_line.h"
#include "rewrite/line_rewriter.h"

namespace tavelock_bench {

// Every line of `in` through the splitter and the rules into `out`, then
// what a fold still open at the end gives back. Malformed lines go to
// `errors`. Neither stream is closed here.
inline void RewriteLines(fw::TextInputStream& in, fw::TextOutputStream& out, LineRewriter& rewriter,
                         const RewriteOptions& options, std::ostream& errors) {
  GedcomLine line;
  while (!in.Eof()) {
    SplitGedcomLine(in.ReadLineView(), line);
    const RewriteResult result = rewriter.Rewrite(line, options);
    for (const std::string& held : result.released) out.WriteLine(held);
    switch (result.kind) {
      case RewriteResult::Kind::WriteText:
        out.WriteLine(result.text);
        break;
      case RewriteResult::Kind::MalformedLine:
        errors << "Error in this line: " << result.text << '\n';
        break;
      case RewriteResult::Kind::WriteNothing:
        break;
    }
  }
  for (const std::string& text : rewriter.Finish()) out.WriteLine(text);
}

// The baseline: every line copied as read, through the same streams.
inline void CopyLines(fw::TextInputStream& in, fw::TextOutputStream& out) {
  while (!in.Eof()) out.WriteLine(in.ReadLineView());
}

}  // namespace tavelock_bench
