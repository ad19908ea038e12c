// The Modify command: the main window's "Modify .GED" button.

#include <memory>
#include <optional>
#include <string>

#include "framework/application.h"
#include "framework/dialogs.h"
#include "framework/exceptions.h"
#include "framework/text_stream.h"
#include "framework/window.h"
#include "rewrite/line_rewriter.h"
#include "rewrite/rewrite_lines.h"
#include "shell/window1.h"
#include "shell/wnd_working.h"

namespace {

const char kFixedMarker[] = "(DEL)";
const char kUtf16Choice[] = "UTF-16";
const char kOutputPrefix[] = "md_";
const char kError01[] = "Error 01: Can't assign file reference!";
const char kError02[] = "Error 02: Can't open stream!";
const char kError03[] = "Error 03: Can't assign file reference!";
const char kError04[] = "Error 04: Can't create stream!";
const char kMalformed[] = "Error in this line: ";
const char kSuccess[] = "GEDCOM file successfully modified.";

// The message for a malformed line shows its first characters only: a box
// holding a line of megabytes would take Qt seconds, or minutes, to lay out,
// and would not fit on any screen. The line is valid UTF-8 (the input stream
// makes it so), and is cut between characters.
std::string MalformedLineMessage(std::string_view line) {
  constexpr std::size_t kShownCharacters = 200;
  std::size_t cut = 0;
  for (std::size_t shown = 0; shown < kShownCharacters && cut < line.size(); ++shown) {
    do {
      ++cut;
    } while (cut < line.size() && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80);
  }
  std::string message = kMalformed;
  message.append(line.substr(0, cut));
  if (cut < line.size()) message += " \u2026";
  return message;
}

// Closes the progress window however the line loop is left: after the last
// line, and when a read or write failure leaves it, so that the report that
// follows isn't shown under a window that says the run is still working.
class ProgressWindowGuard {
 public:
  ProgressWindowGuard() = default;
  ProgressWindowGuard(const ProgressWindowGuard&) = delete;
  ProgressWindowGuard& operator=(const ProgressWindowGuard&) = delete;
  ~ProgressWindowGuard() {
    try {
      // Only the window that is there (the user may have closed it): none is
      // made just to be closed.
      if (fw::Window* progress = fw::GetImplicitWindow(WndWorking::kClassName)) progress->Close();
    } catch (...) {
      // Closing reports its own handlers' failures; on a failure path, the
      // failure that brought us here is the one to report.
    }
  }
};

}  // namespace

void Window1::BtnModify_Action(fw::PushButton* /*sender*/) {
  // The marker is read once: changing the controls during the run doesn't
  // change it.
  const std::string delTag =
      fw::CheckNil(PumDelNotes())->ListIndex() == 0 ? fw::CheckNil(EdfDelNotes())->Text() : kFixedMarker;

  const std::optional<fw::FolderItem> inputFile = fw::GetOpenFolderItem("");
  if (!inputFile) {
    fw::MsgBox(kError01);
    return;
  }
  std::unique_ptr<fw::TextInputStream> input = fw::TextInputStream::Open(*inputFile);
  if (!input) {
    fw::MsgBox(kError02);
    return;
  }
  if (fw::CheckNil(PumEncoding())->Text() == kUtf16Choice) input->SetEncoding(fw::Encodings::UTF16);

  const std::optional<fw::FolderItem> outputFile = fw::GetSaveFolderItem("", kOutputPrefix + inputFile->Name());
  if (!outputFile) {
    fw::MsgBox(kError03);
    return;
  }
  // The output is written to a temporary file that replaces the target only
  // when it is closed after a complete run; any failure before then leaves
  // the target as it was. The input itself, under any name, is refused: it
  // holds the private notes that the copy leaves out.
  std::unique_ptr<fw::TextOutputStream> output = fw::TextOutputStream::Create(*outputFile, *input);
  if (!output) {
    fw::MsgBox(kError04);
    return;
  }

  LineRewriter rewriter(delTag);

  {
    ProgressWindowGuard guard;
    fw::CheckNil(WndWorking::instance())->ShowWithin(*this, -1);
    // Painted now, before the first line is read, so that a long run shows it.
    fw::RuntimeFlushPaint();
    RewriteLines(
        *input, *output, rewriter, options_, [](std::string_view text) { fw::MsgBox(MalformedLineMessage(text)); },
        [](std::size_t lines) { return fw::RuntimeBackgroundTask(lines); });
  }
  output->Close();
  input->Close();
  fw::MsgBox(kSuccess);
}
