#include "framework/window.h"

#include <QCloseEvent>
#include <QEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QPalette>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "framework/application.h"
#include "framework/controls.h"
#include "framework/menu.h"

namespace fw {

// The window's Qt side: passes the user's close to the framework and watches
// the containers (content area, group boxes) for resizes, for the locks.
class WindowWidget : public QMainWindow {
 public:
  explicit WindowWidget(Window* window) : window_(window) {}
  // The window is going away: no more calls into it.
  void Detach() { window_ = nullptr; }

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->accept();
    if (window_ != nullptr) window_->HandleCloseRequest();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize && window_ != nullptr) {
      // A resize that the framework didn't make (the user's) becomes the
      // content size that later changes of the limits keep.
      if (watched == window_->content_ && !window_->applyingGeometry_ && window_->constructed_) {
        window_->wantWidth_ = window_->content_->width();
        window_->wantHeight_ = window_->content_->height();
      }
      window_->LayOutControls();
    }
    return QMainWindow::eventFilter(watched, event);
  }

 private:
  Window* window_;
};

namespace {

uint64_t NextGeneration() {
  static uint64_t last = 0;
  return ++last;
}

struct Registry {
  std::vector<Window*> all;  // creation order
  std::map<std::string, Window*, std::less<>> implicit;
};

// Never destroyed: a window may still be released while statics go away.
Registry& TheRegistry() {
  static Registry* const registry = new Registry;
  return *registry;
}

constexpr int kFrameDialog = 8;

}  // namespace

Window::Window() : controlsGeneration_(NextGeneration()) {
  top_ = new WindowWidget(this);
  // Only Quit ends the application; closing the last window shown must not.
  top_->setAttribute(Qt::WA_QuitOnClose, false);
  content_ = new QWidget;
  top_->setCentralWidget(content_);
  content_->installEventFilter(top_);
  TheRegistry().all.push_back(this);
  ApplyWindowFlags();
  ApplyGeometry();
}

Window::~Window() {
  Registry& registry = TheRegistry();
  std::erase(registry.all, this);
  ForgetImplicitWindow(this);

  static_cast<WindowWidget*>(top_)->Detach();
  // A window shown within this one is a Qt child of ours; it lives on its own.
  for (Window* other : registry.all) {
    if (other->top_ != nullptr && other->top_->parentWidget() == top_) {
      other->top_->setParent(nullptr, other->top_->windowFlags());
    }
  }
  // Children before their group boxes, whose widgets hold theirs.
  while (!controls_.empty()) controls_.pop_back();
  delete top_;
}

void Window::Construct() {
  if (constructed_) return;
  Layout();
  CreateControls();
  ChainTabOrder();
  constructed_ = true;
  LayOutControls();
  if (StoredBool("Visible", false)) top_->show();
}

void Window::ShowWithin(Window& parent, int facing) {
  (void)facing;
  if (&parent == this) throw RuntimeException("A window can't be shown within itself.");
  if (closing_) return;
  QWidget* parentWidget = CheckNil(parent.widget());
  // Modality and parent only take effect on a hidden window.
  top_->hide();
  top_->setParent(parentWidget, top_->windowFlags());
  top_->setWindowModality(Qt::WindowModal);
  QRect frame = top_->frameGeometry();
  frame.moveCenter(parentWidget->frameGeometry().center());
  top_->move(frame.topLeft());
  top_->show();
}

void Window::Close() { HandleCloseRequest(); }

void Window::HandleCloseRequest() {
  if (closing_) return;
  closing_ = true;
  top_->hide();
  CallHandler([this] { Event_Close(); });
  ForgetImplicitWindow(this);
  deleteLater();
}

void Window::SetMenuBar(std::shared_ptr<fw::MenuBar> bar) {
  menuBar_ = std::move(bar);
  if (menuBar_) {
    InstallMenuBar(*top_->menuBar(), *menuBar_);
  } else {
    top_->setMenuBar(nullptr);
  }
  // The menu bar takes room above the content area, whose size stays.
  ApplyGeometry();
}

void Window::AddControl(const std::string& name, std::unique_ptr<Control> control) {
  CheckNil(control.get());
  // Settle every container first: the new control is placed for their
  // present sizes.
  LayOutControls();
  if (QWidget* w = control->widget()) {
    w->installEventFilter(top_);
    if (w->objectName().isEmpty()) w->setObjectName(QString::fromStdString(name));
  }
  controls_.emplace_back(name, std::move(control));
  controlsGeneration_ = NextGeneration();
}

Control* Window::ControlByName(std::string_view name) const {
  for (const auto& [controlName, control] : controls_) {
    if (controlName == name) return control.get();
  }
  return nullptr;
}

void Window::SetProperty(const std::string& name, const PropertyValue& value) {
  CheckPropertyValue(name, value);
  properties_[name] = value;

  if (name == "Width" || name == "Height") {
    const int size = std::max(0, std::get<int32_t>(value));
    (name == "Width" ? wantWidth_ : wantHeight_) = size;
    ApplyGeometry();
  } else if (name == "MinWidth" || name == "MinHeight" || name == "MaxWidth" || name == "MaxHeight" ||
             name == "Resizeable") {
    ApplyGeometry();
  } else if (name == "Title") {
    top_->setWindowTitle(QString::fromStdString(std::get<std::string>(value)));
  } else if (name == "Frame" || name == "CloseButton" || name == "MinimizeButton" || name == "MaximizeButton") {
    ApplyWindowFlags();
  } else if (name == "HasBackColor" || name == "BackColor") {
    ApplyBackColor();
  } else if (name == "Visible") {
    // While the record is applied the window stays hidden; Construct shows it.
    if (constructed_ && !closing_) top_->setVisible(std::get<bool>(value));
  }
}

std::optional<PropertyValue> Window::GetProperty(const std::string& name) const {
  if (name == "Width") return int32_t{Width()};
  if (name == "Height") return int32_t{Height()};
  if (name == "Title") return Title();
  if (name == "Visible") return Visible();
  const auto found = properties_.find(name);
  if (found == properties_.end()) return std::nullopt;
  return found->second;
}

std::string Window::Title() const { return top_->windowTitle().toStdString(); }
int Window::Width() const { return content_->width(); }
int Window::Height() const { return content_->height(); }

bool Window::Visible() const {
  if (constructed_) return top_->isVisible();
  return StoredBool("Visible", false);
}

bool Window::StoredBool(std::string_view name, bool fallback) const { return StoredOr(properties_, name, fallback); }

int Window::StoredInt(std::string_view name, int fallback) const {
  return StoredOr<int32_t>(properties_, name, fallback);
}

void Window::ApplyGeometry() {
  applyingGeometry_ = true;
  const QSize want(wantWidth_, wantHeight_);
  // The menu bar's height can depend on the width, so measure twice.
  for (int pass = 0; pass < 2; ++pass) {
    const QSize chrome = Chrome();
    const auto limit = [](int content, int extra) { return std::clamp(content + extra, 0, QWIDGETSIZE_MAX); };
    if (StoredBool("Resizeable", true)) {
      top_->setMinimumSize(limit(StoredInt("MinWidth", 0), chrome.width()),
                           limit(StoredInt("MinHeight", 0), chrome.height()));
      top_->setMaximumSize(limit(StoredInt("MaxWidth", QWIDGETSIZE_MAX), chrome.width()),
                           limit(StoredInt("MaxHeight", QWIDGETSIZE_MAX), chrome.height()));
    } else {
      top_->setFixedSize(want + chrome);
    }
    top_->resize(want + chrome);
    if (!top_->isVisible()) {
      // Qt lays a hidden window out only when it is shown; place the content
      // area now, where that layout will put it, so that sizes can be read.
      content_->setGeometry(QRect(QPoint(0, chrome.height()), top_->size() - chrome));
    }
  }
  applyingGeometry_ = false;
  LayOutControls();
}

QSize Window::Chrome() const {
  // A shown window's layout is current: measure it.
  if (top_->isVisible()) return top_->size() - content_->size();
  // Before that, work out what its layout will give the menu bar: it counts
  // the bar unless it was hidden on purpose.
  const QWidget* bar = top_->menuWidget();
  if (bar == nullptr || (bar->isHidden() && bar->testAttribute(Qt::WA_WState_ExplicitShowHide))) return {0, 0};
  int height = bar->heightForWidth(std::max(wantWidth_, bar->minimumWidth()));
  if (height < 0) height = bar->sizeHint().height();
  return {0, std::max(height, 0)};
}

void Window::ApplyWindowFlags() {
  Qt::WindowFlags flags = StoredInt("Frame", 0) == kFrameDialog ? Qt::Dialog : Qt::Window;
  flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
  if (StoredBool("CloseButton", true)) flags |= Qt::WindowCloseButtonHint;
  if (StoredBool("MinimizeButton", true)) flags |= Qt::WindowMinimizeButtonHint;
  if (StoredBool("MaximizeButton", true)) flags |= Qt::WindowMaximizeButtonHint;
  if (flags == top_->windowFlags()) return;
  const bool wasVisible = top_->isVisible();
  top_->setWindowFlags(flags);  // hides the window
  if (wasVisible) top_->show();
}

void Window::ApplyBackColor() {
  if (StoredBool("HasBackColor", false)) {
    const Colour colour = StoredOr(properties_, "BackColor", Colour{0xFF, 0xFF, 0xFF});
    QPalette palette = content_->palette();
    palette.setColor(QPalette::Window, QColor(colour.red, colour.green, colour.blue));
    content_->setPalette(palette);
    content_->setAutoFillBackground(true);
  } else {
    content_->setAutoFillBackground(false);
    content_->setPalette(QPalette());  // back to the inherited one
  }
}

void Window::LayOutControls() {
  std::vector<QWidget*> containers{content_};
  for (const auto& entry : controls_) {
    if (QWidget* w = entry.second->widget()) containers.push_back(w);
  }
  // Outer containers first. Moving a control that is itself a container can
  // re-enter here through its resize event; each container's size is
  // recorded before its children move, so none is handled twice.
  for (QWidget* container : containers) {
    const QSize now = container->size();
    const auto [found, isNew] = containerSizes_.try_emplace(container, now);
    if (isNew || found->second == now) continue;
    const QSize before = found->second;
    found->second = now;
    for (const auto& entry : controls_) {
      Control& control = *entry.second;
      if (control.widget() != nullptr && control.widget()->parentWidget() == container) {
        control.ApplyLocks(before.width(), before.height(), now.width(), now.height());
      }
    }
  }
}

void Window::ChainTabOrder() {
  // TabIndex counts within one parent; a group box's children follow it.
  std::vector<QWidget*> chain;
  const auto visit = [&](const auto& self, QWidget* container) -> void {
    std::vector<Control*> children;
    for (const auto& entry : controls_) {
      QWidget* w = entry.second->widget();
      if (w != nullptr && w->parentWidget() == container) children.push_back(entry.second.get());
    }
    const auto tabIndex = [](const Control* c) {
      const std::optional<PropertyValue> v = c->GetProperty("TabIndex");
      return v ? std::get<int32_t>(*v) : 0;
    };
    std::stable_sort(children.begin(), children.end(),
                     [&](const Control* a, const Control* b) { return tabIndex(a) < tabIndex(b); });
    for (Control* child : children) {
      // Qt keeps widgets that take no focus out of the chain.
      if (child->widget()->focusPolicy() != Qt::NoFocus) chain.push_back(child->widget());
      self(self, child->widget());
    }
  };
  visit(visit, content_);
  for (size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

Window* GetImplicitWindow(std::string_view className) {
  Registry& registry = TheRegistry();
  const auto found = registry.implicit.find(className);
  return found == registry.implicit.end() ? nullptr : found->second;
}

void RegisterImplicitWindow(std::string className, Window* window) {
  CheckNil(window);
  TheRegistry().implicit[std::move(className)] = window;
}

void ForgetImplicitWindow(Window* window) {
  std::erase_if(TheRegistry().implicit, [window](const auto& entry) { return entry.second == window; });
}

std::vector<Window*> AllWindows() { return TheRegistry().all; }

Window* MainWindow() {
  for (Window* window : TheRegistry().all) {
    if (window->IsOpen()) return window;
  }
  return nullptr;
}

}  // namespace fw
