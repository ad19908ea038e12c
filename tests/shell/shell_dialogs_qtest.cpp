// Qt's own message box and file dialogs stand over the window they are about:
// the application's active window, or the main window when none is active.

#include <QDialog>
#include <QFileDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "framework/dialogs.h"
#include "shell/wnd_working.h"
#include "shell_support.h"

using namespace shelltest;

namespace {

// What the dialog showed while it was up.
struct Seen {
  bool shown = false;
  QWidget* parent = nullptr;
  QRect frame;
};

// Runs `show`, which returns once its dialog is dismissed; the dialog is
// looked at while it is up, and then dismissed (OK for the message box,
// Cancel for the file dialogs).
Seen WhileUp(const std::function<void()>& show) {
  Seen seen;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    poll.stop();
    seen = {true, dialog->parentWidget(), dialog->frameGeometry()};
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
      box->button(QMessageBox::Ok)->click();
    } else {
      dialog->reject();
    }
  });
  poll.start(10);
  show();
  return seen;
}

}  // namespace

// Brings a situation about and gives the window that is then the right
// parent.
using Situation = std::function<QWidget*(Window1&)>;
using Show = std::function<void()>;
Q_DECLARE_METATYPE(Situation)
Q_DECLARE_METATYPE(Show)

class ShellDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    main_ = StartShellActive();
    QVERIFY(main_ != nullptr);
  }

  void cleanup() { EndShell(); }

  void dialogsStandOverTheirWindow_data() {
    QTest::addColumn<Show>("show");
    QTest::addColumn<Situation>("situation");
    QTest::addColumn<bool>("centred");  // checked for the message box; the screen's edge may push a file dialog aside

    const Show message = [] { fw::MsgBox("GEDCOM file successfully modified."); };
    const Show open = [] { (void)fw::GetOpenFolderItem(""); };
    const Show save = [] { (void)fw::GetSaveFolderItem("", "md_family.ged"); };
    const Situation mainActive = [](Window1& main) { return main.widget(); };
    const Situation progressActive = [](Window1& main) -> QWidget* {
      WndWorking* progress = WndWorking::instance();
      progress->ShowWithin(main, -1);
      // Shown again within the main window, the progress window is the
      // platform's focus window but not yet the application's active one;
      // focus going away and back makes it so, as a click on it would.
      main.widget()->activateWindow();
      progress->widget()->activateWindow();
      const bool active = QTest::qWaitFor([&] { return QApplication::activeWindow() == progress->widget(); });
      return active ? progress->widget() : nullptr;
    };
    const Situation progressClosed = [progressActive](Window1& main) -> QWidget* {
      if (progressActive(main) == nullptr) return nullptr;
      fw::CheckNil(fw::GetImplicitWindow(WndWorking::kClassName))->Close();
      // Nothing of the application is active now.
      return QApplication::activeWindow() == nullptr ? main.widget() : nullptr;
    };
    // clang-format off
    QTest::newRow("message, main window active")      << message << mainActive     << true;
    QTest::newRow("message, progress window active")  << message << progressActive << true;
    QTest::newRow("message, progress window closed")  << message << progressClosed << true;
    QTest::newRow("open, main window active")         << open    << mainActive     << false;
    QTest::newRow("open, progress window closed")     << open    << progressClosed << false;
    QTest::newRow("save, progress window closed")     << save    << progressClosed << false;
    // clang-format on
  }
  void dialogsStandOverTheirWindow() {
    QFETCH(Show, show);
    QFETCH(Situation, situation);
    QFETCH(bool, centred);

    QWidget* expected = situation(*main_);
    QVERIFY2(expected != nullptr, "the situation could not be brought about");
    const Seen seen = WhileUp(show);
    QVERIFY(seen.shown);
    QCOMPARE(seen.parent, expected);
    if (centred) {
      // The box settles its size after it has been placed: a few pixels off.
      const QPoint offset = seen.frame.center() - expected->frameGeometry().center();
      QVERIFY2(qAbs(offset.x()) <= 4 && qAbs(offset.y()) <= 4,
               qPrintable(QString("off by %1,%2").arg(offset.x()).arg(offset.y())));
    }
  }

 private:
  Window1* main_ = nullptr;
};

QTEST_APPLESS_MAIN(ShellDialogsTest)
#include "shell_dialogs_qtest.moc"
