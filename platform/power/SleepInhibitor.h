#pragma once
#include <memory>

namespace talvinor {

// What the sleep inhibitor is doing.
enum class InhibitorState {
  Released,   // nothing held and nothing asked for
  Requested,  // Inhibit was sent to logind and is still wanted; no answer yet
  Held,       // logind's descriptor is open here: the machine does not sleep
};

// A systemd-logind "sleep:idle" inhibitor on the system bus. logind keeps
// the inhibitor for as long as the descriptor it hands out stays open, and
// the kernel closes that with the process, so a killed program never leaves
// the machine unable to sleep.
//
// The call is asynchronous (bounded by a time-out), so the UI thread never
// waits for logind; an answer that comes after Release is closed at once.
// Lives on the thread of the Qt application and is used only there.
class SleepInhibitor {
 public:
  SleepInhibitor();
  ~SleepInhibitor();
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;

  // Asks logind for the inhibitor unless it is held or asked for already.
  // False, traced, when the system bus cannot be reached.
  bool Hold();
  // Closes the descriptor, or drops the one still to come.
  void Release();
  InhibitorState State() const;

 private:
  struct Private;
  std::unique_ptr<Private> m;
};

}  // namespace talvinor
