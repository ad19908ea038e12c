// The cooperative yield of long runs: timers and repaints go on, user input
// waits until the run has ended.

#include <QAction>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>

#include "framework/application.h"

namespace {

// Yields as a run does, line after line, until `done` (or a generous cap, so
// that a yield that never lets anything run fails instead of hanging).
bool RunUntil(const std::function<bool()>& done) {
  QElapsedTimer cap;
  cap.start();
  while (!done()) {
    fw::RuntimeBackgroundTask();
    if (cap.elapsed() > 20000) return false;
  }
  return true;
}

class InputCounter : public QWidget {
 public:
  int mousePresses = 0;
  int keyPresses = 0;
  int paints = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override { ++mousePresses; }
  void keyPressEvent(QKeyEvent*) override { ++keyPresses; }
  void paintEvent(QPaintEvent*) override { ++paints; }
};

using EventMaker = std::function<QEvent*()>;

}  // namespace

Q_DECLARE_METATYPE(EventMaker)

class BackgroundTaskTest : public QObject {
  Q_OBJECT

 private slots:
  void timersRunDuringTheLoop() {
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    QVERIFY(RunUntil([&] { return fired; }));
  }

  void inputWaitsForTheEndOfTheRun_data() {
    QTest::addColumn<EventMaker>("makeEvent");
    QTest::addColumn<int>("mousePresses");
    QTest::addColumn<int>("keyPresses");
    QTest::addColumn<int>("shortcuts");
    QTest::newRow("click") << EventMaker([] {
      return new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                             Qt::NoModifier);
    }) << 1 << 0 << 0;
    QTest::newRow("key") << EventMaker([] { return new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"); })
                         << 0 << 1 << 0;
    QTest::newRow("shortcut") << EventMaker([] {
      return new QKeyEvent(QEvent::KeyPress, Qt::Key_K, Qt::ControlModifier);
    }) << 0 << 0 << 1;
  }
  void inputWaitsForTheEndOfTheRun() {
    QFETCH(EventMaker, makeEvent);
    QFETCH(int, mousePresses);
    QFETCH(int, keyPresses);
    QFETCH(int, shortcuts);
    InputCounter window;
    QAction shortcut(&window);
    shortcut.setShortcut(QKeySequence("Ctrl+K"));
    window.addAction(&shortcut);
    int triggered = 0;
    connect(&shortcut, &QAction::triggered, [&] { ++triggered; });
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] {
      if (++ticks == 1) QCoreApplication::postEvent(&window, makeEvent());
    });
    ticker.start(1);
    QVERIFY(RunUntil([&] { return ticks >= 4; }));  // several yields after the event
    QCOMPARE(window.mousePresses + window.keyPresses + triggered, 0);

    ticker.stop();
    QCoreApplication::processEvents();  // the run has ended: the event loop goes on
    QCOMPARE(window.mousePresses, mousePresses);
    QCOMPARE(window.keyPresses, keyPresses);
    QCOMPARE(triggered, shortcuts);
  }

  void modalLoopDuringTheRunTakesInput() {
    InputCounter dialog;
    int delivered = -1;
    QTimer::singleShot(0, [&] {
      QEventLoop modal;
      QCoreApplication::postEvent(&dialog, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
      QTimer::singleShot(100, &modal, &QEventLoop::quit);
      modal.exec();
      delivered = dialog.keyPresses;
    });
    QVERIFY(RunUntil([&] { return delivered >= 0; }));
    QCOMPARE(delivered, 1);
  }

  void windowShownBeforeTheRunIsPainted() {
    InputCounter window;
    window.show();
    fw::RuntimeFlushPaint();
    QVERIFY(window.paints > 0);
  }

  void aMillionLinesFinish() {
    for (int i = 0; i < 1000000; ++i) fw::RuntimeBackgroundTask();
  }
};

int main(int argc, char** argv) {
  fw::RuntimeInit();
  BackgroundTaskTest test;
  const int failures = QTest::qExec(&test, argc, argv);
  fw::RuntimeExit();
  return failures;
}

#include "background_task_qtest.moc"
