// Windows: construction from a record, the implicit instance, closing and
// showing within a parent.

#include <QMainWindow>
#include <QMenuBar>
#include <QWindow>
#include <QtTest>
#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/controls.h"
#include "framework/dialog_seam_testing.h"
#include "framework/menu.h"
#include "framework/window.h"
#include "record_fixtures.h"

using record_fixtures::WindowRecord;

namespace {

std::shared_ptr<fw::MenuBar> MakeMenuBar() {
  auto bar = std::make_shared<fw::MenuBar>();
  auto file = std::make_unique<fw::MenuItem>();
  file->SetText("&Ablage");
  auto quit = std::make_unique<fw::MenuItem>();
  quit->SetText("Beenden");
  file->Append(std::move(quit));
  bar->Append(std::move(file));
  return bar;
}

// What every test window did, in order, across all of them.
std::vector<std::string> g_log;

class MainLike : public fw::Window {
 public:
  bool throwOnClose = false;

 protected:
  void Layout() override {
    g_log.push_back("Layout");
    SetMenuBar(MakeMenuBar());
    fw::SetProperties(*this, fw::EncodeRecord(WindowRecord(576, 320, 0, "Tavelock")));
  }
  void CreateControls() override {
    g_log.push_back(std::string("CreateControls") + (widget()->isVisible() ? " shown" : " hidden"));
  }
  void Event_Close() override {
    g_log.push_back("Close");
    if (throwOnClose) throw std::runtime_error("close failed");
  }
};

class Working : public fw::Window {
 protected:
  void Layout() override { fw::SetProperties(*this, fw::EncodeRecord(WindowRecord(365, 64, 8, "Ohne Titel"))); }
};

class Broken : public fw::Window {
 protected:
  void CreateControls() override { throw fw::RuntimeException("no controls"); }
};

bool Holds(fw::Window* window) {
  const std::vector<fw::Window*> all = fw::AllWindows();
  return std::find(all.begin(), all.end(), window) != all.end();
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { g_log.clear(); }

  void cleanup() {
    for (fw::Window* window : fw::AllWindows()) delete window;
  }

  void constructLaysOutThenCreatesControlsThenShows() {
    MainLike* window = fw::ImplicitInstance<MainLike>("Window1.Window1");
    QCOMPARE(g_log, (std::vector<std::string>{"Layout", "CreateControls hidden"}));
    QVERIFY(window->widget()->isVisible());
    QVERIFY(window->IsOpen());
    QVERIFY(!window->ContentsChanged());
    QCOMPARE(window->Title(), std::string("Tavelock"));
  }

  void contentAreaIsTheRecordSizeBelowTheMenuBar() {
    MainLike* window = fw::ImplicitInstance<MainLike>("Window1.Window1");
    QMainWindow* top = window->widget();
    QCOMPARE(window->content()->size(), QSize(576, 320));
    QCOMPARE(window->Width(), 576);
    QCOMPARE(window->GetProperty("Height"), std::optional<fw::PropertyValue>(int32_t{320}));
    QMenuBar* bar = top->menuBar();
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->actions().size(), qsizetype{1});
    QVERIFY(bar->height() > 0);
    QVERIFY(window->content()->geometry().top() >= bar->geometry().bottom());
    QCOMPARE(top->height(), 320 + bar->height());

    // The limits hold for the content area, and the record's buttons show.
    const int chrome = top->height() - 320;
    QCOMPARE(top->minimumSize(), QSize(64, 64 + chrome));
    QCOMPARE(top->maximumSize(), QSize(32000, 32000 + chrome));
    const Qt::WindowFlags flags = top->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Window);
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    // Kept as given: the record's spelling, and entries Qt has no use for.
    QCOMPARE(window->GetProperty("MacProcID"), std::optional<fw::PropertyValue>(int32_t{0}));
    QCOMPARE(window->GetProperty("LiveResize"), std::optional<fw::PropertyValue>(true));
    QVERIFY(!window->GetProperty("Index"));
  }

  void windowPropertiesReachQt() {
    auto* window = new fw::Window;
    window->SetProperty("Width", int32_t{200});
    window->SetProperty("Height", int32_t{100});
    window->SetProperty("Resizeable", false);
    window->SetProperty("Frame", int32_t{8});
    window->SetProperty("HasBackColor", true);
    window->SetProperty("BackColor", fw::Colour{0x12, 0x34, 0x56});
    QMainWindow* top = window->widget();
    QCOMPARE(top->minimumSize(), QSize(200, 100));
    QCOMPARE(top->maximumSize(), QSize(200, 100));
    QCOMPARE(top->windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(window->content()->autoFillBackground());
    QCOMPARE(window->content()->palette().color(QPalette::Window), QColor(0x12, 0x34, 0x56));
    // Not shown before Construct, whatever Visible says.
    window->SetProperty("Visible", true);
    QVERIFY(!top->isVisible());
    QVERIFY_THROWS_EXCEPTION(fw::PropertyRecordError, window->SetProperty("Width", std::string("200")));
    QVERIFY_THROWS_EXCEPTION(fw::PropertyRecordError, window->SetProperty("Colour", true));
  }

  void implicitInstanceIsFoundUntilClosed() {
    MainLike* first = fw::ImplicitInstance<MainLike>("Window1.Window1");
    QCOMPARE(fw::ImplicitInstance<MainLike>("Window1.Window1"), first);
    QCOMPARE(g_log.size(), size_t{2});  // constructed once
    QCOMPARE(fw::GetImplicitWindow("Window1.Window1"), first);
    QVERIFY(Holds(first));
    QVERIFY_THROWS_EXCEPTION(fw::RuntimeException, fw::ImplicitInstance<Working>("Window1.Window1"));

    QPointer<MainLike> closed(first);
    first->Close();
    QCOMPARE(g_log.back(), std::string("Close"));
    QVERIFY(!first->widget()->isVisible());
    QVERIFY(!first->IsOpen());
    QCOMPARE(fw::GetImplicitWindow("Window1.Window1"), nullptr);
    first->Close();  // a second close does nothing
    QCOMPARE(std::count(g_log.begin(), g_log.end(), "Close"), 1);
    QTRY_VERIFY(closed.isNull());
    QVERIFY(!Holds(first));

    MainLike* second = fw::ImplicitInstance<MainLike>("Window1.Window1");
    QCOMPARE(std::count(g_log.begin(), g_log.end(), "Layout"), 2);
    QVERIFY(second->widget()->isVisible());
  }

  void failedConstructionLeavesNothing() {
    const size_t before = fw::AllWindows().size();
    QVERIFY_THROWS_EXCEPTION(fw::RuntimeException, fw::ImplicitInstance<Broken>("Broken.Broken"));
    QCOMPARE(fw::GetImplicitWindow("Broken.Broken"), nullptr);
    QCOMPARE(fw::AllWindows().size(), before);
  }

  void userCloseRaisesCloseAndNeverQuits() {
    // Qt quits on the last window closed only while its loop runs.
    QGuiApplication::setQuitOnLastWindowClosed(true);
    fw::testing::ScriptedDialogs dialogs;
    MainLike* window = fw::ImplicitInstance<MainLike>("Window1.Window1");
    window->throwOnClose = true;
    QPointer<MainLike> alive(window);
    QTimer::singleShot(0, window->widget(), [window] { window->widget()->close(); });
    QTimer::singleShot(100, [] { QCoreApplication::exit(7); });
    QCOMPARE(QApplication::exec(), 7);  // not ended by the close

    QCOMPARE(g_log.back(), std::string("Close"));
    QCOMPARE(dialogs.Messages().size(), size_t{1});  // reported, not thrown through Qt
    QVERIFY(dialogs.Messages()[0].find("close failed") != std::string::npos);
    QCOMPARE(fw::GetImplicitWindow("Window1.Window1"), nullptr);
    QVERIFY(alive.isNull());
  }

  void showWithinCentresAWindowModalChild() {
    MainLike* main = fw::ImplicitInstance<MainLike>("Window1.Window1");
    main->widget()->move(100, 80);
    Working* working = fw::ImplicitInstance<Working>("WndWorking.WndWorking");
    QCOMPARE(working->content()->size(), QSize(365, 64));
    QCOMPARE(working->widget()->windowFlags() & Qt::WindowType_Mask, Qt::Dialog);

    working->ShowWithin(*main, -1);
    QMainWindow* top = working->widget();
    QVERIFY(top->isVisible());
    QCOMPARE(top->windowModality(), Qt::WindowModal);
    QVERIFY(top->windowHandle() != nullptr);
    QCOMPARE(top->windowHandle()->transientParent(), main->widget()->windowHandle());
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
