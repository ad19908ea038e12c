// The Modify command end to end: real files in a fresh folder, the options set
// through the main window's controls, the button pressed through its control
// (so that a failure travels the same way as in the application), the dialogs
// answered and the messages collected by a script.

#include <QDir>
#include <QFile>
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimer>
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
#include "shell_support.h"

namespace {

const QString kSuccess = QStringLiteral("GEDCOM file successfully modified.");
const QByteArray kReplacement = "1 NOTE Additional private data on file!";

// Rows of the pop-up menus, as the main window lists them.
enum TagRow { kEVEN = 0, kMISE = 1, kMISS = 2, kPROP = 3, kSSN = 4 };
enum EncodingRow { kUtf8Row = 0, kUtf16Row = 1 };

Window1& MainWindow() { return *fw::CheckNil(Window1::instance()); }

// Each text followed by one LF: the form in which the command writes lines.
QByteArray Lines(std::initializer_list<QByteArray> lines) {
  QByteArray bytes;
  for (const QByteArray& line : lines) bytes += line + '\n';
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
  fw::Window* progress = fw::GetImplicitWindow(WndWorking::kClassName);
  if (progress == nullptr) return "none";
  if (!progress->IsOpen() || progress->widget() == nullptr || !progress->widget()->isVisible()) return "hidden";
  if (progress->widget()->parentWidget() != MainWindow().widget()) return "shown outside the main window";
  return "shown";
}

// UTF-16 code units of `text` after a byte-order mark, in the given byte order.
QByteArray Utf16(const QString& text, bool bigEndian) {
  return QStringEncoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                        QStringConverter::Flag::WriteBom)(text);
}

// A file bigger than the streams' buffers (about 1.3 MB), and what the command
// makes of it with the options of init() (note removal with "DELETE:", replace
// mode): every third line is a marked note's.
struct BigFile {
  QByteArray input, output;
  BigFile() {
    for (int i = 0; i < 20000; ++i) {
      const QByteArray n = QByteArray::number(i);
      const QByteArray kept = "0 @I" + n + "@ INDI\n1 NAME Person" + n + " /Family/\n";
      input += kept + "1 NOTE DELETE: secret " + n + "\n2 CONT more " + n + "\n";
      output += kept + kReplacement + "\n";
    }
  }
};
const BigFile& Big() {
  static const BigFile big;
  return big;
}

// Counts the times that a window is shown within the main window: the
// progress window is the only one the command shows so (the message boxes are
// scripted). Its construction may show it on its own first; that is counted
// apart, with any other window shown on its own.
class ShowCounter : public QObject {
 public:
  int shows = 0;
  int alone = 0;
  bool eventFilter(QObject* receiver, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (event->type() != QEvent::Show || widget == nullptr || !widget->isWindow()) return false;
    if (widget->parentWidget() == nullptr) {
      ++alone;
    } else {
      shows += widget->parentWidget() == MainWindow().widget();
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

  // The button pressed, the dialogs answered with files in the test folder (no
  // name: cancelled).
  void Run(Script& script, const QString& open, const QString& save) {
    script.dialogs.QueueOpen(open.isEmpty() ? std::nullopt : std::optional(Item(Path(open))));
    script.dialogs.QueueSave(save.isEmpty() ? std::nullopt : std::optional(Item(Path(save))));
    fw::CheckNil(MainWindow().BtnModify())->Push();
  }

  // One run over `input` (written to the input file) into `output`.
  void RunOnce(Script& script, const QByteArray& input, const QString& inputName = "in.ged",
               const QString& output = "out.ged") {
    QVERIFY(WriteFile(Path(inputName), input));
    Run(script, inputName, output);
  }

  // The messages shown, in order, the progress window's state under each, and
  // the times it was shown.
  void Expect(const Script& script, const QStringList& messages, const QStringList& progress, int shows) {
    QCOMPARE(Shown(script.dialogs.Messages()), Shown(messages));
    QCOMPARE(Shown(script.progressAtMessage), Shown(progress));
    QCOMPARE(counter_.shows, shows);
  }

 private slots:
  void initTestCase() {
    QVERIFY(MainWindow().widget()->isVisible());
    QCoreApplication::instance()->installEventFilter(&counter_);
  }

  // The main window's starting options, except that both renamings are on and
  // the encoding is UTF-8.
  void init() {
    fw::testing::ClearWriteFailure();
    // Windows closed by an earlier test go now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(fw::GetImplicitWindow(WndWorking::kClassName) == nullptr);
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    Window1& w = MainWindow();
    w.chkDelNotes()->SetValue(true);
    w.PumDelNotes()->SetListIndex(0);
    w.EdfDelNotes()->SetText("DELETE:");
    w.ChkNoteReplace()->SetValue(true);
    w.ChkChange01()->SetValue(true);
    w.PumChange01_Org()->SetListIndex(kMISS);
    w.PumChange01_New()->SetListIndex(kEVEN);
    w.ChkChange02()->SetValue(true);
    w.PumChange02_Org()->SetListIndex(kMISE);
    w.PumChange02_New()->SetListIndex(kPROP);
    w.ChkConvertMS4to6()->SetValue(true);
    w.PumEncoding()->SetListIndex(kUtf8Row);
    counter_.shows = 0;
    counter_.alone = 0;
  }

  void numberedErrors_data() {
    // Names in the test folder; an empty name answers the dialog as cancelled.
    QTest::addColumn<QString>("open");
    QTest::addColumn<QString>("save");
    QTest::addColumn<QString>("message");
    QTest::newRow("01 open cancelled") << "" << "out.ged" << "Error 01: Can't assign file reference!";
    QTest::newRow("02 input is a folder") << "folder" << "out.ged" << "Error 02: Can't open stream!";
    QTest::newRow("03 save cancelled") << "in.ged" << "" << "Error 03: Can't assign file reference!";
    QTest::newRow("04 target in a missing folder") << "in.ged" << "absent/out.ged" << "Error 04: Can't create stream!";
    QTest::newRow("04 the input as target") << "in.ged" << "in.ged" << "Error 04: Can't create stream!";
  }

  void numberedErrors() {
    QFETCH(QString, open);
    QFETCH(QString, save);
    QFETCH(QString, message);
    const QByteArray input = Lines({"0 HEAD", "JUNK", "0 TRLR"});
    QVERIFY(WriteFile(Path("in.ged"), input));
    QVERIFY(QDir(dir_->path()).mkdir("folder"));
    const QStringList before = Listing();
    const std::size_t windowsBefore = fw::AllWindows().size();

    Script script;
    // After 01 and 02 the save answer must never be asked for, nor a name proposed.
    Run(script, open, save);

    Expect(script, {message}, {"none"}, 0);
    const QStringList proposed = open == "in.ged" ? QStringList{"md_in.ged"} : QStringList{};
    QCOMPARE(Shown(script.dialogs.ProposedSaveNames()), Shown(proposed));
    QCOMPARE(script.dialogs.OpenRequests(), 1);
    QCOMPARE(fw::AllWindows().size(), windowsBefore);
    QCOMPARE(Listing(), before);
    QCOMPARE(ReadFile(Path("in.ged")), input);
  }

  // Complete runs: what is written, and the messages shown on the way (each
  // malformed line reported under the progress window, success after it).
  // Inputs with a byte-order mark are read with UTF-16 chosen, the others with
  // UTF-8.
  void runs_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QStringList>("malformed");
    const QStringList none;
    // Marked notes go wherever the marker stands; the one inside the fold is
    // written before the folded line.
    QTest::newRow("happy path")
        << Lines({"0 HEAD", "1 CHAR UTF-8", "0 @N1@ NOTE DELETE: a note record is no note line", "1 CONT kept",
                  "0 @I1@ INDI", "1 NAME Zoë /Müller/", "1 NOTE DELETE: lives at 12 Elm St", "2 CONT phone 555-1234",
                  "2 CONC 5678", "1 NOTE Public remark", "2 CONT continued", "2 CONC here",
                  "1 NOTE see DELETE: the marker need not lead", "3 CONT at any level", "1 MISS 1901", "1 MISE Gift",
                  "1 SSN", "2 DATE 1990", "1 NOTE DELETE: in a fold", "2 PLAC Here  There", "2 TYPE abc", "1 prop",
                  "2 type Residence", "  1 NOTE spaced   inside  ", "2 CONC wrapped at a blank ", "2 CONC here",
                  "1 NOTE DELETE: broken off", "<div>text after a stray line end", "2 CONC more of it", "0 TRLR"})
        << Lines({"0 HEAD", "1 CHAR UTF-8", "0 @N1@ NOTE DELETE: a note record is no note line", "1 CONT kept",
                  "0 @I1@ INDI", "1 NAME Zoë /Müller/", kReplacement, "1 NOTE Public remark", "2 CONT continued",
                  "2 CONC here", kReplacement, "1 EVEN 1901", "1 PROP Gift", kReplacement,
                  "1 SSN [DATE:1990] [PLAC:Here  There] abc", "1 PROP Residence", "1 NOTE spaced   inside  ",
                  "2 CONC wrapped at a blank ", "2 CONC here", kReplacement, "0 TRLR"})
        << none;
    QTest::newRow("empty file") << QByteArray() << QByteArray() << none;
    QTest::newRow("three malformed lines")
        << Lines({"0 HEAD", "JUNK1", "1 NAME A", "  junk-two\t ", "1 NAME B", "three", "0 TRLR"})
        << Lines({"0 HEAD", "1 NAME A", "1 NAME B", "1 CHAR UTF-8", "0 TRLR"})
        << QStringList{"Error in this line: JUNK1", "Error in this line: junk-two", "Error in this line: three"};

    // Decodings and line ends. Representable in Latin-1, but for the line with
    // a character outside the Basic Multilingual Plane (a surrogate pair).
    const QString text = QStringLiteral("0 HEAD\n1 NAME Zoë /Müller/\n1 NOTE DELETE: privé\n2 CONT à côté\n"
                                        "1 PLAC Göteborg\n0 TRLR\n");
    const QByteArray expected =
      Lines({"0 HEAD", "1 NAME Zoë /Müller/", kReplacement, "1 PLAC Göteborg", "1 CHAR UTF-8", "0 TRLR"});
    const QString wide = text + QStringLiteral("1 NOTE \U0001D11E clef\n");
    const QByteArray wideExpected = expected + "1 NOTE \xF0\x9D\x84\x9E clef\n";
    QTest::newRow("UTF-16 LE, CR LF") << Utf16(QString(wide).replace("\n", "\r\n"), false) << wideExpected << none;

    QTest::newRow("ANSEL") << QByteArray("0 HEAD\r\n1 CHAR ANSEL\r\n0 @I1@ INDI\r\n1 NAME M\xE8uller /Br\xB2" "d/\r\n")
                           << Lines({"0 HEAD", "1 CHAR UTF-8", "0 @I1@ INDI", "1 NAME Müller /Brød/"}) << none;

    // A fold that no TYPE line closes keeps the rest of the file; a
    // replacement line stays with @I2@, where the note was.
    QTest::newRow("unclosed fold")
        << Lines({"0 @I1@ INDI", "1 PROP", "1 BIRT", "0 @I2@ INDI", "1 NOTE DELETE: secret", "2 CONT more",
                  "1 NAME B", "0 TRLR"})
        << Lines({"0 @I1@ INDI", "1 PROP", "1 BIRT", "0 @I2@ INDI", kReplacement, "1 NAME B", "0 TRLR"}) << none;
  }

  void runs() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, malformed);
    const bool bom = input.startsWith("\xFF\xFE") || input.startsWith("\xFE\xFF");
    MainWindow().PumEncoding()->SetListIndex(bom ? kUtf16Row : kUtf8Row);
    // The name has blanks, accents and the prefix already: the prefix goes
    // before it once more.
    const QString name = QStringLiteral("md_Família Zoë.GED");
    Script script;
    RunOnce(script, input, name);
    QCOMPARE(ReadFile(Path("out.ged")), expected);
    Expect(script, malformed + QStringList{kSuccess}, QStringList(malformed.size(), "shown") << "none", 1);
    QCOMPARE(ProgressState(), QString("none"));
    QCOMPARE(Shown(script.dialogs.ProposedSaveNames()), Shown(QStringList{"md_" + name}));
    QCOMPARE(ReadFile(Path(name)), input);
    QCOMPARE(Listing(), (QStringList{name, "out.ged"}));
  }

  // The file's own first bytes decide its decoding over the pop-up menu: with
  // either choice, every file gives the same complete copy, whose header
  // names UTF-8.
  void fileDecidesItsDecoding_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("chosen");
    const QString text = QStringLiteral("0 HEAD\n1 CHAR UNICODE\n0 @I1@ INDI\n1 NAME Zoë /Müller/\n"
                                        "1 NOTE DELETE: lives at 12 Elm St\n2 CONT phone 555-1234\n0 TRLR\n");
    QTest::newRow("UTF-8, starting values") << text.toUtf8() << int{kUtf16Row};
    QTest::newRow("UTF-8, UTF-8 chosen") << text.toUtf8() << int{kUtf8Row};
    QTest::newRow("UTF-16 little-endian, UTF-8 chosen") << Utf16(text, false) << int{kUtf8Row};
    QTest::newRow("UTF-16 big-endian, UTF-8 chosen") << Utf16(text, true) << int{kUtf8Row};
    QTest::newRow("UTF-16 without a mark, UTF-8 chosen") << Utf16(text, false).mid(2) << int{kUtf8Row};
  }

  void fileDecidesItsDecoding() {
    QFETCH(QByteArray, input);
    QFETCH(int, chosen);
    MainWindow().PumEncoding()->SetListIndex(chosen);
    Script script;
    RunOnce(script, input);
    QCOMPARE(ReadFile(Path("out.ged")), Lines({"0 HEAD", "1 CHAR UTF-8", "0 @I1@ INDI", "1 NAME Zoë /Müller/",
                                               kReplacement, "0 TRLR"}));
    Expect(script, {kSuccess}, {"none"}, 1);
  }

  // A malformed line of any length gives a box that comes up at once and fits
  // on the screen: it shows the line's first 200 characters, whole.
  void longMalformedLines() {
    const QByteArray e = "\xC3\xA9";  // two bytes of UTF-8
    const QString prefix = QStringLiteral("Error in this line: ");
    const QString shown200 = prefix + QString(QChar(0xE9)).repeated(200);
    Script script;
    script.dialogs.ShowMessagesOnScreen(true);
    QStringList boxTexts;
    QList<QSize> boxSizes;
    bool fits = true;  // the box on the screen, its text and button within it
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
      for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (box == nullptr || !box->isVisible()) continue;
        // The box may show the text broken into rows; the text is the message.
        boxTexts << box->text().remove(QLatin1Char('\n'));
        boxSizes << box->frameGeometry().size();
        // Every row of the text is wide enough to be read whole.
        const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        fits &= label != nullptr && label->minimumSizeHint().width() <= label->width();
        const QAbstractButton* ok = box->button(QMessageBox::Ok);
        fits &= ok != nullptr && box->rect().contains(QRect(ok->mapTo(box, QPoint()), ok->size()));
        box->accept();
      }
    });
    poll.start(5);
    RunOnce(script, Lines({e.repeated(200), e.repeated(201), e.repeated(2'500'000), "0 TRLR"}));
    poll.stop();

    const QStringList expected{shown200, shown200 + QStringLiteral(" \u2026"), shown200 + QStringLiteral(" \u2026"),
                               kSuccess};
    QCOMPARE(Shown(script.dialogs.Messages()), Shown(expected));
    QCOMPARE(Shown(boxTexts), Shown(expected));
    QCOMPARE(ReadFile(Path("out.ged")), Lines({"0 TRLR"}));
    for (const QSize& size : boxSizes) QVERIFY2(size.width() <= 1024 && size.height() <= 768, qPrintable(QString("%1x%2").arg(size.width()).arg(size.height())));
    QVERIFY(fits);
  }

  // The marker and the decoding are taken once, when the run starts; the other
  // options are asked for line by line. All change while a message is up.
  // The user closes the progress window during a run: the run goes on, and
  // no progress window is made again at its end only to be closed.
  void progressWindowClosedDuringARun() {
    Script script;
    script.reaction = [](const std::string&) {
      if (fw::Window* progress = fw::GetImplicitWindow(WndWorking::kClassName)) progress->widget()->close();
    };
    RunOnce(script, Lines({"JUNK", "1 NAME a"}));
    QCOMPARE(ReadFile(Path("out.ged")), Lines({"1 NAME a"}));
    Expect(script, {"Error in this line: JUNK", kSuccess}, {"shown", "none"}, 1);
    QCOMPARE(counter_.alone, 1);  // the progress window's own first showing
  }

  void optionsChangedDuringARun() {
    MainWindow().EdfDelNotes()->SetText("PRIV");
    MainWindow().ChkNoteReplace()->SetValue(false);
    const QString input = QStringLiteral("1 NOTE PRIV one\n1 MISS a\n1 SSN\n2 TYPE t\nJUNK\n1 NOTE PRIV two\n"
                                         "1 NOTE (DEL) three\n1 NOTE OTHER Zoë\n1 MISS b\n1 SSN\n2 TYPE u\n");
    Script script;
    script.reaction = [](const std::string&) {
      Window1& w = MainWindow();
      w.EdfDelNotes()->SetText("OTHER");
      w.PumDelNotes()->SetListIndex(1);
      w.PumEncoding()->SetListIndex(kUtf16Row);
      w.ChkChange01()->SetValue(false);
      w.ChkConvertMS4to6()->SetValue(false);
    };
    RunOnce(script, input.toUtf8());
    QCOMPARE(ReadFile(Path("out.ged")), Lines({"1 EVEN a", "1 SSN t", "1 NOTE (DEL) three", "1 NOTE OTHER Zoë",
                                               "1 MISS b", "1 SSN", "2 TYPE u"}));
    // The next run takes the values that the controls hold now.
    script.reaction = nullptr;
    RunOnce(script, Utf16(input, false));
    QCOMPARE(ReadFile(Path("out.ged")), Lines({"1 NOTE PRIV one", "1 MISS a", "1 SSN", "2 TYPE t", "1 NOTE PRIV two",
                                               "1 NOTE OTHER Zoë", "1 MISS b", "1 SSN", "2 TYPE u"}));
    const QString junk = "Error in this line: JUNK";
    Expect(script, {junk, kSuccess, junk, kSuccess}, {"shown", "none", "shown", "none"}, 2);
  }

  // A full disk mid-run and at the close, where the last buffer goes out.
  void writeFailure_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<qulonglong>("limit");
    QTest::newRow("mid-run, existing target") << "out.ged" << qulonglong{1000};
    QTest::newRow("at the close") << "out.ged" << static_cast<qulonglong>(Big().output.size() - 10);
  }

  void writeFailure() {
    QFETCH(QString, target);
    QFETCH(qulonglong, limit);
    const QByteArray& input = Big().input;
    QVERIFY(WriteFile(Path("in.ged"), input));
    QVERIFY(WriteFile(Path(target), "0 HEAD\n1 NOTE an older copy\n0 TRLR\n"));
    const QByteArray targetBefore = ReadFile(Path(target));
    const QStringList before = Listing();

    Script script;
    fw::testing::SetWriteFailureAfter(static_cast<std::size_t>(limit), ENOSPC);
    Run(script, "in.ged", target);
    fw::testing::ClearWriteFailure();

    QCOMPARE(script.dialogs.Messages().size(), std::size_t{1});
    const QString report = QString::fromStdString(script.dialogs.Messages().front());
    QVERIFY2(report.contains("IOException") && report.contains("No space left on device") && report.contains("28"),
             qPrintable(report));
    QCOMPARE(Shown(script.progressAtMessage), Shown(QStringList{"none"}));
    QCOMPARE(ProgressState(), QString("none"));
    QCOMPARE(counter_.shows, 1);
    QCOMPARE(Listing(), before);
    QCOMPARE(ReadFile(Path(target)), targetBefore);
    QCOMPARE(ReadFile(Path("in.ged")), input);

    // With the disk writable again, the same run succeeds and leaves no
    // temporary file.
    Run(script, "in.ged", target);
    QCOMPARE(script.dialogs.Messages().back(), kSuccess.toStdString());
    QVERIFY2(ReadFile(Path(target)) == Big().output, "the copy is not the complete modified input");
    QCOMPARE(counter_.shows, 2);
    QCOMPARE(Listing(), before);
  }
};

// The application is started as the program starts it: the runtime first,
// then the start-up routine that makes the application object and the main
// window. The event loop is not run: the command runs inside the button's
// Action, which the tests raise themselves.
int main(int argc, char** argv) {
  shelltest::StartShell();
  const int failures = [&] {
    ModifyCommandTest test;
    return QTest::qExec(&test, argc, argv);
  }();
  shelltest::EndShell();
  return failures;
}

#include "modify_command_qtest.moc"
