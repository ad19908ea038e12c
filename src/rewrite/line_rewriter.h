#pragma once
// The line rules: what is written to the copy for each input line. Pure C++.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rewrite/gedcom_line.h"

// A live view of the option controls: one query per control, named after it.
// Each query answers the control's state at the moment it is asked; a text
// it answers stays valid at least until the options next change.
class RewriteOptions {
 public:
  virtual ~RewriteOptions() = default;
  virtual bool chkDelNotes() const = 0;
  virtual bool ChkChange01() const = 0;
  virtual std::string_view PumChange01_Org() const = 0;
  virtual std::string_view PumChange01_New() const = 0;
  virtual bool ChkChange02() const = 0;
  virtual std::string_view PumChange02_Org() const = 0;
  virtual std::string_view PumChange02_New() const = 0;
  virtual bool ChkConvertMS4to6() const = 0;
  virtual bool ChkNoteReplace() const = 0;
};

// A fixed record of option values; its defaults are the main window's
// starting values.
struct RewriteValues final : RewriteOptions {
  bool delNotes = true;
  bool change01 = false;
  std::string change01Org = "SSN";
  std::string change01New = "MISS";
  bool change02 = false;
  std::string change02Org = "PROP";
  std::string change02New = "EVEN";
  bool convertMS4to6 = true;
  bool noteReplace = true;

  bool chkDelNotes() const override { return delNotes; }
  bool ChkChange01() const override { return change01; }
  std::string_view PumChange01_Org() const override { return change01Org; }
  std::string_view PumChange01_New() const override { return change01New; }
  bool ChkChange02() const override { return change02; }
  std::string_view PumChange02_Org() const override { return change02Org; }
  std::string_view PumChange02_New() const override { return change02New; }
  bool ChkConvertMS4to6() const override { return convertMS4to6; }
  bool ChkNoteReplace() const override { return noteReplace; }
};

// The outcome for one input line. `text` and `released` are views that stay
// valid until the next call on the rewriter or until the GEDCOM line passed in
// changes, whichever comes first: write or copy them before then.
struct RewriteResult {
  enum class Kind { WriteText, WriteNothing, MalformedLine };
  Kind kind = Kind::WriteNothing;
  std::string_view text;
  // Lines to write before `text`: lines that were to be written while a fold
  // was open, held back until it closed so that the copy keeps the input's
  // order. Empty except on the line that closes a fold.
  std::span<const std::string> released;

  static RewriteResult WriteText(std::string_view t) { return {Kind::WriteText, t, {}}; }
  static RewriteResult WriteNothing() { return {Kind::WriteNothing, {}, {}}; }
  static RewriteResult MalformedLine(std::string_view t) { return {Kind::MalformedLine, t, {}}; }
};

class LineRewriter {
 public:
  explicit LineRewriter(std::string delTag);

  // Decides one line, in input order. Reads the options it needs, in a fixed
  // order and each only when its rule applies; a single-field line reads none.
  RewriteResult Rewrite(const GedcomLine& line, const RewriteOptions& options);

  // At the end of the input: the lines that a fold still open has absorbed or
  // held back, in input order, each as it would have been written without the
  // fold. Empty when no fold is open. Leaves the rewriter with no fold open.
  std::vector<std::string> Finish();

 private:
  std::string delTag_;
  // Where the input is relative to its header, the first record of level 0
  // and tag HEAD: its CHAR line must name the copy's encoding.
  enum class Header { Before, Inside, After };
  Header header_ = Header::Before;
  bool inDelNote_ = false;
  bool noteReplaced_ = false;
  bool msPending_ = false;
  std::string msBuffer_;
  // Every line since the open fold's opening line (that included) that would
  // have been written without the fold, in input order. `absorbed` lines are
  // in msBuffer_ and come back only if the fold never closes; the others are
  // written all the same, once the fold closes.
  struct FoldLine {
    std::string text;
    bool absorbed;
  };
  std::vector<FoldLine> msHeld_;
  // The held lines handed out with the line that closed the fold.
  std::vector<std::string> released_;
  // Holds a rebuilt line between a Rewrite call and the next.
  std::string out_;

  // The rules' rarer paths, each for one step of Rewrite.
  void Tidy();
  RewriteResult SingleField(const GedcomLine& line);
  bool HeaderCharLine(const GedcomLine& line, bool headTag, bool charTag);
  std::string_view CharUtf8(const GedcomLine& line);
  std::string_view Rename(const GedcomLine& line, std::string_view newTag);
  std::string_view Fold(const GedcomLine& line, bool typeLine, std::string_view output,
                        std::span<const std::string>& released);
  std::string_view PrivateNote(const GedcomLine& line, const RewriteOptions& options);
  void Hold(std::string_view output);

  // Empties the fold's buffers; keeps their storage only when it is small.
  void ReleaseFold();
};
