// Menu trees and their Qt menu bar: titles, entries, shortcuts, and the Edit
// items acting on the focused text field.

#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>
#include <optional>

#include "framework/application.h"
#include "framework/exceptions.h"
#include "framework/menu.h"

namespace {

fw::MenuItem* Add(fw::MenuItem& parent, std::unique_ptr<fw::MenuItem> item, const char* name, const char* text,
                  std::optional<const char*> shortcut) {
  item->SetName(name);
  item->SetText(text);
  item->SetAutoEnable(true);
  if (shortcut) item->SetKeyboardShortcut(*shortcut);
  return parent.Append(std::move(item));
}

fw::MenuItem* Add(fw::MenuItem& parent, const char* name, const char* text, std::optional<const char*> shortcut) {
  return Add(parent, std::make_unique<fw::MenuItem>(), name, text, shortcut);
}

// The application's own bar.
std::unique_ptr<fw::MenuBar> MakeBar() {
  auto bar = std::make_unique<fw::MenuBar>();
  fw::MenuItem* file = Add(*bar, "FileMenu", "&Ablage", "");
  Add(*file, std::make_unique<fw::QuitMenuItem>(), "FileQuit", "Beenden", "Cmd+Q");
  fw::MenuItem* edit = Add(*bar, "EditMenu", "&Bearbeiten", "");
  Add(*edit, "EditUndo", "&Rückgängig", "Cmd+Z");
  Add(*edit, "UntitledMenu1", "-", std::nullopt);
  Add(*edit, "EditCut", "&Ausschneiden", "Cmd+X");
  Add(*edit, "EditCopy", "&Kopieren", "Cmd+C");
  Add(*edit, "EditPaste", "&Einfügen", "Cmd+V");
  Add(*edit, "EditClear", "&Löschen", "");
  Add(*edit, "UntitledMenu0", "-", std::nullopt);
  Add(*edit, "EditSelectAll", "&Alles auswählen", "Cmd+A");
  return bar;
}

QStringList Entries(const QMenu& menu) {
  QStringList entries;
  for (const QAction* action : menu.actions()) {
    entries << (action->isSeparator() ? "-" : action->text()) + "|" + action->shortcut().toString();
  }
  return entries;
}

}  // namespace

class MenuTest : public QObject {
  Q_OBJECT

 private slots:
  void tree() {
    std::unique_ptr<fw::MenuBar> bar = MakeBar();
    fw::MenuItem* edit = bar->Child("EditMenu");
    QVERIFY(edit != nullptr);
    QCOMPARE(bar->Count(), 2);
    QCOMPARE(edit->Count(), 8);
    QCOMPARE(bar->Item(1), edit);
    QVERIFY(bar->Item(2) == nullptr);
    QVERIFY(bar->Item(-1) == nullptr);
    QVERIFY(bar->Child("EditCopy") == nullptr);  // not a direct child
    fw::MenuItem* copy = bar->Lookup("EditCopy");
    QVERIFY(copy != nullptr);
    QCOMPARE(copy->Parent(), edit);
    QCOMPARE(copy, edit->Item(3));
    QVERIFY(dynamic_cast<fw::QuitMenuItem*>(bar->Lookup("FileQuit")) != nullptr);
    QVERIFY(edit->Lookup("FileQuit") == nullptr);  // only below the item asked
    QVERIFY(bar->Lookup("Missing") == nullptr);
    QVERIFY_THROWS_EXCEPTION(fw::NilObjectException, bar->Append(nullptr));
  }

  void platformShortcut_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("qt");
    QTest::newRow("Cmd") << "Cmd+Q" << "Ctrl+Q";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("Cmd later") << "Shift+Cmd+Z" << "Shift+Ctrl+Z";
    QTest::newRow("two chords") << "Cmd+K, Cmd+C" << "Ctrl+K, Ctrl+C";
    QTest::newRow("no Cmd") << "F5" << "F5";
  }
  void platformShortcut() {
    QFETCH(QString, given);
    QFETCH(QString, qt);
    QCOMPARE(QString::fromStdString(fw::PlatformShortcut(given.toStdString())), qt);
  }

  void install() {
    std::unique_ptr<fw::MenuBar> bar = MakeBar();
    QMenuBar target;
    target.addMenu("Old")->addAction("Stale");
    for (int round = 0; round < 2; ++round) {  // a second install replaces the first
      fw::InstallMenuBar(target, *bar);
      QStringList titles;
      for (const QAction* action : target.actions()) titles << action->text();
      QCOMPARE(titles, (QStringList{"&Ablage", "&Bearbeiten"}));
      QCOMPARE(target.findChildren<QMenu*>(Qt::FindDirectChildrenOnly).size(), 2);
      QCOMPARE(Entries(*target.actions()[0]->menu()), QStringList{"Beenden|Ctrl+Q"});
      QCOMPARE(Entries(*target.actions()[1]->menu()),
               (QStringList{"&Rückgängig|Ctrl+Z", "-|", "&Ausschneiden|Ctrl+X", "&Kopieren|Ctrl+C",
                            "&Einfügen|Ctrl+V", "&Löschen|", "-|", "&Alles auswählen|Ctrl+A"}));
    }
    QCOMPARE(target.findChild<QAction*>("EditClear")->text(), QString("&Löschen"));
  }

  void editItems_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("typed");  // typed into "hello world" first
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLength");  // 0: the cursor at selStart
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("fieldFocused");
    QTest::addColumn<bool>("byKeyboard");  // the menu opened with Alt and the arrows
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("textAfter");
    QTest::addColumn<QString>("clipboardAfter");
    QTest::addColumn<QString>("selectedAfter");
    const QString hw = "hello world";
    // clang-format off
    QTest::newRow("select all")            << "EditSelectAll" << "" << 0 << 0 << "x" << false << true << false << true << hw << "x" << hw;
    QTest::newRow("select all, no field")  << "EditSelectAll" << "" << 0 << 0 << "x" << false << false << false << false << hw << "x" << "";
    QTest::newRow("copy")                  << "EditCopy" << "" << 0 << 5 << "x" << false << true << false << true << hw << "hello" << "hello";
    QTest::newRow("copy, no selection")    << "EditCopy" << "" << 0 << 0 << "x" << false << true << false << false << hw << "x" << "";
    QTest::newRow("cut")                   << "EditCut" << "" << 0 << 5 << "x" << false << true << false << true << " world" << "hello" << "";
    QTest::newRow("cut, read-only")        << "EditCut" << "" << 0 << 5 << "x" << true << true << false << false << hw << "x" << "hello";
    QTest::newRow("paste")                 << "EditPaste" << "" << 5 << 0 << "XY" << false << true << false << true << "helloXY world" << "XY" << "";
    QTest::newRow("paste, keyboard menu")  << "EditPaste" << "" << 5 << 0 << "XY" << false << true << true << true << "helloXY world" << "XY" << "";
    QTest::newRow("paste, no text")        << "EditPaste" << "" << 5 << 0 << "" << false << true << false << false << hw << "" << "";
    QTest::newRow("paste, read-only")      << "EditPaste" << "" << 5 << 0 << "XY" << true << true << false << false << hw << "XY" << "";
    QTest::newRow("clear")                 << "EditClear" << "" << 0 << 6 << "x" << false << true << false << true << "world" << "x" << "";
    QTest::newRow("clear, no selection")   << "EditClear" << "" << 0 << 0 << "x" << false << true << false << false << hw << "x" << "";
    QTest::newRow("undo")                  << "EditUndo" << "!" << 0 << 0 << "x" << false << true << false << true << hw << "x" << "";
    QTest::newRow("undo, nothing to undo") << "EditUndo" << "" << 0 << 0 << "x" << false << true << false << false << hw << "x" << "";
    // clang-format on
  }
  void editItems() {
    QFETCH(QString, item);
    QFETCH(QString, typed);
    QFETCH(int, selStart);
    QFETCH(int, selLength);
    QFETCH(QString, clipboard);
    QFETCH(bool, readOnly);
    QFETCH(bool, fieldFocused);
    QFETCH(bool, byKeyboard);
    QFETCH(bool, enabled);
    QFETCH(QString, textAfter);
    QFETCH(QString, clipboardAfter);
    QFETCH(QString, selectedAfter);

    std::unique_ptr<fw::MenuBar> bar = MakeBar();
    QMainWindow window;
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    auto* field = new QLineEdit;
    auto* button = new QPushButton("Modify");
    layout->addWidget(field);
    layout->addWidget(button);
    window.setCentralWidget(central);
    fw::InstallMenuBar(*window.menuBar(), *bar);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QMenu* editMenu = window.menuBar()->findChild<QMenu*>("EditMenu");
    QAction* action = window.menuBar()->findChild<QAction*>(item);
    QVERIFY(editMenu != nullptr && action != nullptr);

    const auto setUp = [&] {
      field->setReadOnly(false);
      field->setText("hello world");
      if (!typed.isEmpty()) field->insert(typed);
      field->setReadOnly(readOnly);
      if (selLength > 0) {
        field->setSelection(selStart, selLength);
      } else {
        field->setCursorPosition(selStart);
      }
      if (clipboard.isEmpty()) {
        QGuiApplication::clipboard()->clear();
      } else {
        QGuiApplication::clipboard()->setText(clipboard);
      }
      (fieldFocused ? static_cast<QWidget*>(field) : button)->setFocus();
    };

    // What the item does when triggered (by its shortcut, say) whether the
    // menu was opened or not.
    setUp();
    action->trigger();
    QCOMPARE(field->text(), textAfter);
    QCOMPARE(QGuiApplication::clipboard()->text(), clipboardAfter);
    QCOMPARE(field->selectedText(), selectedAfter);

    setUp();
    if (byKeyboard) {
      QTest::keyClick(&window, Qt::Key_Alt);
      QTest::keyClick(window.menuBar(), Qt::Key_Right);
      QTest::keyClick(window.menuBar(), Qt::Key_Down);
    } else {
      const QPoint title = window.menuBar()->actionGeometry(editMenu->menuAction()).center();
      QTest::mouseClick(window.menuBar(), Qt::LeftButton, {}, title);
    }
    QTRY_VERIFY(editMenu->isVisible());
    QCOMPARE(action->isEnabled(), enabled);
    editMenu->hide();
  }
};

int main(int argc, char** argv) {
  fw::RuntimeInit();
  MenuTest test;
  const int failures = QTest::qExec(&test, argc, argv);
  fw::RuntimeExit();
  return failures;
}

#include "menu_qtest.moc"
