// Start-up and the main window at work: the application object and its one
// menu bar, every control at its place with its starting value, the one
// dependency between controls, the options read from them, resizing, and the
// property records the windows are built from.

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

#include <memory>
#include <utility>

#include "framework/dialog_seam_testing.h"
#include "shell/records.h"
#include "shell_support.h"

using namespace shelltest;

namespace {

// `value` is what the control shows: caption or text; a check box's caption
// after "[x] " or "[ ] "; a pop-up menu's rows joined by '|', the selected one
// in brackets.
struct ControlRow {
  const char* name;
  const char* cls;
  int left, top, width, height;
  const char* value;
};

constexpr char kNoticeTail[] = " (Version 0.3 - this is alpha software)";

// In creation order. The notice's head is free: its value is the tail it ends with.
const ControlRow kControls[] = {
    {"StaticText1", "Label", 8, 302, 308, 12, kNoticeTail},
    {"GroupBox1", "GroupBox", 8, 9, 560, 81, "Remove these entries:"},
    {"chkDelNotes", "CheckBox", 20, 37, 261, 22, "[x] Notes starting with the following tag:"},
    {"PumDelNotes", "PopupMenu", 285, 37, 140, 22, "[User defined ->]|(DEL)"},
    {"EdfDelNotes", "TextField", 437, 37, 120, 24, "DELETE:"},
    {"ChkNoteReplace", "CheckBox", 48, 61, 309, 20, "[x] Replace with 'Additional private data on file!'"},
    {"BtnModify", "PushButton", 437, 276, 120, 24, "Modify .GED"},
    {"GroupBox2", "GroupBox", 8, 102, 560, 88, "Change fields:"},
    {"StaticText3", "Label", 285, 128, 42, 20, "into"},
    {"PumChange01_New", "PopupMenu", 339, 127, 100, 20, "EVEN|MISE|[MISS]|PROP|SSN"},
    {"PumChange01_Org", "PopupMenu", 173, 127, 100, 20, "EVEN|MISE|MISS|PROP|[SSN]"},
    {"ChkChange01", "CheckBox", 20, 127, 148, 20, "[ ] Change entry from:"},
    {"PumChange02_New", "PopupMenu", 339, 159, 100, 20, "[EVEN]|MISE|MISS|PROP|SSN"},
    {"StaticText4", "Label", 285, 160, 42, 20, "into"},
    {"PumChange02_Org", "PopupMenu", 173, 159, 100, 20, "EVEN|MISE|MISS|[PROP]|SSN"},
    {"ChkChange02", "CheckBox", 20, 159, 148, 20, "[ ] Change entry from:"},
    {"ChkConvertMS4to6", "CheckBox", 20, 202, 307, 20, "[x] Change SSN and PROP from MS4 to MS6"},
    {"PumEncoding", "PopupMenu", 328, 277, 97, 20, "UTF-8|[UTF-16]"},
};

// A control's class and what its widget shows, written as in the table.
std::pair<QString, QString> Shown(fw::Control* c) {
  if (auto* l = dynamic_cast<fw::Label*>(c)) return {"Label", l->label()->text()};
  if (auto* g = dynamic_cast<fw::GroupBox*>(c)) return {"GroupBox", g->groupBox()->title()};
  if (auto* t = dynamic_cast<fw::TextField*>(c)) return {"TextField", t->lineEdit()->text()};
  if (auto* p = dynamic_cast<fw::PushButton*>(c)) return {"PushButton", p->pushButton()->text()};
  if (auto* b = dynamic_cast<fw::CheckBox*>(c)) {
    return {"CheckBox", (b->checkBox()->isChecked() ? "[x] " : "[ ] ") + b->checkBox()->text()};
  }
  QComboBox* box = dynamic_cast<fw::PopupMenu&>(*c).comboBox();
  QStringList rows;
  for (int i = 0; i < box->count(); ++i) rows << (i == box->currentIndex() ? '[' + box->itemText(i) + ']' : box->itemText(i));
  return {"PopupMenu", rows.join('|')};
}

// Where a control's widget is, in window coordinates.
QRect PlaceOf(Window1& window, const char* name) {
  const QWidget* w = window.ControlByName(name)->widget();
  return {w->mapTo(window.content(), QPoint()), w->size()};
}

// The options as the line rules ask for them, in order.
QString Answers(const RewriteOptions& o) {
  const auto text = [](std::string_view v) { return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())); };
  return QStringList{QString::number(o.chkDelNotes()),      QString::number(o.ChkChange01()), text(o.PumChange01_Org()),
                     text(o.PumChange01_New()),             QString::number(o.ChkChange02()), text(o.PumChange02_Org()),
                     text(o.PumChange02_New()),             QString::number(o.ChkConvertMS4to6()),
                     QString::number(o.ChkNoteReplace())}
      .join(' ');
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

  void cleanup() {
    EndShell();
    dialogs_.reset();
  }

  void oneAppOneMenuBarOneMainWindow() {
    QCOMPARE(window_->widget()->windowTitle(), QString("Tavelock"));
    QCOMPARE(window_->content()->size(), QSize(576, 320));
    QVERIFY(dynamic_cast<App*>(fw::App()) != nullptr);
    MenuBar1* bar = MenuBar1::heldInstance();
    QVERIFY(bar != nullptr);
    QCOMPARE(fw::App()->GetMenuBar().get(), static_cast<fw::MenuBar*>(bar));
    QCOMPARE(window_->GetMenuBar().get(), static_cast<fw::MenuBar*>(bar));
    QCOMPARE(MenuBar1::instance().get(), bar);

    const QList<QWidget*> widgets = window_->content()->findChildren<QWidget*>();
    QCOMPARE(Window1::instance(), window_);
    QCOMPARE(Window1::instance(), window_);
    QCOMPARE(fw::AllWindows().size(), size_t{1});
    QCOMPARE(window_->content()->findChildren<QWidget*>(), widgets);

    // No handler ran for the starting values (the Modify command asks for a file first).
    QCOMPARE(dialogs_->OpenRequests(), 0);
    QVERIFY(dialogs_->Messages().empty());
  }

  void everyControlStartsAsTabled_data() {
    QTest::addColumn<int>("row");
    for (int i = 0; i < static_cast<int>(std::size(kControls)); ++i) QTest::newRow(kControls[i].name) << i;
  }
  void everyControlStartsAsTabled() {
    QFETCH(int, row);
    const ControlRow& want = kControls[row];
    fw::Control* control = window_->ControlByName(want.name);
    QVERIFY(control != nullptr);
    const auto [cls, value] = Shown(control);
    QCOMPARE(cls, QString(want.cls));
    QCOMPARE(PlaceOf(*window_, want.name), QRect(want.left, want.top, want.width, want.height));
    const bool notice = QLatin1String(want.name) == QLatin1String("StaticText1");
    if (notice) {
      QVERIFY2(value.indexOf(kNoticeTail) > 0 && value.endsWith(kNoticeTail) && !value.startsWith(' '), qPrintable(value));
      QCOMPARE(control->widget()->font().pixelSize(), 10);
    } else {
      QCOMPARE(value, QString(want.value));
    }
    QCOMPARE(control->TextSize(), notice ? 10.0 : 0.0);
    QVERIFY(control->Enabled() && control->widget()->isEnabled() && control->widget()->isVisible());
    // A cut notice would lose the version and the alpha warning at its end.
    if (cls == "Label") QVERIFY(QFontMetrics(control->widget()->font()).horizontalAdvance(value) <= want.width);
  }

  void noteRemovalRulesTheReplaceCheckBox() {
    fw::CheckBox* replace = window_->ChkNoteReplace();
    QCheckBox* box = window_->chkDelNotes()->checkBox();
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));  // on the indicator
    QCOMPARE(window_->chkDelNotes()->Value(), false);
    QCOMPARE(replace->Enabled(), false);
    QCOMPARE(replace->checkBox()->isEnabled(), false);
    QCOMPARE(replace->Value(), true);                      // disabled, still checked
    QCOMPARE(window_->Options().ChkNoteReplace(), true);  // read whether enabled or not

    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    QCOMPARE(window_->chkDelNotes()->Value(), true);
    QCOMPARE(replace->Enabled(), true);
    QCOMPARE(replace->checkBox()->isEnabled(), true);
  }

  void optionsAnswerFromTheLiveControls() {
    const RewriteOptions& options = window_->Options();
    QCOMPARE(Answers(options), QString("1 0 SSN MISS 0 PROP EVEN 1 1"));
    QCOMPARE(Answers(options), Answers(RewriteValues()));  // what a run without the window assumes
    // Changed on the widgets, as a user does; the same object answers anew.
    window_->chkDelNotes()->checkBox()->setChecked(false);
    window_->ChkChange01()->checkBox()->setChecked(true);
    window_->PumChange01_Org()->comboBox()->setCurrentIndex(0);
    window_->PumChange01_New()->comboBox()->setCurrentIndex(4);
    window_->ChkChange02()->checkBox()->setChecked(true);
    window_->PumChange02_Org()->comboBox()->setCurrentIndex(1);
    window_->PumChange02_New()->comboBox()->setCurrentIndex(3);
    window_->ChkConvertMS4to6()->checkBox()->setChecked(false);
    window_->ChkNoteReplace()->checkBox()->setChecked(false);
    QCOMPARE(Answers(options), QString("0 1 EVEN SSN 1 MISE PROP 0 0"));
  }

  void menuTreeInOrder() {
    QStringList tree;
    Describe(*MenuBar1::heldInstance(), "", tree);
    QCOMPARE(tree, QStringList({"FileMenu []", "  FileQuit [Cmd+Q]", "EditMenu []", "  EditUndo [Cmd+Z]",
                                "  UntitledMenu1", "  EditCut [Cmd+X]", "  EditCopy [Cmd+C]", "  EditPaste [Cmd+V]",
                                "  EditClear []", "  UntitledMenu0", "  EditSelectAll [Cmd+A]"}));
    QVERIFY(dynamic_cast<fw::QuitMenuItem*>(MenuBar1::heldInstance()->Lookup("FileQuit")) != nullptr);
    // The window shows the same tree.
    const QList<QAction*> titles = window_->widget()->menuBar()->actions();
    QCOMPARE(titles.size(), 2);
    QCOMPARE(titles.at(1)->menu()->actions().size(), 8);
  }

  void resizingMovesOnlyTheNotice_data() {
    QTest::addColumn<QSize>("grow");
    QTest::addColumn<int>("noticeMovesDown");
    QTest::newRow("100 taller") << QSize(0, 100) << 100;
    QTest::newRow("100 wider") << QSize(100, 0) << 0;
  }
  void resizingMovesOnlyTheNotice() {
    QFETCH(QSize, grow);
    QFETCH(int, noticeMovesDown);
    QMainWindow* top = window_->widget();
    top->resize(top->size() + grow);
    QCoreApplication::processEvents();
    QCOMPARE(window_->content()->size(), QSize(576, 320) + grow);
    for (const ControlRow& row : kControls) {
      const int down = QLatin1String(row.name) == QLatin1String("StaticText1") ? noticeMovesDown : 0;
      QVERIFY2(PlaceOf(*window_, row.name) == QRect(row.left, row.top + down, row.width, row.height), row.name);
    }
  }

  void recordsDecodeToTheirClassEntryCounts() {
    const records::Place at{"X", 1, 2, 3, 4, true, true, false, false, 0};
    const std::pair<std::string, size_t> cases[] = {
        {records::Window(576, 320, 0, "Tavelock"), 21},    {records::Label(at, "t", 0, records::kBlack, ""), 29},
        {records::GroupBox(at, "c", ""), 22},              {records::CheckBox(at, "c", true, "GroupBox1"), 27},
        {records::PopupMenu(at, "A\rB\r", 1, ""), 26},     {records::TextField(at, "t", ""), 38},
        {records::PushButton(at, "c", ""), 26},
    };
    for (const auto& [record, count] : cases) {
      const std::vector<fw::PropertyEntry> entries = fw::DecodeRecord(record);
      QCOMPARE(entries.size(), count);
      QCOMPARE(fw::EncodeRecord(entries), record);  // it ends where its last entry ends
    }
    // The progress window's records.
    QCOMPARE(records::Window(365, 64, 8, "Ohne Titel").size(), size_t{277});
    const records::Place label{"StaticText1", 20, 14, 325, 20, true, true, false, false, 0};
    QCOMPARE(records::Label(label, "Please wait . . . working . . .", 1, records::kBlack, "").size(), size_t{381});
  }

  void screenshotOfTheMainWindow() { QVERIFY(SaveScreenshot(window_->widget(), "main-window.png")); }

 private:
  std::unique_ptr<fw::testing::ScriptedDialogs> dialogs_;
  Window1* window_ = nullptr;
};

QTEST_APPLESS_MAIN(ShellStartupTest)
#include "shell_startup_qtest.moc"
