// A scratch folder under /tmp, removed with everything in it when the object goes.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace zemb::test {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/zembromw_test_XXXXXX";
    if (mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Empty when the folder could not be made.
  const std::string& Dir() const { return path_; }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  // Writes contents to the file name in the folder and returns its path.
  std::string File(const std::string& name, const std::string& contents) const {
    const std::string path = Path(name);
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }

 private:
  std::string path_;
};

}  // namespace zemb::test
