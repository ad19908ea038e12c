// The runtime's life: the run loop, quitting, shut-down, and the report of
// exceptions that escape a handler. Each test starts and ends its own runtime.

#include <QMainWindow>
#include <QtTest>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/dialog_seam_testing.h"
#include "framework/exceptions.h"
#include "framework/menu.h"
#include "framework/window.h"

namespace {

// A loop that would never end fails the test instead of hanging the run.
void RunLoopGuarded() {
  QObject guard;  // the watchdog goes with it
  bool expired = false;
  QTimer::singleShot(20000, &guard, [&] {
    expired = true;
    QCoreApplication::exit(-1);
  });
  fw::RuntimeRun();
  QVERIFY2(!expired, "the run loop did not end");
}

struct LoggingWindow : fw::Window {
  LoggingWindow(QStringList& l, QString n) : log(l), name(std::move(n)) { SetProperty("Visible", true); }
  ~LoggingWindow() override { log << name + " released"; }
  void Event_Close() override { log << name + " closed"; }
  QStringList& log;
  QString name;
};

}  // namespace

class ApplicationTest : public QObject {
  Q_OBJECT

 private slots:
  void quitRequests() {
    fw::RuntimeInit();
    fw::Quit(4);
    fw::Quit(6);
    RunLoopGuarded();  // a quit before the run: the loop doesn't start
    QCOMPARE(fw::RuntimeExit(), 4);

    fw::RuntimeInit();
    {
      QWidget window;  // closing the last window doesn't quit
      window.show();
      QTimer::singleShot(0, &window, &QWidget::close);
      QTimer::singleShot(100, [] {
        fw::Quit(3);
        fw::Quit(5);
      });
      RunLoopGuarded();
    }
    QCOMPARE(fw::RuntimeExit(), 3);  // the first code stands
  }

  void quitItemClosesEveryWindowAndQuits() {
    fw::RuntimeInit();
    QStringList log;
    auto* main = new LoggingWindow(log, "main");
    main->Construct();
    auto bar = std::make_shared<fw::MenuBar>();
    fw::MenuItem* quit = bar->Append(std::make_unique<fw::MenuItem>())->Append(std::make_unique<fw::QuitMenuItem>());
    quit->SetText("Beenden");
    quit->SetKeyboardShortcut("Cmd+Q");
    main->SetMenuBar(bar);
    (new LoggingWindow(log, "progress"))->Construct();
    main->widget()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main->widget()));
    QTimer::singleShot(0, [&] { QTest::keyClick(main->widget(), Qt::Key_Q, Qt::ControlModifier); });
    RunLoopGuarded();
    QCOMPARE(log.filter("closed"), (QStringList{"main closed", "progress closed"}));
    QCOMPARE(fw::RuntimeExit(), 0);
    log.sort();  // each window closes once and is released at shut-down
    QCOMPARE(log, (QStringList{"main closed", "main released", "progress closed", "progress released"}));
  }

  void handlerExceptionsAreReportedAndTheAppGoesOn() {
    fw::RuntimeInit();
    fw::testing::ScriptedDialogs dialogs;
    // Even a report that fails itself stays inside the handler.
    dialogs.OnMessage([](const std::string&) { throw std::runtime_error("no message box"); });
    QTimer::singleShot(0, [] {
      fw::CallHandler([] { throw fw::IOException(28, "No space left on device"); });
      fw::CallHandler([] { throw std::runtime_error("disk on fire"); });
      fw::CallHandler([] { throw 42; });
    });
    QTimer::singleShot(20, [] { fw::Quit(4); });
    RunLoopGuarded();
    QCOMPARE(fw::RuntimeExit(), 4);  // the later event ran
    QCOMPARE(dialogs.Messages(),
             (std::vector<std::string>{
                 "An exception of class IOException was not handled.\n\nNo space left on device\n(error number 28)",
                 "An unexpected error occurred: disk on fire", "An unexpected error of an unknown kind occurred."}));
  }
};

QTEST_APPLESS_MAIN(ApplicationTest)
#include "application_qtest.moc"
