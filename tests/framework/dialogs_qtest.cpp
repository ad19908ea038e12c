// The message box and the file dialogs: Qt's own, and the scripted seam that
// tests of the application answer them with.

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/dialog_seam_testing.h"
#include "framework/dialogs.h"

namespace {

// Acts on the next modal dialog once it is up, as the user would.
template <class Dialog>
void WhenUp(std::function<void(Dialog&)> act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      act(*dialog);
    }
  });
  poll->start(10);
}

using Strings = std::vector<std::string>;

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void scriptedSeamAnswersAndRecords() {
    fw::testing::ScriptedDialogs outer;
    {
      fw::testing::ScriptedDialogs dialogs;
      dialogs.QueueOpen(fw::FolderItem("/data/a.ged"));
      dialogs.QueueOpen(std::nullopt);
      dialogs.QueueSave(fw::FolderItem("/data/md_a.ged"));
      Strings shownWhileUp;
      dialogs.OnMessage([&](const std::string& text) { shownWhileUp.push_back(text + " up"); });

      QCOMPARE(fw::GetOpenFolderItem("")->Path(), std::filesystem::path("/data/a.ged"));
      QVERIFY(!fw::GetOpenFolderItem(""));  // cancelled
      QVERIFY(!fw::GetOpenFolderItem(""));  // nothing scripted: cancelled
      QCOMPARE(dialogs.OpenRequests(), 3);
      QCOMPARE(fw::GetSaveFolderItem("", "md_a.ged")->Path(), std::filesystem::path("/data/md_a.ged"));
      QVERIFY(!fw::GetSaveFolderItem("", "md_b.ged"));
      QCOMPARE(dialogs.ProposedSaveNames(), (Strings{"md_a.ged", "md_b.ged"}));
      fw::MsgBox("one");
      fw::MsgBox("two");
      QCOMPARE(dialogs.Messages(), (Strings{"one", "two"}));
      QCOMPARE(shownWhileUp, (Strings{"one up", "two up"}));
    }
    QCOMPARE(fw::SetDialogSeam(&outer), static_cast<fw::DialogSeam*>(&outer));  // the outer seam is back
    fw::MsgBox("after");
    QCOMPARE(outer.Messages(), Strings{"after"});
  }

  void messageBox() {
    QString title, text;
    Qt::TextFormat format = Qt::AutoText;
    qsizetype buttons = 0;
    WhenUp<QMessageBox>([&](QMessageBox& box) {
      title = box.windowTitle();
      text = box.text();
      format = box.textFormat();
      buttons = box.buttons().size();
      box.button(QMessageBox::Ok)->click();
    });
    fw::MsgBox("Error in this line: 1 NOTE <b>x</b>");  // returns once dismissed
    QCOMPARE(title, QString("Tavelock"));
    QCOMPARE(text, QString("Error in this line: 1 NOTE <b>x</b>"));
    QCOMPARE(format, Qt::PlainText);  // a line of the input is never read as markup
    QCOMPARE(buttons, 1);
  }

  void fileDialogs() {
    QTemporaryDir folder;
    const QString name = QString::fromUtf8("Stammbaum ü.ged");
    const QString input = folder.filePath(name);
    QFile(input).open(QIODevice::WriteOnly);
    const std::string utf8Name = name.toStdString();

    QString proposedFolder;
    QStringList proposed;
    const auto cancelSave = [&](QFileDialog& dialog) {
      proposedFolder = dialog.directory().absolutePath();
      proposed = dialog.selectedFiles();
      dialog.reject();
    };
    // Before any file was opened the copy is proposed in the home folder.
    WhenUp<QFileDialog>(cancelSave);
    QVERIFY(!fw::GetSaveFolderItem("", "md_" + utf8Name));
    QCOMPARE(proposedFolder, QDir::homePath());

    WhenUp<QFileDialog>([&](QFileDialog& dialog) {
      dialog.findChild<QLineEdit*>("fileNameEdit")->setText(input);  // typed in
      static_cast<QDialog&>(dialog).accept();  // the OK button
    });
    const std::optional<fw::FolderItem> opened = fw::GetOpenFolderItem("");
    QVERIFY(opened);
    QCOMPARE(opened->Name(), utf8Name);
    QCOMPARE(QFile::decodeName(opened->Path().c_str()), input);

    WhenUp<QFileDialog>(cancelSave);
    QVERIFY(!fw::GetSaveFolderItem("", "md_" + utf8Name));
    QCOMPARE(proposedFolder, folder.path());
    QCOMPARE(proposed, QStringList{folder.filePath("md_" + name)});

    WhenUp<QFileDialog>([](QFileDialog& dialog) { static_cast<QDialog&>(dialog).accept(); });
    const std::optional<fw::FolderItem> saved = fw::GetSaveFolderItem("", "md_" + utf8Name);
    QVERIFY(saved);
    QCOMPARE(saved->Name(), "md_" + utf8Name);
    QCOMPARE(saved->Path().parent_path(), opened->Path().parent_path());
  }
};

int main(int argc, char** argv) {
  fw::RuntimeInit();
  DialogsTest test;
  const int failures = QTest::qExec(&test, argc, argv);
  fw::RuntimeExit();
  return failures;
}

#include "dialogs_qtest.moc"
