#pragma once

#include <filesystem>
#include <string>

namespace tessary::testing {

// A fresh directory of its own for one test, removed with everything in it afterwards.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// Writes `bytes` as the whole file at `path`, creating missing folders; reads a whole file
// ("" when there is none).
void put_file(const std::filesystem::path& path, const std::string& bytes);
std::string file_bytes(const std::filesystem::path& path);

}  // namespace tessary::testing
