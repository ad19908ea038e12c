// The whole process through Main: how it ends, exceptions from handlers, and
// the state it leaves behind. The runtime is started before Main only so that
// the test can queue its steps; Main then finds it started.

#include <QCheckBox>
#include <QMainWindow>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "framework/dialog_seam_testing.h"
#include "framework/exceptions.h"
#include "shell_support.h"

using namespace shelltest;

namespace {

Window1* MainWindow() { return dynamic_cast<Window1*>(fw::GetImplicitWindow("Window1.Window1")); }

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

  void handlerExceptionIsReportedAndTheRunGoesOn() {
    fw::testing::ScriptedDialogs dialogs;
    bool ranOn = false;
    OnceRunning([&] {
      fw::CheckBox* box = MainWindow()->ChkChange01();
      box->AddActionHandler([](fw::Control&) { throw fw::NilObjectException(); });
      box->checkBox()->click();
      QVERIFY(box->Value());  // the change itself stands
      OnceRunning([&] {
        ranOn = MainWindow() != nullptr && MainWindow()->IsOpen();
        fw::Quit(6);
      });
    });
    QCOMPARE(RunMain(), 6);
    QVERIFY(ranOn);
    QCOMPARE(dialogs.Messages().size(), size_t{1});
    QVERIFY2(dialogs.Messages().front().find("NilObjectException") != std::string::npos,
             dialogs.Messages().front().c_str());
    ExpectShutDown();
  }
};

QTEST_APPLESS_MAIN(ShellShutdownTest)
#include "shell_shutdown_qtest.moc"
