// The property record codec: the byte form of window and control records.

#include <QtTest>
#include <climits>
#include <string>
#include <vector>

#include "framework/property_record.h"
#include "record_fixtures.h"

using fw::Colour;
using fw::PropertyEntry;
using namespace record_fixtures;

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

// Remembers what a record sets, in order.
class Recorder : public fw::PropertyTarget {
 public:
  std::vector<PropertyEntry> set;
  void SetProperty(const std::string& name, const fw::PropertyValue& value) override { set.push_back({name, value}); }
  std::optional<fw::PropertyValue> GetProperty(const std::string&) const override { return std::nullopt; }
};

}  // namespace

class PropertyRecordTest : public QObject {
  Q_OBJECT

 private slots:
  void roundTrip_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("bytes");  // 0: not checked
    QTest::newRow("main window") << 0 << 21 << 0;
    QTest::newRow("progress window") << 1 << 21 << 277;
    QTest::newRow("progress label") << 2 << 29 << 381;
    QTest::newRow("group box") << 3 << 22 << 0;
    QTest::newRow("check box") << 4 << 27 << 0;
    QTest::newRow("pop-up menu") << 5 << 26 << 0;
    QTest::newRow("text field") << 6 << 38 << 0;
    QTest::newRow("push button") << 7 << 26 << 0;
  }
  void roundTrip() {
    QFETCH(int, which);
    QFETCH(int, entries);
    QFETCH(int, bytes);
    const Place place(8, 9, 560, 81, "LT", 1, "GroupBox1");
    const std::vector<PropertyEntry> records[] = {
        WindowRecord(576, 320, 0, "Tavelock"),
        WindowRecord(365, 64, 8, "Ohne Titel"),
        LabelRecord("StaticText1", {20, 14, 325, 20}, "Please wait . . . working . . ."),
        GroupBoxRecord("GroupBox2", place, "Change fields:"),
        CheckBoxRecord("chkDelNotes", place, "Notes starting with the following tag:", true),
        PopupMenuRecord("PumChange01_New", place, "EVEN\rMISE\rMISS\rPROP\rSSN\r", 2),
        TextFieldRecord("EdfDelNotes", place, "DELETE:"),
        PushButtonRecord("BtnModify", place, "Modify .GED")};
    const std::vector<PropertyEntry>& record = records[which];
    const std::string encoded = fw::EncodeRecord(record);
    if (bytes != 0) QCOMPARE(static_cast<int>(encoded.size()), bytes);
    const std::vector<PropertyEntry> decoded = fw::DecodeRecord(encoded);
    QCOMPARE(static_cast<int>(decoded.size()), entries);
    QVERIFY(decoded == record);
  }

  void exactBytes_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<QByteArray>("bytes");
    auto row = [](const char* name, int entry, const std::string& bytes) {
      QTest::newRow(name) << entry << QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
    };
    row("Index of no control array", 0, "Index " + Bytes({0x80, 0, 0, 0}));
    row("negative one", 1, "Left " + Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    row("empty string", 2, "HelpTag " + Bytes({0, 0, 0, 0}));
    row("black", 3, "TextColor " + Bytes({0, 0, 0}));
    row("string with blanks", 4, "Caption " + Bytes({0, 0, 0, 21}) + "Remove these entries:");
    row("true", 5, "Visible " + Bytes({1}));
  }
  void exactBytes() {
    QFETCH(int, entry);
    QFETCH(QByteArray, bytes);
    const PropertyEntry entries[] = {{"Index", INT32_MIN},
                                     {"Left", -1},
                                     {"HelpTag", std::string()},
                                     {"TextColor", kBlack},
                                     {"Caption", std::string("Remove these entries:")},
                                     {"Visible", true}};
    const std::string wire = bytes.toStdString();
    QCOMPARE(fw::EncodeRecord({entries[entry]}), wire);
    const std::vector<PropertyEntry> decoded = fw::DecodeRecord(wire);
    QCOMPARE(decoded.size(), size_t{1});
    QVERIFY(decoded[0] == entries[entry]);
  }

  void stringFollowedDirectlyByName() {
    const std::string wire = "TextFont " + Bytes({0, 0, 0, 6}) + "SystemBold " + Bytes({1});
    const std::vector<PropertyEntry> decoded = fw::DecodeRecord(wire);
    QCOMPARE(decoded.size(), size_t{2});
    QVERIFY((decoded[0] == PropertyEntry{"TextFont", std::string("System")}));
    QVERIFY((decoded[1] == PropertyEntry{"Bold", true}));
    QCOMPARE(fw::EncodeRecord(decoded), wire);
  }

  void malformedRefused_data() {
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("offset");
    auto row = [](const char* name, const std::string& bytes, const char* offset) {
      QTest::newRow(name) << QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())) << QString(offset);
    };
    const std::string ok = "Visible " + Bytes({1});  // 9 bytes
    row("unknown name", ok + "Colour " + Bytes({1, 2, 3}), "offset 9");
    row("name with a digit", "Wid1th " + Bytes({0, 0, 0, 1}), "offset 3");
    row("empty name", ok + " " + Bytes({1}), "offset 9");
    row("name without its blank", ok + "Visible", "offset 9");
    row("truncated integer", "Width " + Bytes({0, 0, 2}), "offset 6");
    row("truncated string length", "Title " + Bytes({0, 0}), "offset 6");
    row("truncated string body", "Title " + Bytes({0, 0, 0, 5}) + "abc", "offset 10");
    row("huge string length", "Title " + Bytes({0xFF, 0xFF, 0xFF, 0xFF}) + "abc", "offset 10");
    row("truncated colour", "BackColor " + Bytes({0xFF, 0xFF}), "offset 10");
    row("missing boolean", ok + "Enabled ", "offset 17");
    row("boolean 2", ok + "Enabled " + Bytes({2}), "offset 17");
  }
  void malformedRefused() {
    QFETCH(QByteArray, record);
    QFETCH(QString, offset);
    try {
      fw::DecodeRecord(std::string_view(record.constData(), static_cast<size_t>(record.size())));
      QFAIL("decoded a malformed record");
    } catch (const fw::PropertyRecordError& e) {
      QVERIFY2(QString(e.what()).contains(offset), e.what());
    }
  }

  // Each view ends where a value or a name's blank is cut off; the buffer
  // behind it holds the missing bytes, so a decoder that read on would succeed.
  void neverReadsPastTheView_data() {
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("cut");
    auto row = [](const char* name, const std::string& bytes, int cut) {
      QTest::newRow(name) << QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())) << cut;
    };
    row("integer", "Width " + Bytes({0, 0, 2, 0x40}), 9);
    row("boolean", "Visible " + Bytes({1}), 8);
    row("colour", "BackColor " + Bytes({1, 2, 3}), 12);
    row("string length", "Title " + Bytes({0, 0, 0, 2}) + "ab", 8);
    row("string body", "Title " + Bytes({0, 0, 0, 2}) + "ab", 11);
    row("name's blank", "Visible " + Bytes({0}), 7);
  }
  void neverReadsPastTheView() {
    QFETCH(QByteArray, buffer);
    QFETCH(int, cut);
    const std::string_view whole(buffer.constData(), static_cast<size_t>(buffer.size()));
    QCOMPARE(fw::DecodeRecord(whole).size(), size_t{1});
    QVERIFY_THROWS_EXCEPTION(fw::PropertyRecordError, fw::DecodeRecord(whole.substr(0, static_cast<size_t>(cut))));
  }

  void encodeRefuses_data() {
    QTest::addColumn<int>("entry");
    QTest::newRow("unknown name") << 0;
    QTest::newRow("name with a blank") << 1;
    QTest::newRow("name with a digit") << 2;
    QTest::newRow("empty name") << 3;
    QTest::newRow("string for an integer") << 4;
    QTest::newRow("integer for a boolean") << 5;
  }
  void encodeRefuses() {
    QFETCH(int, entry);
    const PropertyEntry entries[] = {
        {"Colour", kWhite}, {"Max Width", 1}, {"Width2", 1}, {"", 1}, {"Width", std::string("576")}, {"Visible", 1}};
    QVERIFY_THROWS_EXCEPTION(fw::PropertyRecordError, fw::EncodeRecord({entries[entry]}));
  }

  void setPropertiesAppliesInOrderOrNotAtAll() {
    Recorder target;
    const std::vector<PropertyEntry> record = WindowRecord(576, 320, 0, "Tavelock");
    fw::SetProperties(target, fw::EncodeRecord(record));
    QVERIFY(target.set == record);

    Recorder untouched;
    const std::string broken = fw::EncodeRecord(record) + "Visible " + Bytes({7});
    QVERIFY_THROWS_EXCEPTION(fw::PropertyRecordError, fw::SetProperties(untouched, broken));
    QVERIFY(untouched.set.empty());
  }
};

QTEST_APPLESS_MAIN(PropertyRecordTest)
#include "property_record_qtest.moc"
