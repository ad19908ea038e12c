// Reading lines: decoding, line ends, read-buffer boundaries and failures.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/exceptions.h"
#include "framework/text_stream.h"
#include "framework/text_stream_testing.h"
#include "test_files.h"

using namespace std::string_literals;
using fw::TextEncoding;
using test_files::TempFolder;
using Lines = std::vector<std::string>;

namespace {

constexpr std::size_t kBoundary = fw::testing::kInputReadBytes;
constexpr TextEncoding U8 = TextEncoding::UTF8;
constexpr TextEncoding U16 = TextEncoding::UTF16;
const std::string kReplacement = "\xEF\xBF\xBD";

// UTF-16 bytes of `units`, by default little-endian with a byte-order mark.
std::string Utf16(std::u16string_view units, bool bigEndian = false, bool mark = true) {
  std::string bytes;
  for (char16_t unit : (mark ? u"\uFEFF" : u"") + std::u16string(units)) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

std::unique_ptr<fw::TextInputStream> Open(const std::filesystem::path& path, TextEncoding encoding) {
  auto stream = fw::TextInputStream::Open(fw::FolderItem(path));
  if (stream) stream->SetEncoding(encoding);
  return stream;
}

// Reads the file three ways: in spans of lines, as the rewrite loop does;
// line by line with Eof before each line; with ReadLine alone.
void ExpectLines(const std::string& bytes, TextEncoding encoding, const Lines& expected) {
  TempFolder folder;
  test_files::WriteBytes(folder / "in.ged", bytes);
  for (const char* way : {"spans", "Eof before each line", "ReadLine alone"}) {
    SCOPED_TRACE(way);
    auto stream = Open(folder / "in.ged", encoding);
    ASSERT_NE(stream, nullptr);
    Lines got;
    if (way == std::string_view("spans")) {
      for (std::string_view span = stream->ReadLines().view(); !span.empty(); span = stream->ReadLines().view()) {
        ASSERT_EQ(span.back(), '\n');
        for (std::size_t lf = span.find('\n'); lf != std::string_view::npos; lf = span.find('\n')) {
          got.emplace_back(span.substr(0, lf));
          span.remove_prefix(lf + 1);
        }
      }
    } else if (way == std::string_view("Eof before each line")) {
      while (!stream->Eof()) got.emplace_back(stream->ReadLineView());
    } else {
      while (got.size() < expected.size()) got.push_back(stream->ReadLine());
    }
    // Past the end there is nothing more, however often one asks.
    EXPECT_TRUE(stream->Eof());
    EXPECT_EQ(stream->ReadLine(), "");
    EXPECT_TRUE(stream->ReadLines().empty());
    EXPECT_TRUE(stream->Eof());
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      // A failing megabyte line isn't printed.
      EXPECT_TRUE(got[i] == expected[i]) << "line " << i << ", " << got[i].size() << " bytes"
                                         << (got[i].size() < 200 ? ": [" + got[i] + "]" : "");
    }
  }
}

// Sequences that straddle the first read's end must come out as if the file
// had been read in one piece. UTF-16: the mark takes 2 bytes, so code unit k
// sits at byte 2 + 2k.
const std::string kFill(kBoundary - 1, 'x');
const std::u16string kFill16(kBoundary / 2 - 2, u'x');
const std::string kFill16Utf8(kBoundary / 2 - 2, 'x');

struct DecodingCase { const char* name; std::string bytes; TextEncoding encoding; Lines lines; };
const DecodingCase kDecodingCases[] = {
    // Line ends.
    {"LineEnds", " a\0\t\nb\r\nc\rd\n\re\r\r\n\r"s, U8, {" a\0\t"s, "b", "c", "d", "", "e", "", ""}},  // blanks and NUL kept

    // UTF-8 and its byte-order mark.
    {"Utf8Bom", "\xEF\xBB\xBF" "0 HEAD\r\n1 CHAR UTF-8\r\n", U8, {"0 HEAD", "1 CHAR UTF-8"}},
    {"OnlyBom", "\xEF\xBB\xBF", U8, {}},
    {"BomLaterIsText", "a\n\xEF\xBB\xBF" "b", U8, {"a", "\xEF\xBB\xBF" "b"}},
    {"TwoBytesOfBom", "\xEF\xBB", U8, {"\xC3\xAF\xC2\xBB"}},
    {"WellFormedUnchanged", "Jos\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF\xED\x9F\xBF\xEE\x80\x80\n",
     U8, {"Jos\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF\xED\x9F\xBF\xEE\x80\x80"}},

    // Bytes that are not UTF-8 are Windows-1252; its five undefined bytes are the C1 controls.
    {"Windows1252", "\x80\x8A\x9F\x96\x85\x81\x8D\x8F\x90\x9D", U8,
     {"\xE2\x82\xAC\xC5\xA0\xC5\xB8\xE2\x80\x93\xE2\x80\xA6\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"}},
    {"MixedInOneLine", "M\xC3\xBCller M\xFCller \xA0\xFF", U8, {"M\xC3\xBCller M\xC3\xBCller \xC2\xA0\xC3\xBF"}},
    {"TruncatedAtLineEnd", "ab\xC3\r\nc\xE2\x82\nd", U8, {"ab\xC3\x83", "c\xC3\xA2\xE2\x80\x9A", "d"}},
    // Overlong forms, an encoded surrogate, codes above U+10FFFF.
    {"SecondByteOutOfRange", "\xC0\xAF|\xE0\x80\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|\xF5", U8,
     {"\xC3\x80\xC2\xAF|\xC3\xA0\xE2\x82\xAC\xC2\xAF|\xC3\xAD\xC2\xA0\xE2\x82\xAC|\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC|"
      "\xC3\xB5"}},

    // UTF-16.
    {"Utf16OnlyBom", "\xFF\xFE", U16, {}},
    {"Utf16OddFinalByte", Utf16(u"ab\n") + "c", U16, {"ab", kReplacement}},
    {"Utf16LoneHigh", Utf16(u"a\xD83D" u"b\n\xD83D\n\xD83D"), U16, {"a" + kReplacement + "b", kReplacement, kReplacement}},
    {"Utf16LoneLow", Utf16(u"a\xDE00" u"b\xDC00\xD800"), U16, {"a" + kReplacement + "b" + kReplacement + kReplacement}},
    {"Utf16HighThenByte", Utf16(u"a\xD83D") + "x", U16, {"a" + kReplacement + kReplacement}},

    // Across the read boundary.
    {"CrLfAcrossBoundary", kFill + "\r\nnext\n", U8, {kFill, "next"}},
    {"CrThenOtherLine", kFill + "\rnext", U8, {kFill, "next"}},
    {"CrAtFileEnd", kFill + "\r", U8, {kFill}},
    {"FourByteSequence", kFill.substr(2) + "\xF0\x9F\x98\x80\n", U8, {kFill.substr(2) + "\xF0\x9F\x98\x80"}},
    {"Utf16CrLf", Utf16(kFill16 + u"\r\nnext"), U16, {kFill16Utf8, "next"}},
    {"Utf16SurrogatePair", Utf16(kFill16 + u"\U0001F600\n"), U16, {kFill16Utf8 + "\xF0\x9F\x98\x80"}},
};

TEST(TextInputStreamTest, Decoding) {
  for (const DecodingCase& c : kDecodingCases) {
    SCOPED_TRACE(c.name);
    ExpectLines(c.bytes, c.encoding, c.lines);
  }
}

// The file's first bytes decide the decoding wherever they tell it; only the
// rest follows the caller's choice. The first line read under each choice
// (none for an empty file).
struct FirstBytesCase { const char* name; std::string bytes; Lines asUtf8; Lines asUtf16; };
const std::string kHead = "0 HEAD M\xC3\xBCller \xE2\x82\xAC";
const std::u16string kHead16 = u"0 HEAD M\u00FCller \u20AC\r\n1 CHAR x";
const FirstBytesCase kFirstBytesCases[] = {
    {"UTF-8 mark", "\xEF\xBB\xBF" + kHead + "\r\n1 NAME Jos\xE9", {kHead}, {kHead}},
    {"UTF-16 little-endian mark", Utf16(kHead16), {kHead}, {kHead}},
    {"UTF-16 big-endian mark", Utf16(kHead16, true), {kHead}, {kHead}},
    {"zero first byte: UTF-16 big-endian", Utf16(kHead16, true, false), {kHead}, {kHead}},
    {"zero second byte: UTF-16 little-endian", Utf16(kHead16, false, false), {kHead}, {kHead}},
    {"first byte below 0x80: UTF-8", "0 HEAD Jos\xE9 M\xC3\xBCller\n", {"0 HEAD Jos\xC3\xA9 M\xC3\xBCller"},
     {"0 HEAD Jos\xC3\xA9 M\xC3\xBCller"}},
    // What tells nothing: a high first byte beside a non-zero one, or a
    // single byte.
    {"high first byte", "\xE9t\xE9\n", {"\xC3\xA9t\xC3\xA9"}, {"\xE7\x93\xA9\xE0\xAB\xA9"}},
    {"one byte", "0", {"0"}, {kReplacement}},
    {"empty file", "", {}, {}},
};

TEST(TextInputStreamTest, FirstBytesDecideTheDecoding) {
  for (const FirstBytesCase& c : kFirstBytesCases) {
    for (const TextEncoding chosen : {U8, U16}) {
      SCOPED_TRACE(std::string(c.name) + (chosen == U8 ? ", UTF-8 chosen" : ", UTF-16 chosen"));
      TempFolder folder;
      test_files::WriteBytes(folder / "in.ged", c.bytes);
      auto stream = Open(folder / "in.ged", chosen);
      ASSERT_NE(stream, nullptr);
      Lines first;
      if (!stream->Eof()) first.push_back(stream->ReadLine());
      EXPECT_EQ(first, chosen == U8 ? c.asUtf8 : c.asUtf16);
    }
  }
}

// A UTF-8 file whose header says CHAR ANSEL: bytes that are not well-formed
// UTF-8 are ANSEL, its accents put after their letters and composed. Each
// line is read twice, the second time as the file's last line, without an
// ending.
struct AnselCase { const char* name; std::string head; std::string line; std::string decoded; };
const std::string kAnselHead = "\xEF\xBB\xBF" "0 HEAD\r\n1 SOUR x\r\n1 char  ansel\r\n";
const AnselCase kAnselCases[] = {
    {"spacing characters, undefined ones as Windows-1252", kAnselHead, "Br\xB2" "derbund \xA1\xB8 \xB9\xC3\xCF \xBB\xFF",
     "Brøderbund Łı £©ß »ÿ"},
    {"an accent composed with its letter", kAnselHead, "M\xE8uller Dolor\xE1" "es", "Müller Dolorès"},
    {"two accents on one letter", kAnselHead, "\xF2\xE3" "a", "ậ"},
    {"an accent on an ANSEL letter", kAnselHead, "\xE2\xA2", "Ǿ"},
    {"an accent at the line's end", kAnselHead, "x\xE8", "x\xCC\x88"},
    {"well-formed UTF-8 stays", kAnselHead, "M\xC3\xBCller \xE8\xC3\xBC", "Müller ü\xCC\x88"},
    {"no declaration: Windows-1252", "0 HEAD\r\n1 CHAR ANSI\r\n", "M\xE8uller", "Mèuller"},
    {"declared outside the header", "1 CHAR ANSEL\n0 HEAD\n2 CHAR ANSEL\n0 @I1@ INDI\n1 CHAR ANSEL\n", "M\xE8uller",
     "Mèuller"},
    {"declared after the first 64 KiB", "0 HEAD\n1 NOTE " + std::string(64 * 1024, 'x') + "\n1 CHAR ANSEL\n", "M\xE8uller",
     "Mèuller"},
};

TEST(TextInputStreamTest, AnselFiles) {
  for (const AnselCase& c : kAnselCases) {
    SCOPED_TRACE(c.name);
    Lines lines;
    std::string_view head = c.head;
    if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
    for (std::size_t end = head.find('\n'); end != std::string_view::npos; end = head.find('\n')) {
      lines.emplace_back(head.substr(0, end - (end > 0 && head[end - 1] == '\r')));
      head.remove_prefix(end + 1);
    }
    lines.insert(lines.end(), {c.decoded, c.decoded});
    ExpectLines(c.head + c.line + "\n" + c.line, U8, lines);
  }
}

TEST(TextInputStreamTest, LinesLongerThanTheReadBuffer) {
  // Lengths that make the buffer grow several times, with non-ASCII text and
  // a stray Latin-1 byte at the far end of a line.
  Lines lines;
  std::string utf8;
  for (std::size_t length : {std::size_t{1} << 20, 3 * kBoundary + 7, std::size_t{5}, std::size_t{3} << 20}) {
    std::string line;
    while (line.size() < length) line += "2 CONT M\xC3\xBCller ";
    lines.push_back(line);
    utf8 += line + "\r\n";
  }
  utf8 += lines[0] + "\xE9";
  lines.push_back(lines[0] + "\xC3\xA9");
  ExpectLines(utf8, U8, lines);

  std::u16string units;
  std::string decoded;
  for (std::size_t i = 0; i < 2 * kBoundary; ++i) {
    units += (i % 7 == 0) ? u'\u00FC' : u'a';
    decoded += (i % 7 == 0) ? "\xC3\xBC" : "a";
  }
  ExpectLines(Utf16(units + u"\r\n" + units), U16, {decoded, decoded});
}

TEST(TextInputStreamTest, OpenFailureLateEncodingAndClose) {
  TempFolder folder;
  EXPECT_EQ(Open(folder / "missing.ged", U8), nullptr);
  EXPECT_EQ(Open(folder.path, U8), nullptr);
  test_files::WriteBytes(folder / "in.ged", "a\nb\n");
  auto stream = Open(folder / "in.ged", U8);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->ReadLine(), "a");
  // Switching the decoding in the middle would mix two decodings in one text.
  EXPECT_NO_THROW(stream->SetEncoding(U8));
  EXPECT_THROW(stream->SetEncoding(U16), fw::RuntimeException);
  stream->Close();
  EXPECT_TRUE(stream->Eof());
  EXPECT_EQ(stream->ReadLine(), "");
}

TEST(TextInputStreamTest, OnlyRegularFilesAreOpened) {
  // What Open is given (made in the folder); whether it reads the file's line
  // or gives no stream. Each Open runs in a child process: one that blocks,
  // as opening a FIFO that nobody writes to would, is ended by its alarm.
  struct Case { const char* name; std::function<std::filesystem::path(const TempFolder&)> make; bool read; } cases[] = {
      {"link to a regular file", [](const TempFolder& f) {
         test_files::WriteBytes(f / "tree.ged", "0 HEAD\n");
         std::filesystem::create_symlink("tree.ged", f / "link.ged");
         return f / "link.ged";
       }, true},
      {"link to a link to a regular file", [](const TempFolder& f) {
         test_files::WriteBytes(f / "tree.ged", "0 HEAD\n");
         std::filesystem::create_symlink(f / "tree.ged", f / "hop.ged");
         std::filesystem::create_symlink("hop.ged", f / "link.ged");
         return f / "link.ged";
       }, true},
      {"FIFO nobody writes to", [](const TempFolder& f) {
         EXPECT_EQ(::mkfifo((f / "fifo.ged").c_str(), 0644), 0);
         return f / "fifo.ged";
       }, false},
      {"link to a FIFO", [](const TempFolder& f) {
         EXPECT_EQ(::mkfifo((f / "fifo.ged").c_str(), 0644), 0);
         std::filesystem::create_symlink("fifo.ged", f / "link.ged");
         return f / "link.ged";
       }, false},
      {"folder", [](const TempFolder& f) { return f.path; }, false},
      {"device", [](const TempFolder&) { return std::filesystem::path("/dev/null"); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::filesystem::path path = c.make(folder);
    // 0: no stream; 1: the line read; 2: a stream that read something else.
    const pid_t child = test_files::StartChild([&] {
      auto stream = Open(path, U8);
      if (!stream) return 0;
      return !stream->Eof() && stream->ReadLine() == "0 HEAD" ? 1 : 2;
    });
    const int status = test_files::WaitForChild(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (c.read ? 1 : 0)) << test_files::StatusText(status);
  }
}

// A file changed while it is read gives a failure at the end, never a copy
// that is short or made of two versions. It changes after the first line is
// read, while the reading thread waits with the first few megabytes.
TEST(TextInputStreamTest, FileChangedWhileReadIsAFailure) {
  using Change = std::function<void(const std::filesystem::path&, off_t size)>;
  const Change laterModificationTime = [](const std::filesystem::path& path, off_t) {
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    const timespec times[2] = {status.st_atim, {status.st_mtim.tv_sec + 2, status.st_mtim.tv_nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  };
  const struct { const char* name; Change change; } changes[] = {
      {"cut short", [](const std::filesystem::path& path, off_t size) { ASSERT_EQ(::truncate(path.c_str(), size / 2), 0); }},
      {"emptied", [](const std::filesystem::path& path, off_t) { ASSERT_EQ(::truncate(path.c_str(), 0), 0); }},
      {"appended to", [](const std::filesystem::path& path, off_t) {
         std::ofstream(path, std::ios::binary | std::ios::app) << "1 NOTE added\n";
       }},
      {"rewritten in place", [&](const std::filesystem::path& path, off_t size) {
         std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
         file.seekp(size / 2);
         file << "1 NOTE rewritten";
         file.close();
         laterModificationTime(path, size);  // as a save a moment later leaves it
       }},
  };
  std::string text;
  while (text.size() < 16 * kBoundary) text += "1 NOTE " + std::string(60, 'x') + "\n";
  const std::u16string text16(text.begin(), text.end());
  for (const TextEncoding encoding : {U8, U16}) {
    for (const auto& c : changes) {
      SCOPED_TRACE(std::string(c.name) + (encoding == U8 ? ", UTF-8" : ", UTF-16"));
      TempFolder folder;
      const std::filesystem::path path = folder / "in.ged";
      const std::string bytes = encoding == U8 ? text : Utf16(text16);
      test_files::WriteBytes(path, bytes);
      auto stream = Open(path, encoding);
      ASSERT_NE(stream, nullptr);
      ASSERT_EQ(stream->ReadLine(), text.substr(0, text.find('\n')));
      c.change(path, static_cast<off_t>(bytes.size()));
      try {
        while (!stream->ReadLines().empty()) {
        }
        ADD_FAILURE() << "read to the end without a failure";
      } catch (const fw::IOException& e) {
        EXPECT_NE(std::string(e.what()).find(path.string() + "\" changed while it was read"), std::string::npos) << e.what();
      }
    }
  }
}

TEST(TextInputStreamTest, ReadFailureThrowsWithErrno) {
  // Reading this file at offset 0 fails with EIO: a real failing read(2).
  for (bool viaEof : {false, true}) {
    auto stream = Open("/proc/self/mem", U8);
    ASSERT_NE(stream, nullptr);
    test_files::ExpectIOException([&] { viaEof ? stream->Eof() : stream->ReadLine().empty(); }, EIO, "/proc/self/mem");
    // Asked again, it fails again rather than waiting for lines.
    test_files::ExpectIOException([&] { stream->ReadLines(); }, EIO, "/proc/self/mem");
  }
}

}  // namespace
