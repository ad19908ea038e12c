#pragma once
// The application object, the run loop, quitting, the unhandled-exception
// report and the cooperative yield.

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>

namespace fw {

class MenuBar;

class Application {
 public:
  Application() = default;
  virtual ~Application() = default;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  void SetMenuBar(std::shared_ptr<fw::MenuBar> bar) { menuBar_ = std::move(bar); }
  const std::shared_ptr<fw::MenuBar>& GetMenuBar() const { return menuBar_; }

 private:
  std::shared_ptr<fw::MenuBar> menuBar_;
};

// Starts the runtime: the Qt application object, with no arguments of the
// process. First call of all. Safe to call again (does nothing then).
void RuntimeInit();

// Initialises the framework and calls `startup` back once, on this thread,
// before any event is delivered. An exception from `startup` passes on.
void RunFrameworkInitialization(const std::function<void()>& startup);

// The framework takes the application object and holds it until RuntimeExit.
void RuntimeRegisterAppObject(std::unique_ptr<Application> app);
// The registered application object, or null.
Application* App();

// Runs the event loop until the application quits. Returns at once when a quit
// was requested before it started.
void RuntimeRun();

// Asks the run loop to end with `code`. Repeated requests are accepted; the
// first code stands.
void Quit(int code = 0);

// The framework's quit action, as the quit menu item runs it: closes every
// window (each raises its Close event) and quits with 0.
void QuitApplication();

// Shuts the runtime down: closes and releases the remaining windows and the
// application object. Returns the exit status (the code passed to Quit, 0 when
// none was).
int RuntimeExit();

// The unhandled-exception report: a message box naming the error (an
// IOException's error text and number included). Returns when it is dismissed.
void UnhandledException(const std::exception& error);
void UnhandledException(std::exception_ptr error);

// Runs a handler of the system from a place where the framework calls one (an
// Action event, a window event, a menu command). What escapes it is caught here
// and reported, so exceptions never travel through Qt's own frames; the
// application keeps running.
void CallHandler(const std::function<void()>& handler);

// The cooperative yield, called once per line of a long run. At most about
// every 50 ms it lets pending repaints and timers run; otherwise it returns at
// once. It lets no mouse or keyboard input through.
void RuntimeBackgroundTask();
// The same for `lines` lines handled at once, which count as that many calls.
// True when it let events run, which may have changed any control.
bool RuntimeBackgroundTask(std::size_t lines);

// Lets pending repaints and timers run now (no user input), so that a window
// shown just before a long run is drawn before the run starts.
void RuntimeFlushPaint();

}  // namespace fw
