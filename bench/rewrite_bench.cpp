// The Modify command's line loop, with every option on, against a plain copy
// of the lines through the same streams, on one generated file per input
// encoding. The counter vs_copy is the rewrite's time per run divided by the
// copy's.
//
//   TAVELOCK_BENCH_MB=100 build/bench/rewrite_bench
//
// The inputs are made once and kept (see CachedTypicalGedcom). Each run is
// timed from opening the input to closing the copy, sync included, as a user
// waits for it.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <system_error>

#include "framework/folder_item.h"
#include "framework/text_stream.h"
#include "gedcom_generator.h"
#include "rewrite_loop.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Input(bool utf16) {
  static fs::path paths[2];
  fs::path& path = paths[utf16];
  if (path.empty()) {
    path = CachedTypicalGedcom(BenchmarkBytes(), utf16 ? GedcomFlavour::Utf16LeCrLf : GedcomFlavour::Utf8CrLf);
  }
  return path;
}

// The copy goes beside the input, where the Modify command would put it.
fs::path Output() { return Input(false).parent_path() / "rewrite_bench-out.ged"; }

enum class Work { Copy, Rewrite };

// Every option on, both renamings too, as a user who wants everything would.
RewriteValues AllOptions() {
  RewriteValues options;
  options.delNotes = true;
  options.noteReplace = true;
  options.convertMS4to6 = true;
  options.change01 = true;
  options.change02 = true;
  return options;
}

// One complete run: open, every line, close (which syncs the copy).
void RunFile(Work work, bool utf16) {
  std::unique_ptr<fw::TextInputStream> in = fw::TextInputStream::Open(fw::FolderItem(Input(utf16)));
  std::unique_ptr<fw::TextOutputStream> out = fw::TextOutputStream::Create(fw::FolderItem(Output()));
  if (!in || !out) throw std::runtime_error("cannot open the benchmark files");
  // Both paths read UTF-8 as --utf8 does; the UTF-16 file is decoded as such.
  if (utf16) in->SetEncoding(fw::Encodings::UTF16);
  if (work == Work::Copy) {
    tavelock_bench::CopyLines(*in, *out);
  } else {
    static const RewriteValues options = AllOptions();
    std::ostream discard(nullptr);
    LineRewriter rewriter("DELETE:");
    tavelock_bench::RewriteLines(*in, *out, rewriter, options, discard);
  }
  out->Close();
  in->Close();
}

double Seconds(Work work, bool utf16) {
  const auto start = std::chrono::steady_clock::now();
  RunFile(work, utf16);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each iteration copies the file and then rewrites it, so that both see the
// same state of the machine; the iteration's time is the rewrite's. The
// counters give the fastest run of each (the least disturbed by anything
// else on the machine) and their ratio.
void BM_RewriteVsCopy(benchmark::State& state, bool utf16) {
  const auto bytes = static_cast<int64_t>(fs::file_size(Input(utf16)));
  double bestCopy = 1e300;
  double bestRewrite = 1e300;
  for (auto _ : state) {
    bestCopy = std::min(bestCopy, Seconds(Work::Copy, utf16));
    const double rewrite = Seconds(Work::Rewrite, utf16);
    bestRewrite = std::min(bestRewrite, rewrite);
    state.SetIterationTime(rewrite);
  }
  state.counters["copy_ms"] = bestCopy * 1e3;
  state.counters["rewrite_ms"] = bestRewrite * 1e3;
  state.counters["vs_copy"] = bestRewrite / bestCopy;
  state.SetBytesProcessed(bytes * static_cast<int64_t>(state.iterations()));
  std::error_code ignored;
  fs::remove(Output(), ignored);
}

BENCHMARK_CAPTURE(BM_RewriteVsCopy, utf8, false)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(5);
BENCHMARK_CAPTURE(BM_RewriteVsCopy, utf16, true)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(5);

}  // namespace

BENCHMARK_MAIN();
