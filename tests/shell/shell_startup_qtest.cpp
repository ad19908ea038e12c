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
struct ControlRow { const char *name, *cls; int left, top, width, height; const char* value; };

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
  if (auto* b = dynamic_cast<fw::CheckBox*>(c))
    return {"CheckBox", (b->checkBox()->isChecked() ? "[x] " : "[ ] ") + b->checkBox()->text()};
  QComboBox* box = dynamic_cast<fw::PopupMenu&>(*c).comboBox();
  QStringList rows;
  for (int i = 0; i < box->count(); ++i)
    rows << (i == box->currentIndex() ? '[' + box->itemText(i) + ']' : box->itemText(i));
  return {"PopupMenu", rows.join('|')};
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

  // Each control at its place, as it starts and after a resize: the notice,
  // held to the bottom edge, follows the height; nothing else moves.
  void everyControlAsTabled_data() {
    QTest::addColumn<QSize>("grow");
    QTest::newRow("as started") << QSize(0, 0);
    QTest::newRow("100 taller") << QSize(0, 100);
    QTest::newRow("100 wider") << QSize(100, 0);
  }
  void everyControlAsTabled() {
    QFETCH(QSize, grow);
    QMainWindow* top = window_->widget();
    top->resize(top->size() + grow);
    QCoreApplication::processEvents();
    QCOMPARE(window_->content()->size(), QSize(576, 320) + grow);
    for (const ControlRow& want : kControls) {
      fw::Control* control = window_->ControlByName(want.name);
      QVERIFY2(control != nullptr, want.name);
      const QWidget* w = control->widget();
      const bool notice = QLatin1String(want.name) == QLatin1String("StaticText1");
      QCOMPARE(QRect(w->mapTo(window_->content(), QPoint()), w->size()),
               QRect(want.left, want.top + (notice ? grow.height() : 0), want.width, want.height));
      const auto [cls, value] = Shown(control);
      QCOMPARE(cls, QString(want.cls));
      if (notice)
        QVERIFY2(value.indexOf(kNoticeTail) > 0 && value.endsWith(kNoticeTail) && !value.startsWith(' '), qPrintable(value));
      else QCOMPARE(value, QString(want.value));
      if (notice) QCOMPARE(w->font().pixelSize(), 10);
      QCOMPARE(control->TextSize(), notice ? 10.0 : 0.0);
      QVERIFY2(control->Enabled() && w->isEnabled() && w->isVisible(), want.name);
      // A cut notice would lose the version and the alpha warning at its end.
      if (cls == "Label") QVERIFY2(QFontMetrics(w->font()).horizontalAdvance(value) <= want.width, want.name);
    }
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

  void recordsDecodeToTheirClassEntryCounts() {
    const records::Place at{"StaticText1", 20, 14, 325, 20, true, true, false, false, 0};
    const std::pair<std::string, size_t> cases[] = {
        {records::Window(576, 320, 0, "Tavelock"), 21},    {records::Label(at, "t", 0, records::kBlack, ""), 29},
        {records::GroupBox(at, "c", ""), 22},              {records::CheckBox(at, "c", true, "GroupBox1"), 27},
        {records::PopupMenu(at, "A\rB\r", 1, ""), 26},     {records::TextField(at, "t", ""), 38},
        {records::PushButton(at, "c", ""), 26},
    };
    for (const auto& [record, count] : cases) {
      QCOMPARE(fw::DecodeRecord(record).size(), count);
      QCOMPARE(fw::EncodeRecord(fw::DecodeRecord(record)), record);  // it ends where its last entry ends
    }
    // The progress window's records.
    QCOMPARE(records::Window(365, 64, 8, "Ohne Titel").size(), size_t{277});
    QCOMPARE(records::Label(at, "Please wait . . . working . . .", 1, records::kBlack, "").size(), size_t{381});
  }

  void screenshotOfTheMainWindow() { QVERIFY(SaveScreenshot(window_->widget(), "main-window.png")); }

 private:
  std::unique_ptr<fw::testing::ScriptedDialogs> dialogs_;
  Window1* window_ = nullptr;
};

QTEST_APPLESS_MAIN(ShellStartupTest)
#include "shell_startup_qtest.moc"
