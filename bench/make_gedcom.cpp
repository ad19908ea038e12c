// make-gedcom: writes a typical generated GEDCOM file, for the benchmark
// scripts.  make-gedcom MEGABYTES utf8|utf8-crlf|utf16|utf16-crlf[-one-line] PATH
// A kind ending in "-one-line" makes a file of one line of that size.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "gedcom_generator.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: make-gedcom MEGABYTES utf8|utf8-crlf|utf16|utf16-crlf[-one-line] PATH\n", stderr);
    return 2;
  }
  std::string_view kind = argv[2];
  const bool oneLine = kind.ends_with("-one-line");
  if (oneLine) kind.remove_suffix(std::string_view("-one-line").size());
  GedcomFlavour flavour;
  if (kind == "utf8") {
    flavour = GedcomFlavour::Utf8Lf;
  } else if (kind == "utf8-crlf") {
    flavour = GedcomFlavour::Utf8CrLf;
  } else if (kind == "utf16") {
    flavour = GedcomFlavour::Utf16LeLf;
  } else if (kind == "utf16-crlf") {
    flavour = GedcomFlavour::Utf16LeCrLf;
  } else {
    std::fputs("unknown flavour\n", stderr);
    return 2;
  }
  try {
    const auto bytes = static_cast<std::size_t>(std::strtoull(argv[1], nullptr, 10)) * 1000000;
    (oneLine ? WriteOneLineGedcom : WriteTypicalGedcom)(argv[3], bytes, flavour);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
