// The Modify command end to end: real files in a fresh folder, the options set
// through the main window's controls, the button pressed through its control
// (so that a failure travels the same way as in the application), the dialogs
// answered and the messages collected by a script.

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/dialog_seam_testing.h"
#include "framework/folder_item.h"
#include "framework/text_stream_testing.h"
#include "framework/window.h"
#include "shell/app.h"
#include "shell/menubar1.h"
#include "shell/window1.h"
#include "shell/wnd_working.h"

namespace {

const char kProgress[] = "WndWorking.WndWorking";
const QString kSuccess = QStringLiteral("GEDCOM file successfully modified.");
const QString kError01 = QStringLiteral("Error 01: Can't assign file reference!");
const QString kError02 = QStringLiteral("Error 02: Can't open stream!");
const QString kError03 = QStringLiteral("Error 03: Can't assign file reference!");
const QString kError04 = QStringLiteral("Error 04: Can't create stream!");
const QByteArray kReplacement = "1 NOTE Additional private data on file!";

// Rows of the pop-up menus, as the main window lists them.
enum TagRow { kEVEN = 0, kMISE = 1, kMISS = 2, kPROP = 3, kSSN = 4 };
enum EncodingRow { kUtf8Row = 0, kUtf16Row = 1 };

Window1& MainWindow() { return *fw::CheckNil(Window1::instance()); }

// Each text followed by one LF: the form in which the command writes lines.
QByteArray Lines(std::initializer_list<const char*> lines) {
  QByteArray bytes;
  for (const char* line : lines) {
    bytes += line;
    bytes += '\n';
  }
  return bytes;
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QByteArray("<cannot read ") + path.toUtf8() + ">";
  return file.readAll();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

fw::FolderItem Item(const QString& path) { return fw::FolderItem(std::filesystem::path(QFile::encodeName(path).toStdString())); }

QStringList ToList(const std::vector<std::string>& texts) {
  QStringList list;
  for (const std::string& text : texts) list << QString::fromStdString(text);
  return list;
}

// A list as one text, so that a failed comparison shows every item.
QString Shown(const QStringList& list) { return "[" + list.join(" | ") + "]"; }

// What a test sees of the progress window at one moment.
QString ProgressState() {
  fw::Window* progress = fw::GetImplicitWindow(kProgress);
  if (progress == nullptr) return "none";
  if (!progress->IsOpen() || progress->widget() == nullptr || !progress->widget()->isVisible()) return "hidden";
  if (progress->widget()->parentWidget() != MainWindow().widget()) return "shown outside the main window";
  return "shown";
}

// UTF-16 code units of `text`, in the given byte order, with or without a
// byte-order mark.
QByteArray Utf16(const QString& text, bool bigEndian, bool mark) {
  QByteArray bytes;
  auto put = [&](char16_t unit) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    if (bigEndian) {
      bytes += high;
      bytes += low;
    } else {
      bytes += low;
      bytes += high;
    }
  };
  if (mark) put(u'\uFEFF');
  for (const QChar c : text) put(c.unicode());
  return bytes;
}

// A file bigger than the streams' buffers (about 1.3 MB), and what the command
// makes of it with the main window's starting options (note removal with
// "DELETE:", replace mode): every third line is a marked note's.
struct BigFile {
  QByteArray input;
  QByteArray output;
};

BigFile MakeBigFile() {
  BigFile big;
  for (int i = 0; i < 20000; ++i) {
    const QByteArray n = QByteArray::number(i);
    const QByteArray kept = "0 @I" + n + "@ INDI\n1 NAME Person" + n + " /Family/\n";
    big.input += kept + "1 NOTE DELETE: secret " + n + "\n2 CONT more " + n + "\n";
    big.output += kept + kReplacement + "\n";
  }
  return big;
}

// Counts the times that a window is shown within the main window: the
// progress window is the only one the command shows so (the message boxes are
// scripted). Its construction may show it on its own first; that is not
// counted.
class ShowCounter : public QObject {
 public:
  int shows = 0;

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      auto* widget = qobject_cast<QWidget*>(receiver);
      if (widget != nullptr && widget->isWindow() && widget->parentWidget() != nullptr &&
          widget->parentWidget() == MainWindow().widget()) {
        ++shows;
      }
    }
    return false;
  }
};

// The dialogs of one test, answered from queues; notes the progress window's
// state while each message is shown, then runs the test's own reaction.
class Script {
 public:
  Script() {
    dialogs.OnMessage([this](const std::string& text) {
      progressAtMessage << ProgressState();
      if (reaction) reaction(text);
    });
  }
  QStringList Messages() const { return ToList(dialogs.Messages()); }
  QStringList Proposed() const { return ToList(dialogs.ProposedSaveNames()); }

  fw::testing::ScriptedDialogs dialogs;
  QStringList progressAtMessage;
  std::function<void(const std::string&)> reaction;
};

}  // namespace

class ModifyCommandTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  ShowCounter counter_;

  QString Path(const QString& name) const { return dir_->filePath(name); }

  // Every name in the test folder, hidden ones (the streams' temporary files)
  // included.
  QStringList Listing() const {
    return QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  }

  static void Press() { fw::CheckNil(MainWindow().BtnModify())->Push(); }

  // Puts the controls to the main window's starting values, except the
  // encoding, which starts on UTF-8 here: most inputs below are UTF-8.
  static void ResetControls() {
    Window1& w = MainWindow();
    w.chkDelNotes()->SetValue(true);
    w.PumDelNotes()->SetListIndex(0);
    w.EdfDelNotes()->SetText("DELETE:");
    w.ChkNoteReplace()->SetValue(true);
    w.ChkChange01()->SetValue(false);
    w.PumChange01_Org()->SetListIndex(kSSN);
    w.PumChange01_New()->SetListIndex(kMISS);
    w.ChkChange02()->SetValue(false);
    w.PumChange02_Org()->SetListIndex(kPROP);
    w.PumChange02_New()->SetListIndex(kEVEN);
    w.ChkConvertMS4to6()->SetValue(true);
    w.PumEncoding()->SetListIndex(kUtf8Row);
  }

  // One run over `input` (written to in.ged) into out.ged.
  void RunOnce(Script& script, const QByteArray& input, const QString& inputName = "in.ged") {
    QVERIFY(WriteFile(Path(inputName), input));
    script.dialogs.QueueOpen(Item(Path(inputName)));
    script.dialogs.QueueSave(Item(Path("out.ged")));
    Press();
  }

 private slots:
  void initTestCase() {
    QVERIFY(fw::App() != nullptr);
    QVERIFY(MainWindow().widget()->isVisible());
    // The rows that the tests choose by number.
    QCOMPARE(MainWindow().PumChange01_Org()->List(kMISS), std::string("MISS"));
    QCOMPARE(MainWindow().PumChange01_New()->List(kPROP), std::string("PROP"));
    QCOMPARE(MainWindow().PumEncoding()->List(kUtf16Row), std::string("UTF-16"));
    QCOMPARE(MainWindow().PumDelNotes()->List(1), std::string("(DEL)"));
    QCoreApplication::instance()->installEventFilter(&counter_);
  }

  void init() {
    fw::testing::ClearWriteFailure();
    // Windows closed by an earlier test go now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(fw::GetImplicitWindow(kProgress) == nullptr);
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    ResetControls();
    counter_.shows = 0;
  }

  void cleanup() {
    fw::testing::ClearWriteFailure();
    dir_.reset();
  }

  // --- The whole command over a small GEDCOM ---------------------------------

  void happyPath_data() {
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray head = Lines({"0 HEAD", "1 CHAR UTF-8", "0 @N1@ NOTE PRIVATE: a note record is no note line",
                                   "1 CONT kept", "0 @I1@ INDI", "1 NAME Zoë /Müller/"});
    const QByteArray publicNote = Lines({"1 NOTE Public remark", "2 CONT continued", "2 CONC here"});
    const QByteArray tail = Lines({"1 EVEN 1901", "1 PROP Gift", "1 SSN [DATE:1990] [PLAC:Here  There] abc",
                                   "1 PROP Residence", "1 NOTE spaced   inside", "0 TRLR"});
    QTest::newRow("replace mode") << true
                                  << head + kReplacement + "\n" + publicNote + kReplacement + "\n" + tail;
    QTest::newRow("remove mode") << false << head + publicNote + tail;
  }

  void happyPath() {
    QFETCH(bool, replace);
    QFETCH(QByteArray, expected);
    const QByteArray input = Lines({"0 HEAD", "1 CHAR UTF-8", "0 @N1@ NOTE PRIVATE: a note record is no note line",
                                    "1 CONT kept", "0 @I1@ INDI", "1 NAME Zoë /Müller/",
                                    "1 NOTE PRIVATE: lives at 12 Elm St", "2 CONT phone 555-1234", "2 CONC 5678",
                                    "1 NOTE Public remark", "2 CONT continued", "2 CONC here",
                                    "1 NOTE see PRIVATE: the marker need not lead", "3 CONT at any level",
                                    "1 MISS 1901", "1 MISE Gift", "1 SSN", "2 DATE 1990", "2 PLAC Here  There",
                                    "2 TYPE abc", "1 prop", "2 type Residence", "  1 NOTE spaced   inside  ",
                                    "0 TRLR"});
    Window1& w = MainWindow();
    w.EdfDelNotes()->SetText("PRIVATE:");
    w.ChkNoteReplace()->SetValue(replace);
    // The first renaming is switched on by a real click on its check box.
    QCheckBox* change01 = w.ChkChange01()->checkBox();
    QStyleOptionButton option;
    option.initFrom(change01);
    const QPoint indicator = change01->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, change01).center();
    QTest::mouseClick(change01, Qt::LeftButton, Qt::NoModifier, indicator);
    QVERIFY(w.ChkChange01()->Value());
    w.PumChange01_Org()->SetListIndex(kMISS);
    w.PumChange01_New()->SetListIndex(kEVEN);
    w.ChkChange02()->SetValue(true);
    w.PumChange02_Org()->SetListIndex(kMISE);
    w.PumChange02_New()->SetListIndex(kPROP);

    Script script;
    RunOnce(script, input);
    QCOMPARE(ReadFile(Path("out.ged")), expected);
    QCOMPARE(Shown(script.Messages()), Shown(QStringList{kSuccess}));
    QCOMPARE(Shown(script.progressAtMessage), Shown(QStringList{"none"}));
    QCOMPARE(script.Proposed(), QStringList{"md_in.ged"});
    QCOMPARE(ReadFile(Path("in.ged")), input);
    QCOMPARE(Listing(), (QStringList{"in.ged", "out.ged"}));
    QCOMPARE(counter_.shows, 1);
  }

  // --- The four numbered errors ----------------------------------------------

  void numberedErrors_data() {
    // Names in the test folder; an empty name answers the dialog as cancelled.
    QTest::addColumn<QString>("open");
    QTest::addColumn<QString>("save");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("proposed");
    QTest::newRow("01 open cancelled") << "" << "out.ged" << kError01 << QStringList{};
    QTest::newRow("02 input is a folder") << "folder" << "out.ged" << kError02 << QStringList{};
    QTest::newRow("02 input missing") << "absent.ged" << "out.ged" << kError02 << QStringList{};
    QTest::newRow("03 save cancelled") << "in.ged" << "" << kError03 << QStringList{"md_in.ged"};
    QTest::newRow("04 target in a missing folder")
        << "in.ged" << "absent/out.ged" << kError04 << QStringList{"md_in.ged"};
  }

  void numberedErrors() {
    QFETCH(QString, open);
    QFETCH(QString, save);
    QFETCH(QString, message);
    QFETCH(QStringList, proposed);
    QVERIFY(WriteFile(Path("in.ged"), Lines({"0 HEAD", "JUNK", "0 TRLR"})));
    QVERIFY(QDir(dir_->path()).mkdir("folder"));
    const QStringList before = Listing();
    const std::size_t windowsBefore = fw::AllWindows().size();

    Script script;
    script.dialogs.QueueOpen(open.isEmpty() ? std::nullopt : std::optional(Item(Path(open))));
    // After 01 and 02 this answer must never be asked for.
    script.dialogs.QueueSave(save.isEmpty() ? std::nullopt : std::optional(Item(Path(save))));
    Press();

    QCOMPARE(Shown(script.Messages()), Shown(QStringList{message}));
    QCOMPARE(script.Proposed(), proposed);
    QCOMPARE(script.dialogs.OpenRequests(), 1);
    QCOMPARE(Shown(script.progressAtMessage), Shown(QStringList{"none"}));
    QCOMPARE(ProgressState(), QString("none"));
    QCOMPARE(counter_.shows, 0);
    QCOMPARE(fw::AllWindows().size(), windowsBefore);
    QCOMPARE(Listing(), before);
  }

  // --- Inputs without lines, and malformed lines ------------------------------

  void inputsWithoutLines_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("empty lines") << QByteArray("\n\n\n");
    QTest::newRow("blanks and tabs only") << QByteArray("   \n\t\n  \t  \r\n ");
    QTest::newRow("a lone NUL") << QByteArray("\n\0\n", 3);
  }

  void inputsWithoutLines() {
    QFETCH(QByteArray, input);
    Script script;
    RunOnce(script, input);
    QVERIFY(QFile::exists(Path("out.ged")));
    QCOMPARE(ReadFile(Path("out.ged")), QByteArray());
    QCOMPARE(Shown(script.Messages()), Shown(QStringList{kSuccess}));
    QCOMPARE(counter_.shows, 1);
    QCOMPARE(ProgressState(), QString("none"));
  }

  void malformedLines() {
    Script script;
    RunOnce(script, Lines({"0 HEAD", "JUNK1", "1 NAME A", "  junk-two\t ", "1 NAME B", "three", "0 TRLR"}));
    QCOMPARE(Shown(script.Messages()), Shown(QStringList{"Error in this line: JUNK1", "Error in this line: junk-two",
                                             "Error in this line: three", kSuccess}));
    QCOMPARE(Shown(script.progressAtMessage), Shown(QStringList{"shown", "shown", "shown", "none"}));
    QCOMPARE(ReadFile(Path("out.ged")), Lines({"0 HEAD", "1 NAME A", "1 NAME B", "0 TRLR"}));
    QCOMPARE(counter_.shows, 1);
    QCOMPARE(ProgressState(), QString("none"));
  }

  // --- Decodings and line ends -------------------------------------------------

  void decodings_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QByteArray>("expected");
    // Representable in Latin-1; the marked note goes, replaced.
    const QString text = QStringLiteral("0 HEAD\n1 NAME Zoë /Müller/\n1 NOTE DELETE: privé\n2 CONT à côté\n"
                                        "1 PLAC Göteborg\n0 TRLR\n");
    const QByteArray expected = Lines({"0 HEAD", "1 NAME Zoë /Müller/", kReplacement.constData(),
                                       "1 PLAC Göteborg", "0 TRLR"});
    // With a character outside the Basic Multilingual Plane (a surrogate pair).
    const QString wide = text + QStringLiteral("1 NOTE \U0001D11E clef\n");
    QByteArray wideExpected = expected + "1 NOTE \xF0\x9D\x84\x9E clef\n";
    QString crlf = wide;
    crlf.replace("\n", "\r\n");
    QString cr = wide;
    cr.replace("\n", "\r");

    QTest::newRow("UTF-16 LE with BOM") << Utf16(wide, false, true) << int{kUtf16Row} << wideExpected;
    QTest::newRow("UTF-16 BE with BOM") << Utf16(wide, true, true) << int{kUtf16Row} << wideExpected;
    QTest::newRow("UTF-16 LE without BOM") << Utf16(wide, false, false) << int{kUtf16Row} << wideExpected;
    QTest::newRow("UTF-16 BE without BOM") << Utf16(wide, true, false) << int{kUtf16Row} << wideExpected;
    QTest::newRow("UTF-16 LE, CR LF") << Utf16(crlf, false, true) << int{kUtf16Row} << wideExpected;
    QTest::newRow("UTF-16 BE, CR only") << Utf16(cr, true, true) << int{kUtf16Row} << wideExpected;
    QTest::newRow("UTF-8") << wide.toUtf8() << int{kUtf8Row} << wideExpected;
    QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + wide.toUtf8() << int{kUtf8Row} << wideExpected;
    QTest::newRow("UTF-8 with BOM, UTF-16 chosen") << "\xEF\xBB\xBF" + wide.toUtf8() << int{kUtf16Row} << wideExpected;
    QTest::newRow("UTF-8, CR LF") << crlf.toUtf8() << int{kUtf8Row} << wideExpected;
    QTest::newRow("UTF-8, CR only") << cr.toUtf8() << int{kUtf8Row} << wideExpected;
    QTest::newRow("Latin-1, UTF-8 chosen") << text.toLatin1() << int{kUtf8Row} << expected;
    QString latinCr = text;
    latinCr.replace("\n", "\r");
    QTest::newRow("Latin-1, CR only") << latinCr.toLatin1() << int{kUtf8Row} << expected;
  }

  void decodings() {
    QFETCH(QByteArray, input);
    QFETCH(int, encoding);
    QFETCH(QByteArray, expected);
    MainWindow().PumEncoding()->SetListIndex(encoding);
    Script script;
    RunOnce(script, input);
    QCOMPARE(ReadFile(Path("out.ged")), expected);
    QCOMPARE(Shown(script.Messages()), Shown(QStringList{kSuccess}));
  }

  // --- What is read once per run, and what for every line --------------------

  void markerIsReadOnce() {
    Window1& w = MainWindow();
    w.EdfDelNotes()->SetText("PRIV");
    w.ChkNoteReplace()->SetValue(false);
    const QByteArray input =
        Lines({"1 NOTE PRIV one", "JUNK", "1 NOTE PRIV two", "1 NOTE (DEL) three", "1 NOTE OTHER four"});
    {
      Script script;
      // Both marker controls change while the run is under way.
      script.reaction = [&w](const std::string& text) {
        if (text.find("JUNK") == std::string::npos) return;
        w.EdfDelNotes()->SetText("OTHER");
        w.PumDelNotes()->SetListIndex(1);
      };
      RunOnce(script, input);
      QCOMPARE(ReadFile(Path("out.ged")), Lines({"1 NOTE (DEL) three", "1 NOTE OTHER four"}));
      QCOMPARE(Shown(script.Messages()), Shown(QStringList{"Error in this line: JUNK", kSuccess}));
    }
    // The next run takes the values that the controls hold now.
    Script script;
    RunOnce(script, input);
    QCOMPARE(ReadFile(Path("out.ged")), Lines({"1 NOTE PRIV one", "1 NOTE PRIV two", "1 NOTE OTHER four"}));
  }

  void encodingIsReadOnce_data() {
    QTest::addColumn<int>("chosen");
    QTest::addColumn<int>("changedTo");
    QTest::addColumn<QByteArray>("input");
    const QString text = QStringLiteral("1 NAME Zoë\nJUNK\n1 NAME Müller\n1 PLAC Göteborg\n");
    QTest::newRow("UTF-8 run, UTF-16 chosen mid-run") << int{kUtf8Row} << int{kUtf16Row} << text.toUtf8();
    QTest::newRow("UTF-16 run, UTF-8 chosen mid-run") << int{kUtf16Row} << int{kUtf8Row} << Utf16(text, false, true);
  }

  void encodingIsReadOnce() {
    QFETCH(int, chosen);
    QFETCH(int, changedTo);
    QFETCH(QByteArray, input);
    MainWindow().PumEncoding()->SetListIndex(chosen);
    Script script;
    script.reaction = [changedTo](const std::string&) { MainWindow().PumEncoding()->SetListIndex(changedTo); };
    RunOnce(script, input);
    QCOMPARE(ReadFile(Path("out.ged")), Lines({"1 NAME Zoë", "1 NAME Müller", "1 PLAC Göteborg"}));
    QCOMPARE(Shown(script.Messages()), Shown(QStringList{"Error in this line: JUNK", kSuccess}));
  }

  void optionsAreReadForEveryLine_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ChkChange01 checked") << "ChkChange01"
                                         << Lines({"1 MISS a", "1 SSN t", "1 EVEN b", "1 SSN u"});
    QTest::newRow("chkDelNotes unchecked")
        << "chkDelNotes" << Lines({"1 MISS a", "1 SSN t", "1 MISS b", "1 NOTE DELETE: y", "1 SSN u"});
    QTest::newRow("ChkNoteReplace checked")
        << "ChkNoteReplace" << Lines({"1 MISS a", "1 SSN t", "1 MISS b", kReplacement.constData(), "1 SSN u"});
    QTest::newRow("ChkConvertMS4to6 unchecked")
        << "ChkConvertMS4to6" << Lines({"1 MISS a", "1 SSN t", "1 MISS b", "1 SSN", "2 TYPE u"});
  }

  void optionsAreReadForEveryLine() {
    QFETCH(QString, control);
    QFETCH(QByteArray, expected);
    Window1& w = MainWindow();
    w.ChkNoteReplace()->SetValue(false);
    w.PumChange01_Org()->SetListIndex(kMISS);
    w.PumChange01_New()->SetListIndex(kEVEN);
    Script script;
    script.reaction = [&w, control](const std::string&) {
      fw::CheckBox* box = dynamic_cast<fw::CheckBox*>(w.ControlByName(control.toStdString()));
      if (box != nullptr) box->SetValue(!box->Value());
    };
    RunOnce(script, Lines({"1 MISS a", "1 NOTE DELETE: x", "1 SSN", "2 TYPE t", "JUNK", "1 MISS b",
                           "1 NOTE DELETE: y", "1 SSN", "2 TYPE u"}));
    QCOMPARE(ReadFile(Path("out.ged")), expected);
    QCOMPARE(Shown(script.Messages()), Shown(QStringList{"Error in this line: JUNK", kSuccess}));
  }

  void markerChoice_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("expected");
    const char* fixed = "1 NOTE (DEL) fixed";
    const char* typedLead = "1 NOTE PRIV typed";
    const char* typedInside = "1 NOTE a PRIV b";
    const char* standard = "1 NOTE DELETE: default";
    QTest::newRow("(DEL) row, field ignored") << 1 << "PRIV" << Lines({typedLead, typedInside, standard});
    QTest::newRow("(DEL) row, empty field") << 1 << "" << Lines({typedLead, typedInside, standard});
    QTest::newRow("typed marker") << 0 << "PRIV" << Lines({fixed, standard});
    QTest::newRow("empty marker removes no note") << 0 << "" << Lines({fixed, typedLead, typedInside, standard});
    QTest::newRow("blanks at the ends are kept") << 0 << " PRIV " << Lines({fixed, typedLead, standard});
  }

  void markerChoice() {
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(QByteArray, expected);
    Window1& w = MainWindow();
    w.ChkNoteReplace()->SetValue(false);
    w.PumDelNotes()->SetListIndex(row);
    w.EdfDelNotes()->SetText(typed.toStdString());
    Script script;
    RunOnce(script, Lines({"1 NOTE (DEL) fixed", "1 NOTE PRIV typed", "1 NOTE a PRIV b", "1 NOTE DELETE: default"}));
    QCOMPARE(ReadFile(Path("out.ged")), expected);
    QCOMPARE(Shown(script.Messages()), Shown(QStringList{kSuccess}));
  }

  void proposedName_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("plain") << "in.ged" << "md_in.ged";
    QTest::newRow("already prefixed") << "md_in.ged" << "md_md_in.ged";
    QTest::newRow("no extension, upper case") << "FAMILY" << "md_FAMILY";
    QTest::newRow("blanks and accents") << "Família Zoë.GED" << "md_Família Zoë.GED";
  }

  void proposedName() {
    QFETCH(QString, input);
    QFETCH(QString, proposed);
    Script script;
    RunOnce(script, Lines({"0 HEAD"}), input);
    QCOMPARE(script.Proposed(), QStringList{proposed});
    QCOMPARE(Shown(script.Messages()), Shown(QStringList{kSuccess}));
  }

  // --- A fold that no TYPE line closes --------------------------------------

  void unclosedFold_data() {
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("foldingOffMidRun");  // at the message for JUNK
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray plain = Lines({"0 @I1@ INDI", "1 SSN", "1 BIRT", "2 DATE 1900", "0 @I2@ INDI", "1 NAME B", "0 TRLR"});
    QTest::newRow("nothing private") << true << false << plain << plain;
    const QByteArray withNote = Lines({"0 @I1@ INDI", "1 PROP", "1 BIRT", "2 DATE 1900", "0 @I2@ INDI",
                                       "1 NOTE DELETE: secret", "2 CONT more", "1 NAME B", "0 TRLR"});
    QTest::newRow("marked note, remove mode")
        << false << false << withNote << Lines({"0 @I1@ INDI", "1 PROP", "1 BIRT", "2 DATE 1900", "0 @I2@ INDI", "1 NAME B", "0 TRLR"});
    // The replacement line belongs to @I2@, where the note was.
    QTest::newRow("marked note, replace mode")
        << true << false << withNote
        << Lines({"0 @I1@ INDI", "1 PROP", "1 BIRT", "2 DATE 1900", "0 @I2@ INDI", kReplacement.constData(), "1 NAME B",
                  "0 TRLR"});
    // Lines written while folding is off and a fold is still open.
    QTest::newRow("folding switched off mid-fold")
        << true << true << Lines({"0 @I1@ INDI", "1 SSN", "1 BIRT", "JUNK", "1 DEAT", "0 TRLR"})
        << Lines({"0 @I1@ INDI", "1 SSN", "1 BIRT", "1 DEAT", "0 TRLR"});
  }

  void unclosedFold() {
    QFETCH(bool, replace);
    QFETCH(bool, foldingOffMidRun);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    MainWindow().ChkNoteReplace()->SetValue(replace);
    Script script;
    if (foldingOffMidRun) script.reaction = [](const std::string&) { MainWindow().ChkConvertMS4to6()->SetValue(false); };
    RunOnce(script, input);
    QCOMPARE(ReadFile(Path("out.ged")), expected);
    QCOMPARE(script.Messages().back(), kSuccess);
  }

  // --- A write that fails -----------------------------------------------------

  void writeFailure_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<bool>("big");
    QTest::addColumn<qulonglong>("limit");
    QTest::newRow("mid-run, new target") << "out.ged" << false << true << qulonglong{1000};
    QTest::newRow("mid-run, existing target") << "out.ged" << true << true << qulonglong{1000};
    QTest::newRow("mid-run, the input as target") << "in.ged" << true << true << qulonglong{1000};
    QTest::newRow("at the close, existing target") << "out.ged" << true << false << qulonglong{10};
  }

  void writeFailure() {
    QFETCH(QString, target);
    QFETCH(bool, targetExists);
    QFETCH(bool, big);
    QFETCH(qulonglong, limit);
    const BigFile bigFile = MakeBigFile();
    const QByteArray input = big ? bigFile.input : Lines({"0 HEAD", "1 NOTE DELETE: x", "0 TRLR"});
    const QByteArray output = big ? bigFile.output : Lines({"0 HEAD", kReplacement.constData(), "0 TRLR"});
    QVERIFY(WriteFile(Path("in.ged"), input));
    if (targetExists && target != "in.ged") QVERIFY(WriteFile(Path(target), "0 HEAD\n1 NOTE an older copy\n0 TRLR\n"));
    const QByteArray targetBefore = ReadFile(Path(target));
    const QStringList before = Listing();

    Script script;
    script.dialogs.QueueOpen(Item(Path("in.ged")));
    script.dialogs.QueueSave(Item(Path(target)));
    fw::testing::SetWriteFailureAfter(static_cast<std::size_t>(limit), ENOSPC);
    Press();
    fw::testing::ClearWriteFailure();

    QCOMPARE(script.dialogs.Messages().size(), std::size_t{1});
    const QString report = script.Messages().front();
    QVERIFY2(report.contains("IOException"), qPrintable(report));
    QVERIFY2(report.contains("No space left on device"), qPrintable(report));
    QVERIFY2(report.contains("28"), qPrintable(report));
    QCOMPARE(Shown(script.progressAtMessage), Shown(QStringList{"none"}));
    QCOMPARE(ProgressState(), QString("none"));
    QCOMPARE(counter_.shows, 1);
    QCOMPARE(Listing(), before);
    if (targetExists) {
      QCOMPARE(ReadFile(Path(target)), targetBefore);
    } else {
      QVERIFY(!QFile::exists(Path(target)));
    }
    QCOMPARE(ReadFile(Path("in.ged")), target == "in.ged" ? targetBefore : input);

    // With the disk writable again, the same run succeeds.
    script.dialogs.QueueOpen(Item(Path("in.ged")));
    script.dialogs.QueueSave(Item(Path(target)));
    Press();
    QCOMPARE(Shown(script.Messages().mid(1)), Shown(QStringList{kSuccess}));
    QVERIFY(ReadFile(Path(target)) == output);
    QCOMPARE(counter_.shows, 2);
    QCOMPARE(ProgressState(), QString("none"));
  }

  // --- The input as its own output, and runs in a row -----------------------

  void inputAsItsOwnOutput_data() {
    QTest::addColumn<bool>("big");
    QTest::newRow("small") << false;
    QTest::newRow("bigger than the buffers") << true;
  }

  void inputAsItsOwnOutput() {
    QFETCH(bool, big);
    const BigFile bigFile = MakeBigFile();
    const QByteArray input = big ? bigFile.input : Lines({"0 HEAD", "1 NOTE DELETE: x", "2 CONT y", "1 SSN", "2 TYPE t", "0 TRLR"});
    const QByteArray output = big ? bigFile.output : Lines({"0 HEAD", kReplacement.constData(), "1 SSN t", "0 TRLR"});
    QVERIFY(WriteFile(Path("in.ged"), input));
    Script script;
    script.dialogs.QueueOpen(Item(Path("in.ged")));
    script.dialogs.QueueSave(Item(Path("in.ged")));
    Press();
    QCOMPARE(Shown(script.Messages()), Shown(QStringList{kSuccess}));
    QVERIFY2(ReadFile(Path("in.ged")) == output, "the copy is not the complete modified input");
    QCOMPARE(Listing(), QStringList{"in.ged"});
  }

  void twoRunsInARow() {
    Script script;
    QList<QPointer<QWidget>> progressWidgets;
    script.reaction = [&](const std::string& text) {
      if (text.rfind("Error in this line", 0) != 0) return;
      if (fw::Window* progress = fw::GetImplicitWindow(kProgress)) progressWidgets << QPointer<QWidget>(progress->widget());
    };
    const QByteArray inputs[] = {Lines({"0 HEAD", "first", "0 TRLR"}), Lines({"0 HEAD", "second", "1 SSN 1", "0 TRLR"})};
    int run = 0;
    for (const QByteArray& input : inputs) {
      ++run;
      QVERIFY(WriteFile(Path("in.ged"), input));
      script.dialogs.QueueOpen(Item(Path("in.ged")));
      script.dialogs.QueueSave(Item(Path("out.ged")));
      // A real click on the button.
      QTest::mouseClick(MainWindow().BtnModify()->pushButton(), Qt::LeftButton);
      QCOMPARE(counter_.shows, run);
      QCOMPARE(ProgressState(), QString("none"));
      QCOMPARE(progressWidgets.size(), run);
      QVERIFY(progressWidgets.back().isNull() || !progressWidgets.back()->isVisible());
    }
    QCOMPARE(Shown(script.Messages()), Shown(QStringList{"Error in this line: first", kSuccess, "Error in this line: second", kSuccess}));
    QCOMPARE(Shown(script.progressAtMessage), Shown(QStringList{"shown", "none", "shown", "none"}));
    QCOMPARE(ReadFile(Path("out.ged")), Lines({"0 HEAD", "1 SSN 1", "0 TRLR"}));
  }
};

// The application is started as the program starts it: the runtime first,
// then the start-up routine that makes the application object and the main
// window. The event loop is not run: the command runs inside the button's
// Action, which the tests raise themselves.
int main(int argc, char** argv) {
  fw::RuntimeInit();
  Startup();
  int failures = 0;
  {
    ModifyCommandTest test;
    failures = QTest::qExec(&test, argc, argv);
  }
  MenuBar1::ReleaseInstance();
  fw::RuntimeExit();
  return failures;
}

#include "modify_command_qtest.moc"
