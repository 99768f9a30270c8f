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
    // The path of `name` (GBK) in the directory, in the system's narrow text.
    std::string file(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

// A plain file at `path` that cannot be read while this object lives: on POSIX a link to
// /proc/self/mem, which not even root can read so; on Windows a file that the test holds
// open without sharing it.
class UnreadableFile {
  public:
    explicit UnreadableFile(const std::filesystem::path& path);
    ~UnreadableFile();
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

  private:
    void* handle_ = nullptr;  // Windows: the open file
};

// Writes `bytes` as the whole file at `path`, creating missing folders; reads a whole file
// ("" when there is none).
void put_file(const std::filesystem::path& path, const std::string& bytes);
std::string file_bytes(const std::filesystem::path& path);

}  // namespace tessary::testing
