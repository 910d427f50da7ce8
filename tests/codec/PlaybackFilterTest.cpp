#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/Master.h"
#include "codec/PlaybackFilterChoice.h"
#include "core/Singletons.h"

namespace talvinor {
namespace {

std::vector<int16_t> Run16(PlaybackFilter* filter, std::vector<int16_t> samples, const WaveFormat& format) {
  filter->Process(reinterpret_cast<uint8_t*>(samples.data()), static_cast<uint32_t>(samples.size() * 2), format);
  return samples;
}

TEST(PlaybackFilterTest, VolumeBoostDoublesQuietSamplesAndBendsLoudOnesUpToFullScale) {
  VolumeBoostFilter* boost = Create<VolumeBoostFilter>().Leak();
  ASSERT_TRUE(boost->Setup(25, 2));
  EXPECT_EQ(boost->Threshold(), 8191);
  EXPECT_EQ(boost->Divisor(), 24576);
  EXPECT_EQ(boost->Slope(), 16385);
  EXPECT_EQ(boost->Offset(), 10922);
  const WaveFormat mono16 = PcmWaveFormat(1, 8000, 16);
  EXPECT_EQ(Run16(boost, {4000, 20000, 32767, -32767, -4000, -20000, 0, 8190, 8191, -32768}, mono16),
            (std::vector<int16_t>{8000, 24256, 32767, -32767, -8000, -24256, 0, 16380, 16382, -32768}));
  // The curve never folds over: louder in, louder (or as loud) out.
  int16_t previous = boost->Apply(-32768);
  for (int s = -32767; s <= 32767; ++s) {
    int16_t y = boost->Apply(static_cast<int16_t>(s));
    ASSERT_GE(y, previous) << s;
    previous = y;
  }
  boost->Release();
}

TEST(PlaybackFilterTest, VolumeBoostSetUpRefusesGainsThatWouldPassFullScaleAndKeepsItsParameters) {
  VolumeBoostFilter* boost = Create<VolumeBoostFilter>().Leak();
  // The defaults are those of (20, 4).
  EXPECT_EQ(boost->Threshold(), 6553);
  EXPECT_EQ(boost->Gain(), 4);
  EXPECT_EQ(boost->Divisor(), 26214);
  EXPECT_EQ(boost->Slope(), 6555);
  EXPECT_EQ(boost->Offset(), 24574);
  ASSERT_TRUE(boost->Setup(30, 3));
  for (auto [percent, gain] : {std::pair{50, 2}, {33, 3}, {10, 0}, {10, -2}, {1 << 30, 4}}) {
    EXPECT_FALSE(boost->Setup(percent, gain)) << percent << " x " << gain;
    EXPECT_EQ(boost->Threshold(), 9830);
    EXPECT_EQ(boost->Gain(), 3);
  }
  // A gain of 1 is accepted and leaves the sound as it is.
  ASSERT_TRUE(boost->Setup(50, 1));
  EXPECT_EQ(Run16(boost, {1000, -30000}, PcmWaveFormat(1, 8000, 16)), (std::vector<int16_t>{1000, -30000}));
  boost->Release();
}

TEST(PlaybackFilterTest, SmoothingFollowsAStepByNinthsAtTheStrongSetting) {
  SmoothingFilter* smoothing = Create<SmoothingFilter>().Leak();
  smoothing->SetWindow(1200);
  const WaveFormat mono = PcmWaveFormat(1, 8000, 16);
  smoothing->Prepare(mono);
  EXPECT_EQ(smoothing->Divisor(), 9);
  EXPECT_EQ(Run16(smoothing, {0, 9000, 9000, 9000}, mono), (std::vector<int16_t>{0, 1000, 1888, 2678}));
  // The history carries over to the next buffer and is cleared by Prepare.
  EXPECT_EQ(Run16(smoothing, {9000}, mono), (std::vector<int16_t>{3380}));
  smoothing->Prepare(mono);
  EXPECT_EQ(Run16(smoothing, {9000}, mono), (std::vector<int16_t>{1000}));

  // Each channel keeps its own history.
  const WaveFormat stereo = PcmWaveFormat(2, 8000, 16);
  smoothing->SetWindow(400);
  smoothing->Prepare(stereo);
  EXPECT_EQ(smoothing->Divisor(), 3);
  EXPECT_EQ(Run16(smoothing, {3000, -3000, 3000, -3000}, stereo), (std::vector<int16_t>{1000, -1000, 1666, -1666}));
  smoothing->Release();
}

TEST(PlaybackFilterTest, FiltersLeaveWhatTheyCannotHandleUnchanged) {
  SmoothingFilter* smoothing = Create<SmoothingFilter>().Leak();
  VolumeBoostFilter* boost = Create<VolumeBoostFilter>().Leak();
  std::vector<uint8_t> eightBit = {0, 60, 128, 200, 255};
  const WaveFormat mono8 = PcmWaveFormat(1, 8000, 8);
  smoothing->Prepare(mono8);
  smoothing->Process(eightBit.data(), static_cast<uint32_t>(eightBit.size()), mono8);
  boost->Process(eightBit.data(), static_cast<uint32_t>(eightBit.size()), mono8);
  EXPECT_EQ(eightBit, (std::vector<uint8_t>{0, 60, 128, 200, 255}));

  // A window shorter than one sample at this rate: no smoothing, no fault.
  smoothing->SetWindow(400);
  const WaveFormat slow = PcmWaveFormat(1, 2000, 16);
  smoothing->Prepare(slow);
  EXPECT_EQ(Run16(smoothing, {5000, -7000}, slow), (std::vector<int16_t>{5000, -7000}));
  // More than four channels.
  const WaveFormat six = PcmWaveFormat(6, 8000, 16);
  smoothing->Prepare(six);
  std::vector<int16_t> frame = {100, 200, 300, 400, 500, 600};
  EXPECT_EQ(Run16(smoothing, frame, six), frame);
  // A trailing odd byte is not a sample.
  std::vector<uint8_t> odd = {0xA0, 0x0F, 0x55};
  boost->Setup(25, 2);
  boost->Process(odd.data(), 3, PcmWaveFormat(1, 8000, 16));
  EXPECT_EQ(odd, (std::vector<uint8_t>{0x40, 0x1F, 0x55}));
  smoothing->Release();
  boost->Release();
}

// A playback master that only keeps its filter list, for the player's
// choices; it can be made to refuse changes as a master in the wrong
// state does.
class FilterListMaster : public Master {
 public:
  bool ClearFilters() override {
    if (refuse) return false;
    filters.clear();
    return true;
  }
  bool AddFilter(RefPtr<PlaybackFilter> filter) override {
    if (refuse) return false;
    filters.push_back(std::move(filter));
    return true;
  }
  bool refuse = false;
  std::vector<RefPtr<RefObject>> filters;

 protected:
  StepResult Step(MasterState) override { return StepResult::Finished; }
};

TEST(PlaybackFilterTest, ThePlayersChoicesBuildTheirListsFromTheSharedFiltersInOrder) {
  RefPtr<FilterListMaster> master = Create<FilterListMaster>();
  const WaveFormat mono = PcmWaveFormat(1, 8000, 16);
  auto runList = [&](std::vector<int16_t> samples) {
    for (const RefPtr<RefObject>& f : master->filters) {
      auto* filter = static_cast<PlaybackFilter*>(f.Get());
      filter->Prepare(mono);
      samples = Run16(filter, samples, mono);
    }
    return samples;
  };

  ASSERT_TRUE(ApplyFilterChoice(master.Get(), FilterChoice::Boost));
  ASSERT_EQ(master->filters.size(), 1u);
  EXPECT_EQ(master->filters[0].Get(), GetVolumeBoostFilter().Get());
  EXPECT_EQ(runList({4000, 20000}), (std::vector<int16_t>{8000, 24256}));

  ASSERT_TRUE(ApplyFilterChoice(master.Get(), FilterChoice::StrongNoise));
  ASSERT_EQ(master->filters.size(), 2u);
  EXPECT_EQ(master->filters[0].Get(), GetSmoothingFilter().Get());
  EXPECT_EQ(master->filters[1].Get(), GetVolumeBoostFilter().Get());
  // Smoothing first (9000 -> 1000), then the boost (22, 4): 1000 -> 4000.
  EXPECT_EQ(runList({9000}), (std::vector<int16_t>{4000}));

  ASSERT_TRUE(ApplyFilterChoice(master.Get(), FilterChoice::WeakNoise));
  EXPECT_EQ(GetSmoothingFilter()->Window(), 400u);
  EXPECT_EQ(GetVolumeBoostFilter()->Gain(), 2);
  EXPECT_EQ(GetVolumeBoostFilter()->Threshold(), 36 * 32767 / 100);
  ASSERT_TRUE(ApplyFilterChoice(master.Get(), FilterChoice::StrongBoost));
  EXPECT_EQ(GetVolumeBoostFilter()->Gain(), 3);
  ASSERT_TRUE(ApplyFilterChoice(master.Get(), FilterChoice::None));
  EXPECT_TRUE(master->filters.empty());

  // A master that cannot change its list now: the shared filters keep the
  // parameters the playing list uses.
  ASSERT_TRUE(ApplyFilterChoice(master.Get(), FilterChoice::Boost));
  master->refuse = true;
  EXPECT_FALSE(ApplyFilterChoice(master.Get(), FilterChoice::StrongNoise));
  EXPECT_EQ(GetVolumeBoostFilter()->Gain(), 2);
  EXPECT_EQ(GetVolumeBoostFilter()->Threshold(), 25 * 32767 / 100);
  EXPECT_FALSE(ApplyFilterChoice(master.Get(), static_cast<FilterChoice>(5)));
  EXPECT_STREQ(kFilterChoices[4].label, L"N2.ノイズ除去強");
  ReleaseSingletons();
}

}  // namespace
}  // namespace talvinor
