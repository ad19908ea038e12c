// The progress window: a dialog shown within the main window, its one line
// whole, and closed without ending the run.

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QWindow>
#include <QtTest>

#include <functional>

#include "shell/wnd_working.h"
#include "shell_support.h"

using namespace shelltest;

using Closer = std::function<void(WndWorking&)>;
Q_DECLARE_METATYPE(Closer)

class ShellProgressTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    main_ = StartShell();
    QVERIFY(main_ != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(main_->widget()));
  }

  void cleanup() {
    if (QCoreApplication::instance() != nullptr) EndShell();
  }

  void shownWithinTheMainWindow() {
    QCOMPARE(fw::GetImplicitWindow(WndWorking::kClassName), nullptr);  // none until asked for
    WndWorking* progress = WndWorking::instance();
    QCOMPARE(WndWorking::instance(), progress);

    progress->ShowWithin(*main_, -1);
    QMainWindow* top = progress->widget();
    QCOMPARE(top->windowType(), Qt::Dialog);
    QCOMPARE(top->windowModality(), Qt::WindowModal);
    QCOMPARE(top->parentWidget(), static_cast<QWidget*>(main_->widget()));
    QCOMPARE(top->windowHandle()->transientParent(), main_->widget()->windowHandle());
    QVERIFY(QTest::qWaitForWindowExposed(top));

    // Its one line, whole within its label.
    const QLabel* label = fw::CheckNil(progress->StaticText1())->label();
    QCOMPARE(label->text(), QString("Please wait . . . working . . ."));
    const QSize needed = label->sizeHint();
    QVERIFY2(needed.width() <= label->width() && needed.height() <= label->height(),
             qPrintable(QString("needs %1x%2 in %3x%4")
                            .arg(needed.width()).arg(needed.height()).arg(label->width()).arg(label->height())));
    QVERIFY(SaveScreenshot(top, "progress-window.png"));
  }

  void closingItDoesNotQuit_data() {
    QTest::addColumn<Closer>("close");
    QTest::newRow("Close, as the command does") << Closer([](WndWorking& w) { w.Close(); });
    QTest::newRow("the user closes it") << Closer([](WndWorking& w) { QVERIFY(w.widget()->close()); });
  }
  void closingItDoesNotQuit() {
    QFETCH(Closer, close);
    QPointer<WndWorking> first(WndWorking::instance());
    first->ShowWithin(*main_, -1);
    close(*first);
    QVERIFY(!first.isNull());  // released once control is back in the loop
    QVERIFY(!first->widget()->isVisible());
    QCOMPARE(fw::GetImplicitWindow(WndWorking::kClassName), nullptr);
    QVERIFY(WndWorking::instance() != first.data());  // the next one is new
    QVERIFY(main_->IsOpen() && main_->widget()->isVisible());
    // A quit asked for by the close would have set the status first.
    fw::Quit(3);
    QCOMPARE(EndShell(), 3);
  }

 private:
  Window1* main_ = nullptr;
};

QTEST_APPLESS_MAIN(ShellProgressTest)
#include "shell_progress_qtest.moc"
