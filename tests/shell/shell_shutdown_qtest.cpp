// The whole process through Main: how it ends, and the state it leaves
// behind. The runtime is started before Main only so that
// the test can queue its steps; Main then finds it started.

#include <QMainWindow>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "shell_support.h"

using namespace shelltest;

namespace {

// Queues `step` to run once the loop has started (start-up is done by then).
void OnceRunning(std::function<void()> step) { QTimer::singleShot(0, QCoreApplication::instance(), std::move(step)); }

// Runs the process as main does. A loop that nothing else ends is ended with
// 99, a status no path of the system quits with.
int RunMain() {
  fw::RuntimeInit();
  QTimer::singleShot(20000, QCoreApplication::instance(), [] { fw::Quit(99); });
  return Main();
}

void ExpectShutDown() {
  QVERIFY(MenuBar1::heldInstance() == nullptr);
  QVERIFY(fw::App() == nullptr);
  QVERIFY(fw::AllWindows().empty());
}

}  // namespace

class ShellShutdownTest : public QObject {
  Q_OBJECT

 private slots:
  void closingTheMainWindowQuitsWithZero() {
    bool closed = false;
    OnceRunning([&] { closed = MainWindow()->widget()->close(); });
    QCOMPARE(RunMain(), 0);
    QVERIFY(closed);
    ExpectShutDown();
  }
};

QTEST_APPLESS_MAIN(ShellShutdownTest)
#include "shell_shutdown_qtest.moc"
