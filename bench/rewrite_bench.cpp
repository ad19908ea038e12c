// The Modify command's split-and-rewrite path against a plain line copy
// through the same streams, on one generated file per input encoding. The
// counter vs_copy is the rewrite's time per run divided by the copy's.
//
//   TAVELOCK_BENCH_MB=100 build/bench/rewrite_bench
//
// The inputs are made once and kept (see CachedTypicalGedcom). Each run is
// timed from opening the input to closing the copy, sync included, as a user
// waits for it.

#include <benchmark/benchmark.h>

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

// Mean seconds per run of the copy, by encoding, for the ratio.
double g_copySeconds[2] = {0, 0};

void BM_File(benchmark::State& state, Work work, bool utf16) {
  const auto bytes = static_cast<int64_t>(fs::file_size(Input(utf16)));
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    RunFile(work, utf16);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    total += took.count();
  }
  const double mean = total / static_cast<double>(state.iterations());
  if (work == Work::Copy) {
    g_copySeconds[utf16] = mean;
  } else if (g_copySeconds[utf16] > 0) {
    state.counters["vs_copy"] = mean / g_copySeconds[utf16];
  }
  state.SetBytesProcessed(bytes * static_cast<int64_t>(state.iterations()));
  std::error_code ignored;
  fs::remove(Output(), ignored);
}

// Each copy runs right before the rewrite it is compared with.
BENCHMARK_CAPTURE(BM_File, copy_utf8, Work::Copy, false)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK_CAPTURE(BM_File, rewrite_utf8, Work::Rewrite, false)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK_CAPTURE(BM_File, copy_utf16, Work::Copy, true)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK_CAPTURE(BM_File, rewrite_utf16, Work::Rewrite, true)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
