#pragma once
// A file opened for one job, closed with the object, reporting failures as
// error numbers so that messages can name the cause. Unbuffered: the callers
// read and write in large pieces, and a full disk shows at the write that hit
// it rather than at the close.

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>

namespace trelvan {

class FileHandle {
 public:
  enum class Mode {
    Read,    // existing file, from the start
    Append,  // created if absent, every write at the end
    Replace, // created if absent, emptied
  };

  FileHandle() = default;
  ~FileHandle() { close(); }
  FileHandle(FileHandle&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Each returns 0 or an error number. open() closes what was open before.
  int open(const std::filesystem::path& path, Mode mode);
  // Reads until n bytes or the end of the file; got says how many.
  int read(void* buffer, std::size_t n, std::size_t& got);
  int write(const void* bytes, std::size_t n);
  int close();
  bool isOpen() const { return file_ != nullptr; }

 private:
  std::FILE* file_ = nullptr;
};

// The system's text for an error number.
std::string ErrorText(int err);

} // namespace trelvan
