// modify-command: runs the real Modify command once, in the application's own
// main window (offscreen), with the dialogs answered by the test seam, and
// prints how long the command took and the process's peak memory. A driver
// for measurements, not a user feature.
//
//   modify-command [--utf8] INPUT OUTPUT
//
// The options are the main window's starting values (UTF-16 decoding unless
// --utf8), as rewrite-file's defaults are, so the two can be compared.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "framework/application.h"
#include "framework/dialog_seam_testing.h"
#include "shell/app.h"
#include "shell/window1.h"

int main(int argc, char** argv) {
  bool utf8 = false;
  std::string paths[2];
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--utf8") {
      utf8 = true;
    } else if (positional < 2 && !arg.starts_with("--")) {
      paths[positional++] = argv[i];
    } else {
      positional = 3;
    }
  }
  if (positional != 2) {
    std::fputs("usage: modify-command [--utf8] INPUT OUTPUT\n", stderr);
    return 2;
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  fw::RuntimeInit();
  Startup();
  Window1* window = Window1::instance();
  if (utf8) window->PumEncoding()->SetListIndex(0);

  fw::testing::ScriptedDialogs dialogs;
  dialogs.QueueOpen(fw::FolderItem(paths[0]));
  dialogs.QueueSave(fw::FolderItem(paths[1]));

  const auto start = std::chrono::steady_clock::now();
  window->BtnModify()->Push();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const std::string_view success = "GEDCOM file successfully modified.";
  const bool succeeded = !dialogs.Messages().empty() && dialogs.Messages().back() == success;
  for (const std::string& message : dialogs.Messages()) {
    if (message != success) std::fprintf(stderr, "%s\n", message.c_str());
  }
  std::printf("seconds %.3f\npeak_rss_kib %ld\n", took.count(), usage.ru_maxrss);
  return succeeded ? 0 : 1;
}
