// The six controls: records applied to their widgets and read back, group box
// placement, the locks, the keyboard order and the Action event.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/controls.h"
#include "framework/dialog_seam_testing.h"
#include "framework/window.h"
#include "record_fixtures.h"

using fw::Colour;
using fw::Control;
using fw::PropertyEntry;
using fw::PropertyValue;
using namespace record_fixtures;

namespace {

// A 576 by 320 window whose controls the test adds as the main window's
// CreateControls would: make, register, apply the record.
class Host : public fw::Window {
 public:
  Host() {
    fw::SetProperties(*this, fw::EncodeRecord({{"Width", 576}, {"Height", 320}, {"Title", std::string("Host")}}));
  }
  template <class C>
  C* Add(const std::vector<PropertyEntry>& record, double textSize = 0) {
    const std::string name = std::get<std::string>(record.front().value);
    AddControl(name, NewControl<C>());
    auto* control = dynamic_cast<C*>(ControlByName(name));
    if (textSize > 0) control->SetTextSize(textSize);
    control->SetTextUnit(0);
    fw::SetProperties(*control, fw::EncodeRecord(record));
    return control;
  }
  // The part of Construct that comes after the controls.
  void Open() {
    Construct();
    widget()->show();
  }
};

// One property set on a control and what its widget must show for it.
struct Case {
  const char* name;
  PropertyValue value;
  std::function<bool(QWidget*)> shows;
};

void CheckCases(Control& control, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    control.SetProperty(c.name, c.value);
    QVERIFY2(c.shows(control.widget()), c.name);
    QVERIFY2(control.GetProperty(c.name) == std::optional<PropertyValue>(c.value), c.name);
  }
}

template <class W>
std::function<bool(QWidget*)> As(std::function<bool(W*)> check) {
  return [check](QWidget* w) { return check(static_cast<W*>(w)); };
}

}  // namespace

class ControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void commonEntriesAndLabel() {
    Host host;
    auto* label = host.Add<fw::Label>(LabelRecord("StaticText1", {8, 302, 308, 12}, "Notice"), 10);
    QCOMPARE(label->label()->text(), QString("Notice"));
    QCOMPARE(label->widget()->geometry(), QRect(8, 302, 308, 12));
    QCOMPARE(label->widget()->font().pixelSize(), 10);  // the size set before the record stays
    QCOMPARE(label->label()->palette().color(QPalette::WindowText), QColor(0x77, 0x07, 0x00));
    QCOMPARE(label->GetProperty("Index"), std::optional<PropertyValue>(INT32_MIN));
    QCOMPARE(label->Name(), std::string("StaticText1"));
    QVERIFY(!label->GetProperty("Caption"));

    using L = QLabel;
    CheckCases(*label, {{"Left", 30, [](QWidget* w) { return w->x() == 30; }},
                        {"Top", 40, [](QWidget* w) { return w->y() == 40; }},
                        {"Width", 99, [](QWidget* w) { return w->width() == 99; }},
                        {"Height", 21, [](QWidget* w) { return w->height() == 21; }},
                        {"Enabled", false, [](QWidget* w) { return !w->isEnabled(); }},
                        {"Visible", false, [](QWidget* w) { return w->isHidden(); }},
                        {"HelpTag", std::string("tip"), [](QWidget* w) { return w->toolTip() == "tip"; }},
                        {"TextFont", std::string("DejaVu Serif"),
                         [](QWidget* w) { return w->font().families().contains("DejaVu Serif"); }},
                        {"Bold", true, [](QWidget* w) { return w->font().bold(); }},
                        {"Italic", true, [](QWidget* w) { return w->font().italic(); }},
                        {"Underline", true, [](QWidget* w) { return w->font().underline() && w->font().bold(); }},
                        {"Text", std::string("a b"), As<L>([](L* l) { return l->text() == "a b"; })},
                        {"TextAlign", 1, As<L>([](L* l) { return (l->alignment() & Qt::AlignHCenter) != 0; })},
                        {"TextAlign", 2, As<L>([](L* l) { return (l->alignment() & Qt::AlignRight) != 0; })},
                        {"TextColor", Colour{1, 2, 3},
                         As<L>([](L* l) { return l->palette().color(QPalette::WindowText) == QColor(1, 2, 3); })},
                        {"Multiline", true, As<L>([](L* l) { return l->wordWrap(); })},
                        {"Selectable", true,
                         As<L>([](L* l) { return l->textInteractionFlags().testFlag(Qt::TextSelectableByMouse); })},
                        {"Transparent", true, [](QWidget*) { return true; }},
                        {"TextFont", std::string("System"),
                         [](QWidget* w) { return w->font().family() == QApplication::font().family(); }}});
    label->SetTextSize(0);
    QCOMPARE(label->widget()->font().pointSizeF(), QApplication::font().pointSizeF());
    QVERIFY_THROWS_EXCEPTION(fw::RuntimeException, label->SetProperty("TextAlign", 3));
    QVERIFY_THROWS_EXCEPTION(fw::PropertyRecordError, label->SetProperty("Text", 3));
  }

  void checkBoxGroupBoxAndButton() {
    Host host;
    auto* group = host.Add<fw::GroupBox>(GroupBoxRecord("GroupBox1", {8, 9, 560, 81}, "Remove these entries:"));
    QCOMPARE(group->groupBox()->title(), QString("Remove these entries:"));
    auto* check = host.Add<fw::CheckBox>(CheckBoxRecord("chkDelNotes", {20, 37, 261, 22}, "Notes", true));
    QVERIFY(check->checkBox()->isChecked());
    QVERIFY(check->Value());

    using B = QCheckBox;
    CheckCases(*check,
               {{"Caption", std::string("Other"), As<B>([](B* b) { return b->text() == "Other"; })},
                {"State", 2, As<B>([](B* b) { return b->isTristate() && b->checkState() == Qt::PartiallyChecked; })},
                {"State", 0, As<B>([](B* b) { return b->checkState() == Qt::Unchecked; })},
                {"Value", true, As<B>([](B* b) { return b->checkState() == Qt::Checked; })}});
    check->SetProperty("State", 2);
    QCOMPARE(check->GetProperty("Value"), std::optional<PropertyValue>(false));
    QVERIFY_THROWS_EXCEPTION(fw::RuntimeException, check->SetProperty("State", 3));

    auto* button = host.Add<fw::PushButton>(PushButtonRecord("BtnModify", {437, 276, 120, 24}, "Modify .GED"));
    using P = QPushButton;
    CheckCases(*button, {{"Caption", std::string("Go"), As<P>([](P* b) { return b->text() == "Go"; })},
                         {"Default", true, As<P>([](P* b) { return b->isDefault(); })},
                         {"ButtonStyle", 3, [](QWidget*) { return true; }}});
  }

  void popupMenuRows_data() {
    QTest::addColumn<QString>("rows");
    QTest::addColumn<int>("listIndex");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("trailing CR makes no row") << "EVEN\rMISE\rMISS\rPROP\rSSN\r" << 2 << 5 << "MISS";
    QTest::newRow("no trailing CR") << "EVEN\rMISE\rMISS\rPROP\rSSN" << 4 << 5 << "SSN";
    QTest::newRow("second of two") << "UTF-8\rUTF-16" << 1 << 2 << "UTF-16";
    QTest::newRow("inner empty row stays") << "A\r\rB" << 2 << 3 << "B";
    QTest::newRow("none chosen") << "A\rB" << -1 << 2 << "";
  }
  void popupMenuRows() {
    QFETCH(QString, rows);
    QFETCH(int, listIndex);
    QFETCH(int, count);
    QFETCH(QString, text);
    Host host;
    auto* menu = host.Add<fw::PopupMenu>(PopupMenuRecord("Pum", {1, 2, 100, 20}, rows.toStdString(), listIndex));
    QVERIFY(!menu->comboBox()->isEditable());
    QCOMPARE(menu->ListCount(), count);
    QCOMPARE(menu->ListIndex(), listIndex);
    QCOMPARE(menu->Text(), text.toStdString());
    QCOMPARE(menu->GetProperty("Text"), std::optional<PropertyValue>(text.toStdString()));
    QVERIFY_THROWS_EXCEPTION(fw::RuntimeException, menu->SetListIndex(count));
    QCOMPARE(menu->ListIndex(), listIndex);
  }

  void textField() {
    Host host;
    auto* field = host.Add<fw::TextField>(TextFieldRecord("EdfDelNotes", {437, 37, 120, 24}, "DELETE:"));
    QCOMPARE(field->lineEdit()->text(), QString("DELETE:"));
    QVERIFY(field->lineEdit()->inputMask().isEmpty());
    QCOMPARE(field->lineEdit()->maxLength(), 32767);

    using E = QLineEdit;
    CheckCases(*field,
               {{"Border", false, As<E>([](E* e) { return !e->hasFrame(); })},
                {"Password", true, As<E>([](E* e) { return e->echoMode() == QLineEdit::Password; })},
                {"TextColor", Colour{9, 8, 7},
                 As<E>([](E* e) { return e->palette().color(QPalette::Text) == QColor(9, 8, 7); })},
                {"BackColor", Colour{1, 1, 1},
                 As<E>([](E* e) { return e->palette().color(QPalette::Base) == QColor(1, 1, 1); })},
                {"CueText", std::string("marker"), As<E>([](E* e) { return e->placeholderText() == "marker"; })},
                {"ReadOnly", true, As<E>([](E* e) { return e->isReadOnly(); })},
                {"LimitText", 4, As<E>([](E* e) { return e->maxLength() == 4 && e->text() == "DELE"; })},
                {"LimitText", 0, As<E>([](E* e) { return e->maxLength() == 32767; })},
                {"Alignment", 2, As<E>([](E* e) { return (e->alignment() & Qt::AlignHCenter) != 0; })},
                {"Alignment", 3, As<E>([](E* e) { return (e->alignment() & Qt::AlignRight) != 0; })},
                {"Alignment", 1, As<E>([](E* e) { return (e->alignment() & Qt::AlignLeft) != 0; })},
                {"Mask", std::string(">AAAA"), As<E>([](E* e) { return !e->inputMask().isEmpty(); })},
                {"Mask", std::string(), As<E>([](E* e) { return e->inputMask().isEmpty(); })},
                {"Text", std::string("(DEL)"), As<E>([](E* e) { return e->text() == "(DEL)"; })},
                {"Format", std::string("###"), [](QWidget*) { return true; }},
                {"AcceptTabs", true, [](QWidget*) { return true; }}});
    field->lineEdit()->setText("typed");
    QCOMPARE(field->Text(), std::string("typed"));
  }

  void initialParentKeepsWindowCoordinates() {
    Host host;
    auto* group = host.Add<fw::GroupBox>(GroupBoxRecord("GroupBox2", {8, 102, 560, 88}, "Change fields:"));
    auto* label = host.Add<fw::Label>(LabelRecord("StaticText3", {285, 128, 42, 20, "LT", 2, "GroupBox2"}, "into"));
    QCOMPARE(label->widget()->parentWidget(), group->widget());
    QCOMPARE(label->widget()->pos(), QPoint(277, 26));
    QCOMPARE(label->Left(), 285);
    QCOMPARE(label->GetProperty("Top"), std::optional<PropertyValue>(int32_t{128}));
    label->SetProperty("Left", 300);
    QCOMPARE(label->widget()->x(), 292);
    host.Open();
    QVERIFY(label->widget()->isVisible());

    auto* stray = host.Add<fw::Label>(LabelRecord("StaticText4", {1, 1, 10, 10}, "x"));
    QVERIFY_THROWS_EXCEPTION(fw::RuntimeException, stray->SetProperty("InitialParent", std::string("Nowhere")));
    QVERIFY_THROWS_EXCEPTION(fw::RuntimeException, stray->SetProperty("InitialParent", std::string("StaticText3")));
    QCOMPARE(stray->widget()->parentWidget(), host.content());
    QCOMPARE(stray->GetProperty("InitialParent"), std::optional<PropertyValue>(std::string()));
  }

  void locksFollowTheContainer_data() {
    QTest::addColumn<bool>("shownFirst");
    QTest::newRow("shown window") << true;
    QTest::newRow("hidden window") << false;
  }
  void locksFollowTheContainer() {
    QFETCH(bool, shownFirst);
    Host host;
    auto* notice = host.Add<fw::Label>(LabelRecord("StaticText1", {8, 302, 308, 12, "LB"}, "n"));
    auto* group = host.Add<fw::GroupBox>(GroupBoxRecord("GroupBox1", {8, 9, 560, 81, "LTR"}, "g"));
    auto* inGroup =
        host.Add<fw::CheckBox>(CheckBoxRecord("Right", {500, 37, 50, 20, "TR", 0, "GroupBox1"}, "r", false));
    auto* plain = host.Add<fw::PushButton>(PushButtonRecord("Btn", {437, 276, 120, 24}, "b"));
    auto* free = host.Add<fw::Label>(LabelRecord("Free", {200, 200, 50, 20, ""}, "f"));
    if (shownFirst) host.Open();

    host.SetProperty("Height", 420);
    QCOMPARE(notice->Top(), 402);  // locked to the bottom: 6 from it still
    QCOMPARE(plain->Top(), 276);
    QCOMPARE(group->Height(), 81);

    host.SetProperty("Width", 676);
    QCOMPARE(notice->Left(), 8);
    QCOMPARE(plain->Left(), 437);
    QCOMPARE(free->Left(), 200);
    QCOMPARE(free->Top(), 200);
    QCOMPARE(group->Width(), 660);   // left and right: stretched
    QCOMPARE(inGroup->Left(), 600);  // right only, in the stretched group box: moved
    QCOMPARE(inGroup->Width(), 50);

    if (!shownFirst) host.Open();
    // Squeezed below nothing and back: the stretched control is whole again.
    host.widget()->setMinimumSize(0, 0);
    host.SetProperty("MinWidth", 0);
    host.SetProperty("Width", 10);
    QCOMPARE(group->Width(), 0);
    host.SetProperty("Width", 576);
    QCOMPARE(group->Width(), 560);
    QCOMPARE(inGroup->Left(), 500);
    QCOMPARE(notice->Top(), 402);
  }

  // A container resized while its window is hidden tells nobody until the
  // window is shown; a control placed meanwhile is placed for the new size.
  void controlPlacedAfterHiddenResizeStays() {
    Host host;
    auto* group = host.Add<fw::GroupBox>(GroupBoxRecord("GroupBox1", {8, 9, 560, 81, "LT"}, "g"));
    host.SetProperty("Height", 330);
    group->SetProperty("Width", 400);
    auto* inGroup =
        host.Add<fw::CheckBox>(CheckBoxRecord("Right", {300, 37, 50, 20, "TR", 0, "GroupBox1"}, "r", false));
    host.Open();
    QCOMPARE(inGroup->Left(), 300);
    group->SetProperty("Width", 500);
    QCOMPARE(inGroup->Left(), 400);
  }

  void userResizeMovesBottomLockedLabel() {
    Host host;
    auto* notice = host.Add<fw::Label>(LabelRecord("StaticText1", {8, 302, 308, 12, "LB"}, "n"));
    host.Open();
    QMainWindow* top = host.widget();
    top->resize(top->width() + 100, top->height() + 100);
    QTRY_COMPARE(host.Height(), 420);
    QCOMPARE(notice->Top(), 402);
    QCOMPARE(notice->Left(), 8);
  }

  void tabIndexOrdersWithinEachParent() {
    Host host;
    auto* label = host.Add<fw::Label>(LabelRecord("StaticText1", {8, 302, 308, 12, "LT", 0}, ""));
    host.Add<fw::GroupBox>(GroupBoxRecord("GroupBox2", {8, 102, 560, 88, "LT", 3}, "g"));
    auto* newMenu = host.Add<fw::PopupMenu>(PopupMenuRecord("New", {339, 127, 100, 20, "LT", 3, "GroupBox2"}, "A", 0));
    auto* orgMenu = host.Add<fw::PopupMenu>(PopupMenuRecord("Org", {173, 127, 100, 20, "LT", 1, "GroupBox2"}, "A", 0));
    auto* check = host.Add<fw::CheckBox>(CheckBoxRecord("Chk", {20, 127, 148, 20, "LT", 4, "GroupBox2"}, "c", false));
    auto* button = host.Add<fw::PushButton>(PushButtonRecord("Btn", {437, 276, 120, 24, "LT", 2}, ""));
    auto* field = host.Add<fw::TextField>(TextFieldRecord("Edf", {20, 202, 100, 20, "LT", 5}, ""));
    auto* last = host.Add<fw::CheckBox>(CheckBoxRecord("Last", {20, 230, 100, 20, "LT", 4}, "", false));
    host.Open();

    const std::vector<QWidget*> expected = {button->widget(), orgMenu->widget(), newMenu->widget(),
                                            check->widget(),  last->widget(),    field->widget()};
    std::vector<QWidget*> chain;
    QWidget* w = button->widget();
    do {
      if (std::find(expected.begin(), expected.end(), w) != expected.end()) chain.push_back(w);
      w = w->nextInFocusChain();
    } while (w != button->widget() && chain.size() < expected.size() + 1);
    QCOMPARE(chain, expected);
    QCOMPARE(label->widget()->focusPolicy(), Qt::NoFocus);
  }

  void actionFiresOnEveryChangeAndClick() {
    Host host;
    auto* check = host.Add<fw::CheckBox>(CheckBoxRecord("chkDelNotes", {20, 37, 261, 22}, "Notes", true));
    auto* button = host.Add<fw::PushButton>(PushButtonRecord("BtnModify", {437, 276, 120, 24}, "Modify .GED"));
    host.Open();
    std::vector<std::string> fired;
    check->AddActionHandler(
        [&](Control& c) { fired.push_back(c.Name() + (dynamic_cast<fw::CheckBox&>(c).Value() ? "+" : "-")); });
    button->AddActionHandler([&](Control& c) { fired.push_back(c.Name()); });
    QVERIFY(fired.empty());  // attached after the record: starting values ran nothing

    QTest::mouseClick(check->checkBox(), Qt::LeftButton, {}, QPoint(8, 11));  // on the box itself
    check->SetValue(true);
    check->SetValue(true);  // no change, no Action
    QTest::mouseClick(button->pushButton(), Qt::LeftButton);
    button->Push();
    button->SetEnabled(false);
    button->Push();  // a disabled button can't be clicked
    QCOMPARE(fired, (std::vector<std::string>{"chkDelNotes-", "chkDelNotes+", "BtnModify", "BtnModify"}));
  }

  void cancelButtonAnswersEscape() {
    Host host;
    auto* button = host.Add<fw::PushButton>(PushButtonRecord("Cancel", {10, 10, 80, 24}, "Cancel"));
    host.Open();
    int pushed = 0;
    button->AddActionHandler([&](Control&) { ++pushed; });
    host.widget()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(host.widget()));
    QTest::keyClick(host.widget(), Qt::Key_Escape);
    QCOMPARE(pushed, 0);
    button->SetProperty("Cancel", true);
    QTest::keyClick(host.widget(), Qt::Key_Escape);
    QCOMPARE(pushed, 1);
    button->SetProperty("Cancel", false);
    QTest::keyClick(host.widget(), Qt::Key_Escape);
    QCOMPARE(pushed, 1);
  }

  void handlerExceptionIsReportedAndTheAppGoesOn() {
    fw::testing::ScriptedDialogs dialogs;
    Host host;
    auto* button = host.Add<fw::PushButton>(PushButtonRecord("BtnModify", {437, 276, 120, 24}, "Modify .GED"));
    host.Open();
    int after = 0;
    button->AddActionHandler([](Control&) { throw fw::NilObjectException(); });
    button->AddActionHandler([&](Control&) { ++after; });
    QTest::mouseClick(button->pushButton(), Qt::LeftButton);
    QCOMPARE(dialogs.Messages().size(), size_t{1});
    QVERIFY(dialogs.Messages()[0].find("NilObjectException") != std::string::npos);
    QCOMPARE(after, 1);
    button->Push();
    QCOMPARE(dialogs.Messages().size(), size_t{2});
    QCOMPARE(after, 2);
  }
};

QTEST_MAIN(ControlsTest)
#include "controls_qtest.moc"
