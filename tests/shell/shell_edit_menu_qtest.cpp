// The Edit menu reached from the keyboard, or from the next menu, acts on the
// marker field: the menu bar takes the focus on the way, and the Edit items
// must still find the field with its selection.

#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QtTest>

#include <functional>

#include "shell_support.h"

using namespace shelltest;

namespace {

// Where keys go while a menu is up: the menu has the keyboard.
QWidget* KeyTarget() {
  QWidget* popup = QApplication::activePopupWidget();
  return popup != nullptr ? popup : QApplication::focusWidget();
}

void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(KeyTarget(), key, modifiers);
}

// A field's text with its selection in brackets.
QString Shown(const QLineEdit& field) {
  QString text = field.text();
  if (field.hasSelectedText()) text.insert(field.selectionEnd(), ']').insert(field.selectionStart(), '[');
  return text;
}

}  // namespace

using Opener = std::function<void()>;
Q_DECLARE_METATYPE(Opener)

class ShellEditMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    window_ = StartShellActive();
    QVERIFY(window_ != nullptr);
  }

  void cleanup() { EndShell(); }

  void editItemsActOnTheMarkerField_data() {
    QTest::addColumn<Opener>("open");    // how the Edit menu comes up
    QTest::addColumn<bool>("selected");  // "DELETE" of "DELETE:", or nothing with the cursor after it
    QTest::addColumn<QString>("item");   // chosen with the arrow keys and Return, when enabled
    QTest::addColumn<QString>("after");  // the field, then "|" and the clipboard ("XY" before)
    const Opener altB = [] { Key(Qt::Key_B, Qt::AltModifier); };
    const Opener f10 = [] {
      Key(Qt::Key_F10);  // opens the first menu
      Key(Qt::Key_Right);
    };
    const Opener altThenArrows = [] {
      // Alt pressed and let go alone puts the menu bar in the keyboard's hands.
      QTest::keyPress(KeyTarget(), Qt::Key_Alt, Qt::AltModifier);
      QTest::keyRelease(KeyTarget(), Qt::Key_Alt, Qt::NoModifier);
      Key(Qt::Key_Right);
      Key(Qt::Key_Down);
    };
    const Opener mouseFromFileMenu = [] {
      QMenuBar* bar = MainWindow()->widget()->menuBar();
      QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(bar->actions().at(0)).center());
      // The open menu hands the pointer's moves over the bar on to the bar.
      const QPoint over = bar->actionGeometry(bar->actions().at(1)).center();
      QMouseEvent move(QEvent::MouseMove, over, bar->mapToGlobal(over), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(bar, &move);
    };
    // clang-format off
    QTest::newRow("Alt+B, copy")                       << altB              << true  << "EditCopy" << "[DELETE]:|DELETE";
    QTest::newRow("Alt+B, cut")                        << altB              << true  << "EditCut"  << ":|DELETE";
    QTest::newRow("Alt+B, nothing selected")           << altB              << false << ""         << "DELETE:|XY";
    QTest::newRow("F10 and arrows, copy")              << f10               << true  << "EditCopy" << "[DELETE]:|DELETE";
    QTest::newRow("F10 and arrows, cut")               << f10               << true  << "EditCut"  << ":|DELETE";
    QTest::newRow("F10 and arrows, nothing selected")  << f10               << false << ""         << "DELETE:|XY";
    QTest::newRow("Alt and arrows, copy")              << altThenArrows     << true  << "EditCopy" << "[DELETE]:|DELETE";
    QTest::newRow("Alt and arrows, cut")               << altThenArrows     << true  << "EditCut"  << ":|DELETE";
    QTest::newRow("Alt and arrows, nothing selected")  << altThenArrows     << false << ""         << "DELETE:|XY";
    // From one open menu to the next, the bar has the focus for a moment.
    QTest::newRow("mouse from File, copy")             << mouseFromFileMenu << true  << "EditCopy" << "[DELETE]:|DELETE";
    QTest::newRow("mouse from File, nothing selected") << mouseFromFileMenu << false << ""         << "DELETE:|XY";
    // clang-format on
  }
  void editItemsActOnTheMarkerField() {
    QFETCH(Opener, open);
    QFETCH(bool, selected);
    QFETCH(QString, item);
    QFETCH(QString, after);

    QLineEdit* field = window_->EdfDelNotes()->lineEdit();
    QMenuBar* bar = window_->widget()->menuBar();
    auto* editMenu = bar->findChild<QMenu*>("EditMenu");
    QVERIFY(editMenu != nullptr);
    QGuiApplication::clipboard()->setText("XY");
    field->setFocus();
    if (selected) {
      field->setSelection(0, 6);
    } else {
      field->deselect();
      field->setCursorPosition(6);
    }
    QCoreApplication::processEvents();

    open();
    QCOMPARE(QApplication::activePopupWidget(), editMenu);
    // Enabled exactly when there is something to act on.
    for (const char* name : {"EditCut", "EditCopy", "EditClear"}) {
      QAction* action = editMenu->findChild<QAction*>(name);
      QVERIFY(action != nullptr);
      QVERIFY2(action->isEnabled() == selected, name);
    }
    if (item.isEmpty()) {
      Key(Qt::Key_Escape);
    } else {
      QAction* chosen = editMenu->findChild<QAction*>(item);
      for (qsizetype i = 0; i < editMenu->actions().size() && editMenu->activeAction() != chosen; ++i) Key(Qt::Key_Down);
      QCOMPARE(editMenu->activeAction(), chosen);
      Key(Qt::Key_Return);
      QCOMPARE(QApplication::activePopupWidget(), nullptr);
      QCOMPARE(QApplication::focusWidget(), field);  // back where the user was
    }
    QCOMPARE(Shown(*field) + "|" + QGuiApplication::clipboard()->text(), after);
  }

 private:
  Window1* window_ = nullptr;
};

QTEST_APPLESS_MAIN(ShellEditMenuTest)
#include "shell_edit_menu_qtest.moc"
