// The menu bar: its tree of titles and entries, the main window's menu-item
// accessors, and what Qt shows of it on the main window.

#include <QAction>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

#include <functional>
#include <optional>

#include "framework/menu.h"
#include "shell_support.h"

using namespace shelltest;

using MenuAccessor = std::function<fw::MenuItem*(Window1&)>;
Q_DECLARE_METATYPE(MenuAccessor)

namespace {

MenuAccessor Accessor(fw::MenuItem* (Window1::*get)()) {
  return [get](Window1& w) { return (w.*get)(); };
}

QAction* QtActionNamed(const QList<QAction*>& actions, const QString& name) {
  for (QAction* action : actions) {
    if (action->objectName() == name) return action;
  }
  return nullptr;
}

}  // namespace

class ShellMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    window_ = StartShell();
    QVERIFY(window_ != nullptr);
  }

  void cleanup() { EndShell(); }

  void barHoldsTwoTitlesWithOneAndEightEntries() {
    MenuBar1* bar = MenuBar1::heldInstance();
    QVERIFY(bar != nullptr);
    QCOMPARE(bar->Count(), 2);
    QCOMPARE(bar->Item(0)->Name(), std::string("FileMenu"));
    QCOMPARE(bar->Item(0)->Text(), std::string("&Ablage"));
    QCOMPARE(bar->Item(1)->Name(), std::string("EditMenu"));
    QCOMPARE(bar->Item(1)->Text(), std::string("&Bearbeiten"));
    QCOMPARE(bar->Item(0)->Count(), 1);
    QCOMPARE(bar->Item(1)->Count(), 8);
    for (int t = 0; t < 2; ++t) {
      for (int e = 0; e < bar->Item(t)->Count(); ++e) QCOMPARE(bar->Item(t)->Item(e)->Count(), 0);
    }
    // Asking again builds nothing new.
    QCOMPARE(MenuBar1::instance().get(), bar);
    QCOMPARE(bar->Count(), 2);
    QCOMPARE(bar->Item(1)->Count(), 8);
  }

  void everyItemAsTabled_data() {
    QTest::addColumn<QString>("title");  // empty for a title itself
    QTest::addColumn<int>("position");
    QTest::addColumn<QByteArray>("caption");                 // UTF-8
    QTest::addColumn<std::optional<std::string>>("shortcut");  // none: never set
    QTest::addColumn<bool>("quits");
    QTest::addColumn<QString>("qtShortcut");
    QTest::addColumn<MenuAccessor>("accessor");
    const std::optional<std::string> never;
    const auto set = [](const char* text) { return std::optional<std::string>(text); };
    const auto utf8 = [](const char16_t* text) { return QString::fromUtf16(text).toUtf8(); };
    QTest::newRow("FileMenu") << "" << 0 << QByteArray("&Ablage") << set("") << false << ""
                              << Accessor(&Window1::FileMenu);
    QTest::newRow("FileQuit") << "FileMenu" << 0 << QByteArray("Beenden") << set("Cmd+Q") << true << "Ctrl+Q"
                              << MenuAccessor([](Window1& w) -> fw::MenuItem* { return w.FileQuit(); });
    QTest::newRow("EditMenu") << "" << 1 << QByteArray("&Bearbeiten") << set("") << false << ""
                              << Accessor(&Window1::EditMenu);
    QTest::newRow("EditUndo") << "EditMenu" << 0 << utf8(u"&R\u00fcckg\u00e4ngig") << set("Cmd+Z") << false
                              << "Ctrl+Z" << Accessor(&Window1::EditUndo);
    QTest::newRow("UntitledMenu1") << "EditMenu" << 1 << QByteArray("-") << never << false << ""
                                   << Accessor(&Window1::UntitledMenu1);
    QTest::newRow("EditCut") << "EditMenu" << 2 << QByteArray("&Ausschneiden") << set("Cmd+X") << false << "Ctrl+X"
                             << Accessor(&Window1::EditCut);
    QTest::newRow("EditCopy") << "EditMenu" << 3 << QByteArray("&Kopieren") << set("Cmd+C") << false << "Ctrl+C"
                              << Accessor(&Window1::EditCopy);
    QTest::newRow("EditPaste") << "EditMenu" << 4 << utf8(u"&Einf\u00fcgen") << set("Cmd+V") << false << "Ctrl+V"
                               << Accessor(&Window1::EditPaste);
    QTest::newRow("EditClear") << "EditMenu" << 5 << utf8(u"&L\u00f6schen") << set("") << false << ""
                               << Accessor(&Window1::EditClear);
    QTest::newRow("UntitledMenu0") << "EditMenu" << 6 << QByteArray("-") << never << false << ""
                                   << Accessor(&Window1::UntitledMenu0);
    QTest::newRow("EditSelectAll") << "EditMenu" << 7 << utf8(u"&Alles ausw\u00e4hlen") << set("Cmd+A") << false
                                   << "Ctrl+A" << Accessor(&Window1::EditSelectAll);
  }
  void everyItemAsTabled() {
    QFETCH(QString, title);
    QFETCH(int, position);
    QFETCH(QByteArray, caption);
    QFETCH(std::optional<std::string>, shortcut);
    QFETCH(bool, quits);
    QFETCH(QString, qtShortcut);
    QFETCH(MenuAccessor, accessor);
    const std::string name = QTest::currentDataTag();
    MenuBar1* bar = MenuBar1::heldInstance();
    QVERIFY(bar != nullptr);

    // Its place in the tree.
    fw::MenuItem* parent = title.isEmpty() ? bar : bar->Child(title.toStdString());
    QVERIFY(parent != nullptr);
    fw::MenuItem* item = parent->Item(position);
    QVERIFY(item != nullptr);
    QCOMPARE(item->Name(), name);
    QCOMPARE(item->Parent(), parent);
    QCOMPARE(bar->Lookup(name), item);

    QCOMPARE(QByteArray::fromStdString(item->Text()), caption);
    QCOMPARE(item->KeyboardShortcut(), shortcut);
    QVERIFY(item->AutoEnable());
    QCOMPARE(dynamic_cast<fw::QuitMenuItem*>(item) != nullptr, quits);
    QCOMPARE(item->IsSeparator(), caption == "-");

    // The main window's accessor finds the same item.
    QCOMPARE(accessor(*window_), item);

    // What Qt shows on the main window.
    QMenuBar* qtBar = window_->widget()->menuBar();
    QAction* action = nullptr;
    if (title.isEmpty()) {
      QCOMPARE(qtBar->actions().size(), 2);
      action = qtBar->actions().at(position);
      QVERIFY(action->menu() != nullptr);
    } else {
      QAction* titleAction = QtActionNamed(qtBar->actions(), title);
      QVERIFY(titleAction != nullptr && titleAction->menu() != nullptr);
      QCOMPARE(titleAction->menu()->actions().size(), parent->Count());
      action = titleAction->menu()->actions().at(position);
    }
    QCOMPARE(action->objectName(), QString::fromStdString(name));
    QCOMPARE(action->isSeparator(), caption == "-");
    if (!action->isSeparator()) QCOMPARE(action->text(), QString::fromUtf8(caption));
    QCOMPARE(action->shortcut().toString(QKeySequence::PortableText), qtShortcut);
    if (quits) QCOMPARE(action->menuRole(), QAction::QuitRole);
  }

  void fileQuitIsAQuitMenuItem() {
    fw::QuitMenuItem* quit = window_->FileQuit();
    QVERIFY(quit != nullptr);
    QCOMPARE(static_cast<fw::MenuItem*>(quit), MenuBar1::heldInstance()->Lookup("FileQuit"));
    QCOMPARE(quit->Parent(), MenuBar1::heldInstance()->Child("FileMenu"));
  }

  void applicationAndWindowShareTheBar() {
    MenuBar1* bar = MenuBar1::heldInstance();
    QCOMPARE(fw::App()->GetMenuBar().get(), static_cast<fw::MenuBar*>(bar));
    QCOMPARE(window_->GetMenuBar().get(), static_cast<fw::MenuBar*>(bar));
    QVERIFY(window_->widget()->menuBar()->isVisible());
  }

 private:
  Window1* window_ = nullptr;
};

QTEST_APPLESS_MAIN(ShellMenuTest)
#include "shell_menu_qtest.moc"
