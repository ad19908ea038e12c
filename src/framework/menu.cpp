#include "framework/menu.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QShortcut>

#include <functional>
#include <type_traits>
#include <utility>

#include "framework/application.h"
#include "framework/exceptions.h"

namespace fw {

MenuItem* MenuItem::Append(std::unique_ptr<MenuItem> item) {
  CheckNil(item.get());
  children_.push_back(std::move(item));
  return children_.back().get();
}

MenuItem* MenuItem::Item(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return children_[static_cast<size_t>(index)].get();
}

MenuItem* MenuItem::Child(std::string_view name) const {
  for (const auto& child : children_) {
    if (child->name_ == name) return child.get();
  }
  return nullptr;
}

MenuItem* MenuItem::Lookup(std::string_view name) const {
  for (const auto& child : children_) {
    if (child->name_ == name) return child.get();
    if (MenuItem* found = child->Lookup(name)) return found;
  }
  return nullptr;
}

std::string PlatformShortcut(std::string_view shortcut) {
  // Qt's "Ctrl" is the platform's standard modifier (Command on macOS).
  static constexpr std::string_view kCmd = "Cmd+";
  std::string result;
  result.reserve(shortcut.size() + 1);
  size_t pos = 0;
  while (pos < shortcut.size()) {
    const bool atKeyStart = pos == 0 || shortcut[pos - 1] == '+' || shortcut[pos - 1] == ',' || shortcut[pos - 1] == ' ';
    if (atKeyStart && shortcut.substr(pos, kCmd.size()) == kCmd) {
      result += "Ctrl+";
      pos += kCmd.size();
    } else {
      result += shortcut[pos++];
    }
  }
  return result;
}

namespace {

enum class EditCommand { Undo, Cut, Copy, Paste, Clear, SelectAll };

std::optional<EditCommand> EditCommandOf(std::string_view itemName) {
  static constexpr std::pair<std::string_view, EditCommand> kNames[] = {
      {"EditUndo", EditCommand::Undo},   {"EditCut", EditCommand::Cut},     {"EditCopy", EditCommand::Copy},
      {"EditPaste", EditCommand::Paste}, {"EditClear", EditCommand::Clear}, {"EditSelectAll", EditCommand::SelectAll},
  };
  for (const auto& [name, command] : kNames) {
    if (name == itemName) return command;
  }
  return std::nullopt;
}

// The menu bar has the focus while the user walks it from the keyboard (Alt,
// Alt with a title's letter), and for a moment whenever it goes from one open
// menu to the next, by the arrow keys or the mouse; that move happens while a
// menu is up and tells nobody. The widget that had the focus last, before
// the bar, is the one the Edit items mean.
QPointer<QWidget>& LastFocusBesideMenuBar() {
  static QPointer<QWidget> widget;
  return widget;
}

QLineEdit* FocusedLineEdit() {
  QWidget* focus = QApplication::focusWidget();
  if (qobject_cast<QMenuBar*>(focus) != nullptr) {
    QWidget* before = LastFocusBesideMenuBar();
    focus = before != nullptr && before->window() == focus->window() ? before : nullptr;
  }
  return qobject_cast<QLineEdit*>(focus);
}

bool ClipboardHasText() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data != nullptr && data->hasText() && !data->text().isEmpty();
}

// Whether the command would do something on the focused field now.
bool CanRun(EditCommand command) {
  const QLineEdit* field = FocusedLineEdit();
  if (field == nullptr) return false;
  const bool writable = !field->isReadOnly();
  switch (command) {
    case EditCommand::Undo: return writable && field->isUndoAvailable();
    case EditCommand::Cut: return writable && field->hasSelectedText();
    case EditCommand::Copy: return field->hasSelectedText();
    case EditCommand::Paste: return writable && ClipboardHasText();
    case EditCommand::Clear: return writable && field->hasSelectedText();
    case EditCommand::SelectAll: return true;
  }
  return false;
}

void Run(EditCommand command) {
  // A shortcut can trigger the item while the menu's enabling is stale, so the
  // conditions are checked again: Clear without a selection would delete the
  // character after the cursor, and nothing may change a read-only field.
  if (!CanRun(command)) return;
  QLineEdit* field = FocusedLineEdit();
  switch (command) {
    case EditCommand::Undo: field->undo(); break;
    case EditCommand::Cut: field->cut(); break;
    case EditCommand::Copy: field->copy(); break;
    case EditCommand::Paste: field->paste(); break;
    case EditCommand::Clear: field->del(); break;
    case EditCommand::SelectAll: field->selectAll(); break;
  }
}

struct AutoEnabled {
  QPointer<QAction> action;
  std::optional<EditCommand> command;
};

void FillMenu(QMenu& menu, const MenuItem& title);

// Adds `item` to `parent` (the menu bar or a menu) when it is a separator or
// a menu; false for a plain entry, which the caller adds.
template <class Parent>
bool AddSeparatorOrMenu(Parent& parent, const MenuItem& item) {
  const QString name = QString::fromStdString(item.Name());
  if (item.IsSeparator()) {
    parent.addSeparator()->setObjectName(name);
    return true;
  }
  // On the bar every title is a menu; within a menu only an item with entries.
  if constexpr (std::is_same_v<Parent, QMenu>) {
    if (item.Count() == 0) return false;
  }
  QMenu* menu = parent.addMenu(QString::fromStdString(item.Text()));
  menu->setObjectName(name);
  menu->menuAction()->setObjectName(name);
  FillMenu(*menu, item);
  return true;
}

void FillMenu(QMenu& menu, const MenuItem& title) {
  std::vector<AutoEnabled> autoEnabled;
  for (int i = 0; i < title.Count(); ++i) {
    const MenuItem& item = *title.Item(i);
    if (AddSeparatorOrMenu(menu, item)) continue;
    const QString name = QString::fromStdString(item.Name());
    QAction* action = menu.addAction(QString::fromStdString(item.Text()));
    action->setObjectName(name);
    if (item.KeyboardShortcut() && !item.KeyboardShortcut()->empty()) {
      action->setShortcut(QKeySequence(QString::fromStdString(PlatformShortcut(*item.KeyboardShortcut()))));
    }
    const std::optional<EditCommand> command = EditCommandOf(item.Name());
    if (dynamic_cast<const QuitMenuItem*>(&item) != nullptr) {
      action->setMenuRole(QAction::QuitRole);
      QObject::connect(action, &QAction::triggered, action, [] { CallHandler(QuitApplication); });
    } else if (command) {
      QObject::connect(action, &QAction::triggered, action, [c = *command] { CallHandler([c] { Run(c); }); });
    }
    if (item.AutoEnable()) autoEnabled.push_back({action, command});
  }
  if (autoEnabled.empty()) return;
  QObject::connect(&menu, &QMenu::aboutToShow, &menu, [autoEnabled] {
    for (const AutoEnabled& entry : autoEnabled) {
      if (entry.action) entry.action->setEnabled(!entry.command || CanRun(*entry.command));
    }
  });
}

}  // namespace

void InstallMenuBar(QMenuBar& target, const MenuBar& bar) {
  target.clear();  // removes the actions but deletes nothing
  for (QMenu* old : target.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) delete old;
  for (QAction* old : target.findChildren<QAction*>(Qt::FindDirectChildrenOnly)) delete old;
  QObject::disconnect(qApp, &QApplication::focusChanged, &target, nullptr);
  QObject::connect(qApp, &QApplication::focusChanged, &target, [](QWidget* /*old*/, QWidget* now) {
    if (now != nullptr && qobject_cast<QMenuBar*>(now) == nullptr) LastFocusBesideMenuBar() = now;
  });
  // Qt reaches the menus from the keyboard by Alt alone and by Alt with a
  // title's letter. F10 does so too in most desktop applications: it opens
  // the first menu, and the arrow keys go on from there.
  static constexpr char kMenuKey[] = "MenuKey";
  if (target.findChild<QShortcut*>(kMenuKey, Qt::FindDirectChildrenOnly) == nullptr) {
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), &target);
    menuKey->setObjectName(kMenuKey);
    menuKey->setContext(Qt::WindowShortcut);
    QObject::connect(menuKey, &QShortcut::activated, &target, [&target] {
      for (QAction* title : target.actions()) {
        if (title->menu() != nullptr && title->isVisible() && title->isEnabled()) {
          target.setActiveAction(title);
          return;
        }
      }
    });
  }
  for (int i = 0; i < bar.Count(); ++i) AddSeparatorOrMenu(target, *bar.Item(i));
}

}  // namespace fw
