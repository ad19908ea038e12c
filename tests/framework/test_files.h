#pragma once
// Files for stream tests: a fresh folder per test, removed afterwards.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "framework/exceptions.h"

namespace test_files {

// A new empty folder, removed with all it holds at the end of the test.
struct TempFolder {
  std::filesystem::path path = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavelock-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "no temporary folder: " << pattern;
    return std::filesystem::path(pattern);
  }();
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::filesystem::path operator/(std::string_view name) const { return path / name; }

  // The names in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

inline void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

// Starts `body` in a forked child, which never returns into the test
// framework: it ends with _exit(body's result), 125 when body throws. SIGALRM
// ends it after `seconds` should body block, or wait for a parent that failed.
template <class Body>
pid_t StartChild(Body body, unsigned seconds = 5) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(seconds);
    int code = 125;
    try {
      code = body();
    } catch (...) {
    }
    ::_exit(code);
  }
  if (pid < 0) ADD_FAILURE() << "fork: " << std::strerror(errno);
  return pid;
}

// The wait status of a child from StartChild.
inline int WaitForChild(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      ADD_FAILURE() << "waitpid: " << std::strerror(errno);
      return -1;
    }
  }
  return status;
}

// How a child ended, for failure messages.
inline std::string StatusText(int status) {
  if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("signal ") + ::strsignal(WTERMSIG(status));
  return "status " + std::to_string(status);
}

// `call` throws IOException with `errorNumber`, naming the file and the error.
template <class Call>
void ExpectIOException(Call call, int errorNumber, const std::string& path) {
  try {
    call();
    ADD_FAILURE() << "no exception";
  } catch (const fw::IOException& e) {
    EXPECT_EQ(e.ErrorNumber(), errorNumber);
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(std::strerror(errorNumber)), std::string::npos) << e.what();
  }
}

}  // namespace test_files
