// The Modify command end to end: real files in a fresh folder, the options set
// through the main window's controls, the button pressed through its control
// (so that a failure travels the same way as in the application), the dialogs
// answered and the messages collected by a script.

#include <QDir>
#include <QFile>
#include <QMainWindow>
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
const QByteArray kReplacement = "1 NOTE Additional private data on file!";

// Rows of the pop-up menus, as the main window lists them.
enum TagRow { kEVEN = 0, kMISE = 1, kMISS = 2, kPROP = 3, kSSN = 4 };
enum EncodingRow { kUtf8Row = 0, kUtf16Row = 1 };

Window1& MainWindow() { return *fw::CheckNil(Window1::instance()); }

// Each text followed by one LF: the form in which the command writes lines.
QByteArray Lines(std::initializer_list<const char*> lines) {
  QByteArray bytes;
  for (const char* line : lines) bytes += QByteArray(line) + '\n';
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

// A list as one text, so that a failed comparison shows every item.
QString Shown(const QStringList& list) { return "[" + list.join(" | ") + "]"; }
QString Shown(const std::vector<std::string>& texts) {
  QStringList list;
  for (const std::string& text : texts) list << QString::fromStdString(text);
  return Shown(list);
}

// What a test sees of the progress window at one moment.
QString ProgressState() {
  fw::Window* progress = fw::GetImplicitWindow(kProgress);
  if (progress == nullptr) return "none";
  if (!progress->IsOpen() || progress->widget() == nullptr || !progress->widget()->isVisible()) return "hidden";
  if (progress->widget()->parentWidget() != MainWindow().widget()) return "shown outside the main window";
  return "shown";
}

// UTF-16 code units of `text` after a byte-order mark, in the given byte order.
QByteArray Utf16(const QString& text, bool bigEndian) {
  QByteArray bytes;
  for (const QChar c : QChar(0xFEFF) + text) {
    const char high = static_cast<char>(c.unicode() >> 8);
    const char low = static_cast<char>(c.unicode() & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

// A file bigger than the streams' buffers (about 1.3 MB), and what the command
// makes of it with the main window's starting options (note removal with
// "DELETE:", replace mode): every third line is a marked note's.
struct BigFile {
  QByteArray input;
  QByteArray output;
  BigFile() {
    for (int i = 0; i < 20000; ++i) {
      const QByteArray n = QByteArray::number(i);
      const QByteArray kept = "0 @I" + n + "@ INDI\n1 NAME Person" + n + " /Family/\n";
      input += kept + "1 NOTE DELETE: secret " + n + "\n2 CONT more " + n + "\n";
      output += kept + kReplacement + "\n";
    }
  }
};

// Counts the times that a window is shown within the main window: the
// progress window is the only one the command shows so (the message boxes are
// scripted). Its construction may show it on its own first; that is not
// counted.
class ShowCounter : public QObject {
 public:
  int shows = 0;

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (event->type() == QEvent::Show && widget != nullptr && widget->isWindow() &&
        widget->parentWidget() != nullptr && widget->parentWidget() == MainWindow().widget()) {
      ++shows;
    }
    return false;
  }
};

// The dialogs of one test, answered from queues; notes the progress window's
// state while each message is shown, then runs the test's own reaction.
struct Script {
  Script() {
    dialogs.OnMessage([this](const std::string& text) {
      progressAtMessage << ProgressState();
      if (reaction) reaction(text);
    });
  }
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

  // One run over `input` (written to the input file) into `output`.
  void RunOnce(Script& script, const QByteArray& input, const QString& inputName = "in.ged",
               const QString& output = "out.ged") {
    QVERIFY(WriteFile(Path(inputName), input));
    script.dialogs.QueueOpen(Item(Path(inputName)));
    script.dialogs.QueueSave(Item(Path(output)));
    Press();
  }

 private slots:
  void initTestCase() {
    QVERIFY(MainWindow().widget()->isVisible());
    QCoreApplication::instance()->installEventFilter(&counter_);
  }

  // The controls at the main window's starting values, except the encoding,
  // which starts on UTF-8 here: most inputs below are UTF-8.
  void init() {
    fw::testing::ClearWriteFailure();
    // Windows closed by an earlier test go now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(fw::GetImplicitWindow(kProgress) == nullptr);
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
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
    counter_.shows = 0;
  }

  void cleanup() {
    fw::testing::ClearWriteFailure();
    dir_.reset();
  }

  void happyPath() {
    // The marked note inside the fold is written before the folded line.
    const QByteArray input = Lines({"0 HEAD", "1 CHAR UTF-8", "0 @N1@ NOTE PRIVATE: a note record is no note line",
                                    "1 CONT kept", "0 @I1@ INDI", "1 NAME Zoë /Müller/",
                                    "1 NOTE PRIVATE: lives at 12 Elm St", "2 CONT phone 555-1234", "2 CONC 5678",
                                    "1 NOTE Public remark", "2 CONT continued", "2 CONC here",
                                    "1 NOTE see PRIVATE: the marker need not lead", "3 CONT at any level",
                                    "1 MISS 1901", "1 MISE Gift", "1 SSN", "2 DATE 1990", "1 NOTE PRIVATE: in a fold",
                                    "2 PLAC Here  There", "2 TYPE abc", "1 prop", "2 type Residence",
                                    "  1 NOTE spaced   inside  ", "0 TRLR"});
    Window1& w = MainWindow();
    w.EdfDelNotes()->SetText("PRIVATE:");
    w.ChkChange01()->SetValue(true);
    w.PumChange01_Org()->SetListIndex(kMISS);
    w.PumChange01_New()->SetListIndex(kEVEN);
    w.ChkChange02()->SetValue(true);
    w.PumChange02_Org()->SetListIndex(kMISE);
    w.PumChange02_New()->SetListIndex(kPROP);

    Script script;
    RunOnce(script, input);
    QCOMPARE(ReadFile(Path("out.ged")),
             Lines({"0 HEAD", "1 CHAR UTF-8", "0 @N1@ NOTE PRIVATE: a note record is no note line", "1 CONT kept",
                    "0 @I1@ INDI", "1 NAME Zoë /Müller/", kReplacement.constData(), "1 NOTE Public remark",
                    "2 CONT continued", "2 CONC here", kReplacement.constData(), "1 EVEN 1901", "1 PROP Gift",
                    kReplacement.constData(), "1 SSN [DATE:1990] [PLAC:Here  There] abc", "1 PROP Residence",
                    "1 NOTE spaced   inside", "0 TRLR"}));
    QCOMPARE(Shown(script.dialogs.Messages()), Shown(QStringList{kSuccess}));
    QCOMPARE(Shown(script.progressAtMessage), Shown(QStringList{"none"}));
    QCOMPARE(Shown(script.dialogs.ProposedSaveNames()), Shown(QStringList{"md_in.ged"}));
    QCOMPARE(ReadFile(Path("in.ged")), input);
    QCOMPARE(Listing(), (QStringList{"in.ged", "out.ged"}));
    QCOMPARE(counter_.shows, 1);
  }

  void numberedErrors_data() {
    // Names in the test folder; an empty name answers the dialog as cancelled.
    QTest::addColumn<QString>("open");
    QTest::addColumn<QString>("save");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("proposed");
    QTest::newRow("01 open cancelled") << "" << "out.ged" << "Error 01: Can't assign file reference!" << QStringList{};
    QTest::newRow("02 input is a folder") << "folder" << "out.ged" << "Error 02: Can't open stream!" << QStringList{};
    QTest::newRow("03 save cancelled") << "in.ged" << "" << "Error 03: Can't assign file reference!"
                                       << QStringList{"md_in.ged"};
    QTest::newRow("04 target in a missing folder")
        << "in.ged" << "absent/out.ged" << "Error 04: Can't create stream!" << QStringList{"md_in.ged"};
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

    QCOMPARE(Shown(script.dialogs.Messages()), Shown(QStringList{message}));
    QCOMPARE(Shown(script.dialogs.ProposedSaveNames()), Shown(proposed));
    QCOMPARE(script.dialogs.OpenRequests(), 1);
    QCOMPARE(Shown(script.progressAtMessage), Shown(QStringList{"none"}));
    QCOMPARE(ProgressState(), QString("none"));
    QCOMPARE(counter_.shows, 0);
    QCOMPARE(fw::AllWindows().size(), windowsBefore);
    QCOMPARE(Listing(), before);
  }

  // Complete runs: what is written, and the messages shown on the way (each
  // malformed line reported under the progress window, success after it).
  void runs_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QStringList>("malformed");
    QTest::newRow("empty file") << QByteArray() << int{kUtf8Row} << QByteArray() << QStringList{};
    QTest::newRow("blank lines and a lone NUL")
        << QByteArray("\n   \n\t\n  \t  \r\n\0\n ", 17) << int{kUtf8Row} << QByteArray() << QStringList{};
    QTest::newRow("three malformed lines")
        << Lines({"0 HEAD", "JUNK1", "1 NAME A", "  junk-two\t ", "1 NAME B", "three", "0 TRLR"}) << int{kUtf8Row}
        << Lines({"0 HEAD", "1 NAME A", "1 NAME B", "0 TRLR"})
        << QStringList{"Error in this line: JUNK1", "Error in this line: junk-two", "Error in this line: three"};

    // Decodings and line ends. Representable in Latin-1; the marked note goes,
    // replaced.
    const QString text = QStringLiteral("0 HEAD\n1 NAME Zoë /Müller/\n1 NOTE DELETE: privé\n2 CONT à côté\n"
                                        "1 PLAC Göteborg\n0 TRLR\n");
    const QByteArray expected = Lines({"0 HEAD", "1 NAME Zoë /Müller/", kReplacement.constData(),
                                       "1 PLAC Göteborg", "0 TRLR"});
    // With a character outside the Basic Multilingual Plane (a surrogate pair).
    const QString wide = text + QStringLiteral("1 NOTE \U0001D11E clef\n");
    const QByteArray wideExpected = expected + "1 NOTE \xF0\x9D\x84\x9E clef\n";
    const QString crlf = QString(wide).replace("\n", "\r\n");
    const QString cr = QString(wide).replace("\n", "\r");
    QTest::newRow("UTF-16 LE, CR LF") << Utf16(crlf, false) << int{kUtf16Row} << wideExpected << QStringList{};
    QTest::newRow("UTF-16 BE, CR only") << Utf16(cr, true) << int{kUtf16Row} << wideExpected << QStringList{};
    QTest::newRow("Latin-1, UTF-8 chosen, CR only")
        << QString(text).replace("\n", "\r").toLatin1() << int{kUtf8Row} << expected << QStringList{};

    // A fold that no TYPE line closes keeps the rest of the file; a
    // replacement line stays with @I2@, where the note was.
    QTest::newRow("unclosed fold")
        << Lines({"0 @I1@ INDI", "1 PROP", "1 BIRT", "0 @I2@ INDI", "1 NOTE DELETE: secret", "2 CONT more",
                  "1 NAME B", "0 TRLR"})
        << int{kUtf8Row}
        << Lines({"0 @I1@ INDI", "1 PROP", "1 BIRT", "0 @I2@ INDI", kReplacement.constData(), "1 NAME B", "0 TRLR"})
        << QStringList{};
  }

  void runs() {
    QFETCH(QByteArray, input);
    QFETCH(int, encoding);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, malformed);
    MainWindow().PumEncoding()->SetListIndex(encoding);
    Script script;
    RunOnce(script, input);
    QCOMPARE(ReadFile(Path("out.ged")), expected);
    QCOMPARE(Shown(script.dialogs.Messages()), Shown(malformed + QStringList{kSuccess}));
    QStringList progress(malformed.size(), "shown");
    QCOMPARE(Shown(script.progressAtMessage), Shown(progress << "none"));
    QCOMPARE(counter_.shows, 1);
    QCOMPARE(ProgressState(), QString("none"));
  }

  // The marker and the decoding are taken once, when the run starts.
  void markerAndEncodingAreReadOnce() {
    Window1& w = MainWindow();
    w.EdfDelNotes()->SetText("PRIV");
    w.ChkNoteReplace()->SetValue(false);
    const QString input = QStringLiteral("1 NOTE PRIV one\nJUNK\n1 NOTE PRIV two\n1 NOTE (DEL) three\n1 NOTE OTHER Zoë\n");
    Script script;
    script.reaction = [&w](const std::string& text) {
      if (text.find("JUNK") == std::string::npos) return;
      w.EdfDelNotes()->SetText("OTHER");
      w.PumDelNotes()->SetListIndex(1);
      w.PumEncoding()->SetListIndex(kUtf16Row);
    };
    RunOnce(script, input.toUtf8());
    QCOMPARE(ReadFile(Path("out.ged")), Lines({"1 NOTE (DEL) three", "1 NOTE OTHER Zoë"}));
    // The next run takes the values that the controls hold now.
    RunOnce(script, Utf16(input, false));
    QCOMPARE(ReadFile(Path("out.ged")), Lines({"1 NOTE PRIV one", "1 NOTE PRIV two", "1 NOTE OTHER Zoë"}));
    const QString junk = "Error in this line: JUNK";
    QCOMPARE(Shown(script.dialogs.Messages()), Shown(QStringList{junk, kSuccess, junk, kSuccess}));
  }

  void optionsAreReadForEveryLine_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ChkChange01 checked") << "ChkChange01"
                                         << Lines({"1 MISS a", "1 SSN t", "1 EVEN b", "1 SSN u"});
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
    QCOMPARE(Shown(script.dialogs.Messages()), Shown(QStringList{"Error in this line: JUNK", kSuccess}));
  }

  void proposedName_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("already prefixed") << "md_in.ged" << "md_md_in.ged";
    QTest::newRow("blanks and accents") << "Família Zoë.GED" << "md_Família Zoë.GED";
  }

  void proposedName() {
    QFETCH(QString, input);
    QFETCH(QString, proposed);
    Script script;
    RunOnce(script, Lines({"0 HEAD"}), input);
    QCOMPARE(Shown(script.dialogs.ProposedSaveNames()), Shown(QStringList{proposed}));
    QCOMPARE(Shown(script.dialogs.Messages()), Shown(QStringList{kSuccess}));
  }

  void writeFailure_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("big");
    QTest::addColumn<qulonglong>("limit");
    QTest::newRow("mid-run, existing target") << "out.ged" << true << qulonglong{1000};
    QTest::newRow("mid-run, the input as target") << "in.ged" << true << qulonglong{1000};
    QTest::newRow("at the close") << "out.ged" << false << qulonglong{10};
  }

  void writeFailure() {
    QFETCH(QString, target);
    QFETCH(bool, big);
    QFETCH(qulonglong, limit);
    const BigFile bigFile;
    const QByteArray input = big ? bigFile.input : Lines({"0 HEAD", "1 NOTE DELETE: x", "0 TRLR"});
    const QByteArray output = big ? bigFile.output : Lines({"0 HEAD", kReplacement.constData(), "0 TRLR"});
    QVERIFY(WriteFile(Path("in.ged"), input));
    if (target != "in.ged") QVERIFY(WriteFile(Path(target), "0 HEAD\n1 NOTE an older copy\n0 TRLR\n"));
    const QByteArray targetBefore = ReadFile(Path(target));
    const QStringList before = Listing();

    Script script;
    fw::testing::SetWriteFailureAfter(static_cast<std::size_t>(limit), ENOSPC);
    RunOnce(script, input, "in.ged", target);
    fw::testing::ClearWriteFailure();

    QCOMPARE(script.dialogs.Messages().size(), std::size_t{1});
    const QString report = QString::fromStdString(script.dialogs.Messages().front());
    QVERIFY2(report.contains("IOException"), qPrintable(report));
    QVERIFY2(report.contains("No space left on device"), qPrintable(report));
    QVERIFY2(report.contains("28"), qPrintable(report));
    QCOMPARE(Shown(script.progressAtMessage), Shown(QStringList{"none"}));
    QCOMPARE(ProgressState(), QString("none"));
    QCOMPARE(counter_.shows, 1);
    QCOMPARE(Listing(), before);
    QCOMPARE(ReadFile(Path(target)), targetBefore);
    QCOMPARE(ReadFile(Path("in.ged")), input);

    // With the disk writable again, the same run succeeds.
    RunOnce(script, input, "in.ged", target);
    QCOMPARE(script.dialogs.Messages().back(), kSuccess.toStdString());
    QVERIFY(ReadFile(Path(target)) == output);
    QCOMPARE(counter_.shows, 2);
    QCOMPARE(ProgressState(), QString("none"));
  }

  // Bigger than the buffers: the input must be read whole before the target
  // replaces it.
  void inputAsItsOwnOutput() {
    const BigFile bigFile;
    Script script;
    RunOnce(script, bigFile.input, "in.ged", "in.ged");
    QCOMPARE(Shown(script.dialogs.Messages()), Shown(QStringList{kSuccess}));
    QVERIFY2(ReadFile(Path("in.ged")) == bigFile.output, "the copy is not the complete modified input");
    QCOMPARE(Listing(), QStringList{"in.ged"});
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
