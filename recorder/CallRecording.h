#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "memo/CallHistory.h"

namespace talvinor {

class Master;
class Registry;

// What became of a call recording's rename.
struct CallRenameResult {
  bool renamed = false;
  std::wstring path;        // the recording's name afterwards (the new one when renamed)
  bool historyFailed = false;  // the history could not be read (an exception): the error was shown
};

// Shows an error in the page's status line.
using CallRecordingErrorSink = std::function<void(const std::wstring& text)>;
// The latest call (CallHistory::GetLatestCall, or a stand-in); may throw.
using LatestCallLookup = std::function<bool(CallHistoryEntry* call)>;

inline constexpr wchar_t kCallHistoryException[] = L"Exception:通話履歴の取得中";
inline constexpr wchar_t kPhoneStatusKey[] = L"Software\\Sharp\\PhoneStatus";
inline constexpr wchar_t kPhoneStatusValue[] = L"Status22";
inline constexpr uint32_t kDialKeyStatus = 7;

// The name a call recording is given: "_着信_NUMBER_NAME." (received) or
// "_発信_NUMBER_NAME." (dialled) in place of the last '.' of the file name,
// so the extension stays. A name without an extension gets the suffix at
// its end. Empty when the number or name holds a character that cannot
// stand in a file name here ('/' or a zero character): such a name would
// move the recording into another folder or be cut short.
std::wstring CallRecordingName(const std::wstring& path, const CallHistoryEntry& call);

// Extends the recording's name with the other party's number and name from
// the latest call of `history`. Never replaces an existing file; a failed
// lookup or move leaves the recording as it is and shows nothing. A failure
// while reading the history shows kCallHistoryException through `showError`.
CallRenameResult RenameWithCallInfo(const std::wstring& recordingPath, const LatestCallLookup& latestCall,
                                    const CallRecordingErrorSink& showError);
CallRenameResult RenameWithCallInfo(const std::wstring& recordingPath, const CallHistory& history,
                                    const CallRecordingErrorSink& showError);
// The same for the recording the master last wrote.
CallRenameResult RenameWithCallInfo(Master* master, const CallHistory& history,
                                    const CallRecordingErrorSink& showError);

// Makes sure the phone's dial-key status value is 7. False when the key or
// the value is missing or not a 4-byte DWORD (then nothing is written), or
// when writing 7 failed.
bool EnsureDialKeyStatus(Registry& registry);
// On the user's registry.
bool EnsureDialKeyStatus();

}  // namespace talvinor
