#pragma once
// A dialog seam for tests: answers the open and save dialogs from queues and
// records every message and every proposed save name. Not for use by the
// application.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/dialogs.h"

namespace fw::testing {

// Qt's own dialogs, whatever seam is installed.
DialogSeam& QtDialogSeam();

class ScriptedDialogs final : public DialogSeam {
 public:
  // Installs itself as the seam; the destructor puts the previous one back.
  ScriptedDialogs();
  ~ScriptedDialogs() override;
  ScriptedDialogs(const ScriptedDialogs&) = delete;
  ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

  // The next answers of the dialogs, in order; none is a cancel. When a queue
  // is empty the dialog answers as cancelled.
  void QueueOpen(std::optional<FolderItem> answer) { openAnswers_.push_back(std::move(answer)); }
  void QueueSave(std::optional<FolderItem> answer) { saveAnswers_.push_back(std::move(answer)); }

  // Runs while a message is "shown", after it is recorded: a test can act as
  // if the message box were up.
  void OnMessage(std::function<void(const std::string&)> callback) { onMessage_ = std::move(callback); }
  // Shows every message in Qt's own message box besides recording it; the
  // test must dismiss each box.
  void ShowMessagesOnScreen(bool on) { onScreen_ = on; }

  const std::vector<std::string>& Messages() const { return messages_; }
  const std::vector<std::string>& ProposedSaveNames() const { return proposedSaveNames_; }
  int OpenRequests() const { return openRequests_; }

  void ShowMessage(const std::string& text) override;
  std::optional<FolderItem> ChooseOpenFile() override;
  std::optional<FolderItem> ChooseSaveFile(const std::string& proposedName) override;

 private:
  DialogSeam* previous_;
  std::deque<std::optional<FolderItem>> openAnswers_;
  std::deque<std::optional<FolderItem>> saveAnswers_;
  std::function<void(const std::string&)> onMessage_;
  std::vector<std::string> messages_;
  std::vector<std::string> proposedSaveNames_;
  int openRequests_ = 0;
  bool onScreen_ = false;
};

}  // namespace fw::testing
