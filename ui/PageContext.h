#pragma once
// Header only: the toolkit library itself links neither the engine nor the
// command library; the pages that use the context do.
#include "audio/CRecWaveIn.h"
#include "audio/CRecWaveOut.h"
#include "audio/ConvertMaster.h"
#include "command/CommandQueue.h"
#include "core/RefPtr.h"

namespace talvinor {

class PageHost;

// What a page is given when it is made, so that it never reaches into the
// application: the engine's masters (one of each kind for the whole run;
// every recording, playback and conversion reuses its own), the frame that
// holds the page and the frame's external command queue.
struct PageContext {
  RefPtr<CRecWaveIn> recordingMaster;
  RefPtr<CRecWaveOut> playbackMaster;
  RefPtr<ConvertMaster> conversionMaster;
  PageHost* host = nullptr;  // the frame; it outlives its pages
  RefPtr<CommandQueue> commands;
};

}  // namespace talvinor
