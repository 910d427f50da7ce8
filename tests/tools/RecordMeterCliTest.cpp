// talvinor-cli record on a terminal: its progress line carries the input
// level meter, as the recorder page draws it.
#include <gtest/gtest.h>

#include <string>

#include "audio/DeviceTestSupport.h"
#include "support/TempFolder.h"
#include "tools/CliTestSupport.h"

namespace talvinor {
namespace {

using namespace testing;

TEST(RecordMeterCli, TheProgressLineShowsTheLevelOfTheVirtualInput) {
  TempFolder folder;
  // script(1) gives the recorder a terminal; the virtual input is a sine at
  // half of full scale: -6 dBFS peak, -9 dBFS RMS.
  CliRun run = Shell(folder, "script -qfec \"" + ShellQuote(TALVINOR_CLI_PATH) + " record --virtual --seconds 2 --folder '" +
                                 folder.Path() + "'\" /dev/null >out.txt 2>&1");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string out = ReadBytes(folder.File("out.txt"));
  EXPECT_NE(out.find(" -9.0 dB RMS  -6.0 dB peak"), std::string::npos) << out;
  EXPECT_NE(out.find("[#########################=|"), std::string::npos) << "RMS, peak and the held peak" << out;
  EXPECT_EQ(out.find("CLIP"), std::string::npos) << "-6 dBFS does not clip";
}

}  // namespace
}  // namespace talvinor
