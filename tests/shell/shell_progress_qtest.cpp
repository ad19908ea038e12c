// The progress window: how it looks, shown within the main window, and made
// anew after it was closed.

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QWindow>
#include <QtTest>

#include <functional>

#include "framework/window.h"
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

  void noneUntilAskedFor() {
    QCOMPARE(fw::GetImplicitWindow(WndWorking::kClassName), nullptr);
    QCOMPARE(fw::AllWindows().size(), size_t{1});
  }

  void oneLabelInAnUntitledDialog() {
    WndWorking* progress = WndWorking::instance();
    QVERIFY(progress != nullptr);
    QCOMPARE(WndWorking::instance(), progress);
    QCOMPARE(fw::GetImplicitWindow(WndWorking::kClassName), static_cast<fw::Window*>(progress));
    QCOMPARE(progress->Title(), std::string("Ohne Titel"));
    QCOMPARE(progress->content()->size(), QSize(365, 64));
    QVERIFY(progress->widget()->isVisible());  // its record shows it
    QCOMPARE(progress->widget()->windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(!progress->widget()->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    // No menu bar of its own.
    QVERIFY(progress->GetMenuBar() == nullptr);
    QVERIFY(progress->widget()->menuWidget() == nullptr);
    QCOMPARE(progress->content()->geometry().top(), 0);

    // One label and nothing else.
    QCOMPARE(progress->content()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size(), 1);
    fw::Label* label = progress->StaticText1();
    QVERIFY(label != nullptr);
    QCOMPARE(static_cast<fw::Control*>(label), progress->ControlByName("StaticText1"));
    QVERIFY(static_cast<fw::Control*>(label) != main_->ControlByName("StaticText1"));
    QCOMPARE(label->Text(), std::string("Please wait . . . working . . ."));
    QCOMPARE(QRect(label->Left(), label->Top(), label->Width(), label->Height()), QRect(20, 14, 325, 20));
    QCOMPARE(label->widget()->mapTo(progress->content(), QPoint(0, 0)), QPoint(20, 14));
    QCOMPARE(label->label()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(label->label()->palette().color(QPalette::WindowText), QColor(Qt::black));
    QCOMPARE(label->TextUnit(), 0);
    QCOMPARE(label->TextSize(), 0.0);
    QVERIFY(label->Enabled());
    QVERIFY(label->widget()->isVisible());
  }

  void shownWithinTheMainWindow() {
    WndWorking* progress = WndWorking::instance();
    progress->ShowWithin(*main_, -1);
    QMainWindow* top = progress->widget();
    QVERIFY(top->isVisible());
    QVERIFY(progress->IsOpen());
    QCOMPARE(top->windowModality(), Qt::WindowModal);
    QCOMPARE(top->parentWidget(), static_cast<QWidget*>(main_->widget()));
    QVERIFY(top->isWindow());
    QVERIFY(top->windowHandle() != nullptr);
    QCOMPARE(top->windowHandle()->transientParent(), main_->widget()->windowHandle());
    QCOMPARE(progress->content()->size(), QSize(365, 64));
    QVERIFY(QTest::qWaitForWindowExposed(top));
    QVERIFY(SaveScreenshot(top, "progress-window.png"));
  }

  void closedItGoesAndTheNextIsNew_data() {
    QTest::addColumn<Closer>("close");
    QTest::newRow("Close, as the command does") << Closer([](WndWorking& w) { w.Close(); });
    QTest::newRow("the user closes it") << Closer([](WndWorking& w) { QVERIFY(w.widget()->close()); });
  }
  void closedItGoesAndTheNextIsNew() {
    QFETCH(Closer, close);
    QPointer<WndWorking> first(WndWorking::instance());
    first->ShowWithin(*main_, -1);
    close(*first);
    QVERIFY(!first.isNull());  // released once control is back in the loop
    QVERIFY(!first->widget()->isVisible());
    QVERIFY(!first->IsOpen());
    QCOMPARE(fw::GetImplicitWindow(WndWorking::kClassName), nullptr);

    // The main window stays open and nothing asked to quit.
    QVERIFY(main_->IsOpen());
    QVERIFY(main_->widget()->isVisible());
    QCOMPARE(fw::GetImplicitWindow("Window1.Window1"), static_cast<fw::Window*>(main_));

    WndWorking* second = WndWorking::instance();
    QVERIFY(second != first.data());
    QVERIFY(second->IsOpen());
    QVERIFY(second->widget()->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
    QCOMPARE(WndWorking::instance(), second);

    // A quit asked for by the close would have set the status first.
    fw::Quit(3);
    QCOMPARE(EndShell(), 3);
  }

 private:
  Window1* main_ = nullptr;
};

QTEST_APPLESS_MAIN(ShellProgressTest)
#include "shell_progress_qtest.moc"
