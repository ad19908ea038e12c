#include "shell/app.h"

#include <memory>

#include "shell/menubar1.h"
#include "shell/window1.h"

namespace {

void NewAppInstance() {
  auto app = std::make_unique<App>();
  // The menus are built here, before the application object is registered and
  // before the main window exists.
  app->SetMenuBar(MenuBar1::instance());
  fw::RuntimeRegisterAppObject(std::move(app));
}

void MakeDefaultView() { Window1::instance(); }

}  // namespace

void Startup() {
  NewAppInstance();
  MakeDefaultView();
}

void RunApplication() {
  try {
    fw::RunFrameworkInitialization(Startup);
    fw::RuntimeRun();
  } catch (...) {
    fw::UnhandledException(std::current_exception());
  }
}

int Main() {
  fw::RuntimeInit();
  RunApplication();
  // Shut-down runs the same way after a quit and after a reported failure.
  MenuBar1::ReleaseInstance();
  return fw::RuntimeExit();
}
