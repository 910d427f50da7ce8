// The frame sets the phone's dial-key status back on every page switch.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/FrameTestSupport.h"
#include "platform/registry/Registry.h"
#include "recorder/CallRecording.h"
#include "settings/ConfigStore.h"

namespace talvinor {
namespace {

using testing::TestFrame;

struct DialKeyFrame {
  DialKeyFrame() {
    t.setup.registryFolder = t.folder.File("registry");
    GetConfig()->m_DialKey = 1;
  }
  ~DialKeyFrame() { GetConfig()->m_DialKey = 0; }
  TestFrame t;
};

TEST(FrameDialKey, WithoutThePhoneKeyASwitchChangesAndShowsNothing) {
  DialKeyFrame d;
  ASSERT_TRUE(d.t.Make());
  d.t.frame->SelectPage(PageId::Player);
  d.t.frame->SelectPage(PageId::Memo);
  EXPECT_FALSE(std::filesystem::exists(d.t.setup.registryFolder));
  EXPECT_EQ(d.t.frame->MessageArea()->ShownText(), L"");
}

TEST(FrameDialKey, EachSwitchSetsTheStatusBackToSeven) {
  DialKeyFrame d;
  Registry registry(d.t.setup.registryFolder);
  ASSERT_TRUE(registry.SetDword(kPhoneStatusKey, kPhoneStatusValue, 3));
  ASSERT_TRUE(d.t.Make());
  uint32_t value = 0;
  ASSERT_TRUE(registry.QueryDword(kPhoneStatusKey, kPhoneStatusValue, &value));
  EXPECT_EQ(value, 7u) << "the first page shown";
  ASSERT_TRUE(registry.SetDword(kPhoneStatusKey, kPhoneStatusValue, 3));
  d.t.frame->SelectPage(PageId::Player);
  ASSERT_TRUE(registry.QueryDword(kPhoneStatusKey, kPhoneStatusValue, &value));
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(d.t.frame->MessageArea()->ShownText(), L"");
}

TEST(FrameDialKey, SettingOffLeavesTheStatusAlone) {
  DialKeyFrame d;
  GetConfig()->m_DialKey = 0;
  Registry registry(d.t.setup.registryFolder);
  ASSERT_TRUE(registry.SetDword(kPhoneStatusKey, kPhoneStatusValue, 3));
  ASSERT_TRUE(d.t.Make());
  d.t.frame->SelectPage(PageId::Player);
  uint32_t value = 0;
  ASSERT_TRUE(registry.QueryDword(kPhoneStatusKey, kPhoneStatusValue, &value));
  EXPECT_EQ(value, 3u);
}

}  // namespace
}  // namespace talvinor
