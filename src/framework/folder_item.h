#pragma once
// A reference to a file, which need not exist yet.

#include <filesystem>
#include <string>

namespace fw {

class FolderItem {
 public:
  explicit FolderItem(std::filesystem::path path) : path_(std::move(path)) {}

  // The file's name, without its folder, as UTF-8.
  std::string Name() const {
    // string() would give the native narrow encoding, which need not be UTF-8.
    const std::u8string name = path_.filename().u8string();
    return std::string(name.begin(), name.end());
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace fw
