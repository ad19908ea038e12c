#pragma once
// Windows. Each window class has one implicit instance, which the framework
// keeps and finds by its class name ("Window1.Window1"). Constructing a window
// raises its Layout and CreateControls events and then shows it when its
// record says Visible.

#include <QObject>
#include <QPointer>
#include <QSize>

#include <map>
#include <memory>
#include <string>
#include <cstdint>
#include <string_view>
#include <vector>

#include "framework/exceptions.h"
#include "framework/property_record.h"

class QMainWindow;
class QWidget;

namespace fw {

class Control;
class MenuBar;

class Window : public QObject, public PropertyTarget {
  Q_OBJECT
 public:
  Window();
  ~Window() override;

  // The framework's window construction: raises Layout, then CreateControls,
  // and shows the window if its Visible property is true. (ContentsChanged,
  // which it would clear, is never set.) Called once, by the implicit-instance
  // accessor.
  void Construct();

  // Shows this window as a window-modal child of `parent`, centred on it.
  // Returns at once. The second argument is accepted and ignored.
  void ShowWithin(Window& parent, int facing = -1);
  // Closes the window: hides it, raises its Close event, forgets it as its
  // class's implicit instance and releases it once control returns to the
  // event loop.
  void Close();
  bool IsOpen() const { return constructed_ && !closing_; }

  void SetMenuBar(std::shared_ptr<fw::MenuBar> bar);
  const std::shared_ptr<fw::MenuBar>& GetMenuBar() const { return menuBar_; }

  // Controls, registered by name; the window owns them.
  void AddControl(const std::string& name, std::unique_ptr<Control> control);
  Control* ControlByName(std::string_view name) const;
  // Changes whenever the set of registered controls changes, and differs
  // between any two windows: a look-up remembered together with it stays
  // right for as long as it is unchanged.
  uint64_t ControlsGeneration() const { return controlsGeneration_; }
  // Creates a control of class C that belongs to this window (not yet
  // registered).
  template <class C>
  std::unique_ptr<C> NewControl() {
    return std::make_unique<C>(*this);
  }

  // Record properties (Width, Height, Title, Visible, ...). Width and Height
  // are the content area below the menu bar.
  void SetProperty(const std::string& name, const PropertyValue& value) override;
  std::optional<PropertyValue> GetProperty(const std::string& name) const override;

  std::string Title() const;
  int Width() const;   // content area
  int Height() const;  // content area
  bool Visible() const;

  QMainWindow* widget() const { return top_; }
  QWidget* content() const { return content_; }

 protected:
  // Window events; the defaults do nothing.
  virtual void Layout() {}
  virtual void CreateControls() {}
  virtual void Event_Close() {}

 private:
  friend class WindowWidget;
  void HandleCloseRequest();
  void LayOutControls();
  // Sizes the window so that its content area is wantWidth_ by wantHeight_,
  // within the record's limits, whatever the menu bar takes.
  void ApplyGeometry();
  // What the window takes around its content area (the menu bar).
  QSize Chrome() const;
  void ApplyWindowFlags();
  void ApplyBackColor();
  void ChainTabOrder();
  bool StoredBool(std::string_view name, bool fallback) const;
  int StoredInt(std::string_view name, int fallback) const;

  QMainWindow* top_ = nullptr;  // owned
  QWidget* content_ = nullptr;  // owned by top_
  std::shared_ptr<fw::MenuBar> menuBar_;
  std::vector<std::pair<std::string, std::unique_ptr<Control>>> controls_;
  uint64_t controlsGeneration_;
  PropertyMap properties_;
  // The size of each container (content area, group box) when its children
  // were last placed: a resize of a hidden widget reaches its event filter
  // only when it is shown, and then without the old size.
  std::map<QWidget*, QSize> containerSizes_;
  int wantWidth_ = 300;
  int wantHeight_ = 200;
  bool applyingGeometry_ = false;
  bool constructed_ = false;
  bool closing_ = false;
};

// The implicit window registered under `className`, or null.
Window* GetImplicitWindow(std::string_view className);
// Registers `window` (which the framework then owns) under `className`.
void RegisterImplicitWindow(std::string className, Window* window);
void ForgetImplicitWindow(Window* window);
// Every window the framework holds, in creation order.
std::vector<Window*> AllWindows();
// The application's main window: the first window made that is still open.
// Start-up makes its default window before any other, so that is this one
// for as long as it is open. Null when no window is open.
Window* MainWindow();

// The implicit instance of W under `className`: found when the framework holds
// one, otherwise made and constructed now.
template <class W>
W* ImplicitInstance(const char* className) {
  if (Window* found = GetImplicitWindow(className)) {
    W* typed = dynamic_cast<W*>(found);
    if (typed == nullptr) throw RuntimeException(std::string("Not a window of class ") + className);
    return typed;
  }
  auto* made = new W();
  RegisterImplicitWindow(className, made);
  try {
    made->Construct();
  } catch (...) {
    delete made;  // which also forgets it
    throw;
  }
  return made;
}

}  // namespace fw
