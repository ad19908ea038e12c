#include "framework/dialog_seam_testing.h"

namespace fw::testing {
namespace {

std::optional<FolderItem> Next(std::deque<std::optional<FolderItem>>& answers) {
  if (answers.empty()) return std::nullopt;
  std::optional<FolderItem> answer = std::move(answers.front());
  answers.pop_front();
  return answer;
}

}  // namespace

ScriptedDialogs::ScriptedDialogs() : previous_(SetDialogSeam(this)) {}

ScriptedDialogs::~ScriptedDialogs() { SetDialogSeam(previous_); }

void ScriptedDialogs::ShowMessage(const std::string& text) {
  messages_.push_back(text);
  if (onMessage_) onMessage_(text);
  if (onScreen_) QtDialogSeam().ShowMessage(text);
}

std::optional<FolderItem> ScriptedDialogs::ChooseOpenFile() {
  ++openRequests_;
  return Next(openAnswers_);
}

std::optional<FolderItem> ScriptedDialogs::ChooseSaveFile(const std::string& proposedName) {
  proposedSaveNames_.push_back(proposedName);
  return Next(saveAnswers_);
}

}  // namespace fw::testing
