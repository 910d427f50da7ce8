#pragma once
#include <cstdint>
#include <optional>

#include "core/RefPtr.h"

namespace talvinor {

// What the settings repairs need to know about the wave devices: how many
// there are and which standard formats an input device can capture. The wave
// layer plugs its own implementation in with SetWaveDeviceQuery; tests plug
// in theirs.
class WaveDeviceQuery : public RefObject {
  TALVINOR_CLASS_CODES(0x18130)

 public:
  virtual uint32_t InputDeviceCount() = 0;
  virtual uint32_t OutputDeviceCount() = 0;
  // The capability mask (dwFormats) of input device `deviceId`; nullopt when
  // it could not be read (no such device, no sound card, device busy). That
  // is not the same as a device that supports nothing.
  virtual std::optional<uint32_t> InputCapabilities(uint32_t deviceId) = 0;
};

// The query in use. Until one is set: one input and one output device, and
// input capabilities that cannot be read.
RefPtr<WaveDeviceQuery> GetWaveDeviceQuery();
// Installs `query`; null returns to the default.
void SetWaveDeviceQuery(RefPtr<WaveDeviceQuery> query);

// A query with fixed answers, for tests and tools.
class FixedWaveDeviceQuery : public WaveDeviceQuery {
  TALVINOR_CLASS_CODES(0x18131, 0x18130)

 public:
  FixedWaveDeviceQuery(uint32_t inputs, uint32_t outputs, std::optional<uint32_t> capabilities)
      : m_inputs(inputs), m_outputs(outputs), m_capabilities(capabilities) {}
  uint32_t InputDeviceCount() override { return m_inputs; }
  uint32_t OutputDeviceCount() override { return m_outputs; }
  // The same mask for every existing device; unreadable for the others.
  std::optional<uint32_t> InputCapabilities(uint32_t deviceId) override {
    return deviceId < m_inputs ? m_capabilities : std::nullopt;
  }

 private:
  uint32_t m_inputs;
  uint32_t m_outputs;
  std::optional<uint32_t> m_capabilities;
};

}  // namespace talvinor
