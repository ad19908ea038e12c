// Start-up: the application object, the one menu bar, and the main window with
// every control at its place and starting value. Each test starts its own run.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

#include <cstring>
#include <memory>

#include "framework/dialog_seam_testing.h"
#include "framework/window.h"
#include "shell_support.h"

using namespace shelltest;

namespace {

bool IsOfKind(fw::Control* control, Kind kind) {
  switch (kind) {
    case Kind::Label: return dynamic_cast<fw::Label*>(control) != nullptr;
    case Kind::GroupBox: return dynamic_cast<fw::GroupBox*>(control) != nullptr;
    case Kind::CheckBox: return dynamic_cast<fw::CheckBox*>(control) != nullptr;
    case Kind::PopupMenu: return dynamic_cast<fw::PopupMenu*>(control) != nullptr;
    case Kind::TextField: return dynamic_cast<fw::TextField*>(control) != nullptr;
    case Kind::PushButton: return dynamic_cast<fw::PushButton*>(control) != nullptr;
  }
  return false;
}

bool StoredBool(const fw::Control& control, const char* name) {
  const auto value = control.GetProperty(name);
  return value && std::get<bool>(*value);
}

int StoredInt(const fw::Control& control, const char* name) {
  const auto value = control.GetProperty(name);
  return value ? std::get<int32_t>(*value) : -1;
}

QString LocksOf(const fw::Control& control) {
  QString locks;
  for (const char* lock : {"LockLeft", "LockTop", "LockRight", "LockBottom"}) locks += StoredBool(control, lock) ? '1' : '0';
  return locks;
}

QString LocksOf(const ControlRow& row) {
  QString locks;
  for (bool lock : {row.lockLeft, row.lockTop, row.lockRight, row.lockBottom}) locks += lock ? '1' : '0';
  return locks;
}

QColor ToQColor(const fw::Colour& c) { return QColor(c.red, c.green, c.blue); }

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

  void mainWindowStandsAt576By320BelowItsMenuBar() {
    QMainWindow* top = window_->widget();
    QCOMPARE(window_->Title(), std::string("Tavelock"));
    QCOMPARE(top->windowTitle(), QString("Tavelock"));
    QVERIFY(top->isVisible());
    QVERIFY(window_->IsOpen());
    QCOMPARE(window_->content()->size(), QSize(576, 320));
    QCOMPARE(window_->Width(), 576);
    QCOMPARE(window_->Height(), 320);
    QVERIFY(top->menuWidget() != nullptr);
    QVERIFY(top->menuWidget()->isVisible());
    QVERIFY(top->menuWidget()->height() > 0);
    QVERIFY2(window_->content()->geometry().top() >= top->menuWidget()->geometry().bottom() + 1,
             "the content area overlaps the menu bar");
    // A minimise and a close button, no maximise button.
    const Qt::WindowFlags flags = top->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Window);
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    // Resizeable between 64 by 64 and 32000 by 32000 of content.
    const QSize chrome = top->size() - window_->content()->size();
    QCOMPARE(top->minimumSize(), QSize(64, 64) + chrome);
    QCOMPARE(top->maximumSize(), QSize(32000, 32000) + chrome);
    QCOMPARE(window_->ContentsChanged(), false);
  }

  void oneAppOneMenuBarOneMainWindow() {
    QVERIFY(fw::App() != nullptr);
    QVERIFY(dynamic_cast<App*>(fw::App()) != nullptr);
    MenuBar1* bar = MenuBar1::heldInstance();
    QVERIFY(bar != nullptr);
    QCOMPARE(fw::App()->GetMenuBar().get(), static_cast<fw::MenuBar*>(bar));
    QCOMPARE(window_->GetMenuBar().get(), static_cast<fw::MenuBar*>(bar));
    QCOMPARE(MenuBar1::instance().get(), bar);
    QCOMPARE(fw::AllWindows().size(), size_t{1});
    QCOMPARE(fw::AllWindows().front(), static_cast<fw::Window*>(window_));
    // Nothing at start-up makes the progress window.
    QCOMPARE(fw::GetImplicitWindow("WndWorking.WndWorking"), nullptr);
  }

  void askingForTheMainWindowAgainConstructsNothing() {
    QList<QWidget*> widgetsBefore;
    for (const ControlRow& row : kControls) widgetsBefore << window_->ControlByName(row.name)->widget();
    const int childrenBefore = static_cast<int>(window_->content()->findChildren<QWidget*>().size());

    Window1* first = Window1::instance();
    Window1* second = Window1::instance();
    QCOMPARE(first, window_);
    QCOMPARE(second, window_);
    QCOMPARE(fw::AllWindows().size(), size_t{1});
    QCOMPARE(window_->content()->findChildren<QWidget*>().size(), childrenBefore);
    QList<QWidget*> widgetsAfter;
    for (const ControlRow& row : kControls) widgetsAfter << window_->ControlByName(row.name)->widget();
    QCOMPARE(widgetsAfter, widgetsBefore);
  }

  void noHandlerRanAtStart() {
    QCOMPARE(dialogs_->OpenRequests(), 0);  // BtnModify's command asks for a file first
    QVERIFY(dialogs_->Messages().empty());
    QVERIFY(window_->ChkNoteReplace()->Enabled());
  }

  void everyControlStartsAsTabled_data() {
    QTest::addColumn<int>("row");
    for (int i = 0; i < kControlCount; ++i) QTest::newRow(kControls[i].name) << i;
  }
  void everyControlStartsAsTabled() {
    QFETCH(int, row);
    const ControlRow& want = kControls[row];
    fw::Control* control = window_->ControlByName(want.name);
    QVERIFY(control != nullptr);
    QVERIFY2(IsOfKind(control, want.kind), qPrintable("not a " + KindName(want.kind)));
    QWidget* widget = control->widget();
    QVERIFY(widget != nullptr);

    // Place, in window coordinates, by the framework and by Qt itself.
    QCOMPARE(QRect(control->Left(), control->Top(), control->Width(), control->Height()),
             QRect(want.left, want.top, want.width, want.height));
    QCOMPARE(widget->mapTo(window_->content(), QPoint(0, 0)), QPoint(want.left, want.top));
    QCOMPARE(widget->size(), QSize(want.width, want.height));
    QWidget* parent = window_->content();
    if (*want.parent != '\0') parent = window_->ControlByName(want.parent)->widget();
    QCOMPARE(widget->parentWidget(), parent);
    QCOMPARE(std::get<std::string>(*control->GetProperty("InitialParent")), std::string(want.parent));

    QCOMPARE(LocksOf(*control), LocksOf(want));
    QCOMPARE(StoredInt(*control, "TabIndex"), want.tabIndex);
    QCOMPARE(StoredInt(*control, "Index"), INT32_MIN);
    QCOMPARE(control->Name(), std::string(want.name));

    QVERIFY(control->Enabled());
    QVERIFY(widget->isEnabled());
    QVERIFY(control->Visible());
    QVERIFY(widget->isVisible());

    // Only the notice has a text size; every control has the text unit 0.
    QCOMPARE(control->TextUnit(), 0);
    const bool notice = QLatin1String(want.name) == QLatin1String("StaticText1");
    QCOMPARE(control->TextSize(), notice ? 10.0 : 0.0);
    if (notice) {
      QCOMPARE(widget->font().pixelSize(), 10);
    } else {
      QCOMPARE(widget->font().pointSizeF(), QApplication::font().pointSizeF());
    }

    switch (want.kind) {
      case Kind::Label: {
        auto* label = static_cast<fw::Label*>(control);
        if (notice) {
          QVERIFY2(QString::fromStdString(label->Text()).endsWith(kNoticeTail), label->Text().c_str());
        } else {
          QCOMPARE(label->Text(), std::string(want.text));
        }
        const Qt::Alignment horizontal = label->label()->alignment() & Qt::AlignHorizontal_Mask;
        QCOMPARE(horizontal, want.textAlign == 1 ? Qt::AlignHCenter : Qt::AlignLeft);
        QCOMPARE(label->label()->palette().color(QPalette::WindowText), ToQColor(want.textColor));
        QVERIFY(!label->label()->wordWrap());
        break;
      }
      case Kind::GroupBox:
        QCOMPARE(static_cast<fw::GroupBox*>(control)->Caption(), std::string(want.text));
        QCOMPARE(static_cast<fw::GroupBox*>(control)->groupBox()->title(), QString(want.text));
        break;
      case Kind::CheckBox: {
        auto* box = static_cast<fw::CheckBox*>(control);
        QCOMPARE(box->Caption(), std::string(want.text));
        QCOMPARE(box->Value(), want.state == 1);
        QCOMPARE(StoredInt(*control, "State"), want.state);
        QVERIFY(!box->checkBox()->isTristate());
        break;
      }
      case Kind::PopupMenu: {
        auto* menu = static_cast<fw::PopupMenu*>(control);
        const QStringList rows = RowsOf(want.text);
        QStringList shown;
        for (int i = 0; i < menu->ListCount(); ++i) shown << QString::fromStdString(menu->List(i));
        QCOMPARE(shown, rows);
        QCOMPARE(menu->ListIndex(), want.state);
        QCOMPARE(QString::fromStdString(menu->Text()), rows.at(want.state));
        QCOMPARE(menu->comboBox()->currentText(), rows.at(want.state));
        QVERIFY(!menu->comboBox()->isEditable());
        break;
      }
      case Kind::TextField: {
        auto* field = static_cast<fw::TextField*>(control);
        QCOMPARE(field->Text(), std::string(want.text));
        QLineEdit* edit = field->lineEdit();
        QVERIFY(edit->hasFrame());
        QVERIFY(!edit->isReadOnly());
        QCOMPARE(edit->echoMode(), QLineEdit::Normal);
        QCOMPARE(edit->palette().color(QPalette::Text), QColor(Qt::black));
        QCOMPARE(edit->palette().color(QPalette::Base), QColor(Qt::white));
        QVERIFY(edit->placeholderText().isEmpty());
        QVERIFY(edit->inputMask().isEmpty());
        break;
      }
      case Kind::PushButton: {
        auto* button = static_cast<fw::PushButton*>(control);
        QCOMPARE(button->Caption(), std::string(want.text));
        QVERIFY(!button->pushButton()->isDefault());
        break;
      }
    }
  }

  void theNoticeHasAHeadBeforeItsVersionTail() {
    const QString text = QString::fromStdString(window_->StaticText1()->Text());
    QVERIFY(text.endsWith(kNoticeTail));
    QVERIFY2(text.size() > static_cast<int>(std::strlen(kNoticeTail)), qPrintable(text));
    QVERIFY(!text.startsWith(' '));
  }

  void everyTextFitsItsControl_data() {
    QTest::addColumn<int>("row");
    for (int i = 0; i < kControlCount; ++i) QTest::newRow(kControls[i].name) << i;
  }
  void everyTextFitsItsControl() {
    // What a control says must be readable in the place it is given: a cut
    // notice loses the version and the alpha warning at its end.
    QFETCH(int, row);
    const ControlRow& want = kControls[row];
    QWidget* widget = window_->ControlByName(want.name)->widget();
    const QFontMetrics metrics(widget->font());
    int needWidth = 0;
    int needHeight = 0;
    switch (want.kind) {
      case Kind::Label: {
        const QString text = static_cast<QLabel*>(widget)->text();
        needWidth = metrics.horizontalAdvance(text);
        needHeight = metrics.height();
        break;
      }
      case Kind::GroupBox: needWidth = metrics.horizontalAdvance(static_cast<QGroupBox*>(widget)->title()); break;
      case Kind::TextField: needWidth = metrics.horizontalAdvance(static_cast<QLineEdit*>(widget)->text()); break;
      case Kind::CheckBox:
      case Kind::PopupMenu:
      case Kind::PushButton: needWidth = widget->sizeHint().width(); break;
    }
    QVERIFY2(needWidth <= widget->width(),
             qPrintable(QString("needs %1 pixels across, has %2").arg(needWidth).arg(widget->width())));
    QVERIFY2(needHeight <= widget->height(),
             qPrintable(QString("needs %1 pixels down, has %2").arg(needHeight).arg(widget->height())));
  }

  void accessorsReachTheTabledControls() {
    // Each accessor answers its own control, typed as the table says.
    const QList<QPair<const char*, fw::Control*>> reached = {
        {"StaticText1", window_->StaticText1()},       {"GroupBox1", window_->GroupBox1()},
        {"chkDelNotes", window_->chkDelNotes()},       {"PumDelNotes", window_->PumDelNotes()},
        {"EdfDelNotes", window_->EdfDelNotes()},       {"ChkNoteReplace", window_->ChkNoteReplace()},
        {"BtnModify", window_->BtnModify()},           {"GroupBox2", window_->GroupBox2()},
        {"StaticText3", window_->StaticText3()},       {"PumChange01_New", window_->PumChange01_New()},
        {"PumChange01_Org", window_->PumChange01_Org()}, {"ChkChange01", window_->ChkChange01()},
        {"PumChange02_New", window_->PumChange02_New()}, {"StaticText4", window_->StaticText4()},
        {"PumChange02_Org", window_->PumChange02_Org()}, {"ChkChange02", window_->ChkChange02()},
        {"ChkConvertMS4to6", window_->ChkConvertMS4to6()}, {"PumEncoding", window_->PumEncoding()},
    };
    QCOMPARE(reached.size(), kControlCount);
    for (const auto& [name, control] : reached) {
      QVERIFY2(control != nullptr, name);
      QCOMPARE(control, window_->ControlByName(name));
    }
  }

  void screenshotOfTheMainWindow() {
    QVERIFY(SaveScreenshot(window_->widget(), "main-window.png"));
  }

 private:
  std::unique_ptr<fw::testing::ScriptedDialogs> dialogs_;
  Window1* window_ = nullptr;
};

QTEST_APPLESS_MAIN(ShellStartupTest)
#include "shell_startup_qtest.moc"
