// The message box.

#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "framework/dialogs.h"

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
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
