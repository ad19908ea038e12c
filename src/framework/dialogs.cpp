#include "framework/dialogs.h"

#include "framework/cpu_state.h"
#include "framework/dialog_seam_testing.h"
#include "framework/window.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMainWindow>
#include <QMessageBox>

#include <cstdio>
#include <filesystem>
#include <utility>

namespace fw {
namespace {

// File names are bytes on disk; Qt's own conversion gives them as UTF-8 on
// Linux and keeps names that aren't valid UTF-8 intact.
std::filesystem::path ToPath(const QString& file) { return std::filesystem::path(QFile::encodeName(file).toStdString()); }
QString ToQString(const std::filesystem::path& path) { return QFile::decodeName(QByteArray::fromStdString(path.string())); }

// The box wraps its text only at blanks, and grows with a stretch that has
// none (a malformed line has none at all) until it is wider than the screen
// and the text is cut off. Such stretches are broken every so many
// characters for showing.
QString Wrappable(const QString& text) {
  constexpr int kLongestStretch = 60;
  QString shown;
  shown.reserve(text.size() + text.size() / kLongestStretch);
  int stretch = 0;
  for (const QChar c : text) {
    if (c.isSpace()) {
      stretch = 0;
    } else if (stretch >= kLongestStretch && !c.isLowSurrogate()) {
      shown += QLatin1Char('\n');
      stretch = 0;
    }
    shown += c;
    if (!c.isSpace()) ++stretch;
  }
  return shown;
}

// The window a dialog stands over: the application's active window, and the
// main window when none is active, as right after the progress window or
// another dialog has closed, or while the user is in another application.
// Without a parent a dialog comes up in the middle of the screen, away from
// the window it is about.
QWidget* DialogParent() {
  if (QWidget* active = QApplication::activeWindow()) return active;
  const Window* main = MainWindow();
  if (main != nullptr && main->widget()->isVisible()) return main->widget();
  return nullptr;
}

// Qt's own dialogs, over DialogParent.
class QtDialogs final : public DialogSeam {
 public:
  void ShowMessage(const std::string& text) override {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
      // Nothing to show a window with: the message must not be lost.
      std::fprintf(stderr, "Tavelock: %s\n", text.c_str());
      return;
    }
    QMessageBox box(DialogParent());
    box.setWindowTitle(QStringLiteral("Tavelock"));
    // Messages may quote a line of the input file: never read it as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(Wrappable(QString::fromStdString(text)));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
  }

  std::optional<FolderItem> ChooseOpenFile() override {
    const QString file = QFileDialog::getOpenFileName(DialogParent(), QString(), StartFolder());
    if (file.isEmpty()) return std::nullopt;
    FolderItem chosen(ToPath(file));
    lastFolder_ = chosen.Path().parent_path();
    return chosen;
  }

  std::optional<FolderItem> ChooseSaveFile(const std::string& proposedName) override {
    // Qt's save dialog asks before it replaces an existing file.
    const QString proposed = QDir(StartFolder()).filePath(QString::fromStdString(proposedName));
    const QString file = QFileDialog::getSaveFileName(DialogParent(), QString(), proposed);
    if (file.isEmpty()) return std::nullopt;
    return FolderItem(ToPath(file));
  }

 private:
  QString StartFolder() const { return lastFolder_.empty() ? QDir::homePath() : ToQString(lastFolder_); }

  std::filesystem::path lastFolder_;  // of the file opened last
};

DialogSeam* g_seam = nullptr;

DialogSeam& Current() { return g_seam != nullptr ? *g_seam : testing::QtDialogSeam(); }

}  // namespace

DialogSeam& testing::QtDialogSeam() {
  static QtDialogs qtDialogs;
  return qtDialogs;
}

DialogSeam* SetDialogSeam(DialogSeam* seam) { return std::exchange(g_seam, seam); }

void MsgBox(const std::string& text) {
  Current().ShowMessage(text);
  // The box was painted; a run may go on with its line loop right after.
  internal::ClearUpperVectorState();
}

std::optional<FolderItem> GetOpenFolderItem(const std::string& /*filter*/) { return Current().ChooseOpenFile(); }

std::optional<FolderItem> GetSaveFolderItem(const std::string& /*filter*/, const std::string& defaultName) {
  return Current().ChooseSaveFile(defaultName);
}

}  // namespace fw
