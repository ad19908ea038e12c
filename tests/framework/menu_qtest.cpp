// The Qt menu bar made from a menu tree: titles, entries, shortcuts, and the
// Edit items acting on the focused text field.

#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QtTest>

#include <array>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "framework/menu.h"

namespace {

// A bar with one menu, "&Bearbeiten" (EditMenu), of these entries: name, text,
// shortcut.
std::unique_ptr<fw::MenuBar> EditBar(std::initializer_list<std::array<const char*, 3>> entries) {
  auto bar = std::make_unique<fw::MenuBar>();
  fw::MenuItem* edit = bar->Append(std::make_unique<fw::MenuItem>());
  edit->SetName("EditMenu");
  edit->SetText("&Bearbeiten");
  for (const auto& [name, text, shortcut] : entries) {
    fw::MenuItem* item = edit->Append(std::make_unique<fw::MenuItem>());
    item->SetName(name);
    item->SetText(text);
    item->SetKeyboardShortcut(shortcut);
    item->SetAutoEnable(true);
  }
  return bar;
}

// A menu's or a bar's entries as "text|shortcut".
QStringList Entries(const QWidget& menu) {
  QStringList entries;
  for (const QAction* a : menu.actions())
    entries << (a->isSeparator() ? "-" : a->text()) + "|" + a->shortcut().toString();
  return entries;
}

// A field's text with its selection in brackets.
QString Shown(const QLineEdit& field) {
  QString text = field.text();
  if (field.hasSelectedText()) text.insert(field.selectionEnd(), ']').insert(field.selectionStart(), '[');
  return text;
}

}  // namespace

class MenuTest : public QObject {
  Q_OBJECT

 private slots:
  void platformShortcut() {
    for (const auto& [given, qt] : {std::pair{"Cmd+Q", "Ctrl+Q"}, {"Shift+Cmd+Z", "Shift+Ctrl+Z"},
                                    {"Cmd+K, Cmd+C", "Ctrl+K, Ctrl+C"}, {"F5", "F5"}})
      QCOMPARE(fw::PlatformShortcut(given), std::string(qt));
  }

  void install() {
    auto bar = EditBar({{"EditUndo", "&Rückgängig", "Cmd+Z"}, {"", "-", ""}, {"EditClear", "&Löschen", ""}});
    bar->Append(std::make_unique<fw::MenuItem>())->SetText("&Hilfe");
    QMenuBar target;
    target.addMenu("Old")->addAction("Stale");
    for (int round = 0; round < 2; ++round) {  // a second install replaces the first
      fw::InstallMenuBar(target, *bar);
      QCOMPARE(Entries(target), (QStringList{"&Bearbeiten|", "&Hilfe|"}));
      QCOMPARE(target.findChildren<QMenu*>(Qt::FindDirectChildrenOnly).size(), 2);
      QCOMPARE(Entries(*target.actions()[0]->menu()), (QStringList{"&Rückgängig|Ctrl+Z", "-|", "&Löschen|"}));
    }
  }

  void editItems_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("focus");   // the field (maybe read-only), none, or the menu bar (opened by keys)
    QTest::addColumn<QString>("before");  // typed in; "[...]" is the selection, "[]" the cursor
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("after");  // the field, then "|" and the clipboard ("XY" before)
    // clang-format off
    QTest::newRow("select all")           << "EditSelectAll" << "field"     << "hello[] world" << true  << "[hello world]|XY";
    QTest::newRow("select all, no field") << "EditSelectAll" << "none"      << "hello[] world" << false << "hello world|XY";
    QTest::newRow("copy")                 << "EditCopy"      << "field"     << "[hello] world" << true  << "[hello] world|hello";
    QTest::newRow("cut")                  << "EditCut"       << "field"     << "[hello] world" << true  << " world|hello";
    QTest::newRow("cut, read-only")       << "EditCut"       << "read-only" << "[hello] world" << false << "[hello] world|XY";
    QTest::newRow("paste")                << "EditPaste"     << "field"     << "hello[] world" << true  << "helloXY world|XY";
    QTest::newRow("paste, menu by keys")  << "EditPaste"     << "menu bar"  << "hello[] world" << true  << "helloXY world|XY";
    QTest::newRow("paste, read-only")     << "EditPaste"     << "read-only" << "hello[] world" << false << "hello world|XY";
    QTest::newRow("clear")                << "EditClear"     << "field"     << "[hello ]world" << true  << "world|XY";
    QTest::newRow("clear, no selection")  << "EditClear"     << "field"     << "hello[] world" << false << "hello world|XY";
    QTest::newRow("undo")                 << "EditUndo"      << "field"     << "hello world[]" << true  << "|XY";
    // clang-format on
  }
  void editItems() {
    QFETCH(QString, item);
    QFETCH(QString, focus);
    QFETCH(QString, before);
    QFETCH(bool, enabled);
    QFETCH(QString, after);

    std::unique_ptr<fw::MenuBar> bar = EditBar({{qPrintable(item), "Item", ""}});
    QMainWindow window;
    auto* field = new QLineEdit;
    window.setCentralWidget(field);
    fw::InstallMenuBar(*window.menuBar(), *bar);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* editMenu = window.menuBar()->findChild<QMenu*>("EditMenu");
    auto* action = window.menuBar()->findChild<QAction*>(item);
    QVERIFY(editMenu != nullptr && action != nullptr);

    const auto open = before.indexOf('['), close = before.indexOf(']');
    field->insert(QString(before).remove('[').remove(']'));
    field->setReadOnly(focus == "read-only");
    field->setSelection(static_cast<int>(open), static_cast<int>(close - open - 1));
    QGuiApplication::clipboard()->setText("XY");
    focus == "none" ? field->clearFocus() : field->setFocus();
    if (focus == "menu bar") window.menuBar()->setFocus();  // as Alt does

    emit editMenu->aboutToShow();
    QCOMPARE(action->isEnabled(), enabled);
    // A shortcut may trigger the item while its enabling is stale: it checks again.
    action->setEnabled(true);
    action->trigger();
    QCOMPARE(Shown(*field) + "|" + QGuiApplication::clipboard()->text(), after);
  }
};

QTEST_MAIN(MenuTest)
#include "menu_qtest.moc"
