// rewrite-file: runs one GEDCOM file through the streams and line rules that
// the Modify command uses and writes the copy. A driver for measurements and
// checks, not a user feature.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

#include "rewrite_loop.h"
#include "framework/exceptions.h"
#include "framework/folder_item.h"
#include "framework/text_stream.h"

namespace {

constexpr const char* kUsage =
    "usage: rewrite-file [--utf8] [--marker TEXT | --fixed-marker] [--no-del-notes] [--no-replace]\n"
    "                    [--change1 ORG NEW] [--change2 ORG NEW] [--no-fold] [--stats] INPUT OUTPUT\n"
    "--stats prints the seconds taken and the peak memory (peak_rss_kib) at the end.\n";

struct Arguments {
  bool utf8 = false;
  bool stats = false;
  std::string marker = "DELETE:";
  RewriteValues options;  // the main window's starting values
  std::string input;
  std::string output;
};

// False, with the reason in `error`, when the command line is not usable.
bool Parse(int argc, char** argv, Arguments& args, std::string& error) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto needs = [&](int count) {
      if (i + count >= argc) {
        error = std::string(arg) + " needs " + std::to_string(count) + (count == 1 ? " value" : " values");
        return false;
      }
      return true;
    };
    if (arg == "--utf8") {
      args.utf8 = true;
    } else if (arg == "--stats") {
      args.stats = true;
    } else if (arg == "--marker") {
      if (!needs(1)) return false;
      args.marker = argv[++i];
    } else if (arg == "--fixed-marker") {
      args.marker = "(DEL)";
    } else if (arg == "--no-del-notes") {
      args.options.delNotes = false;
    } else if (arg == "--no-replace") {
      args.options.noteReplace = false;
    } else if (arg == "--change1" || arg == "--change2") {
      if (!needs(2)) return false;
      const bool first = arg == "--change1";
      (first ? args.options.change01 : args.options.change02) = true;
      (first ? args.options.change01Org : args.options.change02Org) = argv[++i];
      (first ? args.options.change01New : args.options.change02New) = argv[++i];
    } else if (arg == "--no-fold") {
      args.options.convertMS4to6 = false;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown flag " + std::string(arg);
      return false;
    } else if (positional == 0) {
      args.input = arg;
      ++positional;
    } else if (positional == 1) {
      args.output = arg;
      ++positional;
    } else {
      error = "too many arguments: " + std::string(arg);
      return false;
    }
  }
  if (positional != 2) {
    error = "INPUT and OUTPUT are both needed";
    return false;
  }
  return true;
}

int RewriteFile(const Arguments& args) {
  std::unique_ptr<fw::TextInputStream> in = fw::TextInputStream::Open(fw::FolderItem(args.input));
  if (!in) {
    std::cerr << "rewrite-file: cannot open " << args.input << " for reading\n";
    return 1;
  }
  if (!args.utf8) in->SetEncoding(fw::Encodings::UTF16);
  // Never over the input, under any name.
  std::unique_ptr<fw::TextOutputStream> out = fw::TextOutputStream::Create(fw::FolderItem(args.output), *in);
  if (!out) {
    std::cerr << "rewrite-file: cannot create " << args.output << " (the input itself, or not a writable file)\n";
    return 1;
  }
  LineRewriter rewriter(args.marker);
  tavelock_bench::RewriteLines(*in, *out, rewriter, args.options, std::cerr);
  // Only a closed output replaces the target; a failure before this point
  // leaves the target as it was.
  out->Close();
  in->Close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  std::string error;
  if (!Parse(argc, argv, args, error)) {
    std::cerr << "rewrite-file: " << error << '\n' << kUsage;
    return 2;
  }
  try {
    const auto start = std::chrono::steady_clock::now();
    const int result = RewriteFile(args);
    if (args.stats) {
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      rusage usage{};
      getrusage(RUSAGE_SELF, &usage);
      std::printf("seconds %.3f\npeak_rss_kib %ld\n", took.count(), usage.ru_maxrss);
    }
    return result;
  } catch (const fw::RuntimeException& e) {
    std::cerr << "rewrite-file: " << e.ClassName() << ": " << e.what() << '\n';
  } catch (const std::exception& e) {
    std::cerr << "rewrite-file: " << e.what() << '\n';
  }
  return 1;
}
