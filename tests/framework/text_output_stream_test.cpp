// Writing lines: the bytes written, and that the target is replaced only by a
// complete file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "framework/text_stream.h"
#include "framework/text_stream_testing.h"
#include "test_files.h"

using namespace std::string_literals;
using test_files::ReadBytes;
using test_files::TempFolder;
using test_files::WriteBytes;

namespace {

constexpr std::size_t kBuffer = fw::testing::kOutputBufferBytes;

std::unique_ptr<fw::TextOutputStream> Create(const std::filesystem::path& path) {
  return fw::TextOutputStream::Create(fw::FolderItem(path));
}

mode_t ModeOf(const std::filesystem::path& path) {
  struct stat status {};
  EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

// Clears the write-failure hook however a test ends.
struct WriteFailureGuard {
  WriteFailureGuard(std::size_t bytes, int errnoValue) { fw::testing::SetWriteFailureAfter(bytes, errnoValue); }
  ~WriteFailureGuard() { fw::testing::ClearWriteFailure(); }
};

TEST(TextOutputStreamTest, WritesUtf8LinesEndedByLf) {
  const std::string longLine(kBuffer + 10, 'z');
  struct Case {
    std::vector<std::string> lines;
    std::string bytes;
  } cases[] = {
      {{}, ""},
      {{""}, "\n"},
      {{"0 HEAD", "1 NAME M\xC3\xBCller", "", "0 TRLR"}, "0 HEAD\n1 NAME M\xC3\xBCller\n\n0 TRLR\n"},
      {{"a\0b"s, "tab\there "}, "a\0b\ntab\there \n"s},
      // Lines that fill the buffer exactly, overflow it, or don't fit at all.
      {{std::string(kBuffer - 1, 'a'), "b"}, std::string(kBuffer - 1, 'a') + "\nb\n"},
      {{"x", std::string(kBuffer - 2, 'a'), "b"}, "x\n" + std::string(kBuffer - 2, 'a') + "\nb\n"},
      {{"x", longLine, "y"}, "x\n" + longLine + "\ny\n"},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    const auto path = folder / "out.ged";
    auto out = Create(path);
    ASSERT_NE(out, nullptr);
    for (const std::string& line : c.lines) out->WriteLine(line);
    out->Close();
    const std::string got = ReadBytes(path);
    EXPECT_EQ(got.size(), c.bytes.size());
    EXPECT_TRUE(got == c.bytes) << "lines: " << c.lines.size();
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"out.ged"});
  }
}

TEST(TextOutputStreamTest, TargetChangesOnlyAtClose) {
  TempFolder folder;
  const auto path = folder / "tree.ged";
  const std::string old = "0 HEAD\r\n1 NOTE old \xE9\r\n0 TRLR";
  WriteBytes(path, old);
  {
    auto out = Create(path);
    ASSERT_NE(out, nullptr);
    for (int i = 0; i < 100000; ++i) out->WriteLine("1 NOTE new line");  // several buffers written out
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(folder.Names().size(), 2u);  // the target and the temporary
  }  // destroyed without Close
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"tree.ged"});

  {
    auto out = Create(folder / "new.ged");
    ASSERT_NE(out, nullptr);
    out->WriteLine("x");
  }
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"tree.ged"});  // no target is made either
}

TEST(TextOutputStreamTest, NoStreamWhereTheTemporaryCannotBeMade) {
  TempFolder folder;
  WriteBytes(folder / "file", "not a folder");
  for (const auto& path : {folder / "missing" / "out.ged", folder / "file" / "out.ged"}) {
    EXPECT_EQ(Create(path), nullptr) << path;
  }
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"file"});
}

TEST(TextOutputStreamTest, WriteFailureThrowsAndLeavesTheTargetAsItWas) {
  struct Case {
    std::size_t failAfter;  // bytes written before the disk is "full"
    int errorNumber;
    bool failsInWriteLine;  // or only in Close, when the last buffer goes out
  } cases[] = {
      {0, ENOSPC, true},
      {kBuffer / 2, ENOSPC, true},  // a write cut short, then the failure
      {kBuffer + 100, EIO, true},
      {3 * kBuffer + 5, EDQUOT, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failAfter);
    TempFolder folder;
    const auto path = folder / "tree.ged";
    const std::string old = "0 HEAD\n0 TRLR\n";
    WriteBytes(path, old);
    {
      auto out = Create(path);
      ASSERT_NE(out, nullptr);
      WriteFailureGuard failure(c.failAfter, c.errorNumber);
      const std::string line(99, 'n');  // 100 bytes with its LF
      int thrown = 0;
      try {
        for (std::size_t i = 0; i < 7 * kBuffer / 200; ++i) out->WriteLine(line);
      } catch (const fw::IOException& e) {
        ++thrown;
        EXPECT_EQ(e.ErrorNumber(), c.errorNumber);
        EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(std::strerror(c.errorNumber)), std::string::npos) << e.what();
      }
      EXPECT_EQ(thrown, c.failsInWriteLine ? 1 : 0);
      // Once failed, the stream never reports success: the copy would lack lines.
      try {
        out->Close();
        ADD_FAILURE() << "Close succeeded after a failed write";
      } catch (const fw::IOException& e) {
        EXPECT_EQ(e.ErrorNumber(), c.errorNumber);
      }
      EXPECT_THROW(out->WriteLine("more"), fw::IOException);
      EXPECT_THROW(out->Close(), fw::IOException);
    }
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"tree.ged"});
  }
}

TEST(TextOutputStreamTest, FailingRenameThrowsAndRemovesTheTemporary) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "tree.ged");  // a folder where the file should go
  {
    auto out = Create(folder / "tree.ged");
    ASSERT_NE(out, nullptr);
    out->WriteLine("0 HEAD");
    try {
      out->Close();
      ADD_FAILURE() << "no exception";
    } catch (const fw::IOException& e) {
      EXPECT_EQ(e.ErrorNumber(), EISDIR);
    }
  }
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"tree.ged"});
  EXPECT_TRUE(std::filesystem::is_directory(folder / "tree.ged"));
}

TEST(TextOutputStreamTest, WritingOverTheFileBeingRead) {
  TempFolder folder;
  const auto path = folder / "tree.ged";
  std::string input;
  std::vector<std::string> lines;
  for (int i = 0; input.size() < 3 * fw::testing::kInputReadBytes; ++i) {
    lines.push_back("1 NOTE line " + std::to_string(i) + " J\xC3\xA9r\xC3\xB4me");
    input += lines.back() + "\r\n";
  }
  WriteBytes(path, input);

  auto in = fw::TextInputStream::Open(fw::FolderItem(path));
  ASSERT_NE(in, nullptr);
  auto out = Create(path);
  ASSERT_NE(out, nullptr);
  std::size_t count = 0;
  std::string expected;
  while (!in->Eof()) {
    const std::string_view line = in->ReadLineView();
    ASSERT_LT(count, lines.size());
    EXPECT_EQ(line, lines[count]);
    ++count;
    out->WriteLine(line);
    expected += std::string(line) + "\n";
    if (count == lines.size() / 2) {  // the copy outgrows the input
      out->WriteLine("2 CONT inserted");
      expected += "2 CONT inserted\n";
    }
  }
  EXPECT_EQ(count, lines.size());
  out->Close();
  in->Close();
  const std::string written = ReadBytes(path);
  EXPECT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"tree.ged"});
}

TEST(TextOutputStreamTest, PermissionsOfTheWrittenFile) {
  struct Case {
    mode_t umask;
    int existingMode;  // -1: no file at the target before
    mode_t expected;
  } cases[] = {
      {022, -1, 0644},
      {077, -1, 0600},
      {002, -1, 0664},
      {022, 0640, 0640},
      {077, 0664, 0664},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.umask) + " " + std::to_string(c.existingMode));
    TempFolder folder;
    const auto path = folder / "tree.ged";
    if (c.existingMode >= 0) {
      WriteBytes(path, "old\n");
      ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(c.existingMode)), 0);
    }
    const mode_t saved = ::umask(c.umask);
    auto out = Create(path);
    ::umask(saved);
    ASSERT_NE(out, nullptr);
    out->WriteLine("new");
    out->Close();
    EXPECT_EQ(ModeOf(path), c.expected);
    EXPECT_EQ(ReadBytes(path), "new\n");
  }
}

}  // namespace
