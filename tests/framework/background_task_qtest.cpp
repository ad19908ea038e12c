// The cooperative yield of long runs: repaints and timers go on (the tests
// below wait on them), user input waits until the run has ended.

#include <QAction>
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

struct InputCounter : QWidget {
  int mousePresses = 0, keyPresses = 0, paints = 0;
  void paintEvent(QPaintEvent*) override { ++paints; }
  void mousePressEvent(QMouseEvent*) override { ++mousePresses; }
  void keyPressEvent(QKeyEvent*) override { ++keyPresses; }
};

}  // namespace

class BackgroundTaskTest : public QObject {
  Q_OBJECT

 private slots:
  // The progress window is shown right before a long run: it must be painted
  // before the first line, not when the run is over.
  void windowShownBeforeTheRunIsPainted() {
    InputCounter window;
    window.show();
    fw::RuntimeFlushPaint();
    QVERIFY(window.paints > 0);
  }

  void inputWaitsForTheEndOfTheRun() {
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
      if (++ticks > 1) return;
      QCoreApplication::postEvent(&window, new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5),
                                                           Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
      QCoreApplication::postEvent(&window, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier));
      QCoreApplication::postEvent(&window, new QKeyEvent(QEvent::KeyPress, Qt::Key_K, Qt::ControlModifier));
    });
    ticker.start(1);
    QVERIFY(RunUntil([&] { return ticks >= 4; }));  // several yields after the events
    QCOMPARE(window.mousePresses + window.keyPresses + triggered, 0);

    ticker.stop();
    QCoreApplication::processEvents();  // the run has ended: the event loop goes on
    QCOMPARE(window.mousePresses, 1);
    QCOMPARE(window.keyPresses, 1);
    QCOMPARE(triggered, 1);
  }

  // Lines copied in a run count as their lines: the events wait for as many
  // lines, and as long a time, as when each line yields by itself, and the
  // caller learns when they ran.
  void linesHandledAtOnceCount() {
    bool timerRan = false;
    fw::RuntimeFlushPaint();  // starts the interval afresh
    QTimer::singleShot(0, [&] { timerRan = true; });
    QTest::qSleep(60);
    QVERIFY(fw::RuntimeBackgroundTask(1000));
    QVERIFY(timerRan);
    QVERIFY(!fw::RuntimeBackgroundTask(1000));  // too soon after the last time
    QTest::qSleep(60);
    QVERIFY(!fw::RuntimeBackgroundTask(200));  // too few lines since
    QVERIFY(!fw::RuntimeBackgroundTask(55));
    QVERIFY(fw::RuntimeBackgroundTask(1));
  }

  // An error message shown during the run must still be dismissable.
  void modalLoopDuringTheRunTakesInput() {
    InputCounter dialog;
    int delivered = -1;
    QTimer::singleShot(0, [&] {
      QEventLoop modal;
      QCoreApplication::postEvent(&dialog, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier));
      QTimer::singleShot(100, &modal, &QEventLoop::quit);
      modal.exec();
      delivered = dialog.keyPresses;
    });
    QVERIFY(RunUntil([&] { return delivered >= 0; }));
    QCOMPARE(delivered, 1);
  }
};

QTEST_MAIN(BackgroundTaskTest)
#include "background_task_qtest.moc"
