#pragma once
// What the shell's window tests share: the main window's controls as the user
// is meant to find them, and starting and ending the application around a test.

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <climits>
#include <string>

#include "framework/application.h"
#include "framework/controls.h"
#include "framework/property_record.h"
#include "shell/app.h"
#include "shell/menubar1.h"
#include "shell/window1.h"

namespace shelltest {

enum class Kind { Label, GroupBox, CheckBox, PopupMenu, TextField, PushButton };

// The framework's class name of a kind of control.
inline QString KindName(Kind kind) {
  switch (kind) {
    case Kind::Label: return "Label";
    case Kind::GroupBox: return "GroupBox";
    case Kind::CheckBox: return "CheckBox";
    case Kind::PopupMenu: return "PopupMenu";
    case Kind::TextField: return "TextField";
    case Kind::PushButton: return "PushButton";
  }
  return {};
}

// One control of the main window with its starting state. `text` is the
// caption or text, or for a pop-up menu its rows as stored (joined by CR).
// `state` is 1 or 0 for a check box and the selected row for a pop-up menu.
struct ControlRow {
  const char* name;
  Kind kind;
  const char* parent;  // "" when it sits on the window itself
  int left, top, width, height;
  bool lockLeft, lockTop, lockRight, lockBottom;
  int tabIndex;
  const char* text;
  int state;
  int textAlign;        // labels
  fw::Colour textColor;  // labels
};

inline constexpr fw::Colour kBlack{0x00, 0x00, 0x00};
inline constexpr fw::Colour kNoticeRed{0x77, 0x07, 0x00};
inline constexpr char kNoticeTail[] = " (Version 0.3 - this is alpha software)";
inline constexpr char kTagsNew[] = "EVEN\rMISE\rMISS\rPROP\rSSN\r";
inline constexpr char kTagsOrg[] = "EVEN\rMISE\rMISS\rPROP\rSSN";

// In creation order. The notice's head is free, so its text here is only the
// tail it must end with.
inline constexpr ControlRow kControls[] = {
    {"StaticText1", Kind::Label, "", 8, 302, 308, 12, true, false, false, true, 0, kNoticeTail, 0, 0, kNoticeRed},
    {"GroupBox1", Kind::GroupBox, "", 8, 9, 560, 81, true, true, false, false, 1, "Remove these entries:", 0, 0, {}},
    {"chkDelNotes", Kind::CheckBox, "GroupBox1", 20, 37, 261, 22, true, true, false, false, 0,
     "Notes starting with the following tag:", 1, 0, {}},
    {"PumDelNotes", Kind::PopupMenu, "GroupBox1", 285, 37, 140, 22, true, true, false, false, 1,
     "User defined ->\r(DEL)", 0, 0, {}},
    {"EdfDelNotes", Kind::TextField, "GroupBox1", 437, 37, 120, 24, true, true, false, false, 2, "DELETE:", 0, 0, {}},
    {"ChkNoteReplace", Kind::CheckBox, "GroupBox1", 48, 61, 309, 20, true, true, false, false, 3,
     "Replace with 'Additional private data on file!'", 1, 0, {}},
    {"BtnModify", Kind::PushButton, "", 437, 276, 120, 24, true, true, false, false, 2, "Modify .GED", 0, 0, {}},
    {"GroupBox2", Kind::GroupBox, "", 8, 102, 560, 88, true, true, false, false, 3, "Change fields:", 0, 0, {}},
    {"StaticText3", Kind::Label, "GroupBox2", 285, 128, 42, 20, true, true, false, false, 2, "into", 0, 1, kBlack},
    {"PumChange01_New", Kind::PopupMenu, "GroupBox2", 339, 127, 100, 20, true, true, false, false, 3, kTagsNew, 2, 0,
     {}},
    {"PumChange01_Org", Kind::PopupMenu, "GroupBox2", 173, 127, 100, 20, true, true, false, false, 1, kTagsOrg, 4, 0,
     {}},
    {"ChkChange01", Kind::CheckBox, "GroupBox2", 20, 127, 148, 20, true, true, false, false, 4, "Change entry from:", 0,
     0, {}},
    {"PumChange02_New", Kind::PopupMenu, "GroupBox2", 339, 159, 100, 20, true, true, false, false, 5, kTagsNew, 0, 0,
     {}},
    {"StaticText4", Kind::Label, "GroupBox2", 285, 160, 42, 20, true, true, false, false, 6, "into", 0, 1, kBlack},
    {"PumChange02_Org", Kind::PopupMenu, "GroupBox2", 173, 159, 100, 20, true, true, false, false, 7, kTagsOrg, 3, 0,
     {}},
    {"ChkChange02", Kind::CheckBox, "GroupBox2", 20, 159, 148, 20, true, true, false, false, 8, "Change entry from:", 0,
     0, {}},
    {"ChkConvertMS4to6", Kind::CheckBox, "", 20, 202, 307, 20, true, true, false, false, 4,
     "Change SSN and PROP from MS4 to MS6", 1, 0, {}},
    {"PumEncoding", Kind::PopupMenu, "", 328, 277, 97, 20, true, true, false, false, 5, "UTF-8\rUTF-16", 1, 0, {}},
};

inline constexpr int kControlCount = static_cast<int>(std::size(kControls));

inline const ControlRow* FindRow(const QString& name) {
  for (const ControlRow& row : kControls) {
    if (name == QLatin1String(row.name)) return &row;
  }
  return nullptr;
}

// The rows a pop-up menu shows: a CR at the very end opens no empty row.
inline QStringList RowsOf(const char* stored) {
  QStringList rows = QString::fromUtf8(stored).split(QChar('\r'));
  if (!rows.isEmpty() && rows.last().isEmpty()) rows.removeLast();
  return rows;
}

// Starts the application as the process does, up to the run loop.
inline Window1* StartShell() {
  fw::RuntimeInit();
  Startup();
  return dynamic_cast<Window1*>(fw::GetImplicitWindow("Window1.Window1"));
}

// Shuts down as the process does after its run loop; gives the exit status.
inline int EndShell() {
  MenuBar1::ReleaseInstance();
  return fw::RuntimeExit();
}

// A status that no path of the system quits with (it only ever quits with 0):
// a loop that nothing else ends is ended with it.
inline constexpr int kWatchdogStatus = 99;

inline void ArmWatchdog() {
  QTimer::singleShot(20000, QCoreApplication::instance(), [] { fw::Quit(kWatchdogStatus); });
}

// Writes a picture of `widget` (with its menu bar, when it has one) for a
// person to look at; false when it could not be written.
inline bool SaveScreenshot(QWidget* widget, const QString& fileName) {
  const QString dir =
      qEnvironmentVariable("TAVELOCK_SCREENSHOT_DIR", QDir::temp().filePath(QStringLiteral("tavelock-screenshots")));
  if (!QDir().mkpath(dir)) return false;
  const QPixmap picture = widget->grab();
  return !picture.isNull() && picture.save(QDir(dir).filePath(fileName));
}

}  // namespace shelltest
