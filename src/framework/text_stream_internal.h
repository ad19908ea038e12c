#pragma once
// What the input and output streams share. Private to the framework.

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

namespace fw::detail {

// What a failed read or write reports: what failed, on which file, and why.
inline std::string IOText(int errorNumber, const char* what, const std::string& path) {
  char text[256];
  // The GNU strerror_r, which returns the text (thread-safe, unlike strerror).
  return std::string(what) + " \"" + path + "\": " + strerror_r(errorNumber, text, sizeof text);
}

// Which file a stream reads, and the state it was in when it was opened.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};

  FileIdentity() = default;
  explicit FileIdentity(const struct stat& status)
      : device(status.st_dev), inode(status.st_ino), size(status.st_size), modified(status.st_mtim) {}

  // The same file, under whatever name: the same device and inode.
  bool SameFile(const struct stat& status) const { return status.st_dev == device && status.st_ino == inode; }
  // The same file, of the same size and modification time.
  bool SameContent(const struct stat& status) const {
    return SameFile(status) && status.st_size == size && status.st_mtim.tv_sec == modified.tv_sec &&
           status.st_mtim.tv_nsec == modified.tv_nsec;
  }
};

// The signals on which the output streams' temporaries are removed.
inline constexpr int kTerminatingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// For the streams' own threads: the terminating signals are taken on the
// caller's thread, which makes, renames and removes the temporaries.
inline void BlockTerminatingSignals() {
  sigset_t held;
  sigemptyset(&held);
  for (const int signalNumber : kTerminatingSignals) sigaddset(&held, signalNumber);
  pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

}  // namespace fw::detail
