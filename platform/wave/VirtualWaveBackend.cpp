#include "platform/wave/VirtualWaveBackend.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "platform/wave/VirtualInputEndpoint.h"
#include "platform/wave/VirtualOutputEndpoint.h"

namespace talvinor {

VirtualWaveBackend& VirtualWaveBackend::Instance() {
  static VirtualWaveBackend backend;
  return backend;
}

VirtualWaveBackend::VirtualWaveBackend() { ResetToDefaults(); }

void VirtualWaveBackend::ResetToDefaults() {
  VirtualWaveDevice input;
  input.name = L"Virtual input";
  input.description = L"A generated 440 Hz tone";
  VirtualWaveDevice output;
  output.name = L"Virtual output";
  output.description = L"Keeps what it plays";
  SetDevices(WaveDirection::Input, {input});
  SetDevices(WaveDirection::Output, {output});
}

void VirtualWaveBackend::SetDevices(WaveDirection direction, std::vector<VirtualWaveDevice> devices) {
  std::vector<Slot> slots;
  for (VirtualWaveDevice& device : devices) slots.push_back({std::move(device), std::make_shared<Record>()});
  std::lock_guard hold(m_mutex);
  Slots(direction).swap(slots);
}

VirtualDeviceStats VirtualWaveBackend::Stats(WaveDirection direction, uint32_t id) {
  std::shared_ptr<Record> record;
  {
    std::lock_guard hold(m_mutex);
    auto& slots = Slots(direction);
    if (id >= slots.size()) return {};
    record = slots[id].record;
  }
  std::lock_guard hold(record->mutex);
  return record->stats;
}

std::vector<uint8_t> VirtualWaveBackend::Played(uint32_t id) {
  std::shared_ptr<Record> record;
  {
    std::lock_guard hold(m_mutex);
    if (id >= m_outputs.size()) return {};
    record = m_outputs[id].record;
  }
  std::lock_guard hold(record->mutex);
  return record->played;
}

void VirtualWaveBackend::ClearPlayed(uint32_t id) {
  std::shared_ptr<Record> record;
  {
    std::lock_guard hold(m_mutex);
    if (id >= m_outputs.size()) return;
    record = m_outputs[id].record;
  }
  std::lock_guard hold(record->mutex);
  record->played.clear();
}

uint32_t VirtualWaveBackend::DeviceCount(WaveDirection direction) {
  std::lock_guard hold(m_mutex);
  return static_cast<uint32_t>(Slots(direction).size());
}

MMRESULT VirtualWaveBackend::DeviceCaps(WaveDirection direction, uint32_t id, WAVEINCAPS* caps) {
  std::lock_guard hold(m_mutex);
  auto& slots = Slots(direction);
  if (id >= slots.size()) return MMSYSERR_BADDEVICEID;
  const VirtualWaveDevice& device = slots[id].device;
  caps->szPname = device.name;
  caps->szDescription = device.description;
  caps->dwFormats = device.formats & WAVE_FORMAT_ALL_STANDARD;
  caps->wChannels = (caps->dwFormats & 0xAAA) ? 2 : (caps->dwFormats ? 1 : 0);
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualWaveBackend::Open(WaveDirection direction, uint32_t id, const WAVEFORMATEX& format,
                                  std::unique_ptr<WaveEndpoint>* endpoint) {
  Slot slot;
  {
    std::lock_guard hold(m_mutex);
    auto& slots = Slots(direction);
    if (id >= slots.size()) return MMSYSERR_BADDEVICEID;
    slot = slots[id];
  }
  const VirtualWaveDevice& device = slot.device;
  if (device.openResult != MMSYSERR_NOERROR) return device.openResult;
  uint32_t bit = StandardFormatBit(format);
  if (bit ? !(device.formats & bit) : !device.acceptsNonStandard) return WAVERR_BADFORMAT;
  if (!endpoint) return MMSYSERR_NOERROR;
  {
    std::lock_guard hold(slot.record->mutex);
    ++slot.record->stats.opens;
  }
  if (direction == WaveDirection::Input)
    *endpoint = std::make_unique<VirtualInputEndpoint>(device, format, slot.record);
  else
    *endpoint = std::make_unique<VirtualOutputEndpoint>(device, format, slot.record);
  return MMSYSERR_NOERROR;
}

void VirtualWaveBackend::GenerateSignal(const VirtualWaveDevice& device, const WAVEFORMATEX& format,
                                        uint64_t firstFrame, uint32_t frames, void* out) {
  const unsigned channels = format.nChannels;
  const unsigned bytes = format.wBitsPerSample / 8;
  uint8_t* p = static_cast<uint8_t*>(out);
  for (uint32_t i = 0; i < frames; ++i) {
    const uint64_t n = firstFrame + i;
    for (unsigned c = 0; c < channels; ++c) {
      // The sample as a signed value at full scale of the sample size.
      int64_t value = 0;
      const int64_t full = (int64_t{1} << (bytes * 8 - 1)) - 1;
      switch (device.signal) {
        case VirtualSignal::Sine: {
          // The phase is reduced before scaling so long runs keep precision.
          double turns = device.frequency * static_cast<double>(n) / format.nSamplesPerSec + 0.25 * c;
          turns -= std::floor(turns);
          value = std::lround(device.amplitude * std::sin(2 * std::numbers::pi * turns) * static_cast<double>(full));
          break;
        }
        case VirtualSignal::Counter:
          // Wrapped to the sample size; as raw bits, so 8-bit samples count too.
          value = static_cast<int64_t>(n * channels + c);
          break;
        case VirtualSignal::Silence:
          break;
      }
      uint64_t raw = static_cast<uint64_t>(value);
      if (bytes == 1 && device.signal != VirtualSignal::Counter) raw += 128;  // 8-bit samples are unsigned
      for (unsigned b = 0; b < bytes; ++b) *p++ = static_cast<uint8_t>(raw >> (8 * b));
    }
  }
}

}  // namespace talvinor
