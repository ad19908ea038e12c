#pragma once
// Message box and file dialogs, behind one seam so that tests can answer the
// dialogs and collect the messages without a real modal window.

#include <optional>
#include <string>

#include "framework/folder_item.h"

namespace fw {

// What shows messages and asks for files. The default uses Qt's dialogs.
class DialogSeam {
 public:
  virtual ~DialogSeam() = default;
  virtual void ShowMessage(const std::string& text) = 0;
  virtual std::optional<FolderItem> ChooseOpenFile() = 0;
  virtual std::optional<FolderItem> ChooseSaveFile(const std::string& proposedName) = 0;
};

// Replaces the seam; null restores Qt's dialogs. Returns the previous one.
DialogSeam* SetDialogSeam(DialogSeam* seam);

// A modal message box with the text and one OK button; returns when dismissed.
void MsgBox(const std::string& text);

// The open dialog (no file-type filter is applied whatever `filter` holds):
// the chosen file, or none when the user cancels.
std::optional<FolderItem> GetOpenFolderItem(const std::string& filter);

// The save dialog, proposing `defaultName` in the folder where the last file
// was opened; it asks before replacing a file. None when the user cancels.
std::optional<FolderItem> GetSaveFolderItem(const std::string& filter, const std::string& defaultName);

}  // namespace fw
