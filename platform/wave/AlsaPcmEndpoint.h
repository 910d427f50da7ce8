#pragma once
#include <alsa/asoundlib.h>

#include <string>
#include <vector>

#include "platform/wave/WaveEndpoint.h"

namespace talvinor {

// One ALSA PCM opened non-blocking for interleaved read/write access. The
// device thread paces itself by polling the PCM's descriptors.
class AlsaPcmEndpoint : public WaveEndpoint {
 public:
  // Opens `name` with `format`; with `endpoint` null only tests the format.
  static MMRESULT Open(const std::string& name, WaveDirection direction, const WAVEFORMATEX& format,
                       std::unique_ptr<WaveEndpoint>* endpoint);
  // The standard-format bits the PCM accepts (it must be open).
  static uint32_t TestStandardFormats(snd_pcm_t* pcm, const std::string& name);
  static snd_pcm_format_t SampleFormat(uint16_t bitsPerSample);
  // Routes alsa-lib's own error messages to the trace hook instead of stderr.
  static void InstallErrorHandler();

  ~AlsaPcmEndpoint() override;

  bool Start() override;
  bool Drop() override;
  long Transfer(void* data, uint32_t frames) override;
  uint64_t Delay() override;
  void Wait(RecursiveLock* lock, int wakeFd, uint32_t wantFrames, int timeoutMs) override;
  bool Recover(long error) override;

 private:
  AlsaPcmEndpoint(snd_pcm_t* pcm, std::string name, WaveDirection direction);
  // Traces a failed ALSA call with its text and context; returns `result`.
  int Check(int result, const char* call) const;

  snd_pcm_t* m_pcm;
  std::string m_name;
  WaveDirection m_direction;
  snd_pcm_uframes_t m_bufferFrames = 0;
  std::vector<pollfd> m_fds;  // the wake descriptor first, then the PCM's
};

}  // namespace talvinor
