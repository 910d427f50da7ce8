#pragma once
#include <cstdint>
#include <memory>

#include "platform/RecursiveLock.h"
#include "platform/wave/WaveAudio.h"

namespace talvinor {

// Which way the samples flow.
enum class WaveDirection {
  Input,   // the device captures, headers are filled
  Output,  // headers are played
};

// One opened device as a backend provides it: a raw frame pipe without
// headers, callbacks or threads. Its stream's lock is held around every
// call; only Wait releases it while it blocks. Frames are interleaved
// samples in the format the endpoint was opened with.
class WaveEndpoint {
 public:
  virtual ~WaveEndpoint() = default;

  // Input: begin capturing. Output: begin playing what has been written
  // (no effect while running or with nothing written).
  virtual bool Start() = 0;
  // Stops the flow and discards what the device holds: captured frames not
  // read yet, or written frames not played yet. Afterwards the endpoint is
  // ready to Start again.
  virtual bool Drop() = 0;
  // Moves up to `frames` frames without blocking: reads into `data` (input)
  // or writes from it (output). Returns the frames moved, 0 when the device
  // has nothing to give or no room right now, or a negative errno value.
  virtual long Transfer(void* data, uint32_t frames) = 0;
  // Input: frames captured but not read yet. Output: frames written but not
  // played yet.
  virtual uint64_t Delay() = 0;
  // Blocks until Transfer could move frames (when `wantFrames` is not 0),
  // `wakeFd` becomes readable or `timeoutMs` passes (-1: no limit). Called
  // with `lock` held once; releases it while blocking.
  virtual void Wait(RecursiveLock* lock, int wakeFd, uint32_t wantFrames, int timeoutMs) = 0;
  // Recovers from a negative Transfer result (overrun, underrun, suspend).
  // False when the device cannot go on.
  virtual bool Recover(long error) = 0;
};

}  // namespace talvinor
