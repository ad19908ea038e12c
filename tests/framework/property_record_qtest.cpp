// The property record codec: the byte form of window and control records.

#include <QtTest>
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "framework/property_record.h"

using fw::PropertyEntry;
using namespace Qt::Literals::StringLiterals;

namespace {

std::string_view View(const QByteArray& bytes) {
  return std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()));
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
  void exactBytes() {
    const std::pair<std::vector<PropertyEntry>, QByteArray> cases[] = {
        {{{"Index", INT32_MIN}}, "Index \x80\0\0\0"_ba},  // no control array
        {{{"HelpTag", std::string()}}, "HelpTag \0\0\0\0"_ba},
        {{{"TextColor", fw::Colour{0x77, 0x07, 0}}}, "TextColor \x77\x07\0"_ba},
        // A string's body runs straight into the next entry's name.
        {{{"TextFont", std::string("System")}, {"Bold", true}}, "TextFont \0\0\0\6SystemBold \1"_ba},
    };
    for (const auto& [entries, bytes] : cases) {
      const std::string wire = bytes.toStdString();
      QCOMPARE(fw::EncodeRecord(entries), wire);
      QVERIFY2(fw::DecodeRecord(wire) == entries, bytes.toPercentEncoding().constData());
    }
  }

  // Refused with the offset of the fault. A row with a cut decodes whole, but
  // not as a view cut off there: the bytes behind the view must stay unread.
  void malformedRefused() {
    struct Case {
      QByteArray buffer;
      size_t cut;
      const char* offset;
    };
    const Case cases[] = {
        {"Visible \1Colour \1\2\3"_ba, 0, "offset 9"},     // unknown name
        {"Wid1th \0\0\0\1"_ba, 0, "offset 3"},             // name with a digit
        {"Visible \1 \1"_ba, 0, "offset 9"},               // empty name
        {"Visible \1Enabled \2"_ba, 0, "offset 17"},       // boolean 2
        {"Title \377\377\377\377abc"_ba, 0, "offset 10"},  // huge string length
        {"Visible \0"_ba, 7, "offset 0"},                  // name without its blank
        {"Width \0\0\2\x40"_ba, 9, "offset 6"},            // integer
        {"Visible \1"_ba, 8, "offset 8"},                  // boolean
        {"BackColor \1\2\3"_ba, 12, "offset 10"},          // colour
        {"Title \0\0\0\2ab"_ba, 8, "offset 6"},            // string length
        {"Title \0\0\0\2ab"_ba, 11, "offset 10"},          // string body
    };
    for (const auto& [buffer, cut, offset] : cases) {
      std::string_view view = View(buffer);
      if (cut != 0) {
        QCOMPARE(fw::DecodeRecord(view).size(), size_t{1});
        view = view.substr(0, cut);
      }
      try {
        fw::DecodeRecord(view);
        QFAIL(("decoded a malformed record: " + buffer.toPercentEncoding()).constData());
      } catch (const fw::PropertyRecordError& e) {
        QVERIFY2(QString(e.what()).contains(offset), e.what());
      }
    }
  }

  void setPropertiesAppliesInOrderOrNotAtAll() {
    const std::vector<PropertyEntry> record = {
        {"Width", 365}, {"Height", 64}, {"Title", std::string("Ohne Titel")}, {"Visible", true}};
    Recorder target;
    fw::SetProperties(target, fw::EncodeRecord(record));
    QVERIFY(target.set == record);

    Recorder untouched;
    const std::string broken = fw::EncodeRecord(record) + "Visible \7";
    QVERIFY_THROWS_EXCEPTION(fw::PropertyRecordError, fw::SetProperties(untouched, broken));
    QVERIFY(untouched.set.empty());
  }
};

QTEST_APPLESS_MAIN(PropertyRecordTest)
#include "property_record_qtest.moc"
