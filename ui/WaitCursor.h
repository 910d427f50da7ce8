#pragma once

namespace talvinor {

// Shows the wait cursor over the program's windows for the life of the
// object (a folder being read, say). Nests. UI thread only.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  bool m_shown = false;
};

}  // namespace talvinor
