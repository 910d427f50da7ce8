#include "settings/ConfigStore.h"

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "core/MemoryBuffer.h"
#include "core/ProgramPaths.h"
#include "core/Singletons.h"
#include "platform/CodePage.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "settings/SettingsFormat.h"
#include "settings/SettingsParserService.h"

namespace talvinor {

namespace {

// A real settings file is a few kilobytes; anything this large is not one,
// and reading it whole would only waste memory.
constexpr uint32_t kMaxSettingsFileSize = 1u << 20;

std::mutex g_limitMutex;
std::optional<uint32_t> g_writeLimit;  // guarded by g_limitMutex

bool WriteAll(File* file, const uint8_t* data, uint32_t size) {
  std::optional<uint32_t> limit;
  {
    std::lock_guard lock(g_limitMutex);
    limit = g_writeLimit;
  }
  if (limit && size > *limit) {
    // What a full disk does: part of the data lands, then the write fails.
    if (*limit > 0) file->Write(data, *limit);
    TraceErrno(ENOSPC, "SaveConfig: write limit reached");
    return false;
  }
  return file->Write(data, size);
}

}  // namespace

RefPtr<CONFIG> GetConfig() { return GetOrCreateSingleton<CONFIG>(SingletonSlot::Settings); }

void SetSettingsWriteLimit(std::optional<uint32_t> bytes) {
  std::lock_guard lock(g_limitMutex);
  g_writeLimit = bytes;
}

ConfigLoadResult LoadConfigFile(const std::wstring& path, CONFIG* target, std::wstring* detail) {
  auto say = [detail](std::wstring text) {
    if (detail) *detail = std::move(text);
  };
  File file;
  if (!file.Open(path, FileOpenMode::Read)) {
    if (file.LastError() == ENOENT) {
      say(L"no settings file");
      return ConfigLoadResult::Missing;
    }
    say(L"cannot open: " + Utf8ToWide(std::generic_category().message(file.LastError())));
    return ConfigLoadResult::Unreadable;
  }
  uint32_t size = 0;
  if (!file.GetSize(&size)) {
    say(L"cannot get the size: " + Utf8ToWide(std::generic_category().message(file.LastError())));
    return ConfigLoadResult::Unreadable;
  }
  if (size > kMaxSettingsFileSize) {
    Trace("LoadConfig - file of %u bytes refused\r\n", size);
    say(L"the file is too large (" + std::to_wstring(size) + L" bytes)");
    return ConfigLoadResult::Malformed;
  }
  std::string bytes(size, '\0');
  uint32_t done = 0;
  if (!file.Read(bytes.data(), size, &done) || done != size) {
    say(L"cannot read the file");
    return ConfigLoadResult::Unreadable;
  }
  file.Close();

  auto scratch = Create<CONFIG>();
  std::wstring error;
  if (!SettingsParserService::Get()->Parse(AnsiToWide(bytes), scratch.Get(), &error)) {
    Trace("LoadConfig - parse failed: %s\r\n", WideToUtf8(error).c_str());
    say(error);
    return ConfigLoadResult::Malformed;
  }
  // Only a complete parse reaches the target.
  target->CopyFrom(*scratch);
  say(L"loaded");
  return ConfigLoadResult::Loaded;
}

bool LoadConfig() {
  std::wstring path;
  if (!GetSettingsPath(&path)) {
    Trace("LoadConfig - no program folder\r\n");
    return false;
  }
  ConfigLoadResult result = LoadConfigFile(path, GetConfig().Get());
  return result == ConfigLoadResult::Loaded || result == ConfigLoadResult::Missing;
}

bool SaveConfigFile(const std::wstring& path, const CONFIG& config) {
  auto bytes = Create<HeapBuffer>();
  if (!SettingsBytes(config, bytes.Get())) {
    Trace("SaveConfig - cannot build the text\r\n");
    return false;
  }
  const std::wstring temporary = path + L".tmp";
  {
    File file;
    if (!file.Open(temporary, FileOpenMode::CreateAlways)) return false;
    bool written = WriteAll(&file, bytes->GetPointer(), bytes->GetSize()) && file.Flush();
    file.Close();
    if (!written) {
      DeleteFile(temporary);
      return false;
    }
  }
  // Only a complete, flushed file replaces the settings.
  std::error_code ec;
  std::filesystem::rename(WideToUtf8(temporary), WideToUtf8(path), ec);
  if (ec) {
    TraceErrno(ec.value(), "SaveConfig rename over talvinor.ini");
    DeleteFile(temporary);
    return false;
  }
  return true;
}

bool SaveConfig() {
  std::wstring path;
  if (!GetSettingsPath(&path)) {
    Trace("SaveConfig - no program folder\r\n");
    return false;
  }
  return SaveConfigFile(path, *GetConfig());
}

}  // namespace talvinor
