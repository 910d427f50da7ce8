#pragma once
#include <cstdint>
#include <string>

namespace talvinor {

// How a file is opened. Read opens an existing file read-only; CreateNew
// creates a file that must not exist yet (an existing one fails with EEXIST,
// so a recording never overwrites anything); CreateAlways creates or empties.
// Both create modes open for reading and writing.
enum class FileOpenMode {
  Read,
  CreateNew,
  CreateAlways,
};

// Where a Seek counts from.
enum class SeekOrigin { Begin, Current, End };

// A file handle with 32-bit sizes and offsets. Files of 4 GiB or more cannot
// be described by those and are refused at Open with EFBIG. Every failure
// leaves its errno value in LastError() and goes to the trace hook.
class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  bool Open(const std::wstring& path, FileOpenMode mode);
  void Close();
  bool IsOpen() const { return m_fd >= 0; }

  // Reads up to `size` bytes at the current position; `*done` is what was read
  // (0 at the end of the file).
  bool Read(void* data, uint32_t size, uint32_t* done);
  // Writes all `size` bytes or fails (a short write is a failure: disk full).
  bool Write(const void* data, uint32_t size);
  // Moves the position; fails for a position outside 0 .. 0xFFFFFFFF.
  bool Seek(int64_t offset, SeekOrigin origin, uint32_t* newPosition = nullptr);
  bool GetSize(uint32_t* size);
  bool Flush();

  int LastError() const { return m_lastError; }

 private:
  bool Fail(int error, const char* context);

  int m_fd = -1;
  int m_lastError = 0;
  std::string m_path;  // UTF-8, for trace lines
};

}  // namespace talvinor
