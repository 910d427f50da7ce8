#pragma once
#include <functional>
#include <string>
#include <vector>

#include "audio/ConvertMaster.h"
#include "codec/WaveFileEncoder.h"
#include "codec/WaveFileSource.h"
#include "platform/window/HeadlessMessageQueue.h"
#include "support/StopReasonPrint.h"

namespace talvinor::testing {

struct ConversionResult {
  bool started = false;
  bool closed = false;  // the Closed notice arrived in time
  uint32_t reason = 0;  // the stop reason's code
  std::vector<uint32_t> states;  // new state of every notice, in order
};

// Converts `from` into `to` through a ConvertMaster with a WAV source and a
// WAV encoder (or the given ones) and waits for the Closed notice.
inline ConversionResult Convert(const std::wstring& from, const std::wstring& to,
                                ConvertOutput output = ConvertOutput::Replace,
                                RefPtr<AudioSource> source = nullptr, RefPtr<AudioEncoder> encoder = nullptr,
                                RefPtr<ConvertMaster> master = nullptr) {
  HeadlessMessageQueue window;
  if (!master) master = Create<ConvertMaster>();
  if (!source) source = Create<WaveFileSource>();
  if (!encoder) encoder = Create<WaveFileEncoder>();
  master->SetNotify(window.Id(), kWmConvertNotify, 0);
  ConversionResult result;
  if (!master->Setup(from, source, to, encoder, output)) return result;
  result.started = master->Start();
  if (!result.started) return result;
  while (auto notice = window.TakeMessage(kWmConvertNotify, 20000)) {
    uint32_t state = notice->wParam & 0xFFFF;
    result.states.push_back(state);
    if (state == static_cast<uint32_t>(MasterState::Closed)) {
      result.closed = true;
      break;
    }
  }
  master->Wait(5000);
  master->SetNotify(0, 0, 0);
  result.reason = StopCode(master->GetStopReason());
  return result;
}

}  // namespace talvinor::testing
