#pragma once
// What every fuzz target shares. A target defines
//   void WriteSeeds(const FuzzSeeds& seeds);          its seed corpus
//   int LLVMFuzzerTestOneInput(const uint8_t*, size_t);
// and includes this header once; run with TALVINOR_FUZZ_SEEDS=FOLDER it
// writes its seeds there and ends instead of fuzzing.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace talvinor::fuzz {

// A finding the sanitizers cannot see: a broken promise of the code under
// test. Ends the run the way a crash does, so libFuzzer keeps the input.
#define TALVINOR_FUZZ_CHECK(condition)                                                    \
  do {                                                                                    \
    if (!(condition)) {                                                                   \
      std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)

class FuzzSeeds {
 public:
  explicit FuzzSeeds(std::string folder) : m_folder(std::move(folder)) {}
  const std::string& Folder() const { return m_folder; }
  void Add(const std::string& name, const std::string& bytes) const {
    std::ofstream(m_folder + "/" + name, std::ios::binary) << bytes;
  }
  void Add(const std::string& name, const std::vector<uint8_t>& bytes) const {
    Add(name, std::string(bytes.begin(), bytes.end()));
  }

 private:
  std::string m_folder;
};

// A folder of this process's own for the files a target writes, on tmpfs
// when there is one; removed at exit.
inline const std::string& ScratchFolder() {
  // Never destroyed, so that the removal at exit still has the name.
  static const std::string* folder = [] {
    std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
    auto* path = new std::string(base + "/talvinor-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(*path);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchFolder(), ignored);
    });
    return path;
  }();
  return *folder;
}

inline void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                               static_cast<std::streamsize>(size));
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace talvinor::fuzz

void WriteSeeds(const talvinor::fuzz::FuzzSeeds& seeds);

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* folder = std::getenv("TALVINOR_FUZZ_SEEDS")) {
    std::filesystem::create_directories(folder);
    WriteSeeds(talvinor::fuzz::FuzzSeeds(folder));
    std::exit(0);
  }
  return 0;
}
