// The property records of the shell's windows and controls: built from the
// control table, each decodes to its class's entries in order, and what the
// live windows show is what their records say. Malformed records are refused
// and change nothing.

#include <QtTest>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "framework/window.h"
#include "shell/records.h"
#include "shell/wnd_working.h"
#include "shell_support.h"

using namespace shelltest;
using fw::PropertyEntry;

namespace {

// The twelve entries every control record starts with.
const QStringList kCommon = {"Name",     "Index",     "Left",       "Top",           "Width",   "Height",
                             "LockLeft", "LockTop",   "LockRight",  "LockBottom",   "TabPanelIndex", "TabIndex"};

// Each class's entries after the common twelve (for a window: all of them).
QStringList EntriesOf(const QString& cls) {
  if (cls == "Window") {
    return {"Placement",      "Width",      "Height",     "MinWidth",       "MinHeight",      "MaxWidth",
            "MaxHeight",      "Frame",      "Composite",  "HasBackColor",   "BackColor",      "Title",
            "Visible",        "FullScreen", "MenuBarVisible", "CloseButton", "Resizeable",     "LiveResize",
            "MaximizeButton", "MinimizeButton", "MacProcID"};
  }
  QStringList own;
  if (cls == "Label") {
    own = {"Text",       "TextAlign", "TextColor",      "Multiline", "Enabled", "Visible",
           "Selectable", "Transparent", "HelpTag",      "AutoDeactivate", "TextFont", "Bold",
           "Italic",     "Underline", "DataSource",     "DataField", "InitialParent"};
  } else if (cls == "GroupBox") {
    own = {"Caption", "Enabled", "Visible", "HelpTag", "AutoDeactivate",
           "TextFont", "Bold",   "Italic",  "Underline", "InitialParent"};
  } else if (cls == "CheckBox") {
    own = {"TabStop", "Caption", "Enabled", "Visible", "HelpTag",    "AutoDeactivate", "TextFont", "Bold",
           "Italic",  "Underline", "State", "Value",   "DataSource", "DataField",      "InitialParent"};
  } else if (cls == "PopupMenu") {
    own = {"TabStop", "Enabled", "InitialValue", "ListIndex", "Visible",    "HelpTag",   "AutoDeactivate",
           "TextFont", "Bold",   "Italic",       "Underline", "DataSource", "DataField", "InitialParent"};
  } else if (cls == "TextField") {
    own = {"TabStop",   "Border",    "Password",   "UseFocusRing",   "TextColor", "BackColor", "Enabled",
           "Format",    "Visible",   "HelpTag",    "AutoDeactivate", "TextFont",  "Bold",      "Italic",
           "Underline", "CueText",   "Text",       "Mask",           "ReadOnly",  "LimitText", "AcceptTabs",
           "Alignment", "AutomaticallyCheckSpelling", "DataSource",  "DataField", "InitialParent"};
  } else if (cls == "PushButton") {
    own = {"TabStop", "Caption", "Default",  "Cancel", "Enabled",   "Visible",      "HelpTag",
           "AutoDeactivate", "ButtonStyle", "TextFont", "Bold", "Italic", "Underline", "InitialParent"};
  }
  return kCommon + own;
}

QStringList NamesOf(const std::vector<PropertyEntry>& entries) {
  QStringList names;
  for (const PropertyEntry& e : entries) names << QString::fromStdString(e.name);
  return names;
}

// The notice's head is free: the record is built with the text the window
// shows, and its tail is checked elsewhere.
std::string NoticeText() {
  Window1* window = Window1::instance();
  return window->StaticText1()->Text();
}

// The record of one control of the table, built with the system's builders.
std::string RecordOf(const ControlRow& row) {
  const records::Place place{row.name,     row.left,     row.top,       row.width,     row.height,
                             row.lockLeft, row.lockTop, row.lockRight, row.lockBottom, row.tabIndex};
  switch (row.kind) {
    case Kind::Label: {
      const bool notice = std::string(row.name) == "StaticText1";
      return records::Label(place, notice ? NoticeText() : row.text, row.textAlign, row.textColor, row.parent);
    }
    case Kind::GroupBox: return records::GroupBox(place, row.text, row.parent);
    case Kind::CheckBox: return records::CheckBox(place, row.text, row.state == 1, row.parent);
    case Kind::PopupMenu: return records::PopupMenu(place, row.text, row.state, row.parent);
    case Kind::TextField: return records::TextField(place, row.text, row.parent);
    case Kind::PushButton: return records::PushButton(place, row.text, row.parent);
  }
  return {};
}

const records::Place kProgressLabelPlace{"StaticText1", 20, 14, 325, 20, true, true, false, false, 0};

std::string ProgressLabelRecord() {
  return records::Label(kProgressLabelPlace, "Please wait . . . working . . .", 1, records::kBlack, "");
}

QString Describe(const fw::PropertyValue& v) {
  if (const auto* i = std::get_if<int32_t>(&v)) return QString::number(*i);
  if (const auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
  if (const auto* c = std::get_if<fw::Colour>(&v)) return QString("rgb(%1,%2,%3)").arg(c->red).arg(c->green).arg(c->blue);
  return '"' + QString::fromStdString(std::get<std::string>(v)) + '"';
}

// Every entry of `record` reads back from `target` as it was written.
void CompareLive(const fw::PropertyTarget& target, const std::string& record) {
  for (const PropertyEntry& entry : fw::DecodeRecord(record)) {
    const std::optional<fw::PropertyValue> live = target.GetProperty(entry.name);
    QVERIFY2(live.has_value(), entry.name.c_str());
    QVERIFY2(*live == entry.value, qPrintable(QString::fromStdString(entry.name) + ": " + Describe(*live) +
                                               ", the record says " + Describe(entry.value)));
  }
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

}  // namespace

using Corruption = std::function<std::string(std::string)>;
Q_DECLARE_METATYPE(Corruption)

class ShellRecordsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QVERIFY(StartShell() != nullptr); }
  void cleanup() { EndShell(); }

  void windowRecordsDecodeToTheirEntries_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("bytes");  // -1: not fixed
    QTest::newRow("main window") << 576 << 320 << 0 << "Tavelock" << -1;
    QTest::newRow("progress window") << 365 << 64 << 8 << "Ohne Titel" << 277;
  }
  void windowRecordsDecodeToTheirEntries() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, frame);
    QFETCH(QString, title);
    QFETCH(int, bytes);
    const std::string record = records::Window(width, height, frame, title.toStdString());
    if (bytes >= 0) QCOMPARE(static_cast<int>(record.size()), bytes);
    const std::vector<PropertyEntry> entries = fw::DecodeRecord(record);
    QCOMPARE(entries.size(), size_t{21});
    QCOMPARE(NamesOf(entries), EntriesOf("Window"));
    const fw::Colour white{0xFF, 0xFF, 0xFF};
    const std::vector<PropertyEntry> want = {
        {"Placement", 0},          {"Width", width},         {"Height", height},       {"MinWidth", 64},
        {"MinHeight", 64},         {"MaxWidth", 32000},      {"MaxHeight", 32000},     {"Frame", frame},
        {"Composite", false},      {"HasBackColor", false},  {"BackColor", white},     {"Title", title.toStdString()},
        {"Visible", true},         {"FullScreen", false},    {"MenuBarVisible", true}, {"CloseButton", true},
        {"Resizeable", true},      {"LiveResize", true},     {"MaximizeButton", false}, {"MinimizeButton", true},
        {"MacProcID", 0}};
    for (size_t i = 0; i < want.size(); ++i) QVERIFY2(entries[i] == want[i], want[i].name.c_str());
    QCOMPARE(fw::EncodeRecord(entries), record);
  }

  void liveWindowsShowTheirRecords() {
    Window1* main = Window1::instance();
    CompareLive(*main, records::Window(576, 320, 0, "Tavelock"));
    if (QTest::currentTestFailed()) return;
    WndWorking* progress = WndWorking::instance();
    CompareLive(*progress, records::Window(365, 64, 8, "Ohne Titel"));
  }

  void controlRecordsDecodeToTheirClassEntries_data() {
    QTest::addColumn<int>("row");  // -1: the progress window's label
    QTest::addColumn<int>("count");
    const QMap<Kind, int> counts = {{Kind::Label, 29},     {Kind::GroupBox, 22},  {Kind::CheckBox, 27},
                                    {Kind::PopupMenu, 26}, {Kind::TextField, 38}, {Kind::PushButton, 26}};
    for (int i = 0; i < kControlCount; ++i) QTest::newRow(kControls[i].name) << i << counts[kControls[i].kind];
    QTest::newRow("progress StaticText1") << -1 << 29;
  }
  void controlRecordsDecodeToTheirClassEntries() {
    QFETCH(int, row);
    QFETCH(int, count);
    const std::string record = row < 0 ? ProgressLabelRecord() : RecordOf(kControls[row]);
    const QString cls = row < 0 ? QString("Label") : KindName(kControls[row].kind);
    if (row < 0) QCOMPARE(record.size(), size_t{381});
    const std::vector<PropertyEntry> entries = fw::DecodeRecord(record);
    QCOMPARE(static_cast<int>(entries.size()), count);
    QCOMPARE(NamesOf(entries), EntriesOf(cls));
    QCOMPARE(fw::EncodeRecord(entries), record);  // it ends where its last entry ends

    // The conventions every control shares.
    QCOMPARE(entries[1].value, fw::PropertyValue(int32_t{INT32_MIN}));
    const std::string indexBytes = Bytes({'I', 'n', 'd', 'e', 'x', ' ', 0x80, 0x00, 0x00, 0x00});
    QVERIFY(record.find(indexBytes) != std::string::npos);
    QVERIFY(record.find(Bytes({'H', 'e', 'l', 'p', 'T', 'a', 'g', ' ', 0, 0, 0, 0, 'A'})) != std::string::npos);
    QVERIFY(record.find("System" + Bytes({'B', 'o', 'l', 'd', ' ', 0})) != std::string::npos);
    for (const PropertyEntry& e : entries) {
      if (e.name == "TabPanelIndex") QCOMPARE(e.value, fw::PropertyValue(int32_t{0}));
      if (e.name == "Enabled" || e.name == "Visible" || e.name == "AutoDeactivate" || e.name == "TabStop") {
        QVERIFY2(e.value == fw::PropertyValue(true), e.name.c_str());
      }
      if (e.name == "Bold" || e.name == "Italic" || e.name == "Underline" || e.name == "Multiline" ||
          e.name == "Selectable" || e.name == "Transparent") {
        QVERIFY2(e.value == fw::PropertyValue(false), e.name.c_str());
      }
      if (e.name == "TextFont") QCOMPARE(e.value, fw::PropertyValue(std::string("System")));
    }
    // A check box's State and Value agree.
    if (cls == "CheckBox") {
      const int32_t state = std::get<int32_t>(entries[22].value);
      QCOMPARE(entries[22].name, std::string("State"));
      QCOMPARE(std::get<bool>(entries[23].value), state == 1);
    }

    // What the live control shows is what its record says.
    fw::Window* window = row < 0 ? static_cast<fw::Window*>(WndWorking::instance()) : Window1::instance();
    fw::Control* live = window->ControlByName(row < 0 ? "StaticText1" : kControls[row].name);
    QVERIFY(live != nullptr);
    CompareLive(*live, record);
  }

  void indexBytesReadAsTheSmallestInteger() {
    const std::vector<PropertyEntry> entries = fw::DecodeRecord(Bytes({'I', 'n', 'd', 'e', 'x', ' ', 0x80, 0, 0, 0}));
    QCOMPARE(entries.size(), size_t{1});
    QCOMPARE(entries[0].value, fw::PropertyValue(int32_t{-2147483647 - 1}));
    QVERIFY(std::get<int32_t>(entries[0].value) < 0);
  }

  void malformedRecordsAreRefusedAndChangeNothing_data() {
    QTest::addColumn<Corruption>("corrupt");
    QTest::newRow("last byte cut off") << Corruption([](std::string r) { return r.substr(0, r.size() - 1); });
    QTest::newRow("a name cut before its blank") << Corruption([](std::string r) { return r + "Visible"; });
    QTest::newRow("unknown name") << Corruption([](std::string r) { return r + "Colour " + Bytes({1, 2, 3}); });
    QTest::newRow("boolean byte 2") << Corruption([](std::string r) {
      const size_t at = r.find("Multiline ") + std::string("Multiline ").size();
      r[at] = '\2';
      return r;
    });
    QTest::newRow("string runs past the end") << Corruption([](std::string r) {
      return r + "HelpTag " + Bytes({0x7F, 0xFF, 0xFF, 0xFF}) + "x";
    });
    QTest::newRow("digit in a name") << Corruption([](std::string r) { return "Text2 " + r; });
  }
  void malformedRecordsAreRefusedAndChangeNothing() {
    QFETCH(Corruption, corrupt);
    // A record that would change the label's text first, then is broken.
    fw::Label* into = Window1::instance()->StaticText3();
    const records::Place place{"StaticText3", 1, 2, 3, 4, false, false, true, true, 9};
    const std::string bad = corrupt(records::Label(place, "changed", 2, {0xFF, 0, 0}, ""));
    QVERIFY_THROWS_EXCEPTION(fw::PropertyRecordError, fw::DecodeRecord(bad));
    QVERIFY_THROWS_EXCEPTION(fw::PropertyRecordError, fw::SetProperties(*into, bad));
    QCOMPARE(into->Text(), std::string("into"));
    QCOMPARE(QPoint(into->Left(), into->Top()), QPoint(285, 128));
    QCOMPARE(into->widget()->parentWidget(), Window1::instance()->GroupBox2()->widget());
  }
};

QTEST_APPLESS_MAIN(ShellRecordsTest)
#include "shell_records_qtest.moc"
