#include <gtest/gtest.h>

#include "settings/WaveLayerDeviceQuery.h"
#include "platform/wave/VirtualWaveBackend.h"
#include "platform/wave/WaveAudio.h"

namespace talvinor {
namespace {

TEST(WaveLayerDeviceQuery, AnswersFromTheWaveDevicesAndCountsAnUnopenableInputAsUnknown) {
  VirtualWaveBackend& backend = VirtualWaveBackend::Instance();
  VirtualWaveDevice full;
  full.formats = WAVE_FORMAT_1M16 | WAVE_FORMAT_4S16;
  VirtualWaveDevice unopenable;
  unopenable.formats = 0;  // what the wave layer reports for a device it cannot open now
  backend.SetDevices(WaveDirection::Input, {full, unopenable});
  backend.SetDevices(WaveDirection::Output, {VirtualWaveDevice{}});
  SetWaveBackend(WaveBackendKind::Virtual);

  auto query = Create<WaveLayerDeviceQuery>();
  EXPECT_EQ(query->InputDeviceCount(), 2u);
  EXPECT_EQ(query->OutputDeviceCount(), 1u);
  EXPECT_EQ(query->InputCapabilities(0), std::optional<uint32_t>(WAVE_FORMAT_1M16 | WAVE_FORMAT_4S16));
  // No format now says nothing about the device: the scenes stay as stored.
  EXPECT_EQ(query->InputCapabilities(1), std::nullopt);
  EXPECT_EQ(query->InputCapabilities(7), std::nullopt);

  backend.ResetToDefaults();
  SetWaveBackend(WaveBackendKind::Alsa);
}

}  // namespace
}  // namespace talvinor
