#include "recorder/CallRecording.h"

#include <exception>

#include "audio/Master.h"
#include "platform/FileSystem.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "platform/registry/Registry.h"

namespace talvinor {

namespace {

bool FitsInFileName(const std::wstring& text) {
  return text.find(L'/') == std::wstring::npos && text.find(L'\0') == std::wstring::npos;
}

}  // namespace

std::wstring CallRecordingName(const std::wstring& path, const CallHistoryEntry& call) {
  if (!FitsInFileName(call.number) || !FitsInFileName(call.name)) return {};
  const std::wstring suffix =
      std::wstring(L"_") + (call.direction == 1 ? L"着信" : L"発信") + L"_" + call.number + L"_" + call.name + L".";
  const size_t slash = path.rfind(L'/');
  const size_t dot = path.rfind(L'.');
  // Only a '.' inside the file name counts: one in a folder name would move
  // the file elsewhere.
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) {
    return path + suffix.substr(0, suffix.size() - 1);
  }
  return path.substr(0, dot) + suffix + path.substr(dot + 1);
}

CallRenameResult RenameWithCallInfo(const std::wstring& recordingPath, const LatestCallLookup& latestCall,
                                    const CallRecordingErrorSink& showError) {
  CallRenameResult result;
  result.path = recordingPath;
  try {
    CallHistoryEntry call;
    if (!latestCall || !latestCall(&call)) return result;
    if (recordingPath.empty()) return result;
    const std::wstring target = CallRecordingName(recordingPath, call);
    if (target.empty()) {
      Trace("RenameWithCallInfo - the caller's number or name cannot stand in a file name. path:%s\r\n",
            WideToUtf8(recordingPath).c_str());
      return result;
    }
    if (int error = MoveFileNoReplace(recordingPath, target)) {
      Trace("RenameWithCallInfo - MoveFile failed. from:%s to:%s error:%d\r\n", WideToUtf8(recordingPath).c_str(),
            WideToUtf8(target).c_str(), error);
      return result;
    }
    result.renamed = true;
    result.path = target;
  } catch (const std::exception& e) {
    Trace("RenameWithCallInfo - exception: %s\r\n", e.what());
    result.historyFailed = true;
    if (showError) showError(kCallHistoryException);
  }
  return result;
}

CallRenameResult RenameWithCallInfo(const std::wstring& recordingPath, const CallHistory& history,
                                    const CallRecordingErrorSink& showError) {
  return RenameWithCallInfo(
      recordingPath, [&history](CallHistoryEntry* call) { return history.GetLatestCall(call); }, showError);
}

CallRenameResult RenameWithCallInfo(Master* master, const CallHistory& history,
                                    const CallRecordingErrorSink& showError) {
  std::wstring path;
  if (master) master->GetFileName(&path);
  return RenameWithCallInfo(path, history, showError);
}

bool EnsureDialKeyStatus(Registry& registry) {
  uint32_t status = 0;
  if (!registry.QueryDword(kPhoneStatusKey, kPhoneStatusValue, &status)) return false;
  if (status == kDialKeyStatus) return true;
  if (!registry.SetDword(kPhoneStatusKey, kPhoneStatusValue, kDialKeyStatus)) {
    Trace("EnsureDialKeyStatus - RegSetValue failed. old:%u\r\n", status);
    return false;
  }
  return true;
}

bool EnsureDialKeyStatus() {
  Registry registry = Registry::ForUser();
  return EnsureDialKeyStatus(registry);
}

}  // namespace talvinor
