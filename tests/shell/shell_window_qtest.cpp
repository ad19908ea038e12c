// The main window at work: the one dependency between its controls, the
// option queries answered from the live controls, and resizing.

#include <QCheckBox>
#include <QComboBox>
#include <QMainWindow>
#include <QtTest>

#include <functional>
#include <map>

#include "shell_support.h"

using namespace shelltest;

// Sets chkDelNotes the way a row names it.
using Setter = std::function<void(Window1&, bool)>;
// Changes one control as a user would, straight on its widget.
using Change = std::function<void(Window1&)>;
// One query of the options, as text.
using Query = std::function<QString(const RewriteOptions&)>;
Q_DECLARE_METATYPE(Setter)
Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(Query)

namespace {

QString Text(bool value) { return value ? "true" : "false"; }
QString Text(std::string_view value) { return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())); }

void ClickCheckBox(Window1& window, bool wanted) {
  QCheckBox* box = window.chkDelNotes()->checkBox();
  if (box->isChecked() == wanted) return;
  // On the indicator, at the left end of the box.
  QTest::mouseClick(box, Qt::LeftButton, Qt::KeyboardModifiers(), QPoint(6, box->height() / 2));
}

void PressSpace(Window1& window, bool wanted) {
  QCheckBox* box = window.chkDelNotes()->checkBox();
  if (box->isChecked() == wanted) return;
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Space);
}

void SetValue(Window1& window, bool wanted) { window.chkDelNotes()->SetValue(wanted); }

struct Place {
  QPoint inWindow;
  QSize size;
  friend bool operator==(const Place&, const Place&) = default;
};

std::map<std::string, Place> Places(Window1& window) {
  std::map<std::string, Place> places;
  for (const ControlRow& row : kControls) {
    QWidget* w = window.ControlByName(row.name)->widget();
    places[row.name] = {w->mapTo(window.content(), QPoint(0, 0)), w->size()};
  }
  return places;
}

}  // namespace

class ShellWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    window_ = StartShell();
    QVERIFY(window_ != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(window_->widget()));
  }

  void cleanup() { EndShell(); }

  void noteRemovalRulesTheReplaceCheckBox_data() {
    QTest::addColumn<Setter>("set");
    QTest::newRow("mouse click") << Setter(ClickCheckBox);
    QTest::newRow("space key") << Setter(PressSpace);
    QTest::newRow("SetValue") << Setter(SetValue);
  }
  void noteRemovalRulesTheReplaceCheckBox() {
    QFETCH(Setter, set);
    Window1& w = *window_;
    // The starting state is consistent without the handler having run.
    QVERIFY(w.chkDelNotes()->Value());
    QVERIFY(w.ChkNoteReplace()->Enabled());
    QVERIFY(w.ChkNoteReplace()->Value());

    set(w, false);
    QCOMPARE(w.chkDelNotes()->Value(), false);
    QCOMPARE(w.ChkNoteReplace()->Enabled(), false);
    QCOMPARE(w.ChkNoteReplace()->checkBox()->isEnabled(), false);
    QCOMPARE(w.ChkNoteReplace()->Value(), true);  // disabled, still checked
    QVERIFY(w.PumDelNotes()->Enabled());
    QVERIFY(w.EdfDelNotes()->Enabled());
    QCOMPARE(w.Options().chkDelNotes(), false);
    QCOMPARE(w.Options().ChkNoteReplace(), true);  // read whether enabled or not

    set(w, true);
    QCOMPARE(w.chkDelNotes()->Value(), true);
    QCOMPARE(w.ChkNoteReplace()->Enabled(), true);
    QCOMPARE(w.ChkNoteReplace()->Value(), true);
    QVERIFY(w.PumDelNotes()->Enabled());
    QVERIFY(w.EdfDelNotes()->Enabled());
    QCOMPARE(w.Options().chkDelNotes(), true);
  }

  void onlyNoteRemovalHasADependant() {
    // Toggling any other check box leaves every control's enabling alone.
    for (fw::CheckBox* box : {window_->ChkNoteReplace(), window_->ChkChange01(), window_->ChkChange02(),
                              window_->ChkConvertMS4to6()}) {
      box->SetValue(!box->Value());
      box->SetValue(!box->Value());
    }
    for (const ControlRow& row : kControls) QVERIFY2(window_->ControlByName(row.name)->Enabled(), row.name);
  }

  void optionsAnswerFromTheLiveControls_data() {
    QTest::addColumn<Query>("query");
    QTest::addColumn<QString>("atStart");
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("afterChange");
    const auto check = [](fw::CheckBox* (Window1::*box)(), bool on) {
      return Change([box, on](Window1& w) { (w.*box)()->checkBox()->setChecked(on); });
    };
    const auto pick = [](fw::PopupMenu* (Window1::*menu)(), int row) {
      return Change([menu, row](Window1& w) { (w.*menu)()->comboBox()->setCurrentIndex(row); });
    };
    QTest::newRow("chkDelNotes") << Query([](const RewriteOptions& o) { return Text(o.chkDelNotes()); }) << "true"
                                 << check(&Window1::chkDelNotes, false) << "false";
    QTest::newRow("ChkChange01") << Query([](const RewriteOptions& o) { return Text(o.ChkChange01()); }) << "false"
                                 << check(&Window1::ChkChange01, true) << "true";
    QTest::newRow("PumChange01_Org") << Query([](const RewriteOptions& o) { return Text(o.PumChange01_Org()); })
                                     << "SSN" << pick(&Window1::PumChange01_Org, 0) << "EVEN";
    QTest::newRow("PumChange01_New") << Query([](const RewriteOptions& o) { return Text(o.PumChange01_New()); })
                                     << "MISS" << pick(&Window1::PumChange01_New, 4) << "SSN";
    QTest::newRow("ChkChange02") << Query([](const RewriteOptions& o) { return Text(o.ChkChange02()); }) << "false"
                                 << check(&Window1::ChkChange02, true) << "true";
    QTest::newRow("PumChange02_Org") << Query([](const RewriteOptions& o) { return Text(o.PumChange02_Org()); })
                                     << "PROP" << pick(&Window1::PumChange02_Org, 1) << "MISE";
    QTest::newRow("PumChange02_New") << Query([](const RewriteOptions& o) { return Text(o.PumChange02_New()); })
                                     << "EVEN" << pick(&Window1::PumChange02_New, 3) << "PROP";
    QTest::newRow("ChkConvertMS4to6") << Query([](const RewriteOptions& o) { return Text(o.ChkConvertMS4to6()); })
                                      << "true" << check(&Window1::ChkConvertMS4to6, false) << "false";
    QTest::newRow("ChkNoteReplace") << Query([](const RewriteOptions& o) { return Text(o.ChkNoteReplace()); })
                                    << "true" << check(&Window1::ChkNoteReplace, false) << "false";
  }
  void optionsAnswerFromTheLiveControls() {
    QFETCH(Query, query);
    QFETCH(QString, atStart);
    QFETCH(Change, change);
    QFETCH(QString, afterChange);
    const RewriteOptions& options = window_->Options();
    QCOMPARE(query(options), atStart);
    change(*window_);
    QCOMPARE(query(options), afterChange);  // the same object, no copy kept
    QCOMPARE(query(window_->Options()), afterChange);
  }

  void optionsMatchTheDefaultValues() {
    // The starting controls are the option values in force when the user
    // changes nothing.
    const RewriteValues defaults;
    const RewriteOptions& live = window_->Options();
    QCOMPARE(live.chkDelNotes(), defaults.chkDelNotes());
    QCOMPARE(live.ChkChange01(), defaults.ChkChange01());
    QCOMPARE(live.PumChange01_Org(), defaults.PumChange01_Org());
    QCOMPARE(live.PumChange01_New(), defaults.PumChange01_New());
    QCOMPARE(live.ChkChange02(), defaults.ChkChange02());
    QCOMPARE(live.PumChange02_Org(), defaults.PumChange02_Org());
    QCOMPARE(live.PumChange02_New(), defaults.PumChange02_New());
    QCOMPARE(live.ChkConvertMS4to6(), defaults.ChkConvertMS4to6());
    QCOMPARE(live.ChkNoteReplace(), defaults.ChkNoteReplace());
  }

  void resizingMovesOnlyTheNotice_data() {
    QTest::addColumn<QSize>("grow");
    QTest::addColumn<int>("noticeMovesDown");
    QTest::newRow("100 taller") << QSize(0, 100) << 100;
    QTest::newRow("100 wider") << QSize(100, 0) << 0;
    QTest::newRow("wider and taller") << QSize(250, 40) << 40;
    QTest::newRow("30 lower") << QSize(0, -30) << -30;
  }
  void resizingMovesOnlyTheNotice() {
    QFETCH(QSize, grow);
    QFETCH(int, noticeMovesDown);
    const std::map<std::string, Place> before = Places(*window_);
    QMainWindow* top = window_->widget();
    const QSize contentBefore = window_->content()->size();
    top->resize(top->size() + grow);
    QCoreApplication::processEvents();
    QCOMPARE(window_->content()->size(), contentBefore + grow);

    std::map<std::string, Place> want = before;
    want["StaticText1"].inWindow.ry() += noticeMovesDown;
    const std::map<std::string, Place> after = Places(*window_);
    for (const ControlRow& row : kControls) {
      const Place& got = after.at(row.name);
      const Place& expected = want.at(row.name);
      QVERIFY2(got == expected, qPrintable(QString("%1 at %2,%3 %4x%5, expected %6,%7 %8x%9")
                                               .arg(row.name)
                                               .arg(got.inWindow.x())
                                               .arg(got.inWindow.y())
                                               .arg(got.size.width())
                                               .arg(got.size.height())
                                               .arg(expected.inWindow.x())
                                               .arg(expected.inWindow.y())
                                               .arg(expected.size.width())
                                               .arg(expected.size.height())));
    }
    // The notice keeps its distance of 6 to the bottom edge.
    const fw::Label* notice = window_->StaticText1();
    QCOMPARE(window_->content()->height() - (notice->Top() + notice->Height()), 6);

    // Back to the start size, back to the start places.
    top->resize(top->size() - grow);
    QCoreApplication::processEvents();
    QCOMPARE(window_->content()->size(), QSize(576, 320));
    QVERIFY(Places(*window_) == before);
  }

 private:
  Window1* window_ = nullptr;
};

QTEST_APPLESS_MAIN(ShellWindowTest)
#include "shell_window_qtest.moc"
