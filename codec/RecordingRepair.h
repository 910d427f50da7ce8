#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace talvinor {

// What a repair pass found and did to one file.
enum class RepairOutcome {
  Complete,      // the file was already final; nothing was touched
  Repaired,      // the file was made final (header sizes, or cut to its last page with the end mark)
  NotRecording,  // not a WAV or Ogg file this program writes; nothing was touched
  LeftAlone,     // damaged in a way a repair could only make worse (sound after the damage); untouched
  Failed,        // the file could not be read or written; see `error`
};

// Whether the pass only looks or also writes.
enum class RepairMode {
  Repair,
  CheckOnly,  // reports Repaired for a file that a repair would change, and changes nothing
};

struct RepairReport {
  RepairOutcome outcome = RepairOutcome::Failed;
  int error = 0;                  // errno of a failure
  uint32_t sizeBefore = 0;        // the file's length before
  uint32_t sizeAfter = 0;         // and after (equal unless an Ogg tail was cut off)
  uint32_t dataBytesBefore = 0;   // WAV: the data size the header claimed
  uint32_t dataBytesAfter = 0;    // WAV: the data size it now claims
  bool endMarkAdded = false;      // Ogg: the last page got the end-of-stream mark
  std::string what;               // one line for people, in English, for traces and the CLI
};

// Makes a recording that was cut off (the program killed, the machine
// stopped, the disk full) playable up to its last complete piece of sound,
// in place and without needing any free space:
// - WAV with the 44-byte header this program writes: the RIFF and data
//   sizes from the file's length in whole frames. The file's bytes are kept.
// - Ogg (Vorbis or Speex): cut back to the last complete page that ends a
//   packet, and that page marked end of stream.
// A complete file is never written to, and a file with valid sound after a
// damaged stretch is left as it is, so a repair never loses sound a player
// could decode. Only regular files are opened.
RepairReport RepairRecording(const std::wstring& path, RepairMode mode = RepairMode::Repair);

// True for the names this program gives its recordings and backups:
// "rz" + date "_" time (a call recording's suffix after it) with ".wav",
// ".ogg" or ".spx", and "rm" + date "_" time + ".ogg".
bool IsRecordingName(const std::wstring& name);

// A file a pass over the folders repaired.
struct RecoveredRecording {
  std::wstring path;
  RepairReport report;
};

// Repairs the recordings left unfinished in `folders` (each looked at once;
// only the names IsRecordingName accepts, so a large folder costs little:
// a complete file is settled by its header or its last page). What it
// repaired, in the order found.
std::vector<RecoveredRecording> RepairUnfinishedRecordings(const std::vector<std::wstring>& folders);

}  // namespace talvinor
