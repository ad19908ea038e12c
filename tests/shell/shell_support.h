#pragma once
// Starting and ending the application around a test, and its screenshots.

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTest>
#include <QWidget>

#include "framework/application.h"
#include "framework/window.h"
#include "shell/app.h"
#include "shell/menubar1.h"
#include "shell/window1.h"

namespace shelltest {

// The main window the framework holds, or null; none is made.
inline Window1* MainWindow() { return dynamic_cast<Window1*>(fw::GetImplicitWindow(Window1::kClassName)); }

// Starts the application as the process does, up to the run loop.
inline Window1* StartShell() {
  fw::RuntimeInit();
  Startup();
  return MainWindow();
}

// Starts the application and makes its main window the active one, as the
// desktop does when it opens; null when it doesn't become active.
inline Window1* StartShellActive() {
  Window1* main = StartShell();
  if (main == nullptr) return nullptr;
  main->widget()->activateWindow();
  return QTest::qWaitForWindowActive(main->widget()) ? main : nullptr;
}

// Shuts down as the process does after its run loop; gives the exit status.
inline int EndShell() {
  MenuBar1::ReleaseInstance();
  return fw::RuntimeExit();
}

// Writes a picture of `widget` (with its menu bar) to $TAVELOCK_SCREENSHOT_DIR
// for a person to look at; false when it could not be written.
inline bool SaveScreenshot(QWidget* widget, const QString& fileName) {
  const QString dir = qEnvironmentVariable("TAVELOCK_SCREENSHOT_DIR", QDir::temp().filePath("tavelock-screenshots"));
  const QPixmap picture = widget->grab();
  return QDir().mkpath(dir) && !picture.isNull() && picture.save(QDir(dir).filePath(fileName));
}

}  // namespace shelltest
