#include "codec/RecordingRepair.h"

#include <ogg/ogg.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <set>
#include <vector>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"

namespace talvinor {

namespace {

constexpr uint32_t kWaveHeaderSize = 44;
constexpr uint32_t kOggHeaderSize = 27;
constexpr uint32_t kOggMaxPage = kOggHeaderSize + 255 + 255 * 255;
// How far back from the end a complete Ogg file's last page is looked for
// before the whole file is scanned.
constexpr uint32_t kOggTailBytes = kOggMaxPage + 4;
constexpr uint8_t kOggEndOfStream = 0x04;

uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  return line;
}

bool ReadAt(File& file, uint32_t offset, void* data, uint32_t size, uint32_t* done) {
  *done = 0;
  return file.Seek(offset, SeekOrigin::Begin) && file.Read(data, size, done);
}

bool WriteAt(File& file, uint32_t offset, const void* data, uint32_t size) {
  return file.Seek(offset, SeekOrigin::Begin) && file.Write(data, size);
}

RepairReport Failure(File& file, const char* doing) {
  RepairReport report;
  report.outcome = RepairOutcome::Failed;
  report.error = file.LastError();
  report.what = Format("%s failed: %s", doing, std::strerror(report.error));
  return report;
}

// --- WAV -------------------------------------------------------------------

// Our recordings: RIFF, WAVE, a 16-byte fmt chunk and the data chunk at 36.
bool IsOwnWaveLayout(const uint8_t* h) {
  return std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVEfmt ", 8) == 0 && Get32(h + 16) == 16 &&
         std::memcmp(h + 36, "data", 4) == 0;
}

// True when what follows the data the header claims is another chunk (a
// file from another program with a LIST chunk after its sound, say): its
// header is then right, and the rest of the file is not sound.
bool ChunkFollows(File& file, uint32_t offset, uint32_t fileSize) {
  if (offset + 8 > fileSize) return false;
  uint8_t chunk[8];
  uint32_t done = 0;
  if (!ReadAt(file, offset, chunk, 8, &done) || done != 8) return false;
  for (int i = 0; i < 4; ++i) {
    if (chunk[i] < 0x20 || chunk[i] > 0x7E) return false;
  }
  return static_cast<uint64_t>(offset) + 8 + Get32(chunk + 4) <= fileSize;
}

RepairReport RepairWave(File& file, const uint8_t* h, uint32_t size, RepairMode mode) {
  RepairReport report;
  report.sizeBefore = report.sizeAfter = size;
  const uint16_t align = Get16(h + 32);
  if (!IsOwnWaveLayout(h) || align == 0) {
    report.outcome = RepairOutcome::NotRecording;
    report.what = "not a WAV file with the header this program writes";
    return report;
  }
  const uint32_t claimedRiff = Get32(h + 4);
  const uint32_t claimedData = Get32(h + 40);
  report.dataBytesBefore = claimedData;
  const uint32_t present = (size - kWaveHeaderSize) / align * align;
  // A finished file's header agrees with its length, or claims less than the
  // file holds because a further chunk follows the sound (a file from
  // another program).
  const uint32_t pad = claimedData & 1;
  const bool fits = claimedData <= size - kWaveHeaderSize;
  const bool final =
      fits && ((claimedData == present && claimedRiff == claimedData + 36) ||
               (claimedRiff + 8 == size && claimedRiff == claimedData + 36 + pad) ||
               ChunkFollows(file, kWaveHeaderSize + claimedData + pad, size));
  if (final) {
    report.outcome = RepairOutcome::Complete;
    report.dataBytesAfter = claimedData;
    report.what = "complete";
    return report;
  }
  report.dataBytesAfter = present;
  report.outcome = RepairOutcome::Repaired;
  report.what = Format("WAV sizes set from the file's length: %u bytes of sound (the header said %u)", present,
                       claimedData);
  if (mode == RepairMode::CheckOnly) return report;
  uint8_t field[4];
  Put32(field, present + 36);
  if (!WriteAt(file, 4, field, 4)) return Failure(file, "writing the RIFF size");
  Put32(field, present);
  if (!WriteAt(file, 40, field, 4)) return Failure(file, "writing the data size");
  return report;
}

// --- Ogg -------------------------------------------------------------------

struct OggPageInfo {
  uint32_t offset = 0;
  uint32_t length = 0;  // header, segment table and body
  bool endOfStream = false;
  bool endsPacket = false;  // its granule position is set: a packet ends on it
};

// Reads the page at `offset` and checks its sum; false for anything that is
// not one whole, valid page there.
bool ReadOggPage(File& file, uint32_t offset, uint32_t fileSize, std::vector<uint8_t>& page, OggPageInfo* info) {
  if (fileSize < offset || fileSize - offset < kOggHeaderSize) return false;
  page.resize(kOggMaxPage);
  uint32_t done = 0;
  if (!ReadAt(file, offset, page.data(), kOggHeaderSize, &done) || done != kOggHeaderSize) return false;
  if (std::memcmp(page.data(), "OggS", 4) != 0 || page[4] != 0) return false;
  const uint32_t segments = page[26];
  if (fileSize - offset < kOggHeaderSize + segments) return false;
  if (!file.Read(page.data() + kOggHeaderSize, segments, &done) || done != segments) return false;
  uint32_t body = 0;
  for (uint32_t i = 0; i < segments; ++i) body += page[kOggHeaderSize + i];
  const uint32_t headerLength = kOggHeaderSize + segments;
  if (fileSize - offset < headerLength + body) return false;
  if (!file.Read(page.data() + headerLength, body, &done) || done != body) return false;

  uint8_t stored[4];
  std::memcpy(stored, page.data() + 22, 4);
  ogg_page view{page.data(), static_cast<long>(headerLength), page.data() + headerLength, static_cast<long>(body)};
  ogg_page_checksum_set(&view);
  if (std::memcmp(stored, page.data() + 22, 4) != 0) return false;

  info->offset = offset;
  info->length = headerLength + body;
  info->endOfStream = (page[5] & kOggEndOfStream) != 0;
  info->endsPacket = ogg_page_granulepos(&view) != -1;
  page.resize(info->length);
  return true;
}

// A complete file ends with a valid end-of-stream page that ends exactly at
// the end of the file; looked for in the last page's reach only.
bool OggEndsCompleteWithin(File& file, uint32_t size, uint32_t window) {
  const uint32_t from = size > window ? size - window : 0;
  std::vector<uint8_t> tail(size - from);
  uint32_t done = 0;
  if (!ReadAt(file, from, tail.data(), static_cast<uint32_t>(tail.size()), &done) || done != tail.size()) return false;
  std::vector<uint8_t> page;
  for (size_t i = tail.size() >= kOggHeaderSize ? tail.size() - kOggHeaderSize + 1 : 0; i-- > 0;) {
    if (std::memcmp(tail.data() + i, "OggS", 4) != 0) continue;
    OggPageInfo info;
    if (ReadOggPage(file, from + static_cast<uint32_t>(i), size, page, &info) && info.offset + info.length == size) {
      return info.endOfStream;
    }
  }
  return false;
}

// Our own pages are small: most files are settled by their last 16 KB.
bool OggEndsComplete(File& file, uint32_t size) {
  constexpr uint32_t kQuickTailBytes = 16 * 1024;
  return OggEndsCompleteWithin(file, size, kQuickTailBytes) || (size > kQuickTailBytes && OggEndsCompleteWithin(file, size, kOggTailBytes));
}

// True when a valid page starts anywhere at or after `offset`.
bool ValidPageAfter(File& file, uint32_t offset, uint32_t size) {
  constexpr uint32_t kChunk = 1 << 16;
  std::vector<uint8_t> chunk(kChunk + 3);
  std::vector<uint8_t> page;
  for (uint32_t at = offset; at + 4 <= size; at += kChunk) {
    uint32_t want = size - at < kChunk + 3 ? size - at : kChunk + 3;
    uint32_t done = 0;
    if (!ReadAt(file, at, chunk.data(), want, &done)) return false;
    for (uint32_t i = 0; i + 4 <= done && i < kChunk; ++i) {
      if (std::memcmp(chunk.data() + i, "OggS", 4) != 0) continue;
      OggPageInfo info;
      if (ReadOggPage(file, at + i, size, page, &info)) return true;
    }
  }
  return false;
}

RepairReport RepairOgg(File& file, uint32_t size, RepairMode mode) {
  RepairReport report;
  report.sizeBefore = report.sizeAfter = size;
  if (OggEndsComplete(file, size)) {
    report.outcome = RepairOutcome::Complete;
    report.what = "complete";
    return report;
  }

  std::vector<uint8_t> page;
  OggPageInfo info, last, lastEnding;
  bool any = false, anyEnding = false;
  uint32_t offset = 0;
  while (ReadOggPage(file, offset, size, page, &info)) {
    any = true;
    last = info;
    if (info.endsPacket) {
      lastEnding = info;
      anyEnding = true;
    }
    offset = info.offset + info.length;
    if (offset == size) break;
  }
  if (!any || !anyEnding) {
    report.outcome = RepairOutcome::NotRecording;
    report.what = "no complete Ogg page";
    return report;
  }
  if (offset < size && ValidPageAfter(file, offset + 1, size)) {
    report.outcome = RepairOutcome::LeftAlone;
    report.what = Format("damaged at byte %u with valid pages after it; left as it is", offset);
    return report;
  }
  if (last.endOfStream && offset == size) {
    // Ended, just not found by the quick look (a page longer than usual).
    report.outcome = RepairOutcome::Complete;
    report.what = "complete";
    return report;
  }

  const uint32_t cut = lastEnding.offset + lastEnding.length;
  report.sizeAfter = cut;
  report.endMarkAdded = !lastEnding.endOfStream;
  report.outcome = RepairOutcome::Repaired;
  report.what = Format("Ogg stream cut to its last complete page at %u of %u bytes%s", cut, size,
                       report.endMarkAdded ? ", marked as its end" : "");
  if (mode == RepairMode::CheckOnly) return report;

  if (report.endMarkAdded) {
    if (!ReadOggPage(file, lastEnding.offset, size, page, &info)) return Failure(file, "reading the last page");
    page[5] |= kOggEndOfStream;
    const long headerLength = kOggHeaderSize + page[26];
    ogg_page view{page.data(), headerLength, page.data() + headerLength, static_cast<long>(page.size()) - headerLength};
    ogg_page_checksum_set(&view);
    // Only the flags and the sum change.
    if (!WriteAt(file, lastEnding.offset, page.data(), kOggHeaderSize)) return Failure(file, "marking the last page");
  }
  if (cut < size && !file.Truncate(cut)) return Failure(file, "cutting the file");
  return report;
}

}  // namespace

RepairReport RepairRecording(const std::wstring& path, RepairMode mode) {
  File file;
  if (!file.Open(path, mode == RepairMode::Repair ? FileOpenMode::ReadWrite : FileOpenMode::Read)) {
    RepairReport report = Failure(file, "opening");
    if (file.IsNotRegularFile()) report.what = "not a regular file";
    return report;
  }
  if (!file.TryLockExclusive()) {
    RepairReport report;
    report.outcome = file.LastError() == EWOULDBLOCK ? RepairOutcome::LeftAlone : RepairOutcome::Failed;
    report.error = file.LastError();
    report.what = report.outcome == RepairOutcome::LeftAlone ? "being written by a running recording; left as it is"
                                                             : "could not be locked";
    return report;
  }
  uint32_t size = 0;
  if (!file.GetSize(&size)) return Failure(file, "reading the size");
  uint8_t head[kWaveHeaderSize] = {};
  uint32_t done = 0;
  if (!ReadAt(file, 0, head, sizeof head, &done)) return Failure(file, "reading the header");

  RepairReport report;
  if (done >= 4 && std::memcmp(head, "OggS", 4) == 0) {
    report = RepairOgg(file, size, mode);
  } else if (done == kWaveHeaderSize && std::memcmp(head, "RIFF", 4) == 0) {
    report = RepairWave(file, head, size, mode);
  } else {
    report.outcome = RepairOutcome::NotRecording;
    report.sizeBefore = report.sizeAfter = size;
    report.what = "not a WAV or Ogg recording";
  }
  if (report.outcome == RepairOutcome::Repaired && mode == RepairMode::Repair) {
    Trace("RecordingRepair - \"%s\": %s\r\n", WideToUtf8(path).c_str(), report.what.c_str());
  }
  return report;
}

namespace {

bool Digits(const std::wstring& text, size_t at, size_t count) {
  if (text.size() < at + count) return false;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
  }
  return true;
}

bool EndsWith(const std::wstring& text, const wchar_t* tail) {
  const std::wstring end(tail);
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

bool IsRecordingName(const std::wstring& name) {
  // "rz" or "rm", six digits, '_', six digits: 15 characters before the rest.
  if (name.size() < 19 || name[0] != L'r' || (name[1] != L'z' && name[1] != L'm')) return false;
  if (!Digits(name, 2, 6) || name[8] != L'_' || !Digits(name, 9, 6)) return false;
  if (name[1] == L'm') return name.size() == 19 && EndsWith(name, L".ogg");
  // A call recording carries the other party's details before the extension.
  if (name.size() > 19 && name[15] != L'_' && name[15] != L'.') return false;
  return EndsWith(name, L".wav") || EndsWith(name, L".ogg") || EndsWith(name, L".spx");
}

std::vector<RecoveredRecording> RepairUnfinishedRecordings(const std::vector<std::wstring>& folders) {
  std::vector<RecoveredRecording> repaired;
  std::set<std::wstring> seen;
  for (const std::wstring& folder : folders) {
    if (!seen.insert(folder).second) continue;
    std::vector<FolderEntry> entries;
    if (ListFolder(folder, &entries) != 0) continue;
    for (const FolderEntry& entry : entries) {
      if ((entry.attributes & kAttrDirectory) || !IsRecordingName(entry.name)) continue;
      const std::wstring path = folder.empty() ? L"/" + entry.name : folder + L"/" + entry.name;
      RepairReport report = RepairRecording(path);
      if (report.outcome == RepairOutcome::Repaired) repaired.push_back({path, report});
    }
  }
  return repaired;
}

}  // namespace talvinor
