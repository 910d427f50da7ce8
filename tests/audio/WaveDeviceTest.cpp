#include <gtest/gtest.h>

#include "audio/DeviceTestSupport.h"
#include "audio/GraphTestSupport.h"
#include "audio/WaveInDevice.h"
#include "audio/WaveOutDevice.h"

namespace talvinor {
namespace {

using namespace testing;

class WaveDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWaveBackend(WaveBackendKind::Virtual);
    VirtualWaveBackend::Instance().ResetToDefaults();
    VirtualWaveDevice input;
    input.signal = VirtualSignal::Counter;
    input.pace = 0;  // fills a queued buffer at once
    VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {input});
  }
  void TearDown() override { VirtualWaveBackend::Instance().ResetToDefaults(); }
};

TEST_F(WaveDeviceTest, BuffersThatAreNotBackStayListedUntilFreedOrForced) {
  ProbeQueue inbox;
  RefPtr<WaveInDevice> device = Create<WaveInDevice>();
  const WaveFormat format = EngineFormat(1, 8000, 16);
  ASSERT_TRUE(device->Open(0, format, inbox.queue));
  RefPtr<WaveHeaderBuffer> a = device->AllocateBuffer(4096);
  RefPtr<WaveHeaderBuffer> b = device->AllocateBuffer(4096);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Header()->dwBufferLength, 4096u);
  EXPECT_TRUE(a->IsKindOf(AudioBuffer::kTypeCode));
  ASSERT_TRUE(device->AddBuffer(a.Get()));
  ASSERT_TRUE(device->StartDevice());

  // The filled buffer comes back as the listed object with its bytes marked
  // valid, but it is not free until the master says so.
  RefPtr<GraphMessage> done = inbox.NextOf(MessageKind::InputBufferDone);
  ASSERT_TRUE(done);
  EXPECT_EQ(done->Payload().Get(), a.Get());
  EXPECT_EQ(a->Length(), 4096u);
  EXPECT_EQ(ReadLe(std::string(reinterpret_cast<char*>(a->Data()), 8), 2, 2), 1u);  // the counter's second sample
  EXPECT_FALSE(device->AllFree());
  EXPECT_FALSE(device->ReleaseBuffer(a.Get(), ReleaseMode::IfFree));
  EXPECT_EQ(device->CloseDevice(ReleaseMode::IfFree), WAVERR_STILLPLAYING);
  EXPECT_FALSE(device->Open(0, format, inbox.queue));  // not while a buffer is out
  EXPECT_TRUE(device->IsOpen());
  EXPECT_EQ(device->GetPositionMs(), 256u);  // 2048 frames at 8000 Hz

  device->MarkFree(a.Get());
  EXPECT_TRUE(device->ReleaseBuffer(a.Get(), ReleaseMode::IfFree));
  EXPECT_FALSE(device->IsListed(a.Get()));
  device->MarkFree(a.Get());  // unlisted: ignored

  // A forced close also takes a buffer still queued at the device, after
  // making the device let go of it.
  ASSERT_TRUE(device->AddBuffer(b.Get()));
  ASSERT_TRUE(device->StopDevice());
  EXPECT_EQ(device->CloseDevice(ReleaseMode::Forced), MMSYSERR_NOERROR);
  EXPECT_FALSE(device->IsOpen());
  EXPECT_EQ(device->BufferCount(), 0u);
  EXPECT_EQ(device->GetPositionMs(), 0u);
  EXPECT_FALSE(device->AddBuffer(b.Get()));
}

TEST_F(WaveDeviceTest, PositionKeepsCountingPastTheDevicesThirtyTwoBits) {
  WaveDevice::PositionCounter counter;
  EXPECT_EQ(counter.Extend(TIME_BYTES, 0xFFFFF000u), 0xFFFFF000u);
  EXPECT_EQ(counter.Extend(TIME_BYTES, 0x00000800u), 0x100000800ull);  // wrapped
  EXPECT_EQ(counter.Extend(TIME_BYTES, 0x00000700u), 0x100000700ull);  // a little sound dropped at a stop
  EXPECT_EQ(counter.Extend(TIME_BYTES, 0x80000000u), 0x180000000ull);
  EXPECT_EQ(counter.Extend(TIME_SAMPLES, 5u), 5u);  // another unit starts afresh
  counter.Clear();
  EXPECT_EQ(counter.Extend(TIME_SAMPLES, 7u), 7u);
}

}  // namespace
}  // namespace talvinor
