#pragma once
// Typical GEDCOM files for the benchmarks, made deterministically: the same
// arguments always give the same bytes, so runs can be compared.
//
// The content: a HEAD record; then, repeated, three INDI records (husband,
// wife, child: NAME with GIVN/SURN, SEX, BIRT and often DEAT with DATE and
// PLAC, FAMS/FAMC, CHAN) and the FAM record that joins them (HUSB, WIFE, CHIL,
// MARR with DATE and PLAC); then TRLR. Some names and places have accented
// letters. Along the way, about:
//   - half the people have a NOTE continued by CONT and CONC lines;
//   - 1 in 10 a NOTE whose text begins "DELETE:", 1 in 20 one that begins
//     "(DEL)", each with a CONT line;
//   - 1 in 20 a "1 SSN" without value followed by DATE, PLAC and a last
//     "2 TYPE Social Security Number"; 1 in 20 a "1 SSN" with a number;
//   - 1 in 20 a "1 PROP" without value followed by DATE, PLAC and "2 TYPE ...".

#include <cstddef>
#include <filesystem>

enum class GedcomFlavour {
  Utf8Lf,       // UTF-8 without a byte-order mark, LF line ends
  Utf8CrLf,     // UTF-8 without a byte-order mark, CR LF line ends
  Utf16LeLf,    // UTF-16 little-endian with a byte-order mark, LF line ends
  Utf16LeCrLf,  // UTF-16 little-endian with a byte-order mark, CR LF line ends
};

constexpr bool IsUtf16(GedcomFlavour flavour) {
  return flavour == GedcomFlavour::Utf16LeLf || flavour == GedcomFlavour::Utf16LeCrLf;
}

// Writes (or replaces) the file at `path`. Records are added until the content
// reaches `approxBytes`, counted as UTF-8 with LF line ends (so it ends a
// little past that, at the end of a family). Every flavour of the same
// `approxBytes` holds the very same lines; only their line ends and encoding
// differ, so the CR LF and UTF-16 files are larger. Throws
// std::runtime_error when the file can't be written.
void WriteTypicalGedcom(const std::filesystem::path& path, std::size_t approxBytes, GedcomFlavour flavour);

// A file of one line of about `approxBytes`: a NOTE whose text of
// sentences runs on without a line end, for measuring long lines.
void WriteOneLineGedcom(const std::filesystem::path& path, std::size_t approxBytes, GedcomFlavour flavour);

// The content size the benchmarks use: TAVELOCK_BENCH_MB megabytes (10^6
// bytes) when that is set, else 100.
std::size_t BenchmarkBytes();

// The path of a file as WriteTypicalGedcom(path, approxBytes, flavour) makes
// it, generated on the first call and kept under the temporary folder
// (tavelock-bench/) for later runs, so that a benchmark doesn't pay for it.
std::filesystem::path CachedTypicalGedcom(std::size_t approxBytes, GedcomFlavour flavour);
