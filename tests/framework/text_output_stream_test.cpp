// Writing lines: the bytes written, and that the target is replaced only by a
// complete file.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
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

// What a folder holds at every depth, links not followed: each name
// (relative to the folder) with its kind, and a regular file's mode and bytes
// or a link's target.
using Tree = std::map<std::string, std::string>;

std::string FileEntry(mode_t mode, const std::string& bytes) {
  char octal[16];
  std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(mode & 07777));
  return "file " + std::string(octal) + ": " + bytes;
}

Tree Snapshot(const std::filesystem::path& root) {
  Tree tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    struct stat status {};
    if (::lstat(entry.path().c_str(), &status) != 0) ADD_FAILURE() << "lstat " << entry.path();
    std::string what = "other";
    if (S_ISLNK(status.st_mode)) what = "link to " + std::filesystem::read_symlink(entry.path()).string();
    if (S_ISREG(status.st_mode)) what = FileEntry(status.st_mode, ReadBytes(entry.path()));
    if (S_ISDIR(status.st_mode)) what = "folder";
    if (S_ISFIFO(status.st_mode)) what = "FIFO";
    if (S_ISSOCK(status.st_mode)) what = "socket";
    if (S_ISCHR(status.st_mode)) what = "character device";
    tree[entry.path().lexically_relative(root).string()] = what;
  }
  return tree;
}

mode_t NewFileMode() {
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return 0666 & ~mask;
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
  // Bytes written before the disk is "full"; whether the failure comes before
  // Close, or only when Close writes the last buffer.
  struct Case { std::size_t failAfter; int errorNumber; bool failsBeforeClose; } cases[] = {
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
      // The buffers are written in the background: a failure is told by a
      // later WriteLine, and at the latest by Close.
      bool told = false;
      try {
        writeLines();
      } catch (const fw::IOException& e) {
        told = true;
        EXPECT_EQ(e.ErrorNumber(), c.errorNumber);
      }
      if (!c.failsBeforeClose) {
        EXPECT_FALSE(told);
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
  {
    auto out = Create(folder / "tree.ged");
    ASSERT_NE(out, nullptr);
    out->WriteLine("0 HEAD");
    // A folder where the file should go, made after the stream (Create
    // refuses a folder as its target).
    std::filesystem::create_directory(folder / "tree.ged");
    test_files::ExpectIOException([&] { out->Close(); }, EISDIR, (folder / "tree.ged").string());
  }
  EXPECT_EQ(folder.Names(), Names{"tree.ged"});
  EXPECT_TRUE(std::filesystem::is_directory(folder / "tree.ged"));
}

TEST(TextOutputStreamTest, TargetsFollowedOrRefused) {
  // The folder's contents (false: they can't be made here, and the row is
  // skipped), the target chosen, and the file that must receive the lines,
  // links followed; null where Create must give no stream and leave
  // everything as it was. Where a row names an input, the copy is made of
  // what an input stream on that file reads.
  using Make = std::function<bool(const TempFolder&)>;
  auto file = [](const char* name, mode_t mode) {
    return [=](const TempFolder& f) {
      std::filesystem::create_directory(f / "other");
      WriteBytes(f / name, "0 HEAD\n1 NOTE old\n");
      return ::chmod((f / name).c_str(), mode) == 0;
    };
  };
  auto link = [](const char* name, const char* to, Make then) {
    return [=](const TempFolder& f) {
      const bool made = then(f);
      std::filesystem::create_symlink(to, f / name);
      return made;
    };
  };
  const Make otherFolder = [](const TempFolder& f) { return std::filesystem::create_directory(f / "other"); };
  const Make fifo = [](const TempFolder& f) { return ::mkfifo((f / "tree.ged").c_str(), 0644) == 0; };
  const Make hardLink = [&](const TempFolder& f) {
    std::filesystem::create_hard_link(f / "tree.ged", f / "other" / "hard.ged");
    return true;
  };
  struct Case {
    const char* name;
    Make make;
    const char* chosen;
    const char* written;
    const char* input = nullptr;
  } cases[] = {
      {"regular file", file("tree.ged", 0644), "tree.ged", "tree.ged"},
      {"link into another folder", link("link.ged", "other/real.ged", file("other/real.ged", 0640)), "link.ged",
       "other/real.ged"},
      {"chain of two links, absolute then relative", [&](const TempFolder& f) {
         const bool made = link("other/hop.ged", "real.ged", file("other/real.ged", 0644))(f);
         std::filesystem::create_symlink(f / "other" / "hop.ged", f / "link.ged");
         return made;
       }, "link.ged", "other/real.ged"},
      {"link up out of its folder", link("other/up.ged", "../tree.ged", file("tree.ged", 0644)), "other/up.ged",
       "tree.ged"},
      {"dangling link", link("link.ged", "other/new.ged", otherFolder), "link.ged", "other/new.ged"},
      {"loop of links", link("a.ged", "b.ged", link("b.ged", "a.ged", otherFolder)), "a.ged", nullptr},
      {"FIFO", fifo, "tree.ged", nullptr},
      {"link to a FIFO", link("link.ged", "tree.ged", fifo), "link.ged", nullptr},
      {"folder", [](const TempFolder& f) {
         std::filesystem::create_directory(f / "tree.ged");
         WriteBytes(f / "tree.ged" / "inside.ged", "kept\n");
         return true;
       }, "tree.ged", nullptr},
      {"socket", [](const TempFolder& f) {
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         const std::string path = (f / "tree.ged").string();
         if (path.size() >= sizeof address.sun_path) return false;
         std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
         if (fd >= 0) ::close(fd);
         return bound;
       }, "tree.ged", nullptr},
      // Only root may make a device node; it then stands in for /dev/null.
      {"character device", [](const TempFolder& f) {
         return ::mknod((f / "tree.ged").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
       }, "tree.ged", nullptr},
      // No write bit at all: read-only even for root, whom access(2) lets write.
      {"read-only file", file("tree.ged", 0444), "tree.ged", nullptr},
      {"link to a read-only file", link("link.ged", "other/real.ged", file("other/real.ged", 0400)), "link.ged", nullptr},
      // The input holds the private notes: it is never replaced by its copy.
      {"the input itself", file("tree.ged", 0644), "tree.ged", nullptr, "tree.ged"},
      {"a link to the input", link("link.ged", "tree.ged", file("tree.ged", 0644)), "link.ged", nullptr, "tree.ged"},
      {"a hard link to the input", [&](const TempFolder& f) { return file("tree.ged", 0644)(f) && hardLink(f); },
       "other/hard.ged", nullptr, "tree.ged"},
      {"a file of the input's name elsewhere", file("other/tree.ged", 0644), "tree.ged", "tree.ged", "other/tree.ged"},
  };
  const std::string lines = "0 HEAD\n0 TRLR\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    if (!c.make(folder)) {
      std::cout << "[  SKIPPED ] " << c.name << ": can't be made here\n";
      continue;
    }
    const Tree before = Snapshot(folder.path);
    Tree expected = before;
    if (c.written) {
      struct stat status {};
      const auto written = folder / c.written;
      expected[c.written] = FileEntry(::stat(written.c_str(), &status) == 0 ? status.st_mode : NewFileMode(), lines);
    }
    const auto input = c.input ? fw::TextInputStream::Open(fw::FolderItem(folder / c.input)) : nullptr;
    auto create = [&] {
      const fw::FolderItem target(folder / c.chosen);
      return input ? fw::TextOutputStream::Create(target, *input) : fw::TextOutputStream::Create(target);
    };
    if (!c.written) {
      EXPECT_EQ(create(), nullptr);
    } else if (auto out = create(); out == nullptr) {
      ADD_FAILURE() << "no stream";
    } else {
      out->WriteLine("0 HEAD");
      out->WriteLine("0 TRLR");
      // The temporary sits beside the file it will replace, so that the
      // rename stays on one file system: the only new name, hidden, in that
      // file's folder.
      Tree added = Snapshot(folder.path);
      for (const auto& [name, what] : before) added.erase(name);
      const std::filesystem::path written(c.written);
      EXPECT_EQ(added.size(), 1u);
      if (added.size() == 1) {
        const std::filesystem::path temporary(added.begin()->first);
        EXPECT_EQ(temporary.parent_path(), written.parent_path());
        EXPECT_EQ(temporary.filename().string().rfind("." + written.filename().string() + ".", 0), 0u) << temporary;
      }
      out->Close();
    }
    EXPECT_EQ(Snapshot(folder.path), expected);
  }
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

TEST(TextOutputStreamTest, TerminatingSignalRemovesTheTemporary) {
  for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(::strsignal(signalNumber));
    // A signal this process was started ignoring (SIGHUP under nohup) stays
    // ignored, by design: nothing to test then.
    struct sigaction current {};
    ::sigaction(signalNumber, nullptr, &current);
    if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN) {
      std::cout << "[  SKIPPED ] " << ::strsignal(signalNumber) << ": ignored by this process\n";
      continue;
    }
    TempFolder folder;
    const auto path = folder / "md_tree.ged";
    const std::string old = "0 HEAD\n1 NOTE old\n0 TRLR\n";
    WriteBytes(path, old);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = test_files::StartChild([&] {
      ::close(ready[0]);
      // A mask inherited from whatever started the tests must not hold the
      // signal off.
      sigset_t signals;
      sigemptyset(&signals);
      sigaddset(&signals, signalNumber);
      ::sigprocmask(SIG_UNBLOCK, &signals, nullptr);
      auto out = Create(path);
      if (!out) return 3;
      // More than one buffer: the temporary holds bytes on disk.
      for (std::size_t i = 0; i < 3 * kBuffer / 100; ++i) out->WriteLine(std::string(99, 'n'));
      if (::write(ready[1], "r", 1) != 1) return 4;
      for (;;) ::pause();  // until the signal, or the alarm should the parent fail
    });
    ::close(ready[1]);
    char byte = 0;
    ssize_t got;
    do got = ::read(ready[0], &byte, 1);  // nothing when the child ends first
    while (got < 0 && errno == EINTR);
    ::close(ready[0]);
    EXPECT_EQ(got, 1) << "the child did not get ready";
    if (got == 1) {
      // The temporary is there, and the full buffers reach it.
      const Names names = folder.Names();
      EXPECT_EQ(names.size(), 2u);
      for (const std::string& name : names) {
        if (name == "md_tree.ged") continue;
        for (int waits = 0; waits < 500 && std::filesystem::file_size(folder / name) < 2 * kBuffer; ++waits) {
          ::usleep(10000);
        }
        EXPECT_GE(std::filesystem::file_size(folder / name), 2 * kBuffer) << name;
      }
      ::kill(child, signalNumber);
    }
    const int status = test_files::WaitForChild(child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << test_files::StatusText(status);
    EXPECT_EQ(folder.Names(), Names{"md_tree.ged"});
    EXPECT_EQ(ReadBytes(path), old);
  }
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
