#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

namespace talvinor::testing {

inline void Append16(std::string& s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}
inline void Append32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline uint32_t Read32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(s[at + i])) << (8 * i);
  return v;
}

// Deterministic PCM bytes that differ at every position of a frame.
inline std::string Pcm(size_t bytes, uint32_t seed = 1) {
  std::string s(bytes, '\0');
  uint32_t x = seed * 2654435761u + 12345;
  for (char& c : s) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

inline std::string Chunk(const std::string& id, const std::string& body, uint32_t declaredSize = 0xFFFFFFFFu) {
  std::string s = id;
  Append32(s, declaredSize == 0xFFFFFFFFu ? static_cast<uint32_t>(body.size()) : declaredSize);
  return s + body;
}

inline std::string FmtBody(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t tag = 1) {
  std::string s;
  uint16_t align = static_cast<uint16_t>(channels * (bits / 8));
  Append16(s, tag);
  Append16(s, channels);
  Append32(s, rate);
  Append32(s, rate * align);
  Append16(s, align);
  Append16(s, bits);
  return s;
}

// An extensible fmt body (40 bytes) whose sub-format is `subTag`.
inline std::string ExtensibleFmtBody(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t subTag = 1) {
  std::string s = FmtBody(channels, rate, bits, 0xFFFE);
  Append16(s, 22);    // extra size
  Append16(s, bits);  // valid bits
  Append32(s, 3);     // channel mask
  Append16(s, subTag);
  s += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  return s;
}

// "RIFF" size "WAVE" + chunks; the RIFF size is computed unless given.
inline std::string Riff(const std::string& chunks, uint32_t riffSize = 0xFFFFFFFFu) {
  std::string s = "RIFF";
  Append32(s, riffSize == 0xFFFFFFFFu ? static_cast<uint32_t>(chunks.size() + 4) : riffSize);
  return s + "WAVE" + chunks;
}

inline std::string SimpleWav(const std::string& pcm, uint16_t channels = 2, uint32_t rate = 44100, uint16_t bits = 16) {
  return Riff(Chunk("fmt ", FmtBody(channels, rate, bits)) + Chunk("data", pcm));
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace talvinor::testing
