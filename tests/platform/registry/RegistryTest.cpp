#include "platform/registry/Registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/ChildProcess.h"
#include "support/TempFolder.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

using testing::TempFolder;
using testing::TraceCapture;

const std::wstring kTimeouts = L"SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts";
const std::wstring kPhone = L"Software\\Sharp\\PhoneStatus";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST(RegistryTest, ValuesReadBackWithTheirTypesFromAFreshStoreObject) {
  TempFolder folder;
  {
    Registry registry(folder.Path());
    ASSERT_TRUE(registry.SetDword(kTimeouts, L"BattSuspendTimeout", 300));
    ASSERT_TRUE(registry.SetDword(kTimeouts, L"ACSuspendTimeout", 0xFFFFFFFFu));
    ASSERT_TRUE(registry.SetDword(kPhone, L"Status22", 0));
    ASSERT_TRUE(registry.SetString(kPhone, L"Owner", L"山田 \"太郎\" C:\\path\\"));
    ASSERT_TRUE(registry.SetString(kPhone, L"", L""));
    ASSERT_TRUE(registry.SetValue(kPhone, L"Blob", RegistryValue{static_cast<RegistryType>(3), {0x00, 0xFF, 0x10}}));
    // Text the quoted form cannot hold survives in the hexadecimal form.
    ASSERT_TRUE(registry.SetString(kPhone, L"Lines", L"one\ntwo\tthree"));
  }
  Registry registry(folder.Path());
  uint32_t number = 1;
  EXPECT_TRUE(registry.QueryDword(kTimeouts, L"BattSuspendTimeout", &number));
  EXPECT_EQ(number, 300u);
  EXPECT_TRUE(registry.QueryDword(kTimeouts, L"ACSuspendTimeout", &number));
  EXPECT_EQ(number, 0xFFFFFFFFu);
  EXPECT_TRUE(registry.QueryDword(kPhone, L"Status22", &number));
  EXPECT_EQ(number, 0u);
  std::wstring text;
  EXPECT_TRUE(registry.QueryString(kPhone, L"Owner", &text));
  EXPECT_EQ(text, L"山田 \"太郎\" C:\\path\\");
  EXPECT_TRUE(registry.QueryString(kPhone, L"", &text));
  EXPECT_EQ(text, L"");
  EXPECT_TRUE(registry.QueryString(kPhone, L"Lines", &text));
  EXPECT_EQ(text, L"one\ntwo\tthree");
  RegistryValue blob;
  EXPECT_TRUE(registry.QueryValue(kPhone, L"Blob", &blob));
  EXPECT_EQ(blob, (RegistryValue{static_cast<RegistryType>(3), {0x00, 0xFF, 0x10}}));

  // Names compare without regard to case, as on the handset.
  EXPECT_TRUE(registry.QueryDword(L"system\\currentcontrolset\\control\\power\\TIMEOUTS", L"battsuspendtimeout", &number));
  EXPECT_EQ(number, 300u);
  ASSERT_TRUE(registry.SetDword(kTimeouts, L"BATTSUSPENDTIMEOUT", 60));
  EXPECT_TRUE(registry.QueryDword(kTimeouts, L"BattSuspendTimeout", &number));
  EXPECT_EQ(number, 60u);

  EXPECT_TRUE(registry.KeyExists(kPhone));
  EXPECT_FALSE(registry.KeyExists(L"Software\\Nobody"));
  EXPECT_TRUE(registry.DeleteValue(kPhone, L"Status22"));
  EXPECT_FALSE(registry.QueryDword(kPhone, L"Status22", &number));
  EXPECT_TRUE(registry.DeleteValue(kPhone, L"Status22"));  // already gone
}

TEST(RegistryTest, OnlyADwordOfFourBytesIsReadAsADword) {
  TempFolder folder;
  Registry registry(folder.Path());
  ASSERT_TRUE(registry.SetString(kTimeouts, L"BattSuspendTimeout", L"300"));
  ASSERT_TRUE(registry.SetValue(kTimeouts, L"ACSuspendTimeout", RegistryValue{RegistryType::Dword, {0x2C, 0x01}}));
  ASSERT_TRUE(registry.SetValue(kTimeouts, L"Long", RegistryValue{RegistryType::Dword, {1, 0, 0, 0, 0}}));
  ASSERT_TRUE(registry.SetDword(kTimeouts, L"Number", 7));

  TraceCapture trace;
  uint32_t number = 12345;
  EXPECT_FALSE(registry.QueryDword(kTimeouts, L"BattSuspendTimeout", &number));
  EXPECT_FALSE(registry.QueryDword(kTimeouts, L"ACSuspendTimeout", &number));
  EXPECT_FALSE(registry.QueryDword(kTimeouts, L"Long", &number));
  EXPECT_FALSE(registry.QueryDword(kTimeouts, L"Missing", &number));
  EXPECT_FALSE(registry.QueryDword(L"No\\Such\\Key", L"Number", &number));
  EXPECT_EQ(number, 12345u) << "a value that is not read leaves the target alone";
  EXPECT_TRUE(trace.Contains("is not a REG_DWORD of 4 bytes"));

  std::wstring text = L"untouched";
  EXPECT_FALSE(registry.QueryString(kTimeouts, L"Number", &text));
  EXPECT_EQ(text, L"untouched");
}

TEST(RegistryTest, DamagedLinesAreSkippedTracedAndKeptWhileTheRestIsUsed) {
  TempFolder folder;
  Registry registry(folder.Path());
  const std::string garbage = "\x01\xFF\xFE binary junk";
  const std::string damaged =
      "\"Orphan\"=dword:00000001\n"  // a value before any key
      "[SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts]\r\n"
      "\"BattSuspendTimeout\"=dword:0000012c\r\n"
      "\"ACSuspendTimeout\"=dword:zz\n"
      "\"Broken=dword:00000001\n"
      "\"Escape\"=\"bad \\q escape\"\n" +
      garbage +
      "\n"
      "[\xC3\x28 invalid key]\n"
      "\"BattSuspendTimeout\"=dword:00000000\n"  // belongs to the unreadable key
      "\"Bytes\"=hex(4):2c,1\n"
      "\n"
      "[Software\\Sharp\\PhoneStatus]\n"
      "\"Status22\"=dword:00000005\n"
      "\"Name\"=\"\xE5\xB1\xB1\xE7\x94\xB0\"\n"
      "\"Status22\"=dword:00000006\n"
      "[SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts]\n"
      "\"Later\"=dword:00000002\n"
      "[unterminated";  // no newline at the end either
  WriteBytes(registry.FilePath(), damaged);

  TraceCapture trace;
  RegistryContents contents;
  ASSERT_EQ(registry.Read(&contents), RegistryReadResult::Read);
  EXPECT_EQ(contents.DamagedLines(), 9u);
  EXPECT_TRUE(trace.Contains("cannot be read"));

  uint32_t number = 0;
  EXPECT_TRUE(registry.QueryDword(kTimeouts, L"BattSuspendTimeout", &number));
  EXPECT_EQ(number, 300u);
  EXPECT_FALSE(registry.QueryDword(kTimeouts, L"ACSuspendTimeout", &number));
  EXPECT_TRUE(registry.QueryDword(kTimeouts, L"Later", &number));
  EXPECT_EQ(number, 2u);
  EXPECT_TRUE(registry.QueryDword(kPhone, L"Status22", &number));
  EXPECT_EQ(number, 6u) << "the later of two lines wins";
  std::wstring name;
  EXPECT_TRUE(registry.QueryString(kPhone, L"Name", &name));
  EXPECT_EQ(name, L"山田");

  // A change rewrites the store, keeping what it could not read word for word.
  ASSERT_TRUE(registry.SetDword(kTimeouts, L"ACSuspendTimeout", 600));
  const std::string rewritten = ReadBytes(registry.FilePath());
  EXPECT_NE(rewritten.find("\"ACSuspendTimeout\"=dword:zz"), std::string::npos);
  EXPECT_NE(rewritten.find(garbage), std::string::npos);
  EXPECT_NE(rewritten.find("\"Orphan\"=dword:00000001"), std::string::npos);
  EXPECT_TRUE(registry.QueryDword(kTimeouts, L"ACSuspendTimeout", &number));
  EXPECT_EQ(number, 600u);
  EXPECT_TRUE(registry.QueryDword(kTimeouts, L"BattSuspendTimeout", &number));
  EXPECT_EQ(number, 300u);
  EXPECT_TRUE(registry.QueryDword(kPhone, L"Status22", &number));
  EXPECT_EQ(number, 6u);
  ASSERT_EQ(registry.Read(&contents), RegistryReadResult::Read);
  EXPECT_EQ(contents.DamagedLines(), 9u) << "the rewrite neither repairs nor adds damage";
}

TEST(RegistryTest, AFailedWriteLeavesTheOldStoreAndNoTemporaryFile) {
  TempFolder folder;
  Registry registry(folder.Path());
  ASSERT_TRUE(registry.SetDword(kTimeouts, L"BattSuspendTimeout", 300));
  const std::string before = ReadBytes(registry.FilePath());

  for (uint32_t limit : {0u, 1u, 40u}) {
    Registry::SetWriteLimitForTesting(limit);
    EXPECT_FALSE(registry.SetDword(kTimeouts, L"BattSuspendTimeout", 0)) << "limit " << limit;
    EXPECT_FALSE(registry.SetString(kPhone, L"Long", std::wstring(1000, L'x'))) << "limit " << limit;
    Registry::SetWriteLimitForTesting(std::nullopt);
    EXPECT_EQ(ReadBytes(registry.FilePath()), before);
    EXPECT_FALSE(std::filesystem::exists(folder.File(kRegistryTempName)));
  }
  uint32_t number = 0;
  EXPECT_TRUE(registry.QueryDword(kTimeouts, L"BattSuspendTimeout", &number));
  EXPECT_EQ(number, 300u);

  // What a writer that died mid-write leaves behind is neither read nor in the way.
  WriteBytes(folder.File(kRegistryTempName), "[SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts]\n\"BattSusp");
  EXPECT_TRUE(registry.QueryDword(kTimeouts, L"BattSuspendTimeout", &number));
  EXPECT_EQ(number, 300u);
  ASSERT_TRUE(registry.SetDword(kTimeouts, L"BattSuspendTimeout", 120));
  EXPECT_TRUE(registry.QueryDword(kTimeouts, L"BattSuspendTimeout", &number));
  EXPECT_EQ(number, 120u);
  EXPECT_FALSE(std::filesystem::exists(folder.File(kRegistryTempName)));
}

TEST(RegistryTest, AStoreThatCannotBeReadIsNeverOverwritten) {
  TempFolder folder;
  Registry registry(folder.Path());
  // Far larger than any store of ours: refused, and a change must not replace it.
  const std::string huge(2 << 20, 'x');
  WriteBytes(registry.FilePath(), huge);
  TraceCapture trace;
  RegistryContents contents;
  EXPECT_EQ(registry.Read(&contents), RegistryReadResult::Failed);
  EXPECT_FALSE(registry.SetDword(kTimeouts, L"BattSuspendTimeout", 300));
  EXPECT_EQ(ReadBytes(registry.FilePath()).size(), huge.size());
  EXPECT_TRUE(trace.Contains("not used"));

  // The store's name taken by a folder.
  TempFolder other;
  Registry blocked(other.Path());
  std::filesystem::create_directory(blocked.FilePath());
  EXPECT_EQ(blocked.Read(&contents), RegistryReadResult::Failed);
  EXPECT_FALSE(blocked.SetDword(kTimeouts, L"BattSuspendTimeout", 300));
  EXPECT_TRUE(std::filesystem::is_directory(blocked.FilePath()));
}

TEST(RegistryTest, AChangeThatAltersNothingLeavesTheFileAlone) {
  TempFolder folder;
  Registry registry(folder.Path());
  ASSERT_TRUE(registry.SetDword(kTimeouts, L"BattSuspendTimeout", 300));
  const ino_t inode = Inode(registry.FilePath());
  const std::string before = ReadBytes(registry.FilePath());
  EXPECT_TRUE(registry.SetDword(kTimeouts, L"BattSuspendTimeout", 300));
  EXPECT_TRUE(registry.DeleteValue(kTimeouts, L"NoSuchValue"));
  EXPECT_TRUE(registry.Update([](RegistryContents&) {}));
  EXPECT_EQ(Inode(registry.FilePath()), inode);
  EXPECT_EQ(ReadBytes(registry.FilePath()), before);

  // An empty key cannot be stored.
  EXPECT_FALSE(registry.SetDword(L"", L"Value", 1));
  EXPECT_FALSE(registry.SetDword(L"Bad\nKey", L"Value", 1));
  EXPECT_EQ(ReadBytes(registry.FilePath()), before);

  // A missing store reads as empty, and deleting from it creates nothing.
  TempFolder empty;
  Registry none(empty.Path() + "/not/yet");
  uint32_t number = 0;
  EXPECT_FALSE(none.QueryDword(kTimeouts, L"BattSuspendTimeout", &number));
  EXPECT_FALSE(none.KeyExists(kTimeouts));
  EXPECT_TRUE(none.DeleteValue(kTimeouts, L"BattSuspendTimeout"));
  EXPECT_FALSE(std::filesystem::exists(none.FilePath()));
  EXPECT_TRUE(none.SetDword(kTimeouts, L"BattSuspendTimeout", 1)) << "missing folders are made";
}

TEST(RegistryTest, TwoProcessesIncrementingUnderTheLockLoseNoUpdate) {
  TempFolder folder;
  Registry registry(folder.Path());
  ASSERT_TRUE(registry.SetDword(kPhone, L"Counter", 0));
  constexpr int kRounds = 200;
  auto increment = [&]() {
    Registry own(folder.Path());
    for (int i = 0; i < kRounds; ++i) {
      bool read = false;
      bool ok = own.Update([&](RegistryContents& contents) {
        uint32_t value = 0;
        const RegistryValue* stored = contents.Find(kPhone, L"Counter");
        read = stored && stored->AsDword(&value);
        contents.Set(kPhone, L"Counter", RegistryValue::FromDword(value + 1));
      });
      if (!ok || !read) return 1;
    }
    return 0;
  };
  testing::ChildProcess first(increment);
  testing::ChildProcess second(increment);
  ASSERT_TRUE(first.Started() && second.Started());
  EXPECT_EQ(first.Join(60000), 0);
  EXPECT_EQ(second.Join(60000), 0);
  uint32_t counter = 0;
  EXPECT_TRUE(registry.QueryDword(kPhone, L"Counter", &counter));
  EXPECT_EQ(counter, 2u * kRounds);
}

TEST(RegistryTest, AReaderNeverSeesHalfAStoreWhileAnotherProcessWrites) {
  TempFolder folder;
  Registry registry(folder.Path());
  // Large enough that a write takes several system calls.
  const std::wstring a(40000, L'a');
  const std::wstring b(40000, L'b');
  ASSERT_TRUE(registry.SetString(kPhone, L"Marker", a));
  testing::ReadyPipe started;
  testing::ChildProcess writer([&]() {
    Registry own(folder.Path());
    started.Signal();
    for (int i = 0; i < 300; ++i)
      if (!own.SetString(kPhone, L"Marker", i % 2 ? a : b)) return 1;
    return 0;
  });
  ASSERT_EQ(started.Await(), 'r');
  int reads = 0;
  int exitCode = -1;
  while ((exitCode = writer.Join(0)) == -1 && reads < 100000) {
    std::wstring marker;
    ASSERT_TRUE(registry.QueryString(kPhone, L"Marker", &marker)) << "read " << reads;
    ASSERT_TRUE(marker == a || marker == b) << "read " << reads << " saw " << marker.size() << " characters";
    ++reads;
  }
  if (exitCode == -1) exitCode = writer.Join(60000);
  EXPECT_EQ(exitCode, 0);
  EXPECT_GT(reads, 0);
}

TEST(RegistryTest, TheUserStoreLivesInTheXdgConfigFolder) {
  const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
  const char* savedHome = std::getenv("HOME");
  const std::string config = savedConfig ? savedConfig : "";
  const std::string home = savedHome ? savedHome : "";

  setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(Registry::UserFolder(), "/somewhere/config/talvinor");
  EXPECT_EQ(Registry::ForUser().FilePath(), "/somewhere/config/talvinor/registry");
  // A relative XDG_CONFIG_HOME is not a valid one.
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  EXPECT_EQ(Registry::UserFolder(), "/home/someone/.config/talvinor");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/someone/", 1);
  EXPECT_EQ(Registry::UserFolder(), "/home/someone/.config/talvinor");

  if (savedConfig) setenv("XDG_CONFIG_HOME", config.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
  if (savedHome) setenv("HOME", home.c_str(), 1); else unsetenv("HOME");
}

}  // namespace
}  // namespace talvinor
