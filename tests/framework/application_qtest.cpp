// The runtime's life: start, run loop, quitting, shut-down, and the report of
// exceptions that escape a handler. Each test starts and ends its own runtime.

#include <QMainWindow>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/dialog_seam_testing.h"
#include "framework/exceptions.h"
#include "framework/menu.h"
#include "framework/window.h"

using Thrower = std::function<void()>;
Q_DECLARE_METATYPE(Thrower)

namespace {

// A loop that would never end fails the test instead of hanging the run.
void RunLoopGuarded() {
  bool expired = false;
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    expired = true;
    QCoreApplication::exit(-1);
  });
  watchdog.start(20000);
  fw::RuntimeRun();
  QVERIFY2(!expired, "the run loop did not end");
}

class LoggingWindow : public fw::Window {
 public:
  LoggingWindow(QStringList& log, QString name, bool quitsOnClose) : log_(log), name_(std::move(name)), quits_(quitsOnClose) {
    SetProperty("Visible", true);
  }
  ~LoggingWindow() override { log_ << name_ + " released"; }

 protected:
  void Event_Close() override {
    log_ << name_ + " closed";
    if (quits_) fw::Quit(0);  // as the main window does
  }

 private:
  QStringList& log_;
  QString name_;
  bool quits_;
};

}  // namespace

class ApplicationTest : public QObject {
  Q_OBJECT

 private slots:
  void startAndShutDown() {
    fw::RuntimeInit();
    QCoreApplication* qt = QCoreApplication::instance();
    fw::RuntimeInit();
    QCOMPARE(QCoreApplication::instance(), qt);
    QCOMPARE(QCoreApplication::arguments(), QStringList{"tavelock"});

    struct TrackedApp : fw::Application {
      bool* released;
      explicit TrackedApp(bool* flag) : released(flag) {}
      ~TrackedApp() override { *released = true; }
    };
    bool released = false;
    fw::RuntimeRegisterAppObject(std::make_unique<TrackedApp>(&released));
    QVERIFY(fw::App() != nullptr);
    QCOMPARE(fw::RuntimeExit(), 0);  // Quit never ran
    QVERIFY(released);
    QVERIFY(fw::App() == nullptr);
    QVERIFY(QCoreApplication::instance() == nullptr);
  }

  void quitRequests_data() {
    QTest::addColumn<QList<int>>("beforeRun");
    QTest::addColumn<QList<int>>("fromTimer");
    QTest::addColumn<bool>("loopRuns");
    QTest::addColumn<int>("exitStatus");
    QTest::newRow("quit from the loop") << QList<int>{} << QList<int>{0} << true << 0;
    QTest::newRow("the first code stands") << QList<int>{} << QList<int>{3, 5} << true << 3;
    QTest::newRow("quit before the run") << QList<int>{4, 6} << QList<int>{} << false << 4;
  }
  void quitRequests() {
    QFETCH(QList<int>, beforeRun);
    QFETCH(QList<int>, fromTimer);
    QFETCH(bool, loopRuns);
    QFETCH(int, exitStatus);
    fw::RuntimeInit();
    bool timerFired = false;
    QTimer::singleShot(0, [&] {
      timerFired = true;
      for (int code : fromTimer) fw::Quit(code);
    });
    for (int code : beforeRun) fw::Quit(code);
    RunLoopGuarded();
    QCOMPARE(timerFired, loopRuns);
    QCOMPARE(fw::RuntimeExit(), exitStatus);
  }

  void closingTheLastWindowDoesNotQuit() {
    fw::RuntimeInit();
    {
      QWidget window;
      window.show();
      QTimer::singleShot(0, &window, &QWidget::close);
      QTimer::singleShot(100, [] { fw::Quit(7); });
      RunLoopGuarded();
    }
    QCOMPARE(fw::RuntimeExit(), 7);
  }

  void windowsCloseOnceAndGo_data() {
    QTest::addColumn<bool>("quitItem");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QStringList>("afterLoop");
    // The quit item closes the windows itself; a plain Quit leaves them to the
    // shut-down. Either way each window closes once and is released.
    QTest::newRow("quit item (Ctrl+Q)") << true << 0 << QStringList{"main closed", "progress closed"};
    QTest::newRow("Quit(5)") << false << 5 << QStringList{};
  }
  void windowsCloseOnceAndGo() {
    QFETCH(bool, quitItem);
    QFETCH(int, exitStatus);
    QFETCH(QStringList, afterLoop);
    fw::RuntimeInit();
    QStringList log;
    auto* main = new LoggingWindow(log, "main", true);
    main->Construct();
    auto bar = std::make_shared<fw::MenuBar>();
    fw::MenuItem* file = bar->Append(std::make_unique<fw::MenuItem>());
    file->SetText("&Ablage");
    fw::MenuItem* quit = file->Append(std::make_unique<fw::QuitMenuItem>());
    quit->SetText("Beenden");
    quit->SetKeyboardShortcut("Cmd+Q");
    main->SetMenuBar(bar);
    (new LoggingWindow(log, "progress", false))->Construct();
    main->widget()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main->widget()));
    QTimer::singleShot(0, [&] {
      if (quitItem) {
        QTest::keyClick(main->widget(), Qt::Key_Q, Qt::ControlModifier);
      } else {
        fw::Quit(5);
      }
    });
    RunLoopGuarded();
    QCOMPARE(log.filter("closed"), afterLoop);
    QCOMPARE(fw::RuntimeExit(), exitStatus);
    log.sort();
    QCOMPARE(log, (QStringList{"main closed", "main released", "progress closed", "progress released"}));
    QVERIFY(fw::AllWindows().empty());
  }

  void escapingExceptionIsReported_data() {
    QTest::addColumn<Thrower>("thrower");
    QTest::addColumn<QStringList>("reportSays");
    QTest::newRow("IOException") << Thrower([] { throw fw::IOException(28, "No space left on device"); })
                                 << QStringList{"IOException", "No space left on device", "error number 28"};
    QTest::newRow("NilObjectException") << Thrower([] { throw fw::NilObjectException(); })
                                        << QStringList{"NilObjectException", "An object was expected"};
    QTest::newRow("std::exception") << Thrower([] { throw std::runtime_error("disk on fire"); })
                                    << QStringList{"An unexpected error occurred: disk on fire"};
    QTest::newRow("not a std::exception") << Thrower([] { throw 42; }) << QStringList{"unknown kind"};
    QTest::newRow("nothing thrown") << Thrower([] {}) << QStringList{};
  }
  void escapingExceptionIsReported() {
    QFETCH(Thrower, thrower);
    QFETCH(QStringList, reportSays);
    fw::testing::ScriptedDialogs dialogs;
    fw::CallHandler(thrower);
    QCOMPARE(dialogs.Messages().size(), reportSays.isEmpty() ? 0u : 1u);
    if (reportSays.isEmpty()) return;
    const QString report = QString::fromStdString(dialogs.Messages().front());
    for (const QString& part : reportSays) QVERIFY2(report.contains(part), qPrintable(report));
    // The report of an exception that escapes the run loop says the same.
    try {
      thrower();
    } catch (...) {
      fw::UnhandledException(std::current_exception());
    }
    QCOMPARE(dialogs.Messages().back(), dialogs.Messages().front());
  }

  void reportThatFailsStaysInside() {
    fw::testing::ScriptedDialogs dialogs;
    dialogs.OnMessage([](const std::string&) { throw std::runtime_error("no message box"); });
    fw::CallHandler([] { throw fw::RuntimeException("first"); });
    QCOMPARE(dialogs.Messages().size(), 1u);
  }

  void applicationKeepsRunningAfterReport() {
    fw::RuntimeInit();
    fw::testing::ScriptedDialogs dialogs;
    bool laterEvent = false;
    QTimer::singleShot(0, [] { fw::CallHandler([] { throw fw::IOException(5, "Input/output error"); }); });
    QTimer::singleShot(20, [&] {
      laterEvent = true;
      fw::Quit(4);
    });
    RunLoopGuarded();
    QVERIFY(laterEvent);
    QCOMPARE(dialogs.Messages().size(), 1u);
    QCOMPARE(fw::RuntimeExit(), 4);
  }
};

QTEST_APPLESS_MAIN(ApplicationTest)
#include "application_qtest.moc"
