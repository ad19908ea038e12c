// Reading a large GEDCOM file: plain read(2) as the floor, then the input
// stream's lines, then the lines split as the Modify command splits them.
//
//   TAVELOCK_BENCH_MB=100 build/bench/read_bench
//
// The files are made once and kept (see CachedTypicalGedcom); the figures are
// file bytes per second, so they compare directly with the baseline.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "framework/text_stream.h"
#include "framework/text_stream_testing.h"
#include "gedcom_generator.h"
#include "rewrite/gedcom_line.h"

namespace {

const std::filesystem::path& File(GedcomFlavour flavour) {
  static std::filesystem::path paths[4];
  auto& path = paths[static_cast<int>(flavour)];
  if (path.empty()) path = CachedTypicalGedcom(BenchmarkBytes(), flavour);
  return path;
}

std::unique_ptr<fw::TextInputStream> OpenStream(GedcomFlavour flavour) {
  auto stream = fw::TextInputStream::Open(fw::FolderItem(File(flavour)));
  if (!stream) throw std::runtime_error("can't open " + File(flavour).string());
  stream->SetEncoding(IsUtf16(flavour) ? fw::Encodings::UTF16 : fw::Encodings::UTF8);
  return stream;
}

void ReportBytes(benchmark::State& state, GedcomFlavour flavour) {
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(File(flavour))));
}

void BM_ReadRaw(benchmark::State& state, GedcomFlavour flavour) {
  // As much at a time as the stream reads, so that the floor is like for like.
  std::vector<char> buffer(fw::testing::kInputReadBytes);
  for (auto _ : state) {
    const int fd = ::open(File(flavour).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("can't open " + File(flavour).string());
    std::size_t total = 0;
    ssize_t got;
    while ((got = ::read(fd, buffer.data(), buffer.size())) > 0) total += static_cast<std::size_t>(got);
    ::close(fd);
    benchmark::DoNotOptimize(total);
  }
  ReportBytes(state, flavour);
}

void BM_ReadLineView(benchmark::State& state, GedcomFlavour flavour) {
  std::size_t lines = 0;
  for (auto _ : state) {
    auto stream = OpenStream(flavour);
    lines = 0;
    std::size_t bytes = 0;
    while (!stream->Eof()) {
      const std::string_view line = stream->ReadLineView();
      bytes += line.size();
      ++lines;
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["lines"] = static_cast<double>(lines);
  ReportBytes(state, flavour);
}

void BM_ReadLines(benchmark::State& state, GedcomFlavour flavour) {
  for (auto _ : state) {
    auto stream = OpenStream(flavour);
    std::size_t bytes = 0;
    for (std::string_view lines = stream->ReadLines().view(); !lines.empty(); lines = stream->ReadLines().view()) {
      bytes += lines.size();
    }
    benchmark::DoNotOptimize(bytes);
  }
  ReportBytes(state, flavour);
}

void BM_ReadAndSplit(benchmark::State& state, GedcomFlavour flavour) {
  GedcomLine line;
  for (auto _ : state) {
    auto stream = OpenStream(flavour);
    std::size_t tagged = 0;
    while (!stream->Eof()) {
      SplitGedcomLine(stream->ReadLineView(), line);
      tagged += line.IsMultiField();  // fieldCount() would count the blanks again
    }
    benchmark::DoNotOptimize(tagged);
  }
  ReportBytes(state, flavour);
}

BENCHMARK_CAPTURE(BM_ReadRaw, utf8, GedcomFlavour::Utf8CrLf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadLines, utf8, GedcomFlavour::Utf8CrLf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadLineView, utf8, GedcomFlavour::Utf8CrLf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadAndSplit, utf8, GedcomFlavour::Utf8CrLf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadRaw, utf16, GedcomFlavour::Utf16LeCrLf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadLines, utf16, GedcomFlavour::Utf16LeCrLf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadLineView, utf16, GedcomFlavour::Utf16LeCrLf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadAndSplit, utf16, GedcomFlavour::Utf16LeCrLf)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
