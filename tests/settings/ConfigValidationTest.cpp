#include <gtest/gtest.h>

#include "settings/ConfigValidation.h"

namespace talvinor {
namespace {

RefPtr<CONFIG_SCENE> Scene(uint32_t codec, uint32_t qualityMode) {
  auto scene = Create<CONFIG_SCENE>();
  scene->m_Name = L"x";
  scene->m_CodecMode = codec;
  scene->m_QualityMode = qualityMode;
  return scene;
}

TEST(ConfigValidation, PresetChoosesTheFirstFormatTheDeviceSupports) {
  // Speex, quality mode 2, on a device with 0x400: 32000 Hz mono 16-bit.
  auto speex = Scene(kCodecSpeex, 2);
  speex->m_RecSpxQuality = 3;
  EXPECT_TRUE(ValidateScene(speex.Get(), 0x400 | 0x1));
  EXPECT_EQ(speex->m_SampleRate, 32000u);
  EXPECT_EQ(speex->m_Cnannels, 1u);
  EXPECT_EQ(speex->m_SampleBits, 16u);
  EXPECT_EQ(speex->m_RecSpxQuality, 9u);
  EXPECT_EQ(speex->m_RecSpxComplexity, 2u);
  EXPECT_DOUBLE_EQ(speex->m_RecOvQuality, 0.0);

  // Only the stereo 16-bit bit: the second candidate.
  auto stereo = Scene(kCodecSpeex, 2);
  EXPECT_TRUE(ValidateScene(stereo.Get(), 0x800));
  EXPECT_EQ(stereo->m_Cnannels, 2u);
  EXPECT_EQ(stereo->m_SampleRate, 32000u);

  // Vorbis quality mode 1: 6615 Hz mono 16-bit first, quality 0.0.
  auto vorbis = Scene(kCodecVorbis, 1);
  // The preset gives codecs without a complexity the lowest one of the
  // range, so a preset scene needs no repair.
  EXPECT_TRUE(ValidateScene(vorbis.Get(), 0xFFF));
  EXPECT_EQ(vorbis->m_SampleRate, 6615u);
  EXPECT_EQ(vorbis->m_SampleBits, 16u);
  EXPECT_DOUBLE_EQ(vorbis->m_RecOvQuality, 0.0);
  EXPECT_EQ(vorbis->m_RecSpxComplexity, 1u);
  EXPECT_EQ(vorbis->m_RecSpxQuality, 0u);

  // Speex quality mode 3: 44100 Hz, quality 10, complexity 4.
  auto high = Scene(kCodecSpeex, 3);
  EXPECT_TRUE(ValidateScene(high.Get(), 0xFFF));
  EXPECT_EQ(high->m_SampleRate, 44100u);
  EXPECT_EQ(high->m_RecSpxQuality, 10u);
  EXPECT_EQ(high->m_RecSpxComplexity, 4u);
}

TEST(ConfigValidation, DeviceWithoutAnyCandidateFallsBackToFormatZero) {
  auto scene = Scene(kCodecSpeex, 2);
  EXPECT_FALSE(ValidateScene(scene.Get(), 0x0));
  EXPECT_EQ(scene->m_SampleRate, 6615u);
  EXPECT_EQ(scene->m_SampleBits, 8u);
  EXPECT_EQ(scene->m_Cnannels, 1u);
}

TEST(ConfigValidation, UnreadableCapabilitiesKeepTheStoredFormatWithoutARepair) {
  auto scene = Scene(kCodecSpeex, 2);
  scene->m_Cnannels = 2;
  scene->m_SampleBits = 16;
  scene->m_SampleRate = 22050;
  EXPECT_TRUE(ValidateScene(scene.Get(), std::nullopt));
  EXPECT_EQ(scene->m_Cnannels, 2u);
  EXPECT_EQ(scene->m_SampleRate, 22050u);
  EXPECT_EQ(scene->m_RecSpxQuality, 9u);  // the preset's codec values still apply
  // The range repairs still apply to a stored format.
  auto bad = Scene(kCodecVorbis, 2);
  bad->m_Cnannels = 5;
  bad->m_SampleBits = 24;
  bad->m_SampleRate = 12345;
  EXPECT_FALSE(ValidateScene(bad.Get(), std::nullopt));
  EXPECT_EQ(bad->m_Cnannels, 1u);
  EXPECT_EQ(bad->m_SampleBits, 16u);
  EXPECT_EQ(bad->m_SampleRate, 11025u);
}

TEST(ConfigValidation, OutOfRangeValuesAreRepaired) {
  auto scene = Scene(7, 9);
  scene->m_Name = L" \t\x3000 ";
  scene->m_RecTelUse = 4;
  EXPECT_FALSE(ValidateScene(scene.Get(), 0xFFF));
  EXPECT_EQ(scene->m_Name, L"<未使用>");
  EXPECT_EQ(scene->m_RecTelUse, 1u);
  EXPECT_EQ(scene->m_CodecMode, 1u);     // codec 7 -> Vorbis
  EXPECT_EQ(scene->m_QualityMode, 2u);   // Vorbis stops at 2

  auto vorbis3 = Scene(kCodecVorbis, 3);
  EXPECT_FALSE(ValidateScene(vorbis3.Get(), 0xFFF));
  EXPECT_EQ(vorbis3->m_QualityMode, 2u);

  auto custom = Scene(kCodecPcm, 0);
  custom->m_Name = L"  名前 ";
  custom->m_SampleRate = 96000;
  custom->m_RecOvQuality = 1.5;
  custom->m_RecSpxQuality = 11;
  custom->m_RecSpxComplexity = 0;
  custom->m_SpxDenoise = 2;
  custom->m_SpxVAD = 3;
  custom->m_SpxDTX = 9;
  EXPECT_FALSE(ValidateScene(custom.Get(), 0xFFF));
  EXPECT_EQ(custom->m_Name, L"名前");
  EXPECT_EQ(custom->m_SampleRate, 96000u);  // custom formats are not touched by presets
  EXPECT_DOUBLE_EQ(custom->m_RecOvQuality, 1.0);
  EXPECT_EQ(custom->m_RecSpxQuality, 10u);
  EXPECT_EQ(custom->m_RecSpxComplexity, 1u);
  EXPECT_EQ(custom->m_SpxDenoise, 1u);
  EXPECT_EQ(custom->m_SpxVAD, 1u);
  EXPECT_EQ(custom->m_SpxDTX, 1u);

  auto low = Scene(kCodecPcm, 0);
  low->m_RecOvQuality = -0.5;
  low->m_RecSpxComplexity = 2;
  EXPECT_FALSE(ValidateScene(low.Get(), 0xFFF));
  EXPECT_DOUBLE_EQ(low->m_RecOvQuality, -0.1);
  auto fine = Scene(kCodecPcm, 0);
  fine->m_RecOvQuality = -0.1;
  EXPECT_TRUE(ValidateScene(fine.Get(), 0xFFF));
}

TEST(ConfigValidation, ConfigRepairsFollowTheirRanges) {
  auto c = Create<CONFIG>();
  c->m_WaveOutId = 3;
  c->m_WaveInId = 1;
  c->m_RecSceneSelect = 8;
  c->m_RecPath = L"  /rec\t";
  c->m_MemoOvQuality = 2;
  c->m_MemoTelInfoInTag = 5;
  c->m_MemoSrcFirst = 9;
  c->m_MemoSrcLast = 3;
  c->m_SusPrvMode = 4;
  c->m_RecAutoScrOffCyc = 1800001;
  c->m_QueryRecPause = 2;
  c->m_TelInfoInName = 77;
  c->m_RecTelDelay = 20000;
  c->m_SkinTypeId = 0;
  c->m_ViewScaleId = 3;
  c->m_TaskTray = 9;
  auto devices = Create<FixedWaveDeviceQuery>(2u, 2u, std::optional<uint32_t>(0xFFF));
  EXPECT_FALSE(ValidateConfig(c.Get(), devices.Get()));
  EXPECT_EQ(c->m_WaveOutId, 0u);
  EXPECT_EQ(c->m_WaveInId, 1u);
  EXPECT_EQ(c->m_RecSceneSelect, 0u);
  EXPECT_EQ(c->m_RecPath, L"/rec");
  EXPECT_DOUBLE_EQ(c->m_MemoOvQuality, 1.0);
  EXPECT_EQ(c->m_MemoTelInfoInTag, 1u);
  EXPECT_EQ(c->m_MemoSrcFirst, 3u);
  EXPECT_EQ(c->m_MemoSrcLast, 9u);
  EXPECT_EQ(c->m_SusPrvMode, 1u);
  EXPECT_EQ(c->m_RecAutoScrOffCyc, 1800000u);
  EXPECT_EQ(c->m_QueryRecPause, 1u);
  EXPECT_EQ(c->m_TelInfoInName, 77u);  // not repaired
  EXPECT_EQ(c->m_RecTelDelay, 10000u);
  EXPECT_EQ(c->m_SkinTypeId, 2u);
  EXPECT_EQ(c->m_ViewScaleId, 1u);
  EXPECT_EQ(c->m_TaskTray, 9u);  // stored only

  auto limits = Create<CONFIG>();
  limits->m_MemoSrcFirst = 1200;
  limits->m_MemoSrcLast = 1500;
  ValidateConfig(limits.Get(), devices.Get());
  EXPECT_EQ(limits->m_MemoSrcFirst, 1000u);
  EXPECT_EQ(limits->m_MemoSrcLast, 1000u);
}

TEST(ConfigValidation, ScenesUseTheCapabilitiesOfTheStoredInputDevice) {
  struct TwoDevices : WaveDeviceQuery {
    uint32_t InputDeviceCount() override { return 2; }
    uint32_t OutputDeviceCount() override { return 1; }
    std::optional<uint32_t> InputCapabilities(uint32_t id) override {
      return id == 1 ? std::optional<uint32_t>(0x800) : std::optional<uint32_t>(0x4);
    }
  };
  auto c = Create<CONFIG>();
  c->m_WaveInId = 1;
  auto devices = Create<TwoDevices>();
  ValidateConfig(c.Get(), devices.Get());
  EXPECT_EQ(c->m_RecSceneList[0]->m_Cnannels, 2u);  // Speex mode 2 on 0x800: stereo 32000
  EXPECT_EQ(c->m_RecSceneList[0]->m_SampleRate, 32000u);
}

TEST(ConfigValidation, WithoutACaptureDeviceTheScenesStayAsStored) {
  auto c = Create<CONFIG>();
  c->m_RecSceneList[2]->m_SampleRate = 48000;
  c->m_RecSceneList[2]->m_Cnannels = 2;
  auto none = Create<FixedWaveDeviceQuery>(0u, 0u, std::nullopt);
  ValidateConfig(c.Get(), none.Get());
  EXPECT_EQ(c->m_RecSceneList[2]->m_SampleRate, 48000u);
  EXPECT_EQ(c->m_RecSceneList[2]->m_Cnannels, 2u);
  for (int i = 0; i < kSceneCount; ++i) {
    EXPECT_NE(c->m_RecSceneList[i]->m_SampleRate, 6615u) << i;
  }
  // Validating again changes nothing more: the result is stable.
  auto once = c->Clone();
  ValidateConfig(c.Get(), none.Get());
  for (int i = 0; i < kSceneCount; ++i) {
    EXPECT_EQ(c->m_RecSceneList[i]->m_SampleRate, once->m_RecSceneList[i]->m_SampleRate);
  }

  // With a real mask that supports nothing, every preset scene falls back.
  auto deaf = Create<CONFIG>();
  auto nothing = Create<FixedWaveDeviceQuery>(1u, 1u, std::optional<uint32_t>(0));
  EXPECT_FALSE(ValidateConfig(deaf.Get(), nothing.Get()));
  EXPECT_EQ(deaf->m_RecSceneList[0]->m_SampleRate, 6615u);
  EXPECT_EQ(deaf->m_RecSceneList[3]->m_SampleRate, 8820u);  // custom scene untouched
}

TEST(ConfigValidation, DefaultScenesNeedNoFormatRepairOnACapableDevice) {
  auto c = Create<CONFIG>();
  auto all = Create<FixedWaveDeviceQuery>(1u, 1u, std::optional<uint32_t>(0xFFF));
  ValidateConfig(c.Get(), all.Get());
  // Every built-in scene keeps its designed format.
  const uint32_t rates[kSceneCount] = {32000, 32000, 44100, 8820, 32000, 44100, 44100, 11025};
  for (int i = 0; i < kSceneCount; ++i) {
    EXPECT_EQ(c->m_RecSceneList[i]->m_SampleRate, rates[i]) << i;
    EXPECT_EQ(c->m_RecSceneList[i]->m_Cnannels, 1u) << i;
    EXPECT_EQ(c->m_RecSceneList[i]->m_SampleBits, 16u) << i;
  }
}

// A stored input device that is gone is replaced by device 0, and the scenes
// are fitted to device 0 at once: fitted to the gone device (no readable
// formats), the next start repaired them again, differently.
TEST(ConfigValidation, ScenesAreFittedToTheInputDeviceLeftAfterTheRepair) {
  auto c = Create<CONFIG>();
  c->m_WaveInId = 5;
  for (auto& scene : c->m_RecSceneList) scene = Scene(2, 2);
  c->m_RecSceneList[0]->m_SampleRate = 32100;
  auto devices = Create<FixedWaveDeviceQuery>(1u, 1u, std::optional<uint32_t>(0xFFFFF));
  EXPECT_FALSE(ValidateConfig(c.Get(), devices.Get()));
  EXPECT_EQ(c->m_WaveInId, 0u);
  const uint32_t rate = c->m_RecSceneList[0]->m_SampleRate;
  EXPECT_TRUE(ValidateConfig(c.Get(), devices.Get())) << "a second repair changed something";
  EXPECT_EQ(c->m_RecSceneList[0]->m_SampleRate, rate);
}

}  // namespace
}  // namespace talvinor
