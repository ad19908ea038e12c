// Where a copy goes: links followed, and the checks of the file it would
// replace.

#include "framework/output_target.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <utility>

namespace fw::detail {
namespace {

// As many links as the kernel follows in one path before it gives ELOOP.
constexpr int kMaxLinks = 40;

}  // namespace

// umask(2) can only be read by setting it, which races with other threads
// creating files: /proc tells it without a change.
mode_t CurrentUmask() {
  const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char text[4096];
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got > 0) {
      text[got] = '\0';
      if (const char* line = std::strstr(text, "\nUmask:")) {
        return static_cast<mode_t>(std::strtoul(line + 7, nullptr, 8)) & 0777;
      }
    }
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

std::filesystem::path FolderOf(const std::filesystem::path& file) {
  std::filesystem::path folder = file.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

std::optional<Destination> FollowLinks(std::filesystem::path path) {
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    Destination destination;
    if (::lstat(path.c_str(), &destination.status) != 0) {
      if (errno != ENOENT) return std::nullopt;
      destination.path = std::move(path);
      return destination;
    }
    if (!S_ISLNK(destination.status.st_mode)) {
      destination.exists = true;
      destination.path = std::move(path);
      return destination;
    }
    std::error_code error;
    const std::filesystem::path next = std::filesystem::read_symlink(path, error);
    if (error) return std::nullopt;
    // A relative link is read from the link's folder; an absolute one
    // replaces the whole path. Not normalised: a ".." must be taken after the
    // links before it, as the kernel takes it.
    path = path.parent_path() / next;
  }
  return std::nullopt;
}

// A device, FIFO, socket or folder is not a file to save over, and a
// read-only file is one its owner meant to keep; neither is touched. The mode
// bits are asked as well as access(2), which grants root any file: a file
// with no write bit at all is read-only for root too. The file that the copy
// is made from is never replaced: it holds the private notes that the copy
// leaves out.
bool MayReplace(const Destination& existing, const FileIdentity* source) {
  return S_ISREG(existing.status.st_mode) && (existing.status.st_mode & 0222) != 0 &&
         ::faccessat(AT_FDCWD, existing.path.c_str(), W_OK, AT_EACCESS) == 0 &&
         (source == nullptr || !source->SameFile(existing.status));
}

}  // namespace fw::detail
