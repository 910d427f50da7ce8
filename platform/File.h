#pragma once
#include <cstdint>
#include <string>

namespace talvinor {

// How a file is opened. Read opens an existing file read-only; CreateNew
// creates a file that must not exist yet (an existing one fails with EEXIST,
// so a recording never overwrites anything); CreateAlways creates or empties.
// Both create modes open for reading and writing. ReadWrite opens an existing
// file for reading and writing in place (a repair of a header).
//
// The modes that open an existing file (Read, ReadWrite) accept regular files
// only: a FIFO, a device or a socket is refused with kNotRegularFileError
// without blocking, so a FIFO given as a sound file or as the settings never
// hangs the program in open().
enum class FileOpenMode {
  Read,
  CreateNew,
  CreateAlways,
  ReadWrite,
};

// LastError() of an Open refused because the path is not a regular file
// (EINVAL: there is no errno of its own; IsNotRegularFile() tells it apart).
inline constexpr int kNotRegularFileError = 22;

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
  // Writes all `size` bytes at `offset` without moving the position, so a
  // header can be brought up to date while the body is appended.
  bool WriteAt(uint32_t offset, const void* data, uint32_t size);
  // Moves the position; fails for a position outside 0 .. 0xFFFFFFFF.
  bool Seek(int64_t offset, SeekOrigin origin, uint32_t* newPosition = nullptr);
  bool GetSize(uint32_t* size);
  // Cuts the file to `size` bytes (the position is left where it was).
  bool Truncate(uint32_t size);
  bool Flush();

  // An advisory lock on the whole file, held until Close: a recording holds
  // it while it writes, so a repair pass never cuts a file still growing.
  // False when another open file description holds it (or on failure).
  bool TryLockExclusive();

  // True when the last Open failed because the path is a FIFO, a device or a
  // socket rather than a regular file.
  bool IsNotRegularFile() const { return m_notRegular; }

  int LastError() const { return m_lastError; }

 private:
  bool Fail(int error, const char* context);

  int m_fd = -1;
  int m_lastError = 0;
  bool m_notRegular = false;
  std::string m_path;  // UTF-8, for trace lines
};

}  // namespace talvinor
