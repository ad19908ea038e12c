// The whole process through Main: the two ways it ends, what does not end it,
// exceptions from handlers and from start-up, and the state it leaves behind.
// The runtime is started before Main only so that the test can queue its
// steps; Main then finds it started and runs as in the process.

#include <QAction>
#include <QCheckBox>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <string>
#include <vector>

#include "framework/dialogs.h"
#include "framework/exceptions.h"
#include "framework/window.h"
#include "shell/wnd_working.h"
#include "shell_support.h"

using namespace shelltest;

// Runs inside the loop, once start-up is done.
using Step = std::function<void()>;
Q_DECLARE_METATYPE(Step)

namespace {

// Collects the messages; the open dialog fails with an IOException, as a
// platform dialog that breaks would.
class FailingOpenDialog final : public fw::DialogSeam {
 public:
  FailingOpenDialog() : previous_(fw::SetDialogSeam(this)) {}
  ~FailingOpenDialog() override { fw::SetDialogSeam(previous_); }
  FailingOpenDialog(const FailingOpenDialog&) = delete;
  FailingOpenDialog& operator=(const FailingOpenDialog&) = delete;

  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::optional<fw::FolderItem> ChooseOpenFile() override {
    ++openRequests;
    throw fw::IOException(13, "Permission denied");
  }
  std::optional<fw::FolderItem> ChooseSaveFile(const std::string&) override { return std::nullopt; }

  std::vector<std::string> messages;
  int openRequests = 0;

 private:
  fw::DialogSeam* previous_;
};

Window1* MainWindow() { return dynamic_cast<Window1*>(fw::GetImplicitWindow("Window1.Window1")); }

QAction* QuitAction() {
  for (QAction* title : MainWindow()->widget()->menuBar()->actions()) {
    if (title->menu() == nullptr) continue;
    for (QAction* entry : title->menu()->actions()) {
      if (entry->objectName() == "FileQuit") return entry;
    }
  }
  return nullptr;
}

// Queues `step` to run once the loop has started (start-up is done by then).
void OnceRunning(Step step) { QTimer::singleShot(0, QCoreApplication::instance(), std::move(step)); }

// Runs the process as main does, with the runtime already up.
int RunMain() {
  fw::RuntimeInit();
  ArmWatchdog();
  return Main();
}

void ExpectShutDown() {
  QVERIFY(MenuBar1::heldInstance() == nullptr);
  QVERIFY(fw::App() == nullptr);
  QVERIFY(fw::AllWindows().empty());
  QVERIFY(QCoreApplication::instance() == nullptr);
}

}  // namespace

class ShellShutdownTest : public QObject {
  Q_OBJECT

 private slots:
  void endingTheRunQuitsWithZero_data() {
    QTest::addColumn<Step>("end");
    QTest::newRow("the main window is closed") << Step([] { QVERIFY(MainWindow()->widget()->close()); });
    QTest::newRow("Beenden") << Step([] {
      QAction* quit = QuitAction();
      QVERIFY(quit != nullptr);
      QCOMPARE(quit->text(), QString("Beenden"));
      quit->trigger();
    });
    QTest::newRow("Beenden by its shortcut") << Step([] {
      QMainWindow* top = MainWindow()->widget();
      QVERIFY(QTest::qWaitForWindowActive(top));
      QTest::keyClick(top, Qt::Key_Q, Qt::ControlModifier);
    });
  }
  void endingTheRunQuitsWithZero() {
    QFETCH(Step, end);
    bool ended = false;
    bool mainWindowGone = false;
    OnceRunning([&] {
      end();
      ended = true;
      mainWindowGone = MainWindow() == nullptr;
    });
    QCOMPARE(RunMain(), 0);
    QVERIFY(ended);
    QVERIFY(mainWindowGone);  // the quit item closes it on its way out
    ExpectShutDown();
  }

  void closingTheProgressWindowRunsOn_data() {
    QTest::addColumn<Step>("close");
    QTest::newRow("Close") << Step([] { WndWorking::instance()->Close(); });
    QTest::newRow("the user closes it") << Step([] { QVERIFY(WndWorking::instance()->widget()->close()); });
  }
  void closingTheProgressWindowRunsOn() {
    QFETCH(Step, close);
    bool ranOn = false;
    OnceRunning([&] {
      WndWorking::instance()->ShowWithin(*MainWindow(), -1);
      close();
      // A later event still arrives, the main window is still there.
      OnceRunning([&] {
        ranOn = MainWindow() != nullptr && MainWindow()->widget()->isVisible() &&
                fw::GetImplicitWindow(WndWorking::kClassName) == nullptr;
        fw::Quit(7);
      });
    });
    // A quit asked for by the close would have set the status first.
    QCOMPARE(RunMain(), 7);
    QVERIFY(ranOn);
    ExpectShutDown();
  }

  void handlerExceptionsAreReportedAndTheRunGoesOn_data() {
    QTest::addColumn<Step>("fail");
    QTest::addColumn<QString>("reportSays");
    QTest::addColumn<int>("openRequests");
    QTest::newRow("a check box's Action handler") << Step([] {
      fw::CheckBox* box = MainWindow()->ChkChange01();
      box->AddActionHandler([](fw::Control&) { throw fw::NilObjectException(); });
      QTest::mouseClick(box->checkBox(), Qt::LeftButton, Qt::KeyboardModifiers(), QPoint(6, box->Height() / 2));
      QVERIFY(box->Value());  // the change itself stands
    }) << "NilObjectException" << 0;
    QTest::newRow("the Modify command's open dialog") << Step([] { MainWindow()->BtnModify()->Push(); })
                                                      << "IOException" << 1;
  }
  void handlerExceptionsAreReportedAndTheRunGoesOn() {
    QFETCH(Step, fail);
    QFETCH(QString, reportSays);
    QFETCH(int, openRequests);
    FailingOpenDialog dialogs;
    bool ranOn = false;
    OnceRunning([&] {
      QVERIFY(QTest::qWaitForWindowExposed(MainWindow()->widget()));
      fail();
      OnceRunning([&] {
        ranOn = MainWindow() != nullptr && MainWindow()->IsOpen() &&
                fw::GetImplicitWindow(WndWorking::kClassName) == nullptr;
        fw::Quit(6);
      });
    });
    QCOMPARE(RunMain(), 6);
    QVERIFY(ranOn);
    QCOMPARE(dialogs.openRequests, openRequests);
    QCOMPARE(dialogs.messages.size(), size_t{1});
    QVERIFY2(QString::fromStdString(dialogs.messages.front()).contains(reportSays), dialogs.messages.front().c_str());
    ExpectShutDown();
  }

  void startUpFailureIsReportedAndShutsDown() {
    FailingOpenDialog dialogs;
    fw::RuntimeInit();
    // A window of another class already holds the main window's name, so
    // bringing up the main window fails inside start-up.
    auto* impostor = new fw::Window;
    fw::RegisterImplicitWindow("Window1.Window1", impostor);
    bool loopRan = false;
    OnceRunning([&] { loopRan = true; });
    QCOMPARE(RunMain(), 0);
    QVERIFY(!loopRan);
    QCOMPARE(dialogs.messages.size(), size_t{1});
    QVERIFY2(QString::fromStdString(dialogs.messages.front()).contains("Window1.Window1"),
             dialogs.messages.front().c_str());
    ExpectShutDown();
  }

  void theNextRunStartsAfresh() {
    // Runs after whole runs above: Main left nothing behind that a new run
    // would find, so it builds its menus and its window again.
    int titles = 0;
    int controls = 0;
    OnceRunning([&] {
      QVERIFY(MenuBar1::heldInstance() != nullptr);
      titles = MenuBar1::heldInstance()->Count();
      for (const ControlRow& row : kControls) controls += MainWindow()->ControlByName(row.name) != nullptr;
      QVERIFY(MainWindow()->widget()->close());
    });
    QCOMPARE(RunMain(), 0);
    QCOMPARE(titles, 2);
    QCOMPARE(controls, kControlCount);
    ExpectShutDown();
  }
};

QTEST_APPLESS_MAIN(ShellShutdownTest)
#include "shell_shutdown_qtest.moc"
