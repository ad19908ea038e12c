// Windows: construction from a record, the implicit instance, closing and
// showing within a parent.

#include <QMainWindow>
#include <QtTest>
#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/dialog_seam_testing.h"
#include "framework/window.h"

namespace {

std::string Record(int32_t width, int32_t height, const char* title) {
  return fw::EncodeRecord({{"Width", width}, {"Height", height}, {"Title", std::string(title)}, {"Visible", true}});
}

// What every test window did, in order, across all of them.
std::vector<std::string> g_log;

struct MainLike : fw::Window {
  bool throwOnClose = false;
  void Layout() override {
    g_log.push_back("Layout");
    fw::SetProperties(*this, Record(576, 320, "Tavelock"));
  }
  void CreateControls() override {
    g_log.push_back(std::string("CreateControls") + (widget()->isVisible() ? " shown" : " hidden"));
  }
  void Event_Close() override {
    g_log.push_back("Close");
    if (throwOnClose) throw std::runtime_error("close failed");
  }
};

struct Working : fw::Window {
  void Layout() override { fw::SetProperties(*this, Record(365, 64, "Ohne Titel")); }
};
struct Broken : fw::Window {
  void CreateControls() override { throw fw::RuntimeException("no controls"); }
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { g_log.clear(); }

  void cleanup() { for (fw::Window* window : fw::AllWindows()) delete window; }

  void implicitInstanceIsConstructedOnceAndFoundUntilClosed() {
    fw::testing::ScriptedDialogs dialogs;
    MainLike* first = fw::ImplicitInstance<MainLike>("Window1.Window1");
    QVERIFY(first->widget()->isVisible() && first->IsOpen());
    QCOMPARE(fw::ImplicitInstance<MainLike>("Window1.Window1"), first);
    QCOMPARE(g_log, (std::vector<std::string>{"Layout", "CreateControls hidden"}));  // constructed once
    QCOMPARE(fw::AllWindows(), std::vector<fw::Window*>{first});
    QVERIFY_THROWS_EXCEPTION(fw::RuntimeException, fw::ImplicitInstance<Working>("Window1.Window1"));

    // Closed by the user; what Event_Close throws is reported, not thrown through Qt.
    QPointer<MainLike> closed(first);
    first->throwOnClose = true;
    first->widget()->close();
    QCOMPARE(dialogs.Messages().size(), size_t{1});
    QVERIFY(dialogs.Messages()[0].find("close failed") != std::string::npos);
    QVERIFY(!first->widget()->isVisible() && !first->IsOpen());
    QCOMPARE(fw::GetImplicitWindow("Window1.Window1"), nullptr);
    first->Close();  // a second close does nothing
    QCOMPARE(g_log, (std::vector<std::string>{"Layout", "CreateControls hidden", "Close"}));
    QTRY_VERIFY(closed.isNull());
    QVERIFY(fw::AllWindows().empty());

    MainLike* second = fw::ImplicitInstance<MainLike>("Window1.Window1");
    QCOMPARE(std::count(g_log.begin(), g_log.end(), "Layout"), 2);
    QVERIFY(second->widget()->isVisible());
  }

  void failedConstructionLeavesNothing() {
    QVERIFY_THROWS_EXCEPTION(fw::RuntimeException, fw::ImplicitInstance<Broken>("Broken.Broken"));
    QCOMPARE(fw::GetImplicitWindow("Broken.Broken"), nullptr);
    QVERIFY(fw::AllWindows().empty());
  }

  void showWithinCentresAWindowModalChild() {
    MainLike* main = fw::ImplicitInstance<MainLike>("Window1.Window1");
    main->widget()->move(100, 80);
    Working* working = fw::ImplicitInstance<Working>("WndWorking.WndWorking");
    working->ShowWithin(*main, -1);
    QMainWindow* top = working->widget();
    QVERIFY(top->isVisible());
    QCOMPARE(top->windowModality(), Qt::WindowModal);
    const QPoint offset = top->frameGeometry().center() - main->widget()->frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 1, qPrintable(QString("off by %1,%2").arg(offset.x()).arg(offset.y())));

    // The parent going first leaves the child's Qt side alone.
    QPointer<QMainWindow> childTop(top);
    delete main;
    QVERIFY(!childTop.isNull());
    working->Close();
    QVERIFY(!top->isVisible());
  }
};

QTEST_MAIN(WindowTest)
#include "window_qtest.moc"
