#include "platform/wave/AlsaPcmEndpoint.h"

#include <errno.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/Trace.h"
#include "platform/wave/WakeSignal.h"

namespace talvinor {
namespace {

const char* StreamName(WaveDirection direction) { return direction == WaveDirection::Input ? "capture" : "playback"; }

void TraceAlsa(int result, const char* call, const std::string& name, WaveDirection direction) {
  Trace("ALSA %s on \"%s\" (%s): %s (%d)\r\n", call, name.c_str(), StreamName(direction), snd_strerror(result),
        result);
}

void AlsaErrorHandler(const char* file, int line, const char* function, int error, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (error)
    Trace("alsa-lib %s:%d (%s): %s: %s\r\n", file, line, function, text, snd_strerror(error));
  else
    Trace("alsa-lib %s:%d (%s): %s\r\n", file, line, function, text);
}

MMRESULT OpenResult(int error) {
  switch (-error) {
    case EBUSY:
      return MMSYSERR_ALLOCATED;
    case ENOMEM:
      return MMSYSERR_NOMEM;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return MMSYSERR_NODRIVER;
    default:
      return MMSYSERR_ERROR;
  }
}

}  // namespace

void AlsaPcmEndpoint::InstallErrorHandler() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(&AlsaErrorHandler); });
}

snd_pcm_format_t AlsaPcmEndpoint::SampleFormat(uint16_t bitsPerSample) {
  switch (bitsPerSample) {
    case 8: return SND_PCM_FORMAT_U8;  // unsigned, as in WAV
    case 16: return SND_PCM_FORMAT_S16_LE;
    case 24: return SND_PCM_FORMAT_S24_3LE;
    case 32: return SND_PCM_FORMAT_S32_LE;
    default: return SND_PCM_FORMAT_UNKNOWN;
  }
}

uint32_t AlsaPcmEndpoint::TestStandardFormats(snd_pcm_t* pcm, const std::string& name) {
  snd_pcm_hw_params_t* any;
  snd_pcm_hw_params_t* trial;
  snd_pcm_hw_params_alloca(&any);
  snd_pcm_hw_params_alloca(&trial);
  if (int r = snd_pcm_hw_params_any(pcm, any); r < 0) {
    Trace("ALSA snd_pcm_hw_params_any on \"%s\": %s (%d)\r\n", name.c_str(), snd_strerror(r), r);
    return 0;
  }
  uint32_t formats = 0;
  static constexpr uint32_t kRates[3] = {11025, 22050, 44100};
  for (int group = 0; group < 3; ++group) {
    for (int index = 0; index < 4; ++index) {
      uint16_t bits = index >= 2 ? 16 : 8;
      unsigned channels = (index & 1) ? 2 : 1;
      snd_pcm_hw_params_copy(trial, any);
      // Each refusal here is an answer, not a failure: nothing to trace.
      if (snd_pcm_hw_params_set_access(pcm, trial, SND_PCM_ACCESS_RW_INTERLEAVED) < 0) continue;
      if (snd_pcm_hw_params_set_format(pcm, trial, SampleFormat(bits)) < 0) continue;
      if (snd_pcm_hw_params_set_channels(pcm, trial, channels) < 0) continue;
      if (snd_pcm_hw_params_set_rate(pcm, trial, kRates[group], 0) < 0) continue;
      formats |= 1u << (group * 4 + index);
    }
  }
  return formats;
}

MMRESULT AlsaPcmEndpoint::Open(const std::string& name, WaveDirection direction, const WAVEFORMATEX& format,
                               std::unique_ptr<WaveEndpoint>* endpoint) {
  InstallErrorHandler();
  snd_pcm_t* pcm = nullptr;
  snd_pcm_stream_t stream = direction == WaveDirection::Input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
  if (int r = snd_pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK); r < 0) {
    TraceAlsa(r, "snd_pcm_open", name, direction);
    return OpenResult(r);
  }
  // From here the endpoint owns the PCM and closes it on every way out.
  std::unique_ptr<AlsaPcmEndpoint> opened(new AlsaPcmEndpoint(pcm, name, direction));

  snd_pcm_hw_params_t* hw;
  snd_pcm_hw_params_alloca(&hw);
  if (opened->Check(snd_pcm_hw_params_any(pcm, hw), "snd_pcm_hw_params_any") < 0) return MMSYSERR_ERROR;
  // A refused access, sample format, channel count or rate means the device
  // cannot take this format.
  if (opened->Check(snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED),
                    "snd_pcm_hw_params_set_access") < 0 ||
      opened->Check(snd_pcm_hw_params_set_format(pcm, hw, SampleFormat(format.wBitsPerSample)),
                    "snd_pcm_hw_params_set_format") < 0 ||
      opened->Check(snd_pcm_hw_params_set_channels(pcm, hw, format.nChannels), "snd_pcm_hw_params_set_channels") <
          0 ||
      opened->Check(snd_pcm_hw_params_set_rate(pcm, hw, format.nSamplesPerSec, 0), "snd_pcm_hw_params_set_rate") <
          0)
    return WAVERR_BADFORMAT;
  if (!endpoint) return MMSYSERR_NOERROR;  // only asked whether the format would do

  // About 50 ms periods in a 250 ms ring: short enough for a prompt stop,
  // long enough to ride out a busy moment. Devices that cannot get close
  // keep their own choice, which still works.
  unsigned periodUs = 50000, bufferUs = 250000;
  int dir = 0;
  opened->Check(snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferUs, &dir), "snd_pcm_hw_params_set_buffer_time_near");
  dir = 0;
  opened->Check(snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodUs, &dir), "snd_pcm_hw_params_set_period_time_near");
  if (opened->Check(snd_pcm_hw_params(pcm, hw), "snd_pcm_hw_params") < 0) return WAVERR_BADFORMAT;

  snd_pcm_uframes_t period = 0;
  dir = 0;
  if (opened->Check(snd_pcm_hw_params_get_period_size(hw, &period, &dir), "snd_pcm_hw_params_get_period_size") < 0 ||
      opened->Check(snd_pcm_hw_params_get_buffer_size(hw, &opened->m_bufferFrames), "snd_pcm_hw_params_get_buffer_size") <
          0)
    return MMSYSERR_ERROR;

  snd_pcm_sw_params_t* sw;
  snd_pcm_sw_params_alloca(&sw);
  if (opened->Check(snd_pcm_sw_params_current(pcm, sw), "snd_pcm_sw_params_current") < 0 ||
      opened->Check(snd_pcm_sw_params_set_avail_min(pcm, sw, period), "snd_pcm_sw_params_set_avail_min") < 0 ||
      // Playback starts when the ring is full or when the device thread has
      // nothing more to write; capture starts on waveInStart only.
      opened->Check(snd_pcm_sw_params_set_start_threshold(
                        pcm, sw, direction == WaveDirection::Output ? opened->m_bufferFrames : opened->m_bufferFrames * 2),
                    "snd_pcm_sw_params_set_start_threshold") < 0 ||
      opened->Check(snd_pcm_sw_params(pcm, sw), "snd_pcm_sw_params") < 0)
    return MMSYSERR_ERROR;

  int count = snd_pcm_poll_descriptors_count(pcm);
  if (count <= 0) {
    opened->Check(count < 0 ? count : -EINVAL, "snd_pcm_poll_descriptors_count");
    return MMSYSERR_ERROR;
  }
  opened->m_fds.resize(1 + static_cast<size_t>(count));
  int filled = snd_pcm_poll_descriptors(pcm, opened->m_fds.data() + 1, static_cast<unsigned>(count));
  if (filled != count) {
    opened->Check(filled < 0 ? filled : -EINVAL, "snd_pcm_poll_descriptors");
    return MMSYSERR_ERROR;
  }
  *endpoint = std::move(opened);
  return MMSYSERR_NOERROR;
}

AlsaPcmEndpoint::AlsaPcmEndpoint(snd_pcm_t* pcm, std::string name, WaveDirection direction)
    : m_pcm(pcm), m_name(std::move(name)), m_direction(direction) {}

AlsaPcmEndpoint::~AlsaPcmEndpoint() { Check(snd_pcm_close(m_pcm), "snd_pcm_close"); }

int AlsaPcmEndpoint::Check(int result, const char* call) const {
  if (result < 0) TraceAlsa(result, call, m_name, m_direction);
  return result;
}

bool AlsaPcmEndpoint::Start() {
  snd_pcm_state_t state = snd_pcm_state(m_pcm);
  if (state == SND_PCM_STATE_RUNNING) return true;
  if (m_direction == WaveDirection::Output) {
    // Nothing to play yet, or an underrun that the next write recovers.
    if (state != SND_PCM_STATE_PREPARED) return true;
    snd_pcm_sframes_t avail = snd_pcm_avail(m_pcm);
    if (avail < 0) return Check(static_cast<int>(avail), "snd_pcm_avail") >= 0;
    if (static_cast<snd_pcm_uframes_t>(avail) >= m_bufferFrames) return true;
    return Check(snd_pcm_start(m_pcm), "snd_pcm_start") >= 0;
  }
  if (state != SND_PCM_STATE_PREPARED && Check(snd_pcm_prepare(m_pcm), "snd_pcm_prepare") < 0) return false;
  return Check(snd_pcm_start(m_pcm), "snd_pcm_start") >= 0;
}

bool AlsaPcmEndpoint::Drop() {
  bool ok = Check(snd_pcm_drop(m_pcm), "snd_pcm_drop") >= 0;
  return Check(snd_pcm_prepare(m_pcm), "snd_pcm_prepare") >= 0 && ok;
}

long AlsaPcmEndpoint::Transfer(void* data, uint32_t frames) {
  // Never ask for more than the device has ready: besides being all a
  // non-blocking call can move, some plugins (the file plugin's input side)
  // fail requests larger than their ring.
  snd_pcm_sframes_t ready = snd_pcm_avail_update(m_pcm);
  if (ready < 0) return ready == -EAGAIN ? 0 : static_cast<long>(ready);
  if (ready == 0) return 0;
  frames = static_cast<uint32_t>(std::min<snd_pcm_sframes_t>(frames, ready));
  snd_pcm_sframes_t moved = m_direction == WaveDirection::Input ? snd_pcm_readi(m_pcm, data, frames)
                                                                 : snd_pcm_writei(m_pcm, data, frames);
  if (moved == -EAGAIN) return 0;
  return static_cast<long>(moved);
}

uint64_t AlsaPcmEndpoint::Delay() {
  snd_pcm_state_t state = snd_pcm_state(m_pcm);
  if (state != SND_PCM_STATE_RUNNING && state != SND_PCM_STATE_PREPARED && state != SND_PCM_STATE_DRAINING)
    return 0;  // after an underrun everything written has been played
  snd_pcm_sframes_t delay = 0;
  int r = snd_pcm_delay(m_pcm, &delay);
  if (r == -EPIPE) return 0;
  if (Check(r, "snd_pcm_delay") < 0 || delay < 0) return 0;
  return static_cast<uint64_t>(delay);
}

void AlsaPcmEndpoint::Wait(RecursiveLock* lock, int wakeFd, uint32_t wantFrames, int timeoutMs) {
  m_fds[0] = pollfd{wakeFd, POLLIN, 0};
  nfds_t count = 1;
  if (wantFrames > 0) {
    int n = snd_pcm_poll_descriptors(m_pcm, m_fds.data() + 1, static_cast<unsigned>(m_fds.size() - 1));
    if (Check(n, "snd_pcm_poll_descriptors") > 0) count += static_cast<nfds_t>(n);
  }
  int ready = PollReleasing(lock, m_fds.data(), count, timeoutMs);
  if (ready > 0 && count > 1) {
    // Some plugins need their events demangled to leave the ready state.
    unsigned short events = 0;
    Check(snd_pcm_poll_descriptors_revents(m_pcm, m_fds.data() + 1, static_cast<unsigned>(count - 1), &events),
          "snd_pcm_poll_descriptors_revents");
  }
}

bool AlsaPcmEndpoint::Recover(long error) {
  if (error == -EPIPE)
    Trace("ALSA \"%s\" (%s): %s\r\n", m_name.c_str(), StreamName(m_direction),
          m_direction == WaveDirection::Input ? "overrun, captured sound was lost" : "underrun");
  else
    TraceAlsa(static_cast<int>(error), m_direction == WaveDirection::Input ? "snd_pcm_readi" : "snd_pcm_writei", m_name,
              m_direction);
  if (Check(snd_pcm_recover(m_pcm, static_cast<int>(error), 1), "snd_pcm_recover") < 0) return false;
  // A recovered capture stream is only prepared; it was running, so go on.
  if (m_direction == WaveDirection::Input) return Check(snd_pcm_start(m_pcm), "snd_pcm_start") >= 0;
  return true;
}

}  // namespace talvinor
