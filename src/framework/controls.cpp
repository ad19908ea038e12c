#include "framework/controls.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFont>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPalette>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>
#include <algorithm>

#include "framework/application.h"
#include "framework/exceptions.h"
#include "framework/window.h"

namespace fw {
namespace {

QString ToQt(const std::string& text) { return QString::fromStdString(text); }
std::string FromQt(const QString& text) { return text.toStdString(); }
QColor ToQt(const Colour& c) { return QColor(c.red, c.green, c.blue); }

const std::string& AsString(const PropertyValue& v) { return std::get<std::string>(v); }
int AsInt(const PropertyValue& v) { return std::get<int32_t>(v); }
bool AsBool(const PropertyValue& v) { return std::get<bool>(v); }

// QLineEdit's default length limit, which is as good as none.
constexpr int kNoTextLimit = 32767;

[[noreturn]] void BadCode(const std::string& name, int value) {
  throw RuntimeException("Property " + name + " has no value " + std::to_string(value));
}

void SetPaletteColour(QWidget* widget, QPalette::ColorRole role, const Colour& colour) {
  QPalette palette = widget->palette();
  palette.setColor(role, ToQt(colour));
  widget->setPalette(palette);
}

// Where the widget's parent lies in the content area of the window.
QPoint ParentOrigin(const QWidget* widget, const QWidget* content) {
  QPoint origin;
  for (const QWidget* p = widget->parentWidget(); p != nullptr && p != content; p = p->parentWidget()) {
    origin += p->pos();
  }
  return origin;
}

// The text field's widget. A line edit drops its selection when the focus
// leaves it for anything but a pop-up or another window, and the menu bar
// takes the focus when the user opens a menu from the keyboard (Alt alone, or
// Alt with a title's letter): the Edit menu's Cut, Copy and Clear, which act
// on this field, would find nothing selected. So the selection stays when the
// focus goes to the window's menu bar, as it stays when a menu is opened with
// the mouse.
class FieldEdit final : public QLineEdit {
 protected:
  void focusOutEvent(QFocusEvent* event) override {
    const QWidget* now = QApplication::focusWidget();
    const bool toMenuBar = qobject_cast<const QMenuBar*>(now) != nullptr && now->window() == window();
    const int start = selectionStart();
    const int length = selectionLength();
    const bool cursorAtStart = cursorPosition() == start;
    QLineEdit::focusOutEvent(event);
    if (toMenuBar && length > 0 && !hasSelectedText()) {
      // Selected again from the same end, so that the cursor stays where it was.
      if (cursorAtStart) {
        setSelection(start + length, -length);
      } else {
        setSelection(start, length);
      }
    }
  }
};

}  // namespace

// ---------------------------------------------------------------- Control

Control::Control(Window& owner) : owner_(owner) {}

Control::~Control() { delete widget_; }

void Control::SetWidget(QWidget* widget) {
  widget_ = CheckNil(widget);
  widget_->setParent(owner_.content());
  width_ = widget_->width();
  height_ = widget_->height();
  if (owner_.content()->isVisible()) widget_->show();
}

std::string Control::Name() const {
  const auto found = stored_.find("Name");
  if (found != stored_.end()) return AsString(found->second);
  return widget_ != nullptr ? FromQt(widget_->objectName()) : std::string();
}

bool Control::Enabled() const { return !CheckNil(widget_)->testAttribute(Qt::WA_ForceDisabled); }
void Control::SetEnabled(bool on) { SetProperty("Enabled", on); }
bool Control::Visible() const { return !CheckNil(widget_)->isHidden(); }

void Control::SetTextSize(double size) {
  textSize_ = size;
  UpdateFont();
}

int Control::Left() const { return CheckNil(widget_)->x() + ParentOrigin(widget_, owner_.content()).x(); }
int Control::Top() const { return CheckNil(widget_)->y() + ParentOrigin(widget_, owner_.content()).y(); }
int Control::Width() const { return CheckNil(widget_)->width(); }
int Control::Height() const { return CheckNil(widget_)->height(); }

void Control::AddActionHandler(std::function<void(Control&)> handler) {
  if (handler) actionHandlers_.push_back(std::move(handler));
}

void Control::RaiseAction() {
  // A handler may attach another; this event runs the ones there now.
  const std::vector<std::function<void(Control&)>> handlers = actionHandlers_;
  for (const auto& handler : handlers) CallHandler([&] { handler(*this); });
}

bool Control::StoredBool(std::string_view name, bool fallback) const { return StoredOr(stored_, name, fallback); }

void Control::SetProperty(const std::string& name, const PropertyValue& value) {
  CheckPropertyValue(name, value);
  CheckNil(widget_);

  // Stored first, since the font is made from all its entries; taken back
  // when the widget refuses the value.
  std::optional<PropertyValue> previous;
  if (const auto found = stored_.find(name); found != stored_.end()) previous = found->second;
  stored_[name] = value;
  try {
    if (ApplyProperty(name, value)) return;
    if (name == "Name") {
      widget_->setObjectName(ToQt(AsString(value)));
    } else if (name == "Left") {
      widget_->move(AsInt(value) - ParentOrigin(widget_, owner_.content()).x(), widget_->y());
    } else if (name == "Top") {
      widget_->move(widget_->x(), AsInt(value) - ParentOrigin(widget_, owner_.content()).y());
    } else if (name == "Width") {
      width_ = AsInt(value);
      UpdateGeometry();
    } else if (name == "Height") {
      height_ = AsInt(value);
      UpdateGeometry();
    } else if (name == "Enabled") {
      widget_->setEnabled(AsBool(value));
    } else if (name == "Visible") {
      widget_->setVisible(AsBool(value));
    } else if (name == "HelpTag") {
      widget_->setToolTip(ToQt(AsString(value)));
    } else if (name == "TextFont" || name == "Bold" || name == "Italic" || name == "Underline") {
      UpdateFont();
    } else if (name == "InitialParent") {
      Reparent(AsString(value));
    }
  } catch (...) {
    if (previous) {
      stored_[name] = *previous;
    } else {
      stored_.erase(name);
    }
    throw;
  }
}

std::optional<PropertyValue> Control::GetProperty(const std::string& name) const {
  if (widget_ != nullptr) {
    if (std::optional<PropertyValue> live = ReadProperty(name)) return live;
    if (name == "Name") return Name();
    if (name == "Left") return int32_t{Left()};
    if (name == "Top") return int32_t{Top()};
    if (name == "Width") return int32_t{Width()};
    if (name == "Height") return int32_t{Height()};
    if (name == "Enabled") return Enabled();
    if (name == "Visible") return Visible();
    if (name == "HelpTag") return FromQt(widget_->toolTip());
  }
  const auto found = stored_.find(name);
  if (found == stored_.end()) return std::nullopt;
  return found->second;
}

bool Control::ApplyProperty(const std::string&, const PropertyValue&) { return false; }
std::optional<PropertyValue> Control::ReadProperty(const std::string&) const { return std::nullopt; }

void Control::ApplyLocks(int oldParentWidth, int oldParentHeight, int newParentWidth, int newParentHeight) {
  if (widget_ == nullptr) return;
  // Someone else sized the widget: that size is the one to work on.
  if (widget_->width() != std::max(0, width_)) width_ = widget_->width();
  if (widget_->height() != std::max(0, height_)) height_ = widget_->height();

  const int dx = newParentWidth - oldParentWidth;
  const int dy = newParentHeight - oldParentHeight;
  int x = widget_->x();
  int y = widget_->y();
  if (StoredBool("LockRight", false)) {
    if (StoredBool("LockLeft", false)) {
      width_ += dx;
    } else {
      x += dx;
    }
  }
  if (StoredBool("LockBottom", false)) {
    if (StoredBool("LockTop", false)) {
      height_ += dy;
    } else {
      y += dy;
    }
  }
  widget_->move(x, y);
  UpdateGeometry();
}

void Control::UpdateGeometry() { widget_->resize(std::max(0, width_), std::max(0, height_)); }

void Control::Reparent(const std::string& parentName) {
  QWidget* target = owner_.content();
  if (!parentName.empty()) {
    auto* box = dynamic_cast<GroupBox*>(owner_.ControlByName(parentName));
    if (box == nullptr) throw RuntimeException("InitialParent \"" + parentName + "\" is no group box of this window");
    if (box == this) throw RuntimeException("A group box can't hold itself");
    target = box->widget();
  }
  if (widget_->parentWidget() == target) return;
  // Left and Top stay the same in window coordinates.
  const QPoint windowPos(Left(), Top());
  const bool hidden = widget_->isHidden();
  widget_->setParent(target);
  widget_->move(windowPos - ParentOrigin(widget_, owner_.content()));
  widget_->setHidden(hidden);
}

void Control::UpdateFont() {
  if (widget_ == nullptr) return;
  QFont font = QApplication::font();
  const std::string family = StoredOr<std::string>(stored_, "TextFont", {});
  if (!family.empty() && family != "System") font.setFamilies({ToQt(family)});
  font.setBold(StoredBool("Bold", false));
  font.setItalic(StoredBool("Italic", false));
  font.setUnderline(StoredBool("Underline", false));
  // Sizes in the default unit are the layout's own units, which are pixels:
  // the window's coordinates were laid out for a 72 dpi screen, where a point
  // is a pixel. As Qt points they would outgrow the controls' boxes.
  if (textSize_ > 0) font.setPixelSize(static_cast<int>(textSize_ + 0.5));
  widget_->setFont(font);
}

// ---------------------------------------------------------------- Label

Label::Label(Window& owner) : Control(owner) {
  auto* label = new QLabel;
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetWidget(label);
}

QLabel* Label::label() const { return static_cast<QLabel*>(CheckNil(widget())); }
std::string Label::Text() const { return FromQt(label()->text()); }
void Label::SetText(const std::string& text) { SetProperty("Text", text); }

bool Label::ApplyProperty(const std::string& name, const PropertyValue& value) {
  QLabel* l = label();
  if (name == "Text") {
    l->setText(ToQt(AsString(value)));
  } else if (name == "TextAlign") {
    static constexpr Qt::AlignmentFlag kAlign[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    const int code = AsInt(value);
    if (code < 0 || code > 2) BadCode(name, code);
    l->setAlignment(kAlign[code] | Qt::AlignTop);
  } else if (name == "TextColor") {
    SetPaletteColour(l, QPalette::WindowText, std::get<Colour>(value));
  } else if (name == "Multiline") {
    l->setWordWrap(AsBool(value));
  } else if (name == "Selectable") {
    l->setTextInteractionFlags(AsBool(value) ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                             : Qt::NoTextInteraction);
  } else {
    return false;
  }
  return true;
}

std::optional<PropertyValue> Label::ReadProperty(const std::string& name) const {
  if (name == "Text") return Text();
  return std::nullopt;
}

// ---------------------------------------------------------------- GroupBox

GroupBox::GroupBox(Window& owner) : Control(owner) { SetWidget(new QGroupBox); }

QGroupBox* GroupBox::groupBox() const { return static_cast<QGroupBox*>(CheckNil(widget())); }
std::string GroupBox::Caption() const { return FromQt(groupBox()->title()); }

bool GroupBox::ApplyProperty(const std::string& name, const PropertyValue& value) {
  if (name != "Caption") return false;
  groupBox()->setTitle(ToQt(AsString(value)));
  return true;
}

std::optional<PropertyValue> GroupBox::ReadProperty(const std::string& name) const {
  if (name == "Caption") return Caption();
  return std::nullopt;
}

// ---------------------------------------------------------------- CheckBox

CheckBox::CheckBox(Window& owner) : Control(owner) {
  auto* box = new QCheckBox;
  SetWidget(box);
  // The widget reports a toggle before its new state: both bring the value up
  // to date, so that an Action handler reads the new one.
  QObject::connect(box, &QCheckBox::stateChanged, box, [this](int state) { checked_ = state == Qt::Checked; });
  // Every change of the value is an Action, also one made in code.
  QObject::connect(box, &QCheckBox::toggled, box, [this, box](bool) {
    checked_ = box->checkState() == Qt::Checked;
    RaiseAction();
  });
}

void CheckBox::SetValue(bool checked) { SetProperty("Value", checked); }
QCheckBox* CheckBox::checkBox() const { return static_cast<QCheckBox*>(CheckNil(widget())); }
std::string CheckBox::Caption() const { return FromQt(checkBox()->text()); }

bool CheckBox::ApplyProperty(const std::string& name, const PropertyValue& value) {
  QCheckBox* box = checkBox();
  if (name == "Caption") {
    box->setText(ToQt(AsString(value)));
  } else if (name == "Value") {
    box->setTristate(false);
    box->setCheckState(AsBool(value) ? Qt::Checked : Qt::Unchecked);
  } else if (name == "State") {
    const int state = AsInt(value);
    if (state < 0 || state > 2) BadCode(name, state);
    box->setTristate(state == 2);
    box->setCheckState(state == 0 ? Qt::Unchecked : state == 1 ? Qt::Checked : Qt::PartiallyChecked);
  } else {
    return false;
  }
  return true;
}

std::optional<PropertyValue> CheckBox::ReadProperty(const std::string& name) const {
  if (name == "Caption") return Caption();
  if (name == "Value") return Value();
  if (name == "State") {
    switch (checkBox()->checkState()) {
      case Qt::Unchecked:
        return int32_t{0};
      case Qt::Checked:
        return int32_t{1};
      case Qt::PartiallyChecked:
        return int32_t{2};
    }
  }
  return std::nullopt;
}

// ---------------------------------------------------------------- PopupMenu

PopupMenu::PopupMenu(Window& owner) : Control(owner) {
  auto* combo = new QComboBox;
  combo->setEditable(false);
  SetWidget(combo);
  QObject::connect(combo, &QComboBox::currentTextChanged, combo,
                   [this](const QString& text) { text_ = FromQt(text); });
}

QComboBox* PopupMenu::comboBox() const { return static_cast<QComboBox*>(CheckNil(widget())); }
int PopupMenu::ListIndex() const { return comboBox()->currentIndex(); }
void PopupMenu::SetListIndex(int row) { SetProperty("ListIndex", int32_t{row}); }

bool PopupMenu::ApplyProperty(const std::string& name, const PropertyValue& value) {
  QComboBox* combo = comboBox();
  if (name == "InitialValue") {
    // Rows end at CR; a CR at the very end closes the last row and opens no
    // empty one.
    QStringList rows = ToQt(AsString(value)).split(QChar('\r'));
    if (!rows.isEmpty() && rows.last().isEmpty()) rows.removeLast();
    combo->clear();
    combo->addItems(rows);
    combo->setCurrentIndex(-1);  // ListIndex chooses the row
  } else if (name == "ListIndex") {
    const int row = AsInt(value);
    if (row < -1 || row >= combo->count()) {
      throw RuntimeException("ListIndex " + std::to_string(row) + " is out of range (" +
                             std::to_string(combo->count()) + " rows)");
    }
    combo->setCurrentIndex(row);
  } else {
    return false;
  }
  return true;
}

std::optional<PropertyValue> PopupMenu::ReadProperty(const std::string& name) const {
  if (name == "ListIndex") return int32_t{ListIndex()};
  if (name == "Text") return Text();
  return std::nullopt;
}

// ---------------------------------------------------------------- TextField

TextField::TextField(Window& owner) : Control(owner) { SetWidget(new FieldEdit); }

QLineEdit* TextField::lineEdit() const { return static_cast<QLineEdit*>(CheckNil(widget())); }
std::string TextField::Text() const { return FromQt(lineEdit()->text()); }
void TextField::SetText(const std::string& text) { SetProperty("Text", text); }

bool TextField::ApplyProperty(const std::string& name, const PropertyValue& value) {
  QLineEdit* edit = lineEdit();
  if (name == "Text") {
    edit->setText(ToQt(AsString(value)));
  } else if (name == "Border") {
    edit->setFrame(AsBool(value));
  } else if (name == "Password") {
    edit->setEchoMode(AsBool(value) ? QLineEdit::Password : QLineEdit::Normal);
  } else if (name == "TextColor") {
    SetPaletteColour(edit, QPalette::Text, std::get<Colour>(value));
  } else if (name == "BackColor") {
    SetPaletteColour(edit, QPalette::Base, std::get<Colour>(value));
  } else if (name == "CueText") {
    edit->setPlaceholderText(ToQt(AsString(value)));
  } else if (name == "Mask") {
    const QString mask = ToQt(AsString(value));
    if (!mask.isEmpty() || !edit->inputMask().isEmpty()) edit->setInputMask(mask);
  } else if (name == "ReadOnly") {
    edit->setReadOnly(AsBool(value));
  } else if (name == "LimitText") {
    // 0 is no limit: QLineEdit's own default, its largest length.
    const int limit = AsInt(value);
    edit->setMaxLength(limit > 0 ? limit : kNoTextLimit);
  } else if (name == "Alignment") {
    static constexpr Qt::AlignmentFlag kAlign[] = {Qt::AlignLeft, Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    const int code = AsInt(value);
    if (code < 0 || code > 3) BadCode(name, code);
    edit->setAlignment(kAlign[code] | Qt::AlignVCenter);
  } else {
    return false;
  }
  return true;
}

std::optional<PropertyValue> TextField::ReadProperty(const std::string& name) const {
  if (name == "Text") return Text();
  return std::nullopt;
}

// ---------------------------------------------------------------- PushButton

PushButton::PushButton(Window& owner) : Control(owner) {
  auto* button = new QPushButton;
  button->setAutoDefault(false);
  SetWidget(button);
  QObject::connect(button, &QPushButton::clicked, button, [this] { RaiseAction(); });
}

QPushButton* PushButton::pushButton() const { return static_cast<QPushButton*>(CheckNil(widget())); }
std::string PushButton::Caption() const { return FromQt(pushButton()->text()); }
void PushButton::Push() { pushButton()->click(); }

bool PushButton::ApplyProperty(const std::string& name, const PropertyValue& value) {
  QPushButton* button = pushButton();
  if (name == "Caption") {
    button->setText(ToQt(AsString(value)));
  } else if (name == "Default") {
    button->setDefault(AsBool(value));
  } else if (name == "Cancel") {
    if (AsBool(value) && cancelShortcut_ == nullptr) {
      cancelShortcut_ =
          new QShortcut(QKeySequence(Qt::Key_Escape), button, button, &QPushButton::click, Qt::WindowShortcut);
    }
    if (cancelShortcut_ != nullptr) cancelShortcut_->setEnabled(AsBool(value));
  } else {
    return false;
  }
  return true;
}

std::optional<PropertyValue> PushButton::ReadProperty(const std::string& name) const {
  if (name == "Caption") return Caption();
  return std::nullopt;
}

}  // namespace fw
