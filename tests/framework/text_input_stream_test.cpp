// Reading lines: decoding, line ends, read-buffer boundaries and failures.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
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

// UTF-16 bytes of `units`, optionally with a byte-order mark.
std::string Utf16(std::u16string_view units, bool bigEndian, bool mark) {
  std::string bytes;
  auto put = [&](char16_t unit) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  };
  if (mark) put(0xFEFF);
  for (char16_t unit : units) put(unit);
  return bytes;
}
std::string Le(std::u16string_view units, bool mark = true) { return Utf16(units, false, mark); }
std::string Be(std::u16string_view units, bool mark = true) { return Utf16(units, true, mark); }

// Two ways a caller walks a file; the second keeps each view until after the
// look-ahead of Eof(), which must not overwrite it.
enum class Walk { EofThenReadLine, ViewKeptAcrossEof };

Lines ReadAll(const std::filesystem::path& path, TextEncoding encoding, Walk walk) {
  auto stream = fw::TextInputStream::Open(fw::FolderItem(path));
  EXPECT_NE(stream, nullptr);
  if (!stream) return {};
  stream->SetEncoding(encoding);
  Lines lines;
  if (walk == Walk::EofThenReadLine) {
    while (!stream->Eof()) lines.push_back(stream->ReadLine());
  } else if (!stream->Eof()) {
    for (;;) {
      const std::string_view view = stream->ReadLineView();
      const bool atEnd = stream->Eof();
      lines.emplace_back(view);
      if (atEnd) break;
    }
  }
  // Past the end there is nothing more, however often one asks.
  EXPECT_TRUE(stream->Eof());
  EXPECT_EQ(stream->ReadLine(), "");
  EXPECT_TRUE(stream->Eof());
  return lines;
}

void ExpectLines(const std::string& bytes, TextEncoding encoding, const Lines& expected) {
  TempFolder folder;
  const auto path = folder / "in.ged";
  test_files::WriteBytes(path, bytes);
  for (Walk walk : {Walk::EofThenReadLine, Walk::ViewKeptAcrossEof}) {
    const Lines got = ReadAll(path, encoding, walk);
    EXPECT_EQ(got.size(), expected.size()) << "walk " << static_cast<int>(walk);
    for (std::size_t i = 0; i < std::min(got.size(), expected.size()); ++i) {
      // Compared by size first so that a failing megabyte line isn't printed.
      if (got[i].size() != expected[i].size()) {
        ADD_FAILURE() << "line " << i << ": " << got[i].size() << " bytes, expected " << expected[i].size()
                      << " (walk " << static_cast<int>(walk) << ")";
      } else if (got[i] != expected[i]) {
        const auto diff = std::mismatch(got[i].begin(), got[i].end(), expected[i].begin()).first - got[i].begin();
        ADD_FAILURE() << "line " << i << " differs at byte " << diff << " (walk " << static_cast<int>(walk) << ")"
                      << (got[i].size() < 200 ? ": [" + got[i] + "] expected [" + expected[i] + "]" : "");
      }
    }
  }
}

struct DecodingCase {
  const char* name;
  std::string bytes;
  TextEncoding encoding;
  Lines lines;
};

void PrintTo(const DecodingCase& c, std::ostream* os) { *os << c.name; }

class DecodingTest : public ::testing::TestWithParam<DecodingCase> {};

TEST_P(DecodingTest, GivesTheLines) { ExpectLines(GetParam().bytes, GetParam().encoding, GetParam().lines); }

constexpr TextEncoding U8 = TextEncoding::UTF8;
constexpr TextEncoding U16 = TextEncoding::UTF16;
const std::string kReplacement = "\xEF\xBF\xBD";

const DecodingCase kDecodingCases[] = {
    // Line ends.
    {"Empty", "", U8, {}},
    {"LineEnds", "a\nb\r\nc\rd", U8, {"a", "b", "c", "d"}},
    {"FinalLf", "a\nb\n", U8, {"a", "b"}},
    {"FinalCrLf", "a\r\nb\r\n", U8, {"a", "b"}},
    {"FinalCr", "a\rb\r", U8, {"a", "b"}},
    {"OnlyLf", "\n", U8, {""}},
    {"OnlyCrLf", "\r\n", U8, {""}},
    {"EmptyLines", "\n\n", U8, {"", ""}},
    {"CrCrLfCr", "\r\r\n\r", U8, {"", "", ""}},
    {"LfCrIsTwoEnds", "a\n\rb", U8, {"a", "", "b"}},
    {"NulKept", "a\0b\n"s, U8, {"a\0b"s}},
    {"BlanksKept", " 1 NAME x \t\n", U8, {" 1 NAME x \t"}},

    // UTF-8 and its byte-order mark.
    {"Utf8Bom", "\xEF\xBB\xBF" "0 HEAD\r\n1 CHAR UTF-8\r\n", U8, {"0 HEAD", "1 CHAR UTF-8"}},
    {"OnlyBom", "\xEF\xBB\xBF", U8, {}},
    {"BomAndLineEnd", "\xEF\xBB\xBF\n", U8, {""}},
    {"BomLaterIsText", "a\n\xEF\xBB\xBF" "b", U8, {"a", "\xEF\xBB\xBF" "b"}},
    {"TwoBytesOfBom", "\xEF\xBB", U8, {"\xC3\xAF\xC2\xBB"}},
    {"WellFormedUnchanged", "1 NAME Jos\xC3\xA9 /M\xC3\xBCller/ \xE2\x82\xAC \xF0\x9F\x98\x80\n", U8,
     {"1 NAME Jos\xC3\xA9 /M\xC3\xBCller/ \xE2\x82\xAC \xF0\x9F\x98\x80"}},
    {"LargestCodes", "\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF\xED\x9F\xBF\xEE\x80\x80", U8,
     {"\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF\xED\x9F\xBF\xEE\x80\x80"}},

    // Bytes that are not UTF-8 are Windows-1252.
    {"Latin1", "1 NAME Jos\xE9 /M\xFCller/\r\n2 PLAC K\xF8" "benhavn", U8,
     {"1 NAME Jos\xC3\xA9 /M\xC3\xBCller/", "2 PLAC K\xC3\xB8" "benhavn"}},
    {"Windows1252", "\x80\x8A\x9F\x96\x85", U8, {"\xE2\x82\xAC\xC5\xA0\xC5\xB8\xE2\x80\x93\xE2\x80\xA6"}},
    {"UndefinedFive", "\x81\x8D\x8F\x90\x9D", U8, {"\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"}},
    {"MixedInOneLine", "M\xC3\xBCller M\xFCller \xA0\xFF", U8, {"M\xC3\xBCller M\xC3\xBCller \xC2\xA0\xC3\xBF"}},
    {"TruncatedAtLineEnd", "ab\xC3\r\nc\xE2\x82\nd", U8, {"ab\xC3\x83", "c\xC3\xA2\xE2\x80\x9A", "d"}},
    {"TruncatedAtFileEnd", "x\xF0\x9F\x98", U8, {"x\xC3\xB0\xC5\xB8\xCB\x9C"}},
    {"Overlong", "\xC0\xAF|\xE0\x80\xAF|\xC1\xBF", U8,
     {"\xC3\x80\xC2\xAF|\xC3\xA0\xE2\x82\xAC\xC2\xAF|\xC3\x81\xC2\xBF"}},
    {"EncodedSurrogate", "\xED\xA0\x80", U8, {"\xC3\xAD\xC2\xA0\xE2\x82\xAC"}},
    {"AboveLastCode", "\xF4\x90\x80\x80|\xF5", U8, {"\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC|\xC3\xB5"}},
    {"LoneContinuation", "a\xA9" "b", U8, {"a\xC2\xA9" "b"}},

    // UTF-16.
    {"Utf16LeBom", Le(u"0 HEAD\r\n1 NAME M\u00FCller\u20AC\U0001F600\n"), U16,
     {"0 HEAD", "1 NAME M\xC3\xBCller\xE2\x82\xAC\xF0\x9F\x98\x80"}},
    {"Utf16BeBom", Be(u"0 HEAD\r\n1 NAME M\u00FCller\u20AC\U0001F600\n"), U16,
     {"0 HEAD", "1 NAME M\xC3\xBCller\xE2\x82\xAC\xF0\x9F\x98\x80"}},
    {"Utf16LeNoBom", Le(u"0 HEAD\r1 \u00E9", false), U16, {"0 HEAD", "1 \xC3\xA9"}},
    {"Utf16BeNoBom", Be(u"0 HEAD\r1 \u00E9", false), U16, {"0 HEAD", "1 \xC3\xA9"}},
    {"Utf16LongAsciiLines", Le(u"0 @I1@ INDI with a long line of text\r\n1 NAME Jos\u00E9 Maria /Garc\u00EDa/ y Lopez\r\n"),
     U16, {"0 @I1@ INDI with a long line of text", "1 NAME Jos\xC3\xA9 Maria /Garc\xC3\xAD" "a/ y Lopez"}},
    {"Utf16LineEnds", Le(u"a\rb\nc\r\nd\n\re"), U16, {"a", "b", "c", "d", "", "e"}},
    {"Utf16Empty", "", U16, {}},
    {"Utf16OnlyBom", "\xFF\xFE", U16, {}},
    {"Utf16OnlyBomAndLineEnd", Le(u"\r\n"), U16, {""}},
    {"Utf16OddFinalByte", Le(u"ab") + "c", U16, {"ab" + kReplacement}},
    {"Utf16OddFinalByteAfterLineEnd", Le(u"ab\n") + "c", U16, {"ab", kReplacement}},
    {"Utf16LoneByte", "a", U16, {kReplacement}},
    {"Utf16LoneHigh", Le(u"a\xD83D" u"b\n\xD83D\n\xD83D"), U16,
     {"a" + kReplacement + "b", kReplacement, kReplacement}},
    {"Utf16LoneLow", Le(u"a\xDE00" u"b\xDC00\xD800"), U16, {"a" + kReplacement + "b" + kReplacement + kReplacement}},
    {"Utf16HighThenByte", Le(u"a\xD83D") + "x", U16, {"a" + kReplacement + kReplacement}},
    {"Utf16NulKept", Le(u"a\0b"s), U16, {"a\0b"s}},
    // A UTF-8 file opened as UTF-16 is still read as the UTF-8 it says it is.
    {"Utf16ChosenOnUtf8Bom", "\xEF\xBB\xBF" "0 HEAD\r\n1 NAME M\xC3\xBCller\r\n1 NAME Jos\xE9\r\n", U16,
     {"0 HEAD", "1 NAME M\xC3\xBCller", "1 NAME Jos\xC3\xA9"}},
    {"Utf16ChosenOnOnlyUtf8Bom", "\xEF\xBB\xBF", U16, {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, DecodingTest, ::testing::ValuesIn(kDecodingCases),
                         [](const ::testing::TestParamInfo<DecodingCase>& param) { return param.param.name; });

TEST(TextInputStreamTest, EncodingReportsTheDecodingInUse) {
  TempFolder folder;
  struct Case {
    std::string bytes;
    TextEncoding chosen;
    TextEncoding inUse;
  } cases[] = {
      {"a\n", U8, U8},
      {Le(u"a\n"), U16, U16},
      {"\xEF\xBB\xBF" "a\n", U16, U8},
  };
  for (const Case& c : cases) {
    const auto path = folder / "in.ged";
    test_files::WriteBytes(path, c.bytes);
    auto stream = fw::TextInputStream::Open(fw::FolderItem(path));
    ASSERT_NE(stream, nullptr);
    stream->SetEncoding(c.chosen);
    EXPECT_EQ(stream->ReadLine(), "a");
    EXPECT_EQ(stream->Encoding(), c.inUse);
    // Switching the decoding in the middle would mix two decodings in one text.
    EXPECT_NO_THROW(stream->SetEncoding(c.chosen));
    EXPECT_THROW(stream->SetEncoding(c.chosen == U8 ? U16 : U8), fw::RuntimeException);
  }
}

// Sequences that straddle the first read's end must come out as if the file
// had been read in one piece, whichever way the caller walks it.
TEST(TextInputStreamTest, SequencesAcrossTheReadBoundary) {
  const std::string filler(kBoundary, 'x');
  // Short lines first, so that the boundary falls after many lines in the buffer.
  std::string shortLines;
  Lines shortExpected;
  for (int i = 0; shortLines.size() < kBoundary / 2; ++i) {
    shortExpected.push_back("1 NOTE line " + std::to_string(i));
    shortLines += shortExpected.back() + "\r\n";
  }
  const std::size_t fill = kBoundary - 1 - shortLines.size();  // puts the next byte at kBoundary - 1

  struct Case {
    const char* name;
    std::string bytes;
    TextEncoding encoding;
    Lines lines;
  };
  // ... then a line whose CR LF straddles the boundary.
  const std::string shortBytes = shortLines + std::string(fill, 'y') + "\r\nafter\r\n";
  Lines shortLinesThen = shortExpected;
  shortLinesThen.push_back(std::string(fill, 'y'));
  shortLinesThen.push_back("after");
  ASSERT_EQ(shortBytes.substr(kBoundary - 1, 2), "\r\n");

  std::vector<Case> cases = {
      {"CrLfAfterOneLongLine", filler.substr(1) + "\r\nnext\n", U8, {filler.substr(1), "next"}},
      {"CrLfAfterShortLines", shortBytes, U8, shortLinesThen},
      {"CrThenOtherLine", filler.substr(1) + "\rnext", U8, {filler.substr(1), "next"}},
      {"CrAtFileEnd", filler.substr(1) + "\r", U8, {filler.substr(1)}},
      {"CrLfAtFileEnd", filler.substr(1) + "\r\n", U8, {filler.substr(1)}},
      {"LfAtFileEnd", filler.substr(1) + "\n", U8, {filler.substr(1)}},
      {"LfAtBoundaryThenLine", filler.substr(1) + "\nnext", U8, {filler.substr(1), "next"}},
      {"TwoByteSequence", filler.substr(1) + "\xC3\xA9\n", U8, {filler.substr(1) + "\xC3\xA9"}},
      {"FourByteSequence", filler.substr(3) + "\xF0\x9F\x98\x80\n", U8, {filler.substr(3) + "\xF0\x9F\x98\x80"}},
      // UTF-16: the mark takes 2 bytes, so code unit k sits at byte 2 + 2k.
      {"Utf16CrLf", Le(std::u16string(kBoundary / 2 - 2, u'x') + u"\r\nnext"), U16,
       {filler.substr(0, kBoundary / 2 - 2), "next"}},
      {"Utf16SurrogatePair", Le(std::u16string(kBoundary / 2 - 2, u'x') + u"\U0001F600\n"), U16,
       {filler.substr(0, kBoundary / 2 - 2) + "\xF0\x9F\x98\x80"}},
      {"Utf16BeSurrogatePair", Be(std::u16string(kBoundary / 2 - 2, u'x') + u"\U0001F600\n"), U16,
       {filler.substr(0, kBoundary / 2 - 2) + "\xF0\x9F\x98\x80"}},
      {"Utf16CodeUnit", Le(std::u16string(kBoundary / 2 - 1, u'x')) + "\xE9" + "\x00"s, U16,
       {filler.substr(0, kBoundary / 2 - 1) + "\xC3\xA9"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectLines(c.bytes, c.encoding, c.lines);
  }
}

TEST(TextInputStreamTest, LinesLongerThanTheReadBuffer) {
  // Lengths that make the buffer grow several times, with non-ASCII text and
  // a stray Latin-1 byte at the far end of a line.
  Lines lines;
  for (std::size_t length : {std::size_t{1} << 20, 3 * kBoundary + 7, std::size_t{5}, std::size_t{3} << 20}) {
    std::string line;
    while (line.size() < length) line += "2 CONT M\xC3\xBCller ";
    lines.push_back(line);
  }
  std::string utf8;
  for (const std::string& line : lines) utf8 += line + "\r\n";
  utf8 += lines[0] + "\xE9";
  Lines expected = lines;
  expected.push_back(lines[0] + "\xC3\xA9");
  ExpectLines(utf8, U8, expected);

  std::u16string units;
  for (std::size_t i = 0; i < 2 * kBoundary; ++i) units += (i % 7 == 0) ? u'\u00FC' : u'a';
  std::string decoded;
  for (char16_t unit : units) decoded += unit == u'a' ? "a" : "\xC3\xBC";
  ExpectLines(Le(units + u"\r\n" + units), U16, {decoded, decoded});
}

TEST(TextInputStreamTest, FilesThatCannotBeOpenedGiveNoStream) {
  TempFolder folder;
  EXPECT_EQ(fw::TextInputStream::Open(fw::FolderItem(folder / "missing.ged")), nullptr);
  EXPECT_EQ(fw::TextInputStream::Open(fw::FolderItem(folder.Path())), nullptr);
}

TEST(TextInputStreamTest, ReadFailureThrowsWithErrno) {
  // Reading this file at offset 0 fails with EIO: a real failing read(2).
  const fw::FolderItem failing("/proc/self/mem");
  for (int call = 0; call < 3; ++call) {
    auto stream = fw::TextInputStream::Open(failing);
    ASSERT_NE(stream, nullptr);
    try {
      if (call == 0) stream->ReadLineView();
      if (call == 1) stream->ReadLine();
      if (call == 2) stream->Eof();
      ADD_FAILURE() << "no exception from call " << call;
    } catch (const fw::IOException& e) {
      EXPECT_EQ(e.ErrorNumber(), EIO);
      EXPECT_NE(std::string(e.what()).find("/proc/self/mem"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(std::strerror(EIO)), std::string::npos) << e.what();
    }
  }
}

TEST(TextInputStreamTest, ClosedStreamHasNoMoreLines) {
  TempFolder folder;
  test_files::WriteBytes(folder / "in.ged", "a\nb\n");
  auto stream = fw::TextInputStream::Open(fw::FolderItem(folder / "in.ged"));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->ReadLine(), "a");
  stream->Close();
  EXPECT_TRUE(stream->Eof());
  EXPECT_EQ(stream->ReadLine(), "");
}

}  // namespace
