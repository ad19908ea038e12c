// Controls: the locks, group box placement, the keyboard order and the Action
// event.

#include <QCheckBox>
#include <QMainWindow>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "framework/controls.h"
#include "framework/dialog_seam_testing.h"
#include "framework/window.h"

using fw::Control;
using fw::PropertyEntry;

namespace {

// A control's place in window coordinates, its locked edges as letters of
// "LTRB", its TabIndex and its group box.
std::vector<PropertyEntry> At(const std::string& name, int32_t left, int32_t top, int32_t width, int32_t height,
                              std::string_view locks = "LT", int32_t tab = 0, const std::string& parent = {}) {
  std::vector<PropertyEntry> record = {{"Name", name}, {"Left", left}, {"Top", top}, {"Width", width}, {"Height", height}};
  for (const char* edge : {"Left", "Top", "Right", "Bottom"})
    record.push_back({std::string("Lock") + edge, locks.find(edge[0]) != std::string_view::npos});
  record.insert(record.end(), {{"TabIndex", tab}, {"InitialParent", parent}});
  return record;
}

QRect Place(const Control* c) { return QRect(c->Left(), c->Top(), c->Width(), c->Height()); }

// A 576 by 320 window whose controls the test adds as the main window's
// CreateControls would: make, register, apply the record.
class Host : public fw::Window {
 public:
  Host() { fw::SetProperties(*this, fw::EncodeRecord({{"Width", 576}, {"Height", 320}})); }
  template <class C>
  C* Add(const std::vector<PropertyEntry>& record) {
    const std::string name = std::get<std::string>(record.front().value);
    AddControl(name, NewControl<C>());
    fw::SetProperties(*ControlByName(name), fw::EncodeRecord(record));
    return dynamic_cast<C*>(ControlByName(name));
  }
  // The part of Construct that comes after the controls.
  void Open() { Construct(); widget()->show(); }
};

}  // namespace

class ControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void locksFollowTheContainer_data() {
    QTest::addColumn<bool>("shownFirst");
    QTest::newRow("shown window") << true;
    QTest::newRow("hidden window") << false;
  }
  void locksFollowTheContainer() {
    QFETCH(bool, shownFirst);
    Host host;
    auto* notice = host.Add<fw::Label>(At("StaticText1", 8, 302, 308, 12, "LB"));
    auto* group = host.Add<fw::GroupBox>(At("GroupBox1", 8, 9, 560, 81, "LTR"));
    auto* inGroup = host.Add<fw::CheckBox>(At("Right", 500, 37, 50, 20, "TR", 0, "GroupBox1"));
    if (shownFirst) host.Open();

    host.SetProperty("Height", 420);
    host.SetProperty("Width", 676);
    QCOMPARE(Place(notice), QRect(8, 402, 308, 12));  // locked to the bottom: 6 from it still
    QCOMPARE(Place(group), QRect(8, 9, 660, 81));      // left and right: stretched
    QCOMPARE(Place(inGroup), QRect(600, 37, 50, 20));  // right only, in the stretched group box: moved

    if (!shownFirst) host.Open();
    // Squeezed below nothing and back: the stretched control is whole again.
    host.widget()->setMinimumSize(0, 0);
    host.SetProperty("MinWidth", 0);
    host.SetProperty("Width", 10);
    QCOMPARE(group->Width(), 0);
    host.SetProperty("Width", 576);
    QCOMPARE(Place(group), QRect(8, 9, 560, 81));
    QCOMPARE(inGroup->Left(), 500);
  }

  // A container resized while its window is hidden tells nobody until the
  // window is shown; a control placed meanwhile is placed for the new size.
  void controlPlacedAfterHiddenResizeStays() {
    Host host;
    auto* group = host.Add<fw::GroupBox>(At("GroupBox1", 8, 9, 560, 81));
    host.SetProperty("Height", 330);
    group->SetProperty("Width", 400);
    auto* inGroup = host.Add<fw::CheckBox>(At("Right", 300, 37, 50, 20, "TR", 0, "GroupBox1"));
    host.Open();
    QCOMPARE(inGroup->Left(), 300);
    group->SetProperty("Width", 500);
    QCOMPARE(inGroup->Left(), 400);
  }

  // A group box's children: placed in window coordinates, and next in the
  // keyboard order, by TabIndex within each parent.
  void groupBoxChildren() {
    Host host;
    auto* label = host.Add<fw::Label>(At("StaticText1", 8, 302, 308, 12, "LT", 0));
    host.Add<fw::GroupBox>(At("GroupBox2", 8, 102, 560, 88, "LT", 3));
    auto* newMenu = host.Add<fw::PopupMenu>(At("New", 339, 127, 100, 20, "LT", 3, "GroupBox2"));
    auto* orgMenu = host.Add<fw::PopupMenu>(At("Org", 173, 127, 100, 20, "LT", 1, "GroupBox2"));
    auto* button = host.Add<fw::PushButton>(At("Btn", 437, 276, 120, 24, "LT", 2));
    auto* field = host.Add<fw::TextField>(At("Edf", 20, 202, 100, 20, "LT", 5));
    auto* check = host.Add<fw::CheckBox>(At("Chk", 20, 230, 100, 20, "LT", 4));
    QCOMPARE(newMenu->widget()->pos(), QPoint(331, 25));
    QCOMPARE(Place(newMenu), QRect(339, 127, 100, 20));
    newMenu->SetProperty("Left", 350);
    QCOMPARE(newMenu->widget()->x(), 342);
    QVERIFY_THROWS_EXCEPTION(fw::RuntimeException, label->SetProperty("InitialParent", std::string("Nowhere")));
    QVERIFY_THROWS_EXCEPTION(fw::RuntimeException, label->SetProperty("InitialParent", std::string("Btn")));
    QCOMPARE(label->widget()->parentWidget(), host.content());
    host.Open();

    const std::vector<QWidget*> expected = {button->widget(), orgMenu->widget(), newMenu->widget(), check->widget(),
                                            field->widget()};
    std::vector<QWidget*> chain{button->widget()};  // the focusable ones once round the chain, from the button
    for (QWidget* w = button->widget()->nextInFocusChain(); w != button->widget() && chain.size() <= expected.size();
         w = w->nextInFocusChain())
      if (std::find(expected.begin(), expected.end(), w) != expected.end()) chain.push_back(w);
    QCOMPARE(chain, expected);
  }

  // Action runs on every change and click; a handler that throws is reported
  // and the next handler, and the next click, still run.
  void actionFiresOnEveryChangeAndClick() {
    fw::testing::ScriptedDialogs dialogs;
    Host host;
    auto* check = host.Add<fw::CheckBox>(At("chkDelNotes", 20, 37, 261, 22));
    auto* button = host.Add<fw::PushButton>(At("BtnModify", 437, 276, 120, 24));
    check->SetProperty("Value", true);
    host.Open();
    std::vector<std::string> fired;
    check->AddActionHandler([&](Control& c) { fired.push_back(c.Name() + (check->Value() ? "+" : "-")); });
    button->AddActionHandler([](Control&) { throw fw::NilObjectException(); });
    button->AddActionHandler([&](Control& c) { fired.push_back(c.Name()); });

    QTest::mouseClick(check->checkBox(), Qt::LeftButton, {}, QPoint(8, 11));  // on the box itself
    check->SetValue(true);
    check->SetValue(true);  // no change, no Action
    QTest::mouseClick(button->pushButton(), Qt::LeftButton);
    QCOMPARE(dialogs.Messages().size(), size_t{1});
    QVERIFY(dialogs.Messages()[0].find("NilObjectException") != std::string::npos);
    button->Push();
    button->SetEnabled(false);
    button->Push();  // a disabled button can't be clicked
    QCOMPARE(fired, (std::vector<std::string>{"chkDelNotes-", "chkDelNotes+", "BtnModify", "BtnModify"}));
    QCOMPARE(dialogs.Messages().size(), size_t{2});
  }
};

QTEST_MAIN(ControlsTest)
#include "controls_qtest.moc"
