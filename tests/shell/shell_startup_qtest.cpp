// Start-up and the main window at work: the application object and its one
// menu bar, the notice, resizing, the one dependency between controls, the
// options read from them (and so their starting values), the menus as built
// and as shown, and the Tab order.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "framework/dialog_seam_testing.h"
#include "shell_support.h"

using namespace shelltest;

namespace {

constexpr char kNoticeTail[] = " (Version 0.3 - this is alpha software)";

// Where each control of the main window is, in its content area.
std::map<std::string, QRect> Places(Window1& window) {
  std::map<std::string, QRect> places;
  for (const char* name : {"StaticText1", "GroupBox1", "chkDelNotes", "PumDelNotes", "EdfDelNotes", "ChkNoteReplace",
                           "BtnModify", "GroupBox2", "StaticText3", "PumChange01_New", "PumChange01_Org", "ChkChange01",
                           "PumChange02_New", "StaticText4", "PumChange02_Org", "ChkChange02", "ChkConvertMS4to6",
                           "PumEncoding"}) {
    const QWidget* w = fw::CheckNil(window.ControlByName(name))->widget();
    places[name] = QRect(w->mapTo(window.content(), QPoint()), w->size());
  }
  return places;
}

// The options as the line rules ask for them, in order.
QString Answers(const RewriteOptions& o) {
  const auto s = [](std::string_view v) { return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())); };
  const auto n = [](bool b) { return QString::number(b); };
  return QStringList{n(o.chkDelNotes()), n(o.ChkChange01()), s(o.PumChange01_Org()), s(o.PumChange01_New()),
                     n(o.ChkChange02()), s(o.PumChange02_Org()), s(o.PumChange02_New()), n(o.ChkConvertMS4to6()),
                     n(o.ChkNoteReplace())}.join(' ');
}

// The menu tree, one line per item: name, [shortcut] when one was set.
void Describe(const fw::MenuItem& item, const QString& indent, QStringList& out) {
  for (int i = 0; i < item.Count(); ++i) {
    const fw::MenuItem& child = *item.Item(i);
    const auto& shortcut = child.KeyboardShortcut();
    out << indent + QString::fromStdString(child.Name() + (shortcut ? " [" + *shortcut + "]" : "")) +
               (child.AutoEnable() ? "" : " (no AutoEnable)");
    Describe(child, indent + "  ", out);
  }
}

}  // namespace

class ShellStartupTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    // Installed before start-up: a handler run by the starting values would
    // ask for a file or show a message here.
    dialogs_ = std::make_unique<fw::testing::ScriptedDialogs>();
    window_ = StartShell();
    QVERIFY(window_ != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(window_->widget()));
  }

  void cleanup() { EndShell(); dialogs_.reset(); }

  void oneAppOneMenuBarOneMainWindow() {
    QCOMPARE(window_->widget()->windowTitle(), QString("Tavelock"));
    QVERIFY(dynamic_cast<App*>(fw::App()) != nullptr);
    MenuBar1* bar = MenuBar1::heldInstance();
    QVERIFY(bar != nullptr);
    QCOMPARE(fw::App()->GetMenuBar().get(), static_cast<fw::MenuBar*>(bar));
    QCOMPARE(window_->GetMenuBar().get(), static_cast<fw::MenuBar*>(bar));
    QCOMPARE(MenuBar1::instance().get(), bar);
    QCOMPARE(Window1::instance(), window_);  // found, not made again
    QCOMPARE(fw::AllWindows().size(), size_t{1});

    // No handler ran for the starting values (the Modify command asks for a file first).
    QCOMPARE(dialogs_->OpenRequests(), 0);
    QVERIFY(dialogs_->Messages().empty());
  }

  // After a resize, the notice, held to the bottom edge, follows the height;
  // nothing else moves.
  void onlyTheNoticeFollowsAResize_data() {
    QTest::addColumn<QSize>("grow");
    QTest::newRow("100 taller") << QSize(0, 100);
    QTest::newRow("100 wider") << QSize(100, 0);
  }
  void onlyTheNoticeFollowsAResize() {
    QFETCH(QSize, grow);
    std::map<std::string, QRect> want = Places(*window_);
    want["StaticText1"].translate(0, grow.height());
    QMainWindow* top = window_->widget();
    top->resize(top->size() + grow);
    QCoreApplication::processEvents();
    QCOMPARE(window_->content()->size(), QSize(576, 320) + grow);
    for (const auto& [name, place] : Places(*window_)) QVERIFY2(place == want[name], name.c_str());
  }

  // The notice in its 10-pixel font, whole: a cut one would lose the version
  // and the alpha warning at its end.
  void noticeShownWhole() {
    QLabel* notice = fw::CheckNil(dynamic_cast<fw::Label*>(window_->ControlByName("StaticText1")))->label();
    const QString text = notice->text();
    QVERIFY2(text.indexOf(kNoticeTail) > 0 && text.endsWith(kNoticeTail) && !text.startsWith(' '), qPrintable(text));
    QCOMPARE(notice->font().pixelSize(), 10);
    QVERIFY(QFontMetrics(notice->font()).horizontalAdvance(text) <= notice->width());
  }

  void noteRemovalRulesTheReplaceCheckBox() {
    fw::CheckBox* replace = window_->ChkNoteReplace();
    QCheckBox* box = window_->chkDelNotes()->checkBox();
    for (const bool on : {false, true}) {
      QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));  // on the indicator
      QCOMPARE(window_->chkDelNotes()->Value(), on);
      QCOMPARE(replace->Enabled(), on);
      QCOMPARE(replace->checkBox()->isEnabled(), on);
      QCOMPARE(replace->Value(), true);                      // disabled, still checked
      QCOMPARE(window_->Options().ChkNoteReplace(), true);  // read whether enabled or not
    }
  }

  void optionsAnswerFromTheLiveControls() {
    const RewriteOptions& options = window_->Options();
    QCOMPARE(Answers(options), QString("1 0 SSN MISS 0 PROP EVEN 1 1"));
    QCOMPARE(Answers(options), Answers(RewriteValues()));  // what a run without the window assumes
    // And what the command reads once per run.
    QCOMPARE(window_->PumDelNotes()->ListIndex(), 0);
    QCOMPARE(QString::fromStdString(window_->EdfDelNotes()->Text()), QString("DELETE:"));
    QCOMPARE(QString::fromStdString(window_->PumEncoding()->Text()), QString("UTF-16"));
    // Changed on the widgets, as a user does; the same object answers anew.
    for (fw::CheckBox* c : {window_->chkDelNotes(), window_->ChkConvertMS4to6(), window_->ChkNoteReplace(),
                            window_->ChkChange01(), window_->ChkChange02()})
      c->checkBox()->toggle();
    const std::pair<fw::PopupMenu*, int> picks[] = {{window_->PumChange01_Org(), 0}, {window_->PumChange01_New(), 4},
                                                    {window_->PumChange02_Org(), 1}, {window_->PumChange02_New(), 3}};
    for (const auto& [menu, index] : picks) menu->comboBox()->setCurrentIndex(index);
    QCOMPARE(Answers(options), QString("0 1 EVEN SSN 1 MISE PROP 0 0"));
  }

  void menuTreeInOrder() {
    QStringList tree;
    Describe(*MenuBar1::heldInstance(), "", tree);
    QCOMPARE(tree, QStringList({"FileMenu []", "  FileQuit [Cmd+Q]", "EditMenu []", "  EditUndo [Cmd+Z]",
                                "  UntitledMenu1", "  EditCut [Cmd+X]", "  EditCopy [Cmd+C]", "  EditPaste [Cmd+V]",
                                "  EditClear []", "  UntitledMenu0", "  EditSelectAll [Cmd+A]"}));
    QVERIFY(dynamic_cast<fw::QuitMenuItem*>(MenuBar1::heldInstance()->Lookup("FileQuit")) != nullptr);
  }

  // The menus as the window's menu bar shows them: titles, entries with their
  // shortcuts, and the separators where they stand.
  void menuBarAsShown() {
    QStringList shown;
    for (const QAction* title : window_->widget()->menuBar()->actions()) {
      QVERIFY(title->menu() != nullptr);
      shown << title->text();
      for (const QAction* entry : title->menu()->actions())
        shown << "  " + (entry->isSeparator() ? QString("-") : entry->text() + "|" + entry->shortcut().toString());
    }
    QCOMPARE(shown, QStringList({"&Ablage", "  Beenden|Ctrl+Q", "&Bearbeiten", "  &Rückgängig|Ctrl+Z", "  -",
                                 "  &Ausschneiden|Ctrl+X", "  &Kopieren|Ctrl+C", "  &Einfügen|Ctrl+V", "  &Löschen|",
                                 "  -", "  &Alles auswählen|Ctrl+A"}));
  }

  // Tab goes through the controls that take the focus by TabIndex within
  // each parent, a group box's children right after the group box, and then
  // round again.
  void tabOrder() {
    window_->widget()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_->widget()));
    const QStringList order = {"chkDelNotes",     "PumDelNotes",     "EdfDelNotes", "ChkNoteReplace",
                               "BtnModify",       "PumChange01_Org", "PumChange01_New", "ChkChange01",
                               "PumChange02_New", "PumChange02_Org", "ChkChange02", "ChkConvertMS4to6",
                               "PumEncoding",     "chkDelNotes"};
    window_->chkDelNotes()->widget()->setFocus(Qt::TabFocusReason);
    QStringList walked;
    for (qsizetype i = 0; i < order.size(); ++i) {
      QWidget* focus = QApplication::focusWidget();
      QVERIFY(focus != nullptr);
      walked << focus->objectName();
      QTest::keyClick(focus, Qt::Key_Tab);
    }
    QCOMPARE(walked, order);
  }

  void screenshotOfTheMainWindow() { QVERIFY(SaveScreenshot(window_->widget(), "main-window.png")); }

 private:
  std::unique_ptr<fw::testing::ScriptedDialogs> dialogs_;
  Window1* window_ = nullptr;
};

QTEST_APPLESS_MAIN(ShellStartupTest)
#include "shell_startup_qtest.moc"
