#pragma once
// Where a copy chosen to go to a path really goes, and whether it may go
// there. Private to the framework.

#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "framework/text_stream_internal.h"

namespace fw::detail {

struct Destination {
  std::filesystem::path path;  // links followed
  bool exists = false;
  struct stat status {};  // when it exists
};

// Follows `path` through links, the way opening it for writing would: the
// copy must replace the file a link points to and leave the link a link. A
// dangling link names the file to make. Nothing when the path can't be
// followed: a loop of links, too many of them, or a status that can't be read.
std::optional<Destination> FollowLinks(std::filesystem::path path);

// Whether an existing file may be replaced by the copy: a writable regular
// file, and not the file that the copy is made from (`source`, when given).
bool MayReplace(const Destination& existing, const FileIdentity* source);

// The folder a file is in ("." for a bare name).
std::filesystem::path FolderOf(const std::filesystem::path& file);

// The process's umask, read without changing it.
mode_t CurrentUmask();

}  // namespace fw::detail
