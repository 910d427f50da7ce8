// The manual texts the bundle ships: in the handset's code page, and about
// this program.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Unicode.h"

namespace talvinor {
namespace {

TEST(ManualDocuments, BundledDocumentsAreCp932AndDescribeTheProgram) {
  struct Expectation {
    const char* file;
    std::vector<std::wstring> phrases;
  };
  const Expectation documents[] = {
      {"manual.txt", {L"レコーダ", L"プレイヤ", L"伝言メモ", L"設定", L"説明", L"画面消灯"}},
      {"mankey.txt", {L"レコーダ", L"プレイヤ", L"F8", L"F2", L"Delete"}},
      {"mancmd.txt", {L"/cmd:rec", L"/cmd:play", L"/cmd:exit", L"talvinor-cli send", L"外部コマンドは記述誤りにより実行できません。"}},
      {"readme.txt", {L"Talvinor", L"talvinor.ini", L"xvfb-run"}},
  };
  for (const Expectation& d : documents) {
    SCOPED_TRACE(d.file);
    const std::string path = std::string(TALVINOR_BUNDLE_DIR) + "/" + d.file;
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 500u);
    // Valid CP932: converting back gives the same bytes.
    const std::wstring text = AnsiToWide(bytes);
    EXPECT_EQ(WideToAnsi(text), bytes);
    for (const std::wstring& phrase : d.phrases)
      EXPECT_NE(text.find(phrase), std::wstring::npos) << WideToUtf8(phrase);
  }
}

}  // namespace
}  // namespace talvinor
