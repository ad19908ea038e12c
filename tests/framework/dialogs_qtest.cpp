// The message box, and the scripted seam that tests of the application answer
// the dialogs with.

#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <string>
#include <vector>

#include "framework/dialog_seam_testing.h"
#include "framework/dialogs.h"

using Strings = std::vector<std::string>;

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void scriptedSeamAnswersAndRecords() {
    fw::testing::ScriptedDialogs outer;
    {
      fw::testing::ScriptedDialogs dialogs;
      dialogs.QueueOpen(fw::FolderItem("/data/a.ged"));
      QCOMPARE(fw::GetOpenFolderItem("")->Path(), std::filesystem::path("/data/a.ged"));
      QVERIFY(!fw::GetOpenFolderItem(""));  // nothing scripted: cancelled
      QVERIFY(!fw::GetSaveFolderItem("", "md_a.ged"));
      QCOMPARE(dialogs.ProposedSaveNames(), Strings{"md_a.ged"});
      fw::MsgBox("one");
      QCOMPARE(dialogs.Messages(), Strings{"one"});
    }
    fw::MsgBox("after");  // the outer seam is back
    QCOMPARE(outer.Messages(), Strings{"after"});
  }

  void messageBoxShowsInputAsPlainText() {
    const QString line = "Error in this line: 1 NOTE <b>x</b>";
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        poll.stop();
        box->button(QMessageBox::Ok)->click();
        QCOMPARE(box->text(), line);
        QCOMPARE(box->textFormat(), Qt::PlainText);  // a line of the input is never read as markup
      }
    });
    poll.start(10);
    fw::MsgBox(line.toStdString());  // returns once dismissed
  }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_qtest.moc"
