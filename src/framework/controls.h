#pragma once
// The six controls over Qt widgets. A control belongs to one window, which
// registers it under its name and owns it. Record properties are applied to
// the widget where Qt has an equivalent and every one is readable back.
// Left and Top are window coordinates, also for a control inside a group box
// (InitialParent). The four locks keep a control's distances to the locked
// edges of its parent when the parent is resized.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/property_record.h"

class QWidget;
class QLabel;
class QGroupBox;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QShortcut;

namespace fw {

class Window;

class Control : public PropertyTarget {
 public:
  explicit Control(Window& owner);
  ~Control() override;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  QWidget* widget() const { return widget_; }

  std::string Name() const;
  bool Enabled() const;
  void SetEnabled(bool on);
  bool Visible() const;

  // The unit of TextSize (0: the framework's default unit, points).
  int TextUnit() const { return textUnit_; }
  void SetTextUnit(int unit) { textUnit_ = unit; }
  // 0 means the framework's default size.
  double TextSize() const { return textSize_; }
  void SetTextSize(double size);

  // Window coordinates.
  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;

  // Attaches a handler to the Action event (check box: value changed; push
  // button: clicked). It runs through CallHandler, with this control.
  void AddActionHandler(std::function<void(Control&)> handler);

  void SetProperty(const std::string& name, const PropertyValue& value) override;
  std::optional<PropertyValue> GetProperty(const std::string& name) const override;

  // Places the widget for the current parent size, keeping the locked
  // distances. Called by the window when a container is resized.
  void ApplyLocks(int oldParentWidth, int oldParentHeight, int newParentWidth, int newParentHeight);

 protected:
  // Each class makes its widget in its constructor and hands it over here.
  void SetWidget(QWidget* widget);
  // Class-specific properties; return false for a name the class doesn't map
  // to its widget (the value is still stored and readable back).
  virtual bool ApplyProperty(const std::string& name, const PropertyValue& value);
  virtual std::optional<PropertyValue> ReadProperty(const std::string& name) const;
  void RaiseAction();

 private:
  void UpdateGeometry();
  void Reparent(const std::string& parentName);
  void UpdateFont();
  bool StoredBool(std::string_view name, bool fallback) const;

  Window& owner_;
  QWidget* widget_ = nullptr;
  // The size the locks work on. It may go below zero while a stretched
  // control's parent is very small; the widget then gets zero, and the
  // control is whole again once the parent grows back.
  int width_ = 0;
  int height_ = 0;
  PropertyMap stored_;
  std::vector<std::function<void(Control&)>> actionHandlers_;
  int textUnit_ = 0;
  double textSize_ = 0;
};

class Label final : public Control {
 public:
  explicit Label(Window& owner);
  std::string Text() const;
  void SetText(const std::string& text);
  QLabel* label() const;

 protected:
  bool ApplyProperty(const std::string& name, const PropertyValue& value) override;
  std::optional<PropertyValue> ReadProperty(const std::string& name) const override;
};

class GroupBox final : public Control {
 public:
  explicit GroupBox(Window& owner);
  std::string Caption() const;
  QGroupBox* groupBox() const;

 protected:
  bool ApplyProperty(const std::string& name, const PropertyValue& value) override;
  std::optional<PropertyValue> ReadProperty(const std::string& name) const override;
};

class CheckBox final : public Control {
 public:
  explicit CheckBox(Window& owner);
  bool Value() const { return checked_; }
  void SetValue(bool checked);
  std::string Caption() const;
  QCheckBox* checkBox() const;

 protected:
  bool ApplyProperty(const std::string& name, const PropertyValue& value) override;
  std::optional<PropertyValue> ReadProperty(const std::string& name) const override;

 private:
  // The line rules ask for the value for every line of a run: it is kept here,
  // following every change of the widget's state as it happens.
  bool checked_ = false;
};

class PopupMenu final : public Control {
 public:
  explicit PopupMenu(Window& owner);
  // The selected row, counted from 0; -1 when none.
  int ListIndex() const;
  void SetListIndex(int row);
  // The text of the selected row; empty when none. The reference follows
  // the selection: copy it to keep a value.
  const std::string& Text() const { return text_; }
  QComboBox* comboBox() const;

 protected:
  bool ApplyProperty(const std::string& name, const PropertyValue& value) override;
  std::optional<PropertyValue> ReadProperty(const std::string& name) const override;

 private:
  // The line rules ask for the selected row's text for every line of a run:
  // it is kept here, following every change of the widget's current text.
  std::string text_;
};

class TextField final : public Control {
 public:
  explicit TextField(Window& owner);
  std::string Text() const;
  void SetText(const std::string& text);
  QLineEdit* lineEdit() const;

 protected:
  bool ApplyProperty(const std::string& name, const PropertyValue& value) override;
  std::optional<PropertyValue> ReadProperty(const std::string& name) const override;
};

class PushButton final : public Control {
 public:
  explicit PushButton(Window& owner);
  std::string Caption() const;
  void Push();  // as a click
  QPushButton* pushButton() const;

 protected:
  bool ApplyProperty(const std::string& name, const PropertyValue& value) override;
  std::optional<PropertyValue> ReadProperty(const std::string& name) const override;

 private:
  QShortcut* cancelShortcut_ = nullptr;  // owned by the button; made for Cancel
};

}  // namespace fw
