#include "framework/application.h"

#include "framework/cpu_state.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QScopedValueRollback>
#include <QThread>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "framework/dialogs.h"
#include "framework/exceptions.h"
#include "framework/window.h"

namespace fw {
namespace {

// The system reads no command line: Qt sees only the program name. Qt keeps
// references to both for the application's whole life.
int g_argc = 1;
char g_programName[] = "tavelock";
char* g_argv[] = {g_programName, nullptr};

struct RuntimeState {
  // Made by RuntimeInit and deleted by RuntimeExit; a raw pointer so that it is
  // never destroyed after main has returned. Null when the QApplication was
  // made by someone else (a test's own main), which then keeps it.
  QApplication* ownQt = nullptr;
  std::unique_ptr<Application> app;
  bool quitRequested = false;
  int exitCode = 0;
};

RuntimeState& State() {
  static RuntimeState state;
  return state;
}

// The yield runs once per line of a long run, so it reads the clock only every
// so many calls and lets events run only when enough time has passed.
constexpr std::size_t kCallsPerClockCheck = 256;
constexpr qint64 kYieldIntervalMs = 50;
std::size_t g_callsSinceClockCheck = 0;
QElapsedTimer g_sinceLastYield;  // invalid until the first yield
bool g_yielding = false;

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
  }
}

// ExcludeUserInputEvents leaves the window system's input queued, but input
// events posted to an object would still be delivered. While it lives, this
// filter holds those back and posts them again when it goes, so they arrive in
// their order once the run is over. Input to a modal dialog opened meanwhile
// (a deeper event loop) passes.
class InputHold : public QObject {
 public:
  InputHold() : loopLevel_(QThread::currentThread()->loopLevel()) {
    QCoreApplication::instance()->installEventFilter(this);
  }
  ~InputHold() override {
    QCoreApplication::instance()->removeEventFilter(this);
    for (auto& [receiver, event] : held_) {
      if (receiver) QCoreApplication::postEvent(receiver, event.release());
    }
  }
  InputHold(const InputHold&) = delete;
  InputHold& operator=(const InputHold&) = delete;

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    if (QThread::currentThread()->loopLevel() != loopLevel_) return false;
    if (event->type() == QEvent::ShortcutOverride) {
      // Accepted, the key goes to the focus widget (and so to the hold) instead
      // of triggering a shortcut now; the shortcut fires when it is re-posted.
      event->accept();
      return true;
    }
    if (!IsUserInput(event->type())) return false;
    held_.emplace_back(receiver, std::unique_ptr<QEvent>(event->clone()));
    event->accept();  // no propagation to the parents either
    return true;
  }

 private:
  int loopLevel_;
  std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> held_;
};

void YieldNow() {
  if (g_yielding || QCoreApplication::instance() == nullptr) return;
  QScopedValueRollback<bool> yielding(g_yielding, true);
  {
    InputHold hold;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  internal::ClearUpperVectorState();
  g_sinceLastYield.start();
}

// Closes every window there is now; a window's Close handler may close or
// release another one. Returns the windows it closed.
std::vector<QPointer<Window>> CloseAllWindows() {
  std::vector<QPointer<Window>> windows;
  for (Window* window : AllWindows()) windows.emplace_back(window);
  for (const QPointer<Window>& window : windows) {
    if (window) CallHandler([&] { window->Close(); });
  }
  return windows;
}

// Objects released with deleteLater while no loop runs any more.
void DeleteReleasedObjects() {
  // A deletion may release further objects, so twice.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

constexpr const char* kUnknownErrorText = "An unexpected error of an unknown kind occurred.";

std::string ReportText(const std::exception& error) {
  const std::string message = error.what();
  if (const auto* fwError = dynamic_cast<const RuntimeException*>(&error)) {
    std::string text = "An exception of class " + fwError->ClassName() + " was not handled.";
    if (!message.empty()) text += "\n\n" + message;
    if (const auto* ioError = dynamic_cast<const IOException*>(fwError)) {
      text += "\n(error number " + std::to_string(ioError->ErrorNumber()) + ")";
    }
    return text;
  }
  return "An unexpected error occurred: " + message;
}

// The report must not throw itself: it runs where an exception has already
// been caught and must not reach Qt's frames.
void ShowReport(const std::string& text) noexcept {
  try {
    MsgBox(text);
  } catch (...) {
    std::fprintf(stderr, "Tavelock: %s\n", text.c_str());
  }
}

}  // namespace

void RuntimeInit() {
  if (QCoreApplication::instance() == nullptr) State().ownQt = new QApplication(g_argc, g_argv);
  QCoreApplication::setApplicationName(QStringLiteral("Tavelock"));
  // Only Quit ends the loop: closing the progress window, the last one shown
  // for a moment, must not.
  QGuiApplication::setQuitOnLastWindowClosed(false);
}

void RunFrameworkInitialization(const std::function<void()>& startup) {
  RuntimeInit();
  if (startup) startup();
}

void RuntimeRegisterAppObject(std::unique_ptr<Application> app) { State().app = std::move(app); }

Application* App() { return State().app.get(); }

void RuntimeRun() {
  if (QCoreApplication::instance() == nullptr) throw RuntimeException("The runtime was not started.");
  if (State().quitRequested) return;
  QApplication::exec();
}

void Quit(int code) {
  RuntimeState& state = State();
  if (!state.quitRequested) {
    state.quitRequested = true;
    state.exitCode = code;
  }
  if (QCoreApplication::instance() != nullptr) QCoreApplication::exit(state.exitCode);
}

void QuitApplication() {
  CloseAllWindows();
  Quit(0);
}

int RuntimeExit() {
  RuntimeState& state = State();
  if (QCoreApplication::instance() != nullptr) {
    const std::vector<QPointer<Window>> windows = CloseAllWindows();
    DeleteReleasedObjects();
    // What Close left held (it can't be shut twice) goes now.
    for (const QPointer<Window>& window : windows) delete window.data();
    DeleteReleasedObjects();
  }
  state.app.reset();
  const int code = state.quitRequested ? state.exitCode : 0;
  state.quitRequested = false;
  state.exitCode = 0;
  delete state.ownQt;
  state.ownQt = nullptr;
  g_callsSinceClockCheck = 0;
  g_sinceLastYield.invalidate();
  return code;
}

void UnhandledException(const std::exception& error) { ShowReport(ReportText(error)); }

void UnhandledException(std::exception_ptr error) {
  if (!error) {
    ShowReport(kUnknownErrorText);
    return;
  }
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    UnhandledException(e);
  } catch (...) {
    ShowReport(kUnknownErrorText);
  }
}

void CallHandler(const std::function<void()>& handler) {
  if (!handler) return;
  try {
    handler();
  } catch (...) {
    UnhandledException(std::current_exception());
  }
}

void RuntimeBackgroundTask() { RuntimeBackgroundTask(1); }

bool RuntimeBackgroundTask(std::size_t lines) {
  g_callsSinceClockCheck += lines;
  if (g_callsSinceClockCheck < kCallsPerClockCheck) return false;
  g_callsSinceClockCheck = 0;
  if (g_sinceLastYield.isValid() && g_sinceLastYield.elapsed() < kYieldIntervalMs) return false;
  YieldNow();
  return true;
}

void RuntimeFlushPaint() { YieldNow(); }

}  // namespace fw
