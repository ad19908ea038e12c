// Writing lines: the bytes written, and that the target is replaced only by a
// complete file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
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
using Names = std::vector<std::string>;

namespace {

constexpr std::size_t kBuffer = fw::testing::kOutputBufferBytes;

std::unique_ptr<fw::TextOutputStream> Create(const std::filesystem::path& path) {
  return fw::TextOutputStream::Create(fw::FolderItem(path));
}

TEST(TextOutputStreamTest, WritesUtf8LinesEndedByLf) {
  const std::string longLine(kBuffer + 10, 'z');
  struct Case { std::vector<std::string> lines; std::string bytes; } cases[] = {
      {{}, ""},
      {{"0 HEAD", "1 NAME M\xC3\xBCller", "", "a\0b"s, "tab\there "}, "0 HEAD\n1 NAME M\xC3\xBCller\n\na\0b\ntab\there \n"s},
      // Lines that fill the buffer exactly, overflow it, or don't fit at all.
      {{std::string(kBuffer - 1, 'a'), "b"}, std::string(kBuffer - 1, 'a') + "\nb\n"},
      {{"x", std::string(kBuffer - 2, 'a'), "b"}, "x\n" + std::string(kBuffer - 2, 'a') + "\nb\n"},
      {{"x", longLine, "y"}, "x\n" + longLine + "\ny\n"},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    auto out = Create(folder / "out.ged");
    ASSERT_NE(out, nullptr);
    for (const std::string& line : c.lines) out->WriteLine(line);
    out->Close();
    const std::string got = ReadBytes(folder / "out.ged");
    EXPECT_EQ(got.size(), c.bytes.size());
    EXPECT_TRUE(got == c.bytes) << "lines: " << c.lines.size();
    EXPECT_EQ(folder.Names(), Names{"out.ged"});
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
  }  // destroyed without Close
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_EQ(folder.Names(), Names{"tree.ged"});

  // No stream where the temporary can't be made.
  WriteBytes(folder / "file", "not a folder");
  for (const auto& bad : {folder / "missing" / "out.ged", folder / "file" / "out.ged"}) EXPECT_EQ(Create(bad), nullptr);
  EXPECT_EQ(folder.Names(), (Names{"file", "tree.ged"}));
}

TEST(TextOutputStreamTest, WriteFailureThrowsAndLeavesTheTargetAsItWas) {
  // Bytes written before the disk is "full"; whether WriteLine fails, or only
  // Close, when the last buffer goes out.
  struct Case { std::size_t failAfter; int errorNumber; bool failsInWriteLine; } cases[] = {
      {kBuffer / 2, ENOSPC, true},  // a write cut short, then the failure
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
      // Clears the failure however the test ends.
      struct Failure {
        explicit Failure(const Case& f) { fw::testing::SetWriteFailureAfter(f.failAfter, f.errorNumber); }
        ~Failure() { fw::testing::ClearWriteFailure(); }
      } failure(c);
      auto writeLines = [&] {
        for (std::size_t i = 0; i < 7 * kBuffer / 200; ++i) out->WriteLine(std::string(99, 'n'));  // 100 bytes
      };
      if (c.failsInWriteLine) {
        test_files::ExpectIOException(writeLines, c.errorNumber, path.string());
      } else {
        writeLines();
      }
      // Once failed, the stream never reports success: the copy would lack lines.
      test_files::ExpectIOException([&] { out->Close(); }, c.errorNumber, path.string());
      EXPECT_THROW(out->WriteLine("more"), fw::IOException);
      EXPECT_THROW(out->Close(), fw::IOException);
    }
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(folder.Names(), Names{"tree.ged"});
  }
}

TEST(TextOutputStreamTest, FailingRenameThrowsAndRemovesTheTemporary) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "tree.ged");  // a folder where the file should go
  {
    auto out = Create(folder / "tree.ged");
    ASSERT_NE(out, nullptr);
    out->WriteLine("0 HEAD");
    test_files::ExpectIOException([&] { out->Close(); }, EISDIR, (folder / "tree.ged").string());
  }
  EXPECT_EQ(folder.Names(), Names{"tree.ged"});
  EXPECT_TRUE(std::filesystem::is_directory(folder / "tree.ged"));
}

TEST(TextOutputStreamTest, FailingFolderSyncAfterTheRenameIsNotReported) {
  TempFolder folder;
  const auto path = folder / "tree.ged";
  WriteBytes(path, "0 HEAD\n1 NOTE old\n");
  struct Failure {
    Failure() { fw::testing::SetFolderSyncFailure(EIO); }
    ~Failure() { fw::testing::ClearFolderSyncFailure(); }
  } failure;
  auto out = Create(path);
  ASSERT_NE(out, nullptr);
  out->WriteLine("0 HEAD");
  out->WriteLine("0 TRLR");
  // The copy is in place: reporting a failure would tell the user it isn't.
  EXPECT_NO_THROW(out->Close());
  EXPECT_EQ(ReadBytes(path), "0 HEAD\n0 TRLR\n");
  EXPECT_EQ(folder.Names(), Names{"tree.ged"});
}

TEST(TextOutputStreamTest, PermissionsOfTheWrittenFile) {
  // The mode a new file gets, or the mode of the file replaced (-1: none).
  struct Case { mode_t umask; int existingMode; mode_t expected; } cases[] = {
      {022, -1, 0644}, {077, 0664, 0664}};
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
    EXPECT_EQ(static_cast<mode_t>(std::filesystem::status(path).permissions()), c.expected);
    EXPECT_EQ(ReadBytes(path), "new\n");
  }
}

}  // namespace
