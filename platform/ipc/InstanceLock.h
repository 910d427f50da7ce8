#pragma once
#include <string>

namespace talvinor {

// What an attempt to take the instance lock came to.
enum class InstanceLockResult {
  Acquired,       // this process now holds it: it is the running instance
  HeldElsewhere,  // another live process (or another lock object) holds it
  Failed,         // the lock file could not be made or opened (see LastError)
};

// The single-instance key of the window program: a per-user lock file named
// after the frame's window class, held with flock for as long as the running
// instance lives. The kernel drops the lock of a process that dies, so a
// crashed instance never blocks the next start. The holder removes the file
// when it lets go.
//
// The file lives in $XDG_RUNTIME_DIR, or else in /tmp/talvinor-<uid>, a
// folder of our own with mode 0700 (a folder of that name that is a link,
// belongs to someone else or is open to others is refused, never used).
// Not thread-safe; one thread takes and releases it.
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock `name` without waiting. A lock this object already holds
  // is released first.
  InstanceLockResult Acquire(const std::string& name);
  void Release();
  bool IsHeld() const { return m_fd >= 0; }
  // The lock file's path (after an Acquire that found the folder).
  const std::string& Path() const { return m_path; }
  // The errno value of the last failure.
  int LastError() const { return m_lastError; }

  // The folder of this user's lock files: `runtimeDir` when it is an
  // absolute path of an existing folder, else `tmpRoot` + "/talvinor-<uid>",
  // created when missing. False, with `error` set, when neither serves.
  static bool ChooseFolder(const char* runtimeDir, const std::string& tmpRoot, std::string* folder, int* error);
  // ChooseFolder with $XDG_RUNTIME_DIR and "/tmp".
  static bool LockFolder(std::string* folder, int* error);

 private:
  InstanceLockResult Fail(int error, const char* context);

  int m_fd = -1;
  std::string m_path;
  int m_lastError = 0;
};

}  // namespace talvinor
